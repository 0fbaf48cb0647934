// Binary-table cells: for each type letter, what one cell takes from the
// stream and the text it leaves in the column's cell buffer.
//
// A cell text is the column's elements, each followed by one blank ('X'
// puts its single blank after the last byte's bits). Every numeric value v
// becomes v * tscal + tzero before it is written. Cells are formatted only
// when writing; when not, a cell consumes exactly the same bytes and gives
// the same warnings on standard error.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "decoder/column_table.h"
#include "fits/stream.h"

namespace orvex::decoder {

// A cell text holds at most 10239 characters; a longer one is cut there,
// and the cell's bytes are still consumed in full so that the next cell
// starts at its own first byte.
inline constexpr int cell_size = 10240;
inline constexpr int cell_text_limit = cell_size - 1;

// What an undefined logical element (a zero byte) is written as: a visible
// character that is not a blank, so that blank-separated columns stay
// countable.
inline constexpr char undefined_logical = '?';

// The cell buffers of one binary table, by FITS column number 0 to
// TFIELDS (0 is allocated and never used). Allocated once per table and
// cleared, so that a cell no step writes (P, Q, an unknown letter, a count
// below 1) has empty text; each row's text replaces the row before.
class cell_buffers {
 public:
  explicit cell_buffers(int tfields);

  char* data(int n) { return text_.get() + static_cast<std::size_t>(n) * cell_size; }
  std::string_view text(int n) const {
    return {text_.get() + static_cast<std::size_t>(n) * cell_size, static_cast<std::size_t>(length_[n])};
  }
  void set_length(int n, int length) { length_[n] = length; }

 private:
  std::unique_ptr<char[]> text_;
  std::unique_ptr<int[]> length_;
};

// The cell step for column `n` of the current row: reads the column's
// bytes from `in` and, when `writing`, formats them into `cells`. Writes
// "Not a Number\n" for each NaN or infinite 4-byte value (and as the 8-byte
// reader decides for 8-byte values) and "Unknown type %c\n" for a column of
// an unknown letter, on standard error.
void read_cell(fits::stream& in, const column_desc& column, int n, cell_buffers& cells, bool writing);

// The cell step writing its text at `p` instead, never at or past `limit`
// (a longer text is cut there). Returns the end of the text; `p` itself
// when the cell writes no text. Nothing is terminated.
char* format_cell(fits::stream& in, const column_desc& column, char* p, char* limit, bool writing);

// An upper bound of the text length of the column's cell, at most
// cell_text_limit, so that a row of cells formatted in place with
// format_cell and this much room each is cut exactly where the cell
// buffers would cut it.
std::int64_t cell_text_bound(const column_desc& column);

// A cell step that always writes, for the row loop that formats cells in
// place: takes the column's bytes and writes its text at `p`, never at or
// past `limit`, returning the end of the text.
using cell_writer = char* (*)(fits::stream& in, const column_desc& column, char* p, char* limit);

// The writer for `column`: format_cell itself, or for the common event-file
// columns (I, J, B with the identity scaling, E and D without a display
// format) a step made for that case alone, chosen only where the room that
// cell_text_bound gives can never cut the text, so that both write the
// same bytes.
cell_writer writer_for(const column_desc& column);

}  // namespace orvex::decoder
