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
//
// The second half reads values the way the FITS rules write them (the
// keyword in columns 1-8, "=" in column 9, the value, then blanks or a "/"
// comment), for the readers that must not guess: the data-unit size and
// the image values of --full. A card that breaks these rules counts for
// nothing there, whatever the scans above make of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// A card of the form "KEYWORD = value": its keyword (columns 1-8 without
// trailing blanks) and its value field (everything after the "=" of column
// 9). std::nullopt for a card without "=" in column 9.
struct keyword_value {
  std::string_view keyword;
  std::string_view value;
};
std::optional<keyword_value> value_card(std::string_view card);

// The constants of a value field: blanks, the constant, then nothing but
// blanks or a "/" comment; std::nullopt for anything else (a string, no
// value, text after the constant).
//
// An integer: an optional sign and decimal digits. Saturated at the limits
// of the 64-bit range.
std::optional<std::int64_t> integer_value(std::string_view value);
// A real: an optional sign, digits with or without a decimal point ("3",
// "-.5", "1.25"), an optional exponent with E or D ("3.2768E4",
// "1.0D-3"); the nearest double (an exponent beyond its range gives an
// infinity or zero).
std::optional<double> real_value(std::string_view value);
// A logical: T or F.
std::optional<bool> logical_value(std::string_view value);
// A string: blanks, a quote, the characters up to the closing quote (two
// quotes standing for one), then nothing but blanks or a comment. Its
// trailing blanks are cut, as FITS defines them as insignificant; leading
// blanks stay.
std::optional<std::string> string_value(std::string_view value);

}  // namespace orvex::fits
