// Number texts for the cells, written straight into a caller's buffer with
// std::to_chars, and "%.16g" with our own exact formatter (g16_format.h).
// Each function gives exactly the text of the printf format named beside
// it for the same value, width and precision (the equivalence is tested on
// many values, infinities and NaNs included), at a fraction of the cost of
// a printf call per value.
//
// Every function writes at `p` and returns the new end of the text. The
// caller provides the room: short_text bytes for the whole numbers and
// "%.16g", g_text_room(width) for "%-*.*g".
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

// The widest field a TDISPn width pads a value to. Real display formats
// are a few dozen characters; a hostile width of two billion would turn
// every value into gigabytes of blanks. Only the padding stops here: the
// value's own text is always written whole.
inline constexpr std::int64_t widest_display = 10239;

// The field width that TDISPn width `width` gives: printf reads a negative
// width as a left-justified field of its absolute value.
constexpr std::int64_t display_width(std::int32_t width) {
  std::int64_t w = width < 0 ? -std::int64_t{width} : width;
  return w < widest_display ? w : widest_display;
}

// Room that "%-*.*g" with this width needs, whatever the precision.
constexpr std::int64_t g_text_room(std::int32_t width) {
  std::int64_t w = display_width(width);
  return (w > longest_g_text ? w : longest_g_text) + 32;
}

// Blanks from `start` up to `width` characters in all.
inline char* pad_to(char* p, char* start, std::int64_t width) {
  std::int64_t have = p - start;
  if (width <= have) return p;
  std::memset(p, ' ', static_cast<std::size_t>(width - have));
  return p + (width - have);
}

// "%ld" of a 32-bit value.
inline char* put_long(char* p, std::int32_t v) { return std::to_chars(p, p + short_text, v).ptr; }

// "%lu" of a 32-bit value.
inline char* put_ulong(char* p, std::uint32_t v) { return std::to_chars(p, p + short_text, v).ptr; }

// Decimal text of a 64-bit value, signed or unsigned.
template <typename Int>
inline char* put_integer(char* p, Int v) {
  return std::to_chars(p, p + short_text, v).ptr;
}

// "%.16g": at most 16 significant digits, no padding.
inline char* put_g16(char* p, double v) { return write_g16(p, v); }

// The shortest text that reads back to exactly `v` (std::to_chars without
// a precision): 0.1f gives "0.1", 1e22 "1e+22", and NaNs and infinities
// "nan", "-nan", "inf", "-inf". A float's text is the shortest for the
// float, not for the double it widens to.
inline char* put_shortest(char* p, double v) { return std::to_chars(p, p + short_text, v).ptr; }
inline char* put_shortest(char* p, float v) { return std::to_chars(p, p + short_text, v).ptr; }

// "%-*.*g" with the given width and precision: printf's reading of the
// star arguments (a negative width left-justifies, which "-" does anyway; a
// negative precision means the default 6; 0 means 1), the width taken as
// display_width() gives it.
char* put_g(char* p, double v, std::int32_t width, std::int32_t precision);

}  // namespace orvex::decoder::format
