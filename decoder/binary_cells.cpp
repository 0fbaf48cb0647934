#include "decoder/binary_cells.h"

#include <cmath>
#include <cstring>

#include "decoder/cell_format.h"
#include "fits/big_endian.h"
#include "fits/card_value.h"
#include "fits/stream.h"

namespace orvex::decoder {
namespace {

namespace fmt = format;

constexpr std::int64_t max_bytes = INT64_MAX / 32;

using fits::be32;
using fits::be64;
using fits::double_at;
using fits::float_at;
using fits::integer_at;

// A 4-byte float widened to double, as the printf forms write it.
inline double single_at(const unsigned char* b) { return float_at(b); }

inline double scaled(double v, const column_desc& c) {
  // A separate multiply and add (the build forbids contraction to an FMA),
  // so that every value is rounded exactly as written.
  double product = v * c.tscal;
  return product + c.tzero;
}

// Text of a 32-bit integer element and its blank: "-2147483648 ".
constexpr std::size_t long_text = 12;

// The real elements of E, D, C and M without TDISP: "%-.16g " of each of
// `per_element` values per element (the real and imaginary parts of C and
// M, scaled alike).
template <double (*value_at)(const unsigned char*), int step, int per_element>
char* put_reals(const column_desc& c, const unsigned char* b, std::int64_t count, char* p) {
  const std::int64_t values = per_element * count;
  for (std::int64_t i = 0; i < values; ++i, b += step) {
    p = fmt::put_g16(p, scaled(value_at(b), c));
    *p++ = ' ';
  }
  return p;
}

// The real elements with a TDISP width and decimals: "%-*.*g ".
template <double (*value_at)(const unsigned char*), int step>
void displayed_reals(const column_desc& c, const unsigned char* b, std::int64_t values, text_buffer& text) {
  // A wide TDISP can make each element long: room is asked per element.
  const std::size_t room = static_cast<std::size_t>(fmt::g_text_room(c.disp_width)) + 1;
  for (std::int64_t i = 0; i < values; ++i, b += step) {
    char* p = fmt::put_g(text.room(room), scaled(value_at(b), c), c.disp_width, c.disp_decimals);
    *p++ = ' ';
    text.commit(p);
  }
}

// 'K' without scaling: the 64-bit integers themselves.
char* put_long_longs(const column_desc&, const unsigned char* b, std::int64_t count, char* p) {
  for (std::int64_t i = 0; i < count; ++i, b += 8) {
    p = fmt::put_integer(p, static_cast<std::int64_t>(be64(b)));
    *p++ = ' ';
  }
  return p;
}

// B, I and J without scaling: the integer itself ("%ld").
template <int size>
char* put_integers(const column_desc&, const unsigned char* b, std::int64_t count, char* p) {
  for (std::int64_t i = 0; i < count; ++i, b += size) {
    p = fmt::put_long(p, static_cast<std::int32_t>(integer_at<size>(b)));
    *p++ = ' ';
  }
  return p;
}

// B, I, J and K scaled: each value as put_scaled_integer writes it.
template <int size, number_form form>
char* put_scaled_integers(const column_desc& c, const unsigned char* b, std::int64_t count, char* p) {
  const integer_scaling scaling(c);
  for (std::int64_t i = 0; i < count; ++i, b += size) {
    p = scaling.put(p, integer_at<size>(b), c, form);
    *p++ = ' ';
  }
  return p;
}

// The eight '0'/'1' characters of every byte value, most significant bit
// first.
struct bit_text_table {
  char text[256][8];
  constexpr bit_text_table() : text{} {
    for (int v = 0; v < 256; ++v) {
      for (int bit = 0; bit < 8; ++bit) text[v][bit] = static_cast<char>('0' + ((v >> (7 - bit)) & 1));
    }
  }
};
constexpr bit_text_table bit_texts;

// 'A': the bytes up to the first zero byte, padded to `count` characters,
// and a blank (one blank for a count below 1).
char* put_string(const column_desc&, const unsigned char* b, std::int64_t count, char* p) {
  const std::size_t width = count > 0 ? static_cast<std::size_t>(count) : 0;
  // A cell of no bytes may have no bytes to point at (a row of no bytes
  // has none): it is not looked at.
  const std::size_t len = width == 0 ? 0 : ::strnlen(reinterpret_cast<const char*>(b), width);
  if (len != 0) std::memcpy(p, b, len);
  std::memset(p + len, ' ', width + 1 - len);
  return p + width + 1;
}

// 'A' with TDIMn = (w, n, ...): each string of w characters up to its first
// zero byte, its trailing blanks cut, and a blank after it (one blank for a
// cell of no bytes).
char* put_strings(const column_desc& c, const unsigned char* b, std::int64_t count, char* p) {
  const std::size_t total = count > 0 ? static_cast<std::size_t>(count) : 0;
  const auto width = static_cast<std::size_t>(c.string_width);
  if (total == 0) *p++ = ' ';
  for (std::size_t at = 0; at < total; at += width) {
    const std::size_t n = width < total - at ? width : total - at;
    std::size_t len = ::strnlen(reinterpret_cast<const char*>(b + at), n);
    while (len != 0 && b[at + len - 1] == ' ') --len;
    if (len != 0) std::memcpy(p, b + at, len);
    p += len;
    *p++ = ' ';
  }
  return p;
}

void logical_elements(const column_desc& c, const unsigned char* b, std::int64_t count, text_buffer& text) {
  const std::int64_t width = fmt::display_width(c.disp_width);
  const std::size_t element = static_cast<std::size_t>(width > 1 ? width : 1) + 1;
  for (std::int64_t i = 0; i < count; ++i) {
    char* start = text.room(element);
    char* p = start;
    *p++ = b[i] != 0 ? static_cast<char>(b[i]) : undefined_logical;
    p = fmt::pad_to(p, start, width);
    *p++ = ' ';
    text.commit(p);
  }
}

char* put_bits(const column_desc&, const unsigned char* b, std::int64_t count, char* p) {
  const std::int64_t bytes = (count + 7) / 8;
  for (std::int64_t i = 0; i < bytes; ++i, p += 8) std::memcpy(p, bit_texts.text[b[i]], 8);
  *p++ = ' ';
  return p;
}

// The exact form: the shortest text of each value, Element float for E
// and C, double for D and M (`per_element` values per element); the value
// is the element itself under the identity scaling, else the scaled
// double.
template <typename Element, Element (*value_at)(const unsigned char*), int step, int per_element>
char* put_exact_reals(const column_desc& c, const unsigned char* b, std::int64_t count, char* p) {
  const std::int64_t values = per_element * count;
  if (identity_scaling(c)) {
    for (std::int64_t i = 0; i < values; ++i, b += step) {
      p = fmt::put_shortest(p, value_at(b));
      *p++ = ' ';
    }
    return p;
  }
  for (std::int64_t i = 0; i < values; ++i, b += step) {
    p = fmt::put_shortest(p, scaled(static_cast<double>(value_at(b)), c));
    *p++ = ' ';
  }
  return p;
}

// The writers of the exact form where its text differs from the printf
// form's: every real letter (with or without TDISPn, which the exact form
// does not apply) and integers scaled by a TSCALn or TZEROn that is not a
// whole number. Null for the others.
cell_writer exact_writer(const column_desc& c, char letter, std::size_t n, std::size_t& room) {
  constexpr std::size_t number = fmt::short_text + 1;
  room = n * number;
  switch (letter) {
    case 'E':
      return put_exact_reals<float, float_at, 4, 1>;
    case 'D':
      return put_exact_reals<double, double_at, 8, 1>;
    case 'C':
      room = 2 * n * number;
      return put_exact_reals<float, float_at, 4, 2>;
    case 'M':
      room = 2 * n * number;
      return put_exact_reals<double, double_at, 8, 2>;
    default:
      break;
  }
  if (c.integral_scaling()) return nullptr;
  switch (letter) {
    case 'B':
      return put_scaled_integers<1, number_form::exact>;
    case 'I':
      return put_scaled_integers<2, number_form::exact>;
    case 'J':
      return put_scaled_integers<4, number_form::exact>;
    case 'K':
      return put_scaled_integers<8, number_form::exact>;
    default:
      return nullptr;
  }
}

void add_not_a_number(std::string& messages) { messages.append("Not a Number\n"); }

}  // namespace

integer_scaling::integer_scaling(const column_desc& c) {
  // Within these bounds v * TSCAL + TZERO of any 64-bit v fits in 128 bits.
  constexpr double scale_limit = 9223372036854775808.0;  // 2^63
  constexpr double zero_limit = 18446744073709551616.0;  // 2^64
  whole_ = c.integral_scaling();
  exact_ = whole_ && std::fabs(c.tscal) < scale_limit && std::fabs(c.tzero) < zero_limit;
  if (exact_) {
    tscal_ = static_cast<__int128>(c.tscal);
    tzero_ = static_cast<__int128>(c.tzero);
  }
}

char* integer_scaling::put(char* p, std::int64_t v, const column_desc& c, number_form form) const {
  if (exact_) {
    const __int128 s = static_cast<__int128>(v) * tscal_ + tzero_;
    if (s >= INT64_MIN && s <= INT64_MAX) return fmt::put_integer(p, static_cast<std::int64_t>(s));
    if (s > 0 && s <= static_cast<__int128>(UINT64_MAX)) return fmt::put_integer(p, static_cast<std::uint64_t>(s));
  }
  // Beyond the 64-bit range, or not a whole number: a floating value, as a
  // D column's.
  const double d = scaled(static_cast<double>(v), c);
  return form == number_form::exact && !whole_ ? fmt::put_shortest(p, d) : fmt::put_g16(p, d);
}

bool known_letter(char letter) {
  switch (letter) {
    case 'A':
    case 'B':
    case 'C':
    case 'D':
    case 'E':
    case 'I':
    case 'J':
    case 'K':
    case 'L':
    case 'M':
    case 'X':
    case 'P':
    case 'Q':
      return true;
    default:
      return false;
  }
}

bool can_be_null(const column_desc& c, char letter) {
  switch (letter) {
    case 'B':
    case 'I':
    case 'J':
    case 'K':
      return c.has_tnull;
    case 'E':
    case 'D':
    case 'L':
      return true;
    default:
      return false;
  }
}

bool null_element(const column_desc& c, char letter, const unsigned char* p) {
  switch (letter) {
    case 'B':
      return c.has_tnull && fits::integer_at<1>(p) == c.tnull;
    case 'I':
      return c.has_tnull && fits::integer_at<2>(p) == c.tnull;
    case 'J':
      return c.has_tnull && fits::integer_at<4>(p) == c.tnull;
    case 'K':
      return c.has_tnull && fits::integer_at<8>(p) == c.tnull;
    case 'E':
      return std::isnan(fits::float_at(p));
    case 'D':
      return std::isnan(fits::double_at(p));
    case 'L':
      return *p == 0;
    default:
      return false;
  }
}

std::int64_t cell_bytes(char letter, std::int64_t count) {
  if (count < 1) return 0;
  if (count > max_bytes) count = max_bytes;
  switch (letter) {
    case 'X':
      return (count + 7) / 8;
    case 'I':
      return 2 * count;
    case 'J':
    case 'E':
      return 4 * count;
    case 'K':
    case 'D':
    case 'C':
    case 'P':
      return 8 * count;
    case 'M':
    case 'Q':
      return 16 * count;
    default:  // A, B, L, and the unknown letters skip one byte per count
      return count;
  }
}

cell_writer bounded_writer(const column_desc& c, char letter, std::int64_t count, std::size_t& room,
                           number_form form) {
  if (letter == 'A') {
    room = count > 0 ? static_cast<std::size_t>(count) + 1 : 1;
    if (c.type == 'A' && c.string_width > 0) {
      // A blank after each string.
      room += count > 0 ? static_cast<std::size_t>((count - 1) / c.string_width + 1) : 0;
      return put_strings;
    }
    return put_string;
  }
  if (count < 1) return nullptr;
  const auto n = static_cast<std::size_t>(count);
  if (form == number_form::exact) {
    if (cell_writer write = exact_writer(c, letter, n, room)) return write;
  }
  constexpr std::size_t number = fmt::short_text + 1;
  const bool identity = identity_scaling(c);
  switch (letter) {
    case 'B':
      room = n * (identity ? long_text : number);
      return identity ? put_integers<1> : put_scaled_integers<1, number_form::printf_like>;
    case 'I':
      room = n * (identity ? long_text : number);
      return identity ? put_integers<2> : put_scaled_integers<2, number_form::printf_like>;
    case 'J':
      room = n * (identity ? long_text : number);
      return identity ? put_integers<4> : put_scaled_integers<4, number_form::printf_like>;
    case 'K':
      room = n * number;
      return identity ? put_long_longs : put_scaled_integers<8, number_form::printf_like>;
    case 'X':
      room = (n + 7) / 8 * 8 + 1;
      return put_bits;
    default:
      break;
  }
  // The real letters have a bound only without a TDISP width.
  if (c.disp_width != 0) return nullptr;
  switch (letter) {
    case 'E':
      room = n * number;
      return put_reals<single_at, 4, 1>;
    case 'D':
      room = n * number;
      return put_reals<double_at, 8, 1>;
    case 'C':
      room = 2 * n * number;
      return put_reals<single_at, 4, 2>;
    case 'M':
      room = 2 * n * number;
      return put_reals<double_at, 8, 2>;
    default:
      return nullptr;
  }
}

void write_cell(const column_desc& c, char letter, const unsigned char* b, std::int64_t count, text_buffer& text) {
  std::size_t room = 0;
  if (cell_writer write = bounded_writer(c, letter, count, room)) {
    text.commit(write(c, b, count, text.room(room)));
    return;
  }
  if (count < 1) return;
  switch (letter) {
    case 'E':
      displayed_reals<single_at, 4>(c, b, count, text);
      break;
    case 'D':
      displayed_reals<double_at, 8>(c, b, count, text);
      break;
    case 'C':
      displayed_reals<single_at, 4>(c, b, 2 * count, text);
      break;
    case 'M':
      displayed_reals<double_at, 8>(c, b, 2 * count, text);
      break;
    case 'L':
      logical_elements(c, b, count, text);
      break;
    default:
      break;
  }
}

void write_exact_cell(const column_desc& c, char letter, const unsigned char* b, std::int64_t count,
                      text_buffer& text) {
  std::size_t room = 0;
  if (cell_writer write = bounded_writer(c, letter, count, room, number_form::exact)) {
    text.commit(write(c, b, count, text.room(room)));
    return;
  }
  // Logicals, unknown letters and counts below 1: as in the printf form.
  write_cell(c, letter, b, count, text);
}

array_descriptor descriptor_at(char letter, const unsigned char* b, std::int64_t i) {
  if (letter == 'Q') {
    b += 16 * i;
    return {static_cast<std::int64_t>(be64(b)), static_cast<std::int64_t>(be64(b + 8))};
  }
  b += 8 * i;
  return {static_cast<std::int32_t>(be32(b)), static_cast<std::int32_t>(be32(b + 4))};
}

void cell_messages(char letter, const unsigned char* b, std::int64_t count, std::int64_t available,
                   std::string& messages) {
  if (!known_letter(letter)) {
    messages.append("Unknown type ").push_back(letter);
    messages.push_back('\n');
    return;
  }
  if (count < 1) return;
  auto byte = [&](std::int64_t at) -> unsigned char { return at < available ? b[at] : 0; };
  switch (letter) {
    case 'E':
    case 'C': {
      const std::int64_t bytes = cell_bytes(letter, count);
      const std::int64_t end = available < bytes ? available : bytes;
      for (std::int64_t at = 0; at < end; at += 4) {
        if (fits::float_warning(byte(at), byte(at + 1))) add_not_a_number(messages);
      }
      break;
    }
    case 'D':
    case 'M': {
      const std::int64_t bytes = cell_bytes(letter, count);
      const std::int64_t end = available < bytes ? available : bytes;
      for (std::int64_t at = 0; at < end; at += 8) {
        if (fits::double_warning(byte(at), byte(at + 1), byte(at + 7))) add_not_a_number(messages);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace orvex::decoder
