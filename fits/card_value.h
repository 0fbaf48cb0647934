// Reading numbers out of header card values and ASCII-table fields, the way
// the "%ld" and "%lg" scans read them: leading white space skipped, an
// optional sign, as many characters as form a number, nothing read when no
// number stands there.
//
// Two things differ from a plain scanf on this platform, both on purpose:
// integers are 32-bit values, saturated at the limits of that range as the
// 32-bit scanners saturate; and a floating number may write its exponent
// with the letter D (or d), as FITS writes double-precision values
// ("3.2768D+04"), which reads like E.
#pragma once

#include <cstdint>

namespace orvex::fits {

// "%ld" into a 32-bit value. Returns false, leaving `value` unchanged, when
// no number starts at `text` (after white space).
bool scan_long(const char* text, std::int32_t& value);

// Like scan_long, but a number outside the 32-bit range reads as
// -2147483648, the value the integer conversion gives for every result
// outside that range.
bool scan_long_or_min(const char* text, std::int32_t& value);

// "%lg" with a D exponent read as E. Returns false, leaving `value`
// unchanged, when no number starts at `text`. The read stops at the first
// NUL; the caller makes sure one follows.
bool scan_double(const char* text, double& value);

// v converted to a 32-bit integer by truncation toward zero; a value outside
// the 32-bit range, or a NaN, gives -2147483648.
constexpr std::int32_t to_int32(double v) {
  if (v > -2147483649.0 && v < 2147483648.0) return static_cast<std::int32_t>(v);
  return INT32_MIN;
}

}  // namespace orvex::fits
