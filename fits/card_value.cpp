#include "fits/card_value.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace orvex::fits {
namespace {

bool scan_integer(const char* text, long long& out, bool& overflow) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (end == text) return false;
  overflow = errno == ERANGE || v > INT32_MAX || v < INT32_MIN;
  out = v;
  return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool scan_long(const char* text, std::int32_t& value) {
  long long v = 0;
  bool overflow = false;
  if (!scan_integer(text, v, overflow)) return false;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool scan_long_or_min(const char* text, std::int32_t& value) {
  long long v = 0;
  bool overflow = false;
  if (!scan_integer(text, v, overflow)) return false;
  value = overflow ? INT32_MIN : static_cast<std::int32_t>(v);
  return true;
}

bool scan_double(const char* text, double& value) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  // A decimal number with a D exponent: rewrite the D as E and let strtod
  // do the (correctly rounded) conversion. Anything else (hexadecimal
  // numbers, inf, nan) goes to strtod as it stands.
  const char* q = p;
  if (*q == '+' || *q == '-') ++q;
  bool hex = q[0] == '0' && (q[1] == 'x' || q[1] == 'X');
  const char* source = text;
  char local[64];
  std::string rewritten;
  if (!hex) {
    const char* m = q;
    bool digits = false;
    while (is_digit(*m)) ++m, digits = true;
    if (*m == '.') {
      ++m;
      while (is_digit(*m)) ++m, digits = true;
    }
    if (digits && (*m == 'D' || *m == 'd')) {
      const char* e = m + 1;
      if (*e == '+' || *e == '-') ++e;
      if (is_digit(*e)) {
        while (is_digit(*e)) ++e;
        std::size_t len = static_cast<std::size_t>(e - p);
        char* copy = local;
        if (len >= sizeof local) {
          rewritten.assign(len, '\0');
          copy = rewritten.data();
        }
        std::memcpy(copy, p, len);
        copy[len] = '\0';
        copy[m - p] = 'E';
        source = copy;
      }
    }
  }
  char* end = nullptr;
  double v = std::strtod(source, &end);
  if (end == source) return false;
  value = v;
  return true;
}

namespace {

constexpr std::size_t keyword_size = 8;

bool is_blank_rest(std::string_view rest) {
  for (char c : rest) {
    if (c == '/') return true;
    if (c != ' ') return false;
  }
  return true;
}

std::string_view skip_blanks(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  return value;
}

std::size_t digits_at(std::string_view s, std::size_t at) {
  std::size_t n = 0;
  while (at + n < s.size() && is_digit(s[at + n])) ++n;
  return n;
}

}  // namespace

std::optional<keyword_value> value_card(std::string_view card) {
  if (card.size() <= keyword_size || card[keyword_size] != '=') return std::nullopt;
  std::string_view keyword = card.substr(0, keyword_size);
  while (!keyword.empty() && keyword.back() == ' ') keyword.remove_suffix(1);
  return keyword_value{keyword, card.substr(keyword_size + 1)};
}

std::optional<std::int64_t> integer_value(std::string_view value) {
  value = skip_blanks(value);
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  std::size_t digits = 0;
  std::uint64_t magnitude = 0;
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;  // |INT64_MIN|
  while (digits < value.size() && is_digit(value[digits])) {
    magnitude = magnitude > (limit - static_cast<unsigned>(value[digits] - '0')) / 10
                    ? limit
                    : magnitude * 10 + static_cast<unsigned>(value[digits] - '0');
    ++digits;
  }
  if (digits == 0 || !is_blank_rest(value.substr(digits))) return std::nullopt;
  if (negative) return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(magnitude);
  return magnitude >= limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(magnitude);
}

std::optional<double> real_value(std::string_view value) {
  value = skip_blanks(value);
  std::size_t at = 0;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) ++at;
  std::size_t mantissa = digits_at(value, at);
  at += mantissa;
  if (at < value.size() && value[at] == '.') {
    const std::size_t fraction = digits_at(value, at + 1);
    mantissa += fraction;
    at += 1 + fraction;
  }
  if (mantissa == 0) return std::nullopt;
  std::string number(value.substr(0, at));
  if (at < value.size() && (value[at] == 'E' || value[at] == 'e' || value[at] == 'D' || value[at] == 'd')) {
    std::size_t exponent = at + 1;
    if (exponent < value.size() && (value[exponent] == '+' || value[exponent] == '-')) ++exponent;
    const std::size_t digits = digits_at(value, exponent);
    if (digits == 0) return std::nullopt;
    number += 'E';
    number.append(value.substr(at + 1, exponent + digits - at - 1));
    at = exponent + digits;
  }
  if (!is_blank_rest(value.substr(at))) return std::nullopt;
  return std::strtod(number.c_str(), nullptr);
}

std::optional<bool> logical_value(std::string_view value) {
  value = skip_blanks(value);
  if (value.empty() || (value.front() != 'T' && value.front() != 'F')) return std::nullopt;
  if (!is_blank_rest(value.substr(1))) return std::nullopt;
  return value.front() == 'T';
}

std::optional<std::string> string_value(std::string_view value) {
  value = skip_blanks(value);
  if (value.empty() || value.front() != '\'') return std::nullopt;
  std::string text;
  std::size_t at = 1;
  for (;; ++at) {
    if (at >= value.size()) return std::nullopt;
    if (value[at] == '\'') {
      if (at + 1 < value.size() && value[at + 1] == '\'') {
        text.push_back('\'');
        ++at;
        continue;
      }
      break;
    }
    text.push_back(value[at]);
  }
  if (!is_blank_rest(value.substr(at + 1))) return std::nullopt;
  const std::size_t last = text.find_last_not_of(' ');
  text.resize(last == std::string::npos ? 0 : last + 1);
  return text;
}

}  // namespace orvex::fits
