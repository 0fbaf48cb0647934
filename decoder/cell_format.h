// Number texts for the cells, written straight into a caller's buffer with
// std::to_chars. Each function gives exactly the text of the printf format
// named beside it for the same value, width and precision (the equivalence
// is tested on many values, infinities and NaNs included), at a fraction of
// the cost of a printf call per value.
//
// Every function writes at `p`, never at or past `limit`, and returns the
// new end of the text. A text that does not fit is cut at `limit`.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>

#include "decoder/g16_format.h"

namespace orvex::decoder::format {

// Room that every whole number text and every %.16g text fits in
// ("-1.234567890123456e-308" is 23 characters).
inline constexpr int short_text = 32;

// The longest %g text a double can have: its exact decimal expansion has at
// most 767 significant digits, plus sign, point and exponent, and %g drops
// trailing zeros, so a large precision never makes it longer.
inline constexpr int longest_g_text = 1100;

// Copies what fits of [text, text + n) to p.
inline char* put_text(char* p, char* limit, const char* text, std::size_t n) {
  std::size_t room = static_cast<std::size_t>(limit - p);
  if (n > room) n = room;
  std::memcpy(p, text, n);
  return p + n;
}

inline char* put_char(char* p, char* limit, char c) {
  if (p < limit) *p++ = c;
  return p;
}

// Blanks from `start` up to `width` characters in all.
inline char* pad_to(char* p, char* limit, char* start, std::int64_t width) {
  std::int64_t have = p - start;
  if (width <= have) return p;
  std::int64_t room = limit - p;
  std::int64_t n = width - have < room ? width - have : room;
  std::memset(p, ' ', static_cast<std::size_t>(n));
  return p + n;
}

// "%ld" of a 32-bit value.
inline char* put_long(char* p, char* limit, std::int32_t v) {
  if (limit - p >= short_text) return std::to_chars(p, limit, v).ptr;
  char text[short_text];
  char* end = std::to_chars(text, text + sizeof text, v).ptr;
  return put_text(p, limit, text, static_cast<std::size_t>(end - text));
}

// "%lu" of a 32-bit value.
inline char* put_ulong(char* p, char* limit, std::uint32_t v) {
  if (limit - p >= short_text) return std::to_chars(p, limit, v).ptr;
  char text[short_text];
  char* end = std::to_chars(text, text + sizeof text, v).ptr;
  return put_text(p, limit, text, static_cast<std::size_t>(end - text));
}

// Decimal text of a 64-bit value, signed or unsigned.
template <typename Int>
inline char* put_integer(char* p, char* limit, Int v) {
  char text[short_text];
  char* end = std::to_chars(text, text + sizeof text, v).ptr;
  return put_text(p, limit, text, static_cast<std::size_t>(end - text));
}

// "%.16g": at most 16 significant digits, no padding.
inline char* put_g16(char* p, char* limit, double v) {
  if (limit - p >= short_text) return write_g16(p, v);
  char text[short_text];
  char* end = write_g16(text, v);
  return put_text(p, limit, text, static_cast<std::size_t>(end - text));
}

// "%-*.*g" with the given width and precision: printf's reading of the
// star arguments (a negative width left-justifies, which "-" does anyway; a
// negative precision means the default 6; 0 means 1).
char* put_g(char* p, char* limit, double v, std::int32_t width, std::int32_t precision);

}  // namespace orvex::decoder::format
