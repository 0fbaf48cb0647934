#include "fits/card_value.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

}  // namespace orvex::fits
