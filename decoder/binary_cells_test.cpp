// The cells of a binary table, one type letter at a time: how many bytes a
// cell takes in a row, what text its bytes give and what reading them says
// on standard error. The expected texts are worked out by hand from the
// printf formats of each letter ("%lu ", "%ld ", "%-.16g ", "%-*.*g ",
// "%-*c ", ...), so that a fault in the shared number writers shows here
// too.
#include "decoder/binary_cells.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/column_table.h"
#include "tests/fits_builder.h"

namespace orvex::decoder {
namespace {

using test::big_endian;

struct cell_result {
  std::string text;
  std::string messages;
};

const unsigned char* bytes_at(const std::string& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

cell_result run_cell(const column_desc& c, const std::string& bytes) {
  cell_result r;
  text_buffer text;
  write_cell(c, c.type, bytes_at(bytes), c.count, text);
  r.text = std::string(text.view());
  cell_messages(c.type, bytes_at(bytes), c.count, static_cast<std::int64_t>(bytes.size()), r.messages);
  return r;
}

column_desc column(char type, std::int32_t count) {
  column_desc c;
  c.type = type;
  c.count = count;
  return c;
}

column_desc strings_of(column_desc c, std::int32_t width) {
  c.string_width = width;
  return c;
}

std::string bytes_of(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

struct cell_case {
  const char* name;
  column_desc column;
  std::string bytes;  // one row of the column
  std::string text;   // the cell text when writing
  std::string err = {};
};

column_desc with_disp(column_desc c, std::int32_t width, std::int32_t decimals) {
  c.disp_width = width;
  c.disp_decimals = decimals;
  return c;
}

column_desc scaled(column_desc c, double tscal, double tzero) {
  c.tscal = tscal;
  c.tzero = tzero;
  return c;
}

constexpr double two_to_63 = 9223372036854775808.0;
const std::string not_a_number = "Not a Number\n";

std::vector<cell_case> cases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  return {
      // 'A': r bytes, up to the first zero byte, padded to r, then a blank.
      {"A r=5 with a zero byte", column('A', 5), bytes_of({'A', 'B', 0, 'C', 'D'}), "AB    "},
      {"A r=0 reads nothing and is one blank", column('A', 0), "", " "},
      {"A r=3 full", column('A', 3), "XYZ", "XYZ "},
      {"A keeps blanks inside and at the end", column('A', 4), "a b ", "a b  "},
      {"A of a zero byte only", column('A', 1), bytes_of({0}), "  "},
      {"A is not scaled and ignores TDISP", with_disp(scaled(column('A', 2), 3.0, 5.0), 10, 2), "12", "12 "},
      {"A with a negative count reads nothing", column('A', -2), "", " "},
      // TDIMn = (4, 3): three strings, each to its zero byte without its
      // trailing blanks; the last string is cut short by the count.
      {"A strings of TDIM (4,3)", strings_of(column('A', 11), 4), std::string("ab  c\0xyEFG", 11), "ab c EFG "},
      {"A strings of TDIM, all blank", strings_of(column('A', 4), 2), "    ", "  "},
      // 'B': unsigned bytes, "%lu " of the 32-bit conversion.
      {"B r=3 00 7F FF", column('B', 3), bytes_of({0x00, 0x7F, 0xFF}), "0 127 255 "},
      {"B 00 with TZERO -128 is the signed byte -128", scaled(column('B', 1), 1.0, -128.0), bytes_of({0x00}),
       "-128 "},
      {"B FF with TZERO -128", scaled(column('B', 1), 1.0, -128.0), bytes_of({0xFF}), "127 "},
      {"B 200 with TSCAL 2", scaled(column('B', 1), 2.0, 0.0), bytes_of({200}), "400 "},
      {"B 3 with TSCAL 0.5 is a floating value", scaled(column('B', 1), 0.5, 0.0), bytes_of({3}), "1.5 "},
      {"B out of the 32-bit range", scaled(column('B', 1), 1e10, 0.0), bytes_of({1}), "10000000000 "},
      {"B ignores TDISP", with_disp(column('B', 1), 10, 3), bytes_of({5}), "5 "},
      // 'I': signed 16-bit, "%ld ".
      {"I FF FE", column('I', 1), bytes_of({0xFF, 0xFE}), "-2 "},
      {"I limits", column('I', 2), bytes_of({0x80, 0x00, 0x7F, 0xFF}), "-32768 32767 "},
      {"I unsigned convention TZERO 32768", scaled(column('I', 2), 1.0, 32768.0), bytes_of({0x80, 0x00, 0x7F, 0xFF}),
       "0 65535 "},
      {"I -3 with TSCAL 0.5 is a floating value", scaled(column('I', 1), 0.5, 0.0), bytes_of({0xFF, 0xFD}), "-1.5 "},
      {"I ignores TDISP", with_disp(column('I', 1), 12, 2), bytes_of({0x00, 0x07}), "7 "},
      // 'J': signed 32-bit, "%ld ".
      {"J 80 00 00 00", column('J', 1), bytes_of({0x80, 0, 0, 0}), "-2147483648 "},
      {"J 3 with TSCAL 0.5", scaled(column('J', 1), 0.5, 0.0), big_endian{}.i32(3).bytes(), "1.5 "},
      {"J -3 with TSCAL 0.5", scaled(column('J', 1), 0.5, 0.0), big_endian{}.i32(-3).bytes(), "-1.5 "},
      {"J 2000000000 with TSCAL 2 is the exact integer", scaled(column('J', 1), 2.0, 0.0),
       big_endian{}.i32(2000000000).bytes(), "4000000000 "},
      {"J 0 with TZERO 2147483648 is unsigned 32-bit", scaled(column('J', 1), 1.0, 2147483648.0),
       big_endian{}.i32(0).bytes(), "2147483648 "},
      {"J -2147483648 with TZERO 2147483648", scaled(column('J', 1), 1.0, 2147483648.0),
       big_endian{}.i32(INT32_MIN).bytes(), "0 "},
      {"J with a NaN TZERO", scaled(column('J', 1), 1.0, nan), big_endian{}.i32(5).bytes(), "nan "},
      {"J r=3", column('J', 3), big_endian{}.i32(1).i32(-1).i32(INT32_MAX).bytes(), "1 -1 2147483647 "},
      {"J 7 with TSCAL 1.5 TZERO -0.25", scaled(column('J', 1), 1.5, -0.25), big_endian{}.i32(7).bytes(), "10.25 "},
      // 'K': signed 64-bit, exact without scaling and for the unsigned form.
      {"K 1 and -1", column('K', 2), big_endian{}.i64(1).i64(-1).bytes(), "1 -1 "},
      {"K limits", column('K', 2), big_endian{}.i64(INT64_MAX).i64(INT64_MIN).bytes(),
       "9223372036854775807 -9223372036854775808 "},
      {"K exact beyond 53 bits", column('K', 1), big_endian{}.i64(9007199254740993).bytes(), "9007199254740993 "},
      {"K unsigned convention", scaled(column('K', 4), 1.0, two_to_63),
       big_endian{}.i64(INT64_MIN).i64(-1).i64(0).i64(INT64_MAX).bytes(),
       "0 9223372036854775807 9223372036854775808 18446744073709551615 "},
      {"K unsigned convention exact in the low bits", scaled(column('K', 1), 1.0, two_to_63),
       big_endian{}.i64(INT64_MIN + 12345).bytes(), "12345 "},
      {"K 3 with TSCAL 0.5", scaled(column('K', 2), 0.5, 0.0), big_endian{}.i64(3).i64(-3).bytes(), "1.5 -1.5 "},
      {"K with TZERO 1.5", scaled(column('K', 1), 1.0, 1.5), big_endian{}.i64(10).bytes(), "11.5 "},
      {"K scaled goes through double", scaled(column('K', 1), 1.0, 0.5), big_endian{}.i64(9007199254740993).bytes(),
       "9007199254740992 "},
      {"K scaled into the unsigned range", scaled(column('K', 1), 4.0, 0.0), big_endian{}.i64(INT64_MAX / 2).bytes(),
       "18446744073709551612 "},
      {"K scaled beyond 64 bits is a floating value", scaled(column('K', 1), 4.0, 0.0),
       big_endian{}.i64(INT64_MAX).bytes(), "3.68934881474191e+19 "},
      {"K with TZERO -2^63 at the bottom", scaled(column('K', 1), 1.0, -9223372036854775808.0),
       big_endian{}.i64(0).bytes(), "-9223372036854775808 "},
      {"I with TZERO 32768 is unsigned 16-bit", scaled(column('I', 2), 1.0, 32768.0),
       big_endian{}.i16(-32768).i16(32767).bytes(), "0 65535 "},
      {"J with TZERO 2^31 is unsigned 32-bit", scaled(column('J', 2), 1.0, 2147483648.0),
       big_endian{}.i32(INT32_MIN).i32(INT32_MAX).bytes(),
       "0 4294967295 "},
      {"I with TSCAL 0.01", scaled(column('I', 2), 0.01, 0.0), big_endian{}.i16(1234).i16(5).bytes(), "12.34 0.05 "},
      {"K ignores TDISP", with_disp(column('K', 1), 20, 3), big_endian{}.i64(-42).bytes(), "-42 "},
      // 'E': single precision widened, "%-.16g " or "%-*.*g ".
      {"E 3D CC CC CD", column('E', 1), bytes_of({0x3D, 0xCC, 0xCC, 0xCD}), "0.1000000014901161 "},
      {"E 3.14159 with TDISP width 10 decimals 3", with_disp(column('E', 1), 10, 3), big_endian{}.f32(3.14159f).bytes(),
       "3.14       "},
      {"E +infinity warns and is written", column('E', 1), bytes_of({0x7F, 0x80, 0, 0}), "inf ", not_a_number},
      {"E -infinity", column('E', 1), bytes_of({0xFF, 0x80, 0, 0}), "-inf ", not_a_number},
      {"E negative NaN", column('E', 1), bytes_of({0xFF, 0xC0, 0, 0}), "-nan ", not_a_number},
      {"E largest finite single, no warning", column('E', 1), bytes_of({0x7F, 0x7F, 0xFF, 0xFF}),
       "3.402823466385289e+38 "},
      {"E r=2", column('E', 2), big_endian{}.f32(1.5f).f32(-2.25f).bytes(), "1.5 -2.25 "},
      {"E scaled after widening", scaled(column('E', 1), 10.0, 0.0), bytes_of({0x3D, 0xCC, 0xCC, 0xCD}),
       "1.000000014901161 "},
      {"E 1.5 with TSCAL 2 TZERO 1", scaled(column('E', 1), 2.0, 1.0), big_endian{}.f32(1.5f).bytes(), "4 "},
      {"E TDISP switches to exponent form", with_disp(column('E', 1), 12, 6), big_endian{}.f32(0.0001f).bytes(),
       "0.0001       "},
      {"E TDISP smaller than the text", with_disp(column('E', 1), 2, 4), big_endian{}.f32(-123.25f).bytes(), "-123.2 "},
      {"E TDISP negative width", with_disp(column('E', 1), -6, 2), big_endian{}.f32(0.5f).bytes(), "0.5    "},
      {"E two warnings in one cell", column('E', 2), bytes_of({0x7F, 0xC0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}), "nan nan ",
       not_a_number + not_a_number},
      {"E subnormal", column('E', 1), bytes_of({0x00, 0x00, 0x00, 0x01}), "1.401298464324817e-45 "},
      {"E negative zero plus TZERO 0 is zero", column('E', 1), bytes_of({0x80, 0, 0, 0}), "0 "},
      // 'D': double, with the 8-byte reader's own warning test.
      {"D 0.1 and 1/3", column('D', 2), big_endian{}.f64(0.1).f64(1.0 / 3.0).bytes(), "0.1 0.3333333333333333 "},
      {"D with TDISP", with_disp(column('D', 1), 10, 4), big_endian{}.f64(3.14159265).bytes(), "3.142      "},
      {"D NaN with the low bit set warns", column('D', 1), big_endian{}.f64_bits(0x7FF0000000000001ULL).bytes(), "nan ",
       not_a_number},
      {"D all ones warns", column('D', 1), big_endian{}.f64_bits(0xFFFFFFFFFFFFFFFFULL).bytes(), "-nan ",
       not_a_number},
      {"D +infinity does not warn", column('D', 1), big_endian{}.f64_bits(0x7FF0000000000000ULL).bytes(), "inf "},
      {"D quiet NaN with the low bit clear does not warn", column('D', 1),
       big_endian{}.f64_bits(0x7FF8000000000000ULL).bytes(), "nan "},
      {"D scaled", scaled(column('D', 1), 0.5, 100.0), big_endian{}.f64(-3.0).bytes(), "98.5 "},
      {"D 17 significant digits cut to 16", column('D', 1), big_endian{}.f64(0.12345678901234567).bytes(),
       "0.1234567890123457 "},
      {"D large", column('D', 1), big_endian{}.f64(1e300).bytes(), "1e+300 "},
      // 'C' and 'M': real part, then imaginary part, both scaled alike.
      {"C 1.5 -2.25", column('C', 1), big_endian{}.f32(1.5f).f32(-2.25f).bytes(), "1.5 -2.25 "},
      {"C with TDISP", with_disp(column('C', 1), 6, 2), big_endian{}.f32(1.5f).f32(-2.25f).bytes(), "1.5    -2.2   "},
      {"C warns for each part", column('C', 1), bytes_of({0x7F, 0x80, 0, 0, 0xFF, 0x80, 0, 0}), "inf -inf ",
       not_a_number + not_a_number},
      {"C scaled", scaled(column('C', 2), 2.0, 1.0), big_endian{}.f32(1.5f).f32(-2.25f).f32(0).f32(1).bytes(),
       "4 -3.5 1 3 "},
      {"M 0.1 0.2", column('M', 1), big_endian{}.f64(0.1).f64(0.2).bytes(), "0.1 0.2 "},
      {"M r=2 with TDISP", with_disp(column('M', 2), 4, 1), big_endian{}.f64(1).f64(2).f64(-3).f64(40).bytes(),
       "1    2    -3   4e+01 "},
      {"M warns by the 8-byte rule", column('M', 1),
       big_endian{}.f64_bits(0x7FF0000000000000ULL).f64_bits(0xFFF0000000000001ULL).bytes(), "inf -nan ",
       not_a_number},
      // 'L': the byte as a character, "%-*c " with the TDISP width.
      {"L T F", column('L', 2), "TF", "T F "},
      {"L T F with TDISP width 3", with_disp(column('L', 2), 3, 6), "TF", "T   F   "},
      {"L TDISP width 1", with_disp(column('L', 1), 1, 6), "T", "T "},
      {"L negative TDISP width", with_disp(column('L', 1), -3, 6), "F", "F   "},
      {"L zero byte is the placeholder", column('L', 3), bytes_of({'T', 0, 'F'}), "T ? F "},
      {"L zero byte padded", with_disp(column('L', 1), 2, 6), bytes_of({0}), "?  "},
      {"L is not scaled", scaled(column('L', 1), 2.0, 1.0), "T", "T "},
      // 'X': eight characters per byte, one blank at the end.
      {"X r=16 A5 01", column('X', 16), bytes_of({0xA5, 0x01}), "1010010100000001 "},
      {"X r=8 FF", column('X', 8), bytes_of({0xFF}), "11111111 "},
      {"X r=1 takes one byte", column('X', 1), bytes_of({0x80}), "10000000 "},
      {"X r=7 takes one byte", column('X', 7), bytes_of({0x01}), "00000001 "},
      {"X r=9 takes two bytes", column('X', 9), bytes_of({0x0F, 0xF0}), "0000111111110000 "},
      {"X is not scaled", scaled(column('X', 8), 2.0, 1.0), bytes_of({0x02}), "00000010 "},
      // Descriptors: bytes taken, no text.
      {"P r=1 takes 8 bytes", column('P', 1), big_endian{}.i32(10).i32(0).bytes(), ""},
      {"P r=2 takes 16 bytes", column('P', 2), std::string(16, '\x01'), ""},
      {"Q r=1 takes 16 bytes", column('Q', 1), std::string(16, '\x02'), ""},
      {"Q r=3 takes 48 bytes", column('Q', 3), std::string(48, '\x03'), ""},
      {"P r=0", column('P', 0), "", ""},
      // Unknown letters: a message in every row, r bytes skipped, no text.
      {"F unknown", column('F', 2), "ab", "", "Unknown type F\n"},
      {"lower-case e unknown", column('e', 4), "abcd", "", "Unknown type e\n"},
      {"G unknown with count 0", column('G', 0), "", "", "Unknown type G\n"},
      {"no TFORM card: the zero letter", column('\0', 0), "", "", std::string("Unknown type \0\n", 15)},
      {"H unknown with negative count", column('H', -3), "", "", "Unknown type H\n"},
      // A count below 1: nothing read, nothing written.
      {"E r=0", column('E', 0), "", ""},
      {"J r=-1", column('J', -1), "", ""},
      {"X r=0", column('X', 0), "", ""},
      {"L r=0", column('L', 0), "", ""},
      {"K r=0", column('K', 0), "", ""},
      {"Q r=-1", column('Q', -1), "", ""},
  };
}

TEST(BinaryCell, TextBytesAndMessagesByTypeLetter) {
  for (const cell_case& c : cases()) {
    cell_result r = run_cell(c.column, c.bytes);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.messages, c.err) << c.name;
    EXPECT_EQ(cell_bytes(c.column.type, c.column.count), static_cast<std::int64_t>(c.bytes.size())) << c.name;
  }
}

// Cells of any length are written whole: a response-matrix cell of
// thousands of values, a long string, many bits.
TEST(BinaryCell, LongCellsAreWrittenWhole) {
  struct long_case {
    const char* name;
    column_desc column;
    std::string bytes;
    std::string text;
  };
  std::string letters;
  for (int i = 0; i < 20000; ++i) letters += static_cast<char>('a' + i % 26);
  std::string d_bytes, d_text;
  for (int i = 0; i < 5000; ++i) {
    const double v = 1.8853515e-12 * (i + 1);
    d_bytes += big_endian{}.f64(v).bytes();
    char t[32];
    std::snprintf(t, sizeof t, "%.16g ", v);
    d_text += t;
  }
  std::string bits_text;
  for (int i = 0; i < 2000; ++i) bits_text += "10100101";
  std::string logical_text;
  for (int i = 0; i < 6000; ++i) logical_text += "T ";
  const std::vector<long_case> cases{
      {"A r=20000", column('A', 20000), letters, letters + " "},
      {"A r=15000 of a short string", column('A', 15000), "abc" + std::string(14997, '\0'),
       "abc" + std::string(14998, ' ')},
      {"D r=5000", column('D', 5000), d_bytes, d_text},
      {"X r=16000", column('X', 16000), std::string(2000, '\xA5'), bits_text + " "},
      {"L r=6000", column('L', 6000), std::string(6000, 'T'), logical_text},
      {"E with TDISP width 100000 pads to 10239", with_disp(column('E', 2), 100000, 3),
       big_endian{}.f32(1.5f).f32(2).bytes(), "1.5" + std::string(10236, ' ') + " 2" + std::string(10238, ' ') + " "},
  };
  for (const long_case& c : cases) {
    cell_result r = run_cell(c.column, c.bytes);
    EXPECT_EQ(r.text.size(), c.text.size()) << c.name;
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(cell_bytes(c.column.type, c.column.count), static_cast<std::int64_t>(c.bytes.size())) << c.name;
  }
}

// A cell the stream cut: the elements that began before the cut are read
// with their missing bytes as zero, later ones not at all.
TEST(BinaryCell, MessagesOfACutCell) {
  const std::string nan_bytes = big_endian{}.f32_bits(0x7FC00000U).bytes();
  struct cut_case {
    const char* name;
    char type;
    std::int32_t count;
    std::string bytes;
    std::int64_t available;
    std::string messages;
  };
  const std::string two_nan = nan_bytes + nan_bytes;
  const std::string d_nan = big_endian{}.f64_bits(0xFFFFFFFFFFFFFFFFULL).bytes();
  const std::vector<cut_case> cases{
      {"E whole", 'E', 2, two_nan, 8, "Not a Number\nNot a Number\n"},
      {"E cut after the second value's two bytes", 'E', 2, two_nan, 6, "Not a Number\nNot a Number\n"},
      {"E cut after the second value's first byte", 'E', 2, two_nan, 5, "Not a Number\n"},
      {"E cut before the cell", 'E', 2, two_nan, 0, ""},
      {"D needs its last byte", 'D', 1, d_nan, 7, ""},
      {"D whole", 'D', 1, d_nan, 8, "Not a Number\n"},
      {"unknown letter past the cut still speaks", 'F', 4, "abcd", 0, "Unknown type F\n"},
  };
  for (const cut_case& c : cases) {
    std::string messages;
    cell_messages(c.type, bytes_at(c.bytes), c.count, c.available, messages);
    EXPECT_EQ(messages, c.messages) << c.name;
  }
}

// A hostile count never makes the size of a cell overflow.
TEST(BinaryCell, CellBytesSaturate) {
  for (char type : {'A', 'B', 'I', 'J', 'K', 'E', 'D', 'C', 'M', 'L', 'X', 'P', 'Q', 'F'}) {
    EXPECT_GT(cell_bytes(type, INT64_MAX), 0) << type;
    EXPECT_EQ(cell_bytes(type, -5), 0) << type;
  }
  EXPECT_EQ(cell_bytes('M', INT32_MAX), 16 * std::int64_t{INT32_MAX});
}

// The exact form: every element's text reads back to the very value, bit
// for bit (a NaN to a NaN of its sign: a payload has no text), on special
// and random bit patterns of every floating letter and of scaled integers.
TEST(BinaryCell, ExactTextsReadBackBitForBit) {
  std::mt19937_64 rng(11);
  std::vector<std::uint64_t> bits{0, 1ULL << 63, 1, 0x000FFFFFFFFFFFFF, 0x0010000000000000, 0x7FEFFFFFFFFFFFFF,
                                  0xFFEFFFFFFFFFFFFF, 0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000001,
                                  0xFFF8000000000000, 0x3FB999999999999A, 0x00000000007FFFFF, 0x000000007F7FFFFF,
                                  0x0000000080000001, 0x00000000FF800000, 0x000000007FC00000, 0x000000003DCCCCCD};
  for (int i = 0; i < 20000; ++i) bits.push_back(rng());
  const struct {
    char letter;
    double tscal, tzero;
    double (*value)(std::uint64_t);  // of an element's bits
  } kinds[] = {
      {'E', 1, 0, [](std::uint64_t b) -> double { return std::bit_cast<float>(static_cast<std::uint32_t>(b)); }},
      {'C', 1, 0, [](std::uint64_t b) -> double { return std::bit_cast<float>(static_cast<std::uint32_t>(b)); }},
      {'E', 0.5, 3, [](std::uint64_t b) -> double { return std::bit_cast<float>(static_cast<std::uint32_t>(b)); }},
      {'D', 1, 0, [](std::uint64_t b) { return std::bit_cast<double>(b); }},
      {'M', 1, 0, [](std::uint64_t b) { return std::bit_cast<double>(b); }},
      {'D', 1e-3, -7, [](std::uint64_t b) { return std::bit_cast<double>(b); }},
      {'B', 2, -128, [](std::uint64_t b) { return static_cast<double>(b & 0xFF); }},
      {'I', 0.25, 1, [](std::uint64_t b) { return static_cast<double>(static_cast<std::int16_t>(b)); }},
      {'J', 1.5, -2, [](std::uint64_t b) { return static_cast<double>(static_cast<std::int32_t>(b)); }},
      {'K', 1e-9, 0, [](std::uint64_t b) { return static_cast<double>(static_cast<std::int64_t>(b)); }},
  };
  for (const auto& k : kinds) {
    SCOPED_TRACE(std::string(1, k.letter) + " scaled by " + std::to_string(k.tscal));
    const bool pairs = k.letter == 'C' || k.letter == 'M';
    const std::int64_t size = cell_bytes(k.letter, 1) / (pairs ? 2 : 1);
    std::string bytes;
    for (std::uint64_t b : bits) {
      for (std::int64_t i = size - 1; i >= 0; --i) bytes += static_cast<char>(b >> (8 * i));
    }
    text_buffer text;
    write_exact_cell(scaled(column(k.letter, 1), k.tscal, k.tzero), k.letter, bytes_at(bytes),
                     static_cast<std::int64_t>(bits.size()) / (pairs ? 2 : 1), text);
    std::string_view rest = text.view();
    for (std::uint64_t b : bits) {
      const double v = k.tscal == 1 && k.tzero == 0 ? k.value(b) : k.value(b) * k.tscal + k.tzero;
      const std::string_view word = rest.substr(0, rest.find(' '));
      rest.remove_prefix(std::min(rest.size(), word.size() + 1));
      double back = 0;
      float single = 0;
      const bool is_float = size == 4 && k.tscal == 1 && k.tzero == 0;  // read as the float it is
      const auto got = is_float ? std::from_chars(word.data(), word.data() + word.size(), single)
                                : std::from_chars(word.data(), word.data() + word.size(), back);
      ASSERT_EQ(got.ec, std::errc()) << word;
      if (is_float) back = single;
      EXPECT_TRUE(std::isnan(v) ? std::isnan(back) && std::signbit(back) == std::signbit(v)
                                : std::bit_cast<std::uint64_t>(back) == std::bit_cast<std::uint64_t>(v))
          << word << " for " << v;
    }
    EXPECT_TRUE(rest.empty());
  }
}

}  // namespace
}  // namespace orvex::decoder
