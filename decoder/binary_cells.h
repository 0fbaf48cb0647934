// Binary-table cells: for every TFORM type letter, the bytes a cell of it
// takes in a row, the text those bytes give and the messages that reading
// them gives. This is the one description of the letters: the row
// formatter consults it for every cell of a row, whatever holds the row's
// bytes.
//
// A cell text is the cell's elements, each followed by one blank ('X' puts
// its single blank after the last byte's bits). Every numeric value v
// becomes v * tscal + tzero before it is written, as a separate multiply
// and add. Values are big-endian, the FITS byte order.
#pragma once

#include <cstdint>
#include <string>

#include "decoder/column_table.h"
#include "decoder/text_buffer.h"

namespace orvex::decoder {

// What an undefined logical element (a zero byte) is written as: a visible
// character that is not a blank, so that blank-separated columns stay
// countable.
inline constexpr char undefined_logical = '?';

// Whether the letter is one this decoder writes: A, B, C, D, E, I, J, K, L,
// M and X, and the descriptors P and Q. Every other letter (lower case and
// the zero letter of a column without TFORM included) is unknown: its cell
// takes its count in bytes, writes no text and says "Unknown type %c".
bool known_letter(char letter);

// Bytes that a cell of `count` elements of `letter` takes in a row: the
// element size times the count ('X': one byte per 8 bits or part of 8; 'P'
// 8 and 'Q' 16 bytes per descriptor; an unknown letter one byte per count).
// A count below 1 takes nothing. Never negative; saturates instead of
// overflowing.
std::int64_t cell_bytes(char letter, std::int64_t count);

// How floating values are written: by the printf formats ("%.16g", or
// "%-*.*g" with the TDISPn width and decimals), or `exact`: the shortest
// text that reads back to the very value (put_shortest), TDISPn not
// applied. Exact E and C elements with the identity scaling are the
// shortest text of the 4-byte float itself; D and M elements with it that
// of the double itself (a -0 stays -0); every scaled real value is the
// shortest text of the double v * TSCAL + TZERO. Integers (scaled ones as
// integer_scaling writes them), strings, logicals and bits are alike in
// both forms, except the floating values of scaled integers.
enum class number_form { printf_like, exact };

// The value v * TSCALn + TZEROn of an integer column (B, I, J, K, and the
// integer fields of ASCII tables). Where TSCALn and TZEROn are both whole
// numbers the value is one too, and is written as that exact integer, from
// the 64-bit signed range up to the unsigned one (the unsigned conventions
// TZERO = 32768, 2^31, 2^63 included), computed without rounding; beyond
// that range, and wherever TSCALn or TZEROn is not a whole number, it is
// the double v * TSCAL + TZERO written as a floating value: "%.16g", or in
// the exact form its shortest text.
class integer_scaling {
 public:
  explicit integer_scaling(const column_desc& c);
  // Writes the text of stored value `v` at `p` (room: format::short_text)
  // and returns its end.
  char* put(char* p, std::int64_t v, const column_desc& c, number_form form) const;

 private:
  bool whole_ = false;  // TSCALn and TZEROn are whole numbers
  bool exact_ = false;  // ... and small enough for 128-bit arithmetic
  __int128 tscal_ = 0;
  __int128 tzero_ = 0;
};

// Appends to `text` the cell text of `count` elements of `letter` held in
// `bytes` (cell_bytes(letter, count) of them), formatted by the column's
// scaling and its TDISP width and decimals, in the printf form. An 'A'
// cell is its bytes up to the first zero byte, padded to `count`
// characters, and a blank, also for a count of 0 or below (one blank); an
// 'A' column with TDIMn = (w, n, ...) (string_width w) holds strings of w
// characters: each is written up to its first zero byte, trailing blanks
// cut, followed by one blank;
// every other letter writes nothing for a count below 1. Unknown letters
// and the descriptors P and Q write nothing.
void write_cell(const column_desc& c, char letter, const unsigned char* bytes, std::int64_t count, text_buffer& text);

// Writes the printf-form text of a cell of `count` elements at `p`, which
// has the room that bounded_writer() gave, and returns the end of the text.
using cell_writer = char* (*)(const column_desc& c, const unsigned char* bytes, std::int64_t count, char* p);

// The writer of the text that write_cell (or, in the exact form,
// write_exact_cell) gives cells of `count` elements of `letter` in column
// `c`, when that text has a bound known before the bytes are seen: sets
// `room` to it. Null for the cells whose text has none (a logical, an
// unknown letter, a descriptor, and in the printf form a real letter with
// a TDISPn width) and for those that write nothing (a count below 1, other
// than 'A'). Lets a caller ask for room once for a run of cells.
cell_writer bounded_writer(const column_desc& c, char letter, std::int64_t count, std::size_t& room,
                           number_form form = number_form::printf_like);

// write_cell in the exact number form.
void write_exact_cell(const column_desc& c, char letter, const unsigned char* bytes, std::int64_t count,
                      text_buffer& text);

// write_cell in the number form `form`.
inline void write_cell(const column_desc& c, char letter, const unsigned char* bytes, std::int64_t count,
                       text_buffer& text, number_form form) {
  if (form == number_form::exact) {
    write_exact_cell(c, letter, bytes, count, text);
  } else {
    write_cell(c, letter, bytes, count, text);
  }
}

// A variable-length array as a P or Q descriptor gives it: `count`
// elements of the column's array type, `offset` bytes into the heap.
struct array_descriptor {
  std::int64_t count = 0;
  std::int64_t offset = 0;
};

// The i-th descriptor of a cell of `letter` P (two big-endian signed
// 32-bit integers) or Q (two signed 64-bit ones) held in `bytes`.
array_descriptor descriptor_at(char letter, const unsigned char* bytes, std::int64_t i);

// Nulls: whether elements of `letter` in column `c` can be null (B, I, J
// and K with a TNULLn; E and D, whose NaN is null; L, whose zero byte is
// an undefined value), and whether the element at `bytes` is.
bool can_be_null(const column_desc& c, char letter);
bool null_element(const column_desc& c, char letter, const unsigned char* bytes);

// Appends to `messages` what reading the cell says on standard error:
// "Not a Number\n" for every 4-byte floating value ('E', both parts of 'C')
// whose exponent bits are all set, and for every 8-byte one ('D', 'M') that
// the 8-byte test catches; "Unknown type %c\n" once for a cell of an
// unknown letter. Only the first `available` bytes of the cell were
// delivered (a row the stream ended inside): the elements that begin
// within them are tested, their missing bytes reading as zero.
void cell_messages(char letter, const unsigned char* bytes, std::int64_t count, std::int64_t available,
                   std::string& messages);

}  // namespace orvex::decoder
