// The "%.16g" text of a double, the text of every 'E' and 'D' cell without
// a display format, written without printf and several times faster than
// std::to_chars with a precision.
//
// The text is exactly printf's: the binary value rounded to 16 significant
// digits (half to even on an exact tie), the exponent form when the decimal
// exponent after rounding is below -4 or above 15, trailing zeros and a
// trailing point removed, an exponent of at least two digits; "0", "-0",
// "inf", "-inf", "nan" and "-nan" for the special values.
//
// Most values are rounded with one 64 x 128-bit product against a table of
// powers of ten. When that product cannot settle the rounding (the part cut
// off lies within the table's error of the halfway point), the value goes to
// std::to_chars, which gives the same text the slow way.
#pragma once

namespace orvex::decoder::format {

// Writes the "%.16g" text of v at p and returns its end. The caller gives at
// least 32 bytes (short_text) of room at p; bytes past the returned end
// within those 32 may have been written and hold nothing of meaning.
char* write_g16(char* p, double v);

namespace detail {

// The same text when the table settles v's rounding (always so for zeros,
// infinities and NaNs); nullptr when v must go the slow way, and then the
// 32 bytes at p hold nothing of meaning. Exposed so that tests can tell
// how often the fast path is taken.
char* write_g16_fast(char* p, double v);

}  // namespace detail
}  // namespace orvex::decoder::format
