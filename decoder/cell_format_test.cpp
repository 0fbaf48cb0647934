// The number texts of the cells must be exactly what printf writes for the
// same value, width and precision: "%.16g", "%-*.*g", "%ld" and "%lu" (the
// long of those two formats being 32 bits wide). These tests hold the
// to_chars-based writers against snprintf itself, on values chosen to hit
// every corner of the conversions: random bit patterns, the e/f switch,
// decimal halfway cases, subnormals, signed zeros, infinities and NaNs of
// both signs, and widths and precisions that printf reads in its own way
// (0, negative, large).
#include "decoder/cell_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::decoder {
namespace {

constexpr char guard = '#';
constexpr std::size_t guard_bytes = 16;

// Runs a writer on a buffer of `room` bytes followed by guard bytes, and
// returns its text; fails the test when the writer touched the guard or
// returned an end outside the buffer.
template <typename Writer>
std::string written(std::size_t room, Writer&& write) {
  std::vector<char> buffer(room + guard_bytes, guard);
  char* begin = buffer.data();
  char* end = write(begin, begin + room);
  EXPECT_GE(end, begin);
  EXPECT_LE(end, begin + room);
  for (std::size_t i = room; i < buffer.size(); ++i) {
    if (buffer[i] != guard) {
      ADD_FAILURE() << "writer wrote past its limit at offset " << i << " of room " << room;
      break;
    }
  }
  if (end < begin || end > begin + room) return {};
  return std::string(begin, end);
}

// printf's own text; every text of these tests is far below the buffer.
std::string printf_text(const char* format, auto... args) {
  static char text[1 << 16];
  int n = std::snprintf(text, sizeof text, format, args...);
  EXPECT_GE(n, 0) << format;
  EXPECT_LT(n, static_cast<int>(sizeof text)) << format;
  if (n < 0 || n >= static_cast<int>(sizeof text)) return {};
  return std::string(text, static_cast<std::size_t>(n));
}

std::string hex_bits(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  char text[32];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(bits));
  return text;
}

double from_bits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

double from_float_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Values picked by hand and by rule, without the random ones.
std::vector<double> chosen_values() {
  std::vector<double> v;
  constexpr double inf = std::numeric_limits<double>::infinity();
  // Signed zeros, infinities, NaNs of both signs and with payloads.
  for (double x : {0.0, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                   -std::numeric_limits<double>::quiet_NaN(), from_bits(0x7FF0000000000001ULL),
                   from_bits(0xFFF0000000000001ULL), from_bits(0x7FF8000000000001ULL),
                   from_bits(0xFFFFFFFFFFFFFFFFULL), from_float_bits(0x7FC00000U),
                   from_float_bits(0xFFC00000U), from_float_bits(0x7F800001U)}) {
    v.push_back(x);
  }
  // The extremes of double and float, and the subnormals.
  for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                   std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::epsilon(),
                   double{std::numeric_limits<float>::max()}, double{std::numeric_limits<float>::min()},
                   double{std::numeric_limits<float>::denorm_min()}}) {
    v.push_back(x);
    v.push_back(-x);
  }
  for (std::uint64_t m = 1; m < (std::uint64_t{1} << 52); m = m * 3 + 1) v.push_back(from_bits(m));
  v.push_back(from_bits(0x000FFFFFFFFFFFFFULL));  // the largest subnormal
  // Powers of ten over the whole range and their neighbours: the e/f
  // switch of %g and the carries that change the exponent (9.9999... to 10).
  for (int e = -324; e <= 308; ++e) {
    double p = std::pow(10.0, e);
    if (p == 0.0 || std::isinf(p)) continue;
    for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, inf), 5 * p, 9.5 * p,
                     9.999999999999999 * p, 0.9999999999999999 * p, 1.5 * p}) {
      v.push_back(x);
      v.push_back(-x);
    }
  }
  // Small numbers with a decimal halfway point: n + 0.5 rounds to even at
  // the precision that cuts the 5, both ways.
  for (double x : {0.5, 1.5, 2.5, 3.5, 9.5, 10.5, 99.5, 125.0, 0.125, 0.375, 1.25, 2.25, 0.0625,
                   1234.5, 98765.5, 0.15, 0.25, 0.35, 0.45, 1e-5, 9.5e-5, 0.0001, 0.00015, 123456.5,
                   1e15, 1e16, 1e17, 9007199254740992.0, 9007199254740993.0, 4503599627370495.5,
                   1125899906842624.5, 3.14159, 2.718281828459045, 0.1, 0.2, 0.3, 1.0 / 3.0,
                   2.0 / 3.0, 1e22, 1e23, 5e-324, 1.7976931348623157e308, 2.2250738585072014e-308}) {
    v.push_back(x);
    v.push_back(-x);
  }
  return v;
}

// m / 2^j for odd m: its decimal expansion ends in a 5 in place j, so one
// precision of %g cuts it exactly half way.
std::vector<double> halfway_values(std::mt19937_64& rng, int n) {
  std::vector<double> v;
  std::uniform_int_distribution<int> shift(1, 60);
  for (int i = 0; i < n; ++i) {
    int j = shift(rng);
    std::uint64_t m = (rng() >> 11) | 1;  // 53 bits at most: exact in a double
    m >>= rng() % 50;
    m |= 1;
    v.push_back(std::ldexp(static_cast<double>(m), -j));
  }
  // 16-digit integers plus one half: halfway at the default 16 digits.
  std::uniform_int_distribution<std::uint64_t> big(1000000000000000ULL, 4503599627370495ULL);
  for (int i = 0; i < n; ++i) v.push_back(static_cast<double>(big(rng)) + 0.5);
  return v;
}

std::vector<double> random_double_bits(std::mt19937_64& rng, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(from_bits(rng()));
  return v;
}

// What an 'E' column delivers: a single-precision value widened to double.
std::vector<double> random_float_bits(std::mt19937_64& rng, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(from_float_bits(static_cast<std::uint32_t>(rng())));
  return v;
}

std::string put_g16_text(double v, std::size_t room = format::short_text) {
  return written(room, [&](char* p, char*) { return format::put_g16(p, v); });
}

std::string put_g_text(double v, std::int32_t width, std::int32_t precision, std::size_t room) {
  return written(room, [&](char* p, char*) { return format::put_g(p, v, width, precision); });
}

// Fails with the value, its bits and the format's arguments; returns
// whether the two texts agree, so that loops can stop after a few failures.
bool same_text(const std::string& got, const std::string& want, double v, const char* format,
               int width = 0, int precision = 0) {
  if (got == want) return true;
  ADD_FAILURE() << format << " width " << width << " precision " << precision << " of " << hex_bits(v)
                << ": to_chars text \"" << got << "\", printf text \"" << want << "\"";
  return false;
}

constexpr int max_failures = 20;

TEST(CellFormatG16, MatchesPrintfOnChosenValues) {
  int failures = 0;
  for (double v : chosen_values()) {
    if (!same_text(put_g16_text(v), printf_text("%.16g", v), v, "%.16g") && ++failures == max_failures) return;
  }
}

TEST(CellFormatG16, MatchesPrintfOnRandomDoubleAndFloatBits) {
  std::mt19937_64 rng(20240611);
  std::vector<double> values = random_double_bits(rng, 120000);
  std::vector<double> floats = random_float_bits(rng, 120000);
  values.insert(values.end(), floats.begin(), floats.end());
  int failures = 0;
  for (double v : values) {
    if (!same_text(put_g16_text(v), printf_text("%.16g", v), v, "%.16g") && ++failures == max_failures) return;
  }
}

TEST(CellFormatG16, MatchesPrintfOnHalfwayValues) {
  std::mt19937_64 rng(7);
  int failures = 0;
  for (double v : halfway_values(rng, 20000)) {
    if (!same_text(put_g16_text(v), printf_text("%.16g", v), v, "%.16g") && ++failures == max_failures) return;
  }
}

// Widths and precisions as a TDISPn card can give them; printf reads a
// negative width as a left-justified field (which "-" asks for anyway), a
// negative precision as the default 6 and a precision of 0 as 1.
constexpr std::int32_t widths[] = {0, 1, 2, 5, 8, 10, 12, 15, 20, 25, 40, 64, 100, -1, -7, -20};
constexpr std::int32_t precisions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 16, 17, 18, 20, 25, 30, -1, -6};

TEST(CellFormatG, MatchesPrintfOverWidthsAndPrecisions) {
  std::mt19937_64 rng(99);
  std::vector<double> values = chosen_values();
  std::vector<double> more = halfway_values(rng, 300);
  values.insert(values.end(), more.begin(), more.end());
  more = random_float_bits(rng, 600);
  values.insert(values.end(), more.begin(), more.end());
  more = random_double_bits(rng, 600);
  values.insert(values.end(), more.begin(), more.end());
  constexpr std::size_t room = 4096;
  int failures = 0;
  std::size_t compared = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    double v = values[i];
    for (std::int32_t p : precisions) {
      // Every precision with a width that walks the list, so that each
      // pair is met on many values without the product of all three.
      std::int32_t w = widths[(i + static_cast<std::size_t>(p + 6)) % std::size(widths)];
      ++compared;
      if (!same_text(put_g_text(v, w, p, room), printf_text("%-*.*g", w, p, v), v, "%-*.*g", w, p) &&
          ++failures == max_failures) {
        return;
      }
    }
  }
  EXPECT_GT(compared, 50000u);
}

TEST(CellFormatG, MatchesPrintfAtEveryPrecisionOnHalfwayValues) {
  std::mt19937_64 rng(3);
  constexpr std::size_t room = 4096;
  int failures = 0;
  for (double v : halfway_values(rng, 1500)) {
    for (std::int32_t p = 1; p <= 25; ++p) {
      if (!same_text(put_g_text(v, 0, p, room), printf_text("%-*.*g", 0, p, v), v, "%-*.*g", 0, p) &&
          ++failures == max_failures) {
        return;
      }
    }
  }
}

// Precisions past the 17 digits that tell doubles apart: %g then writes the
// exact binary value's decimal expansion, up to 767 significant digits for
// the smallest subnormals, and no more however large the precision.
TEST(CellFormatG, MatchesPrintfAtLargePrecisions) {
  std::mt19937_64 rng(11);
  std::vector<double> values = {std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::min(),
                                from_bits(0x000FFFFFFFFFFFFFULL),
                                std::numeric_limits<double>::max(),
                                0.1,
                                -1.0 / 3.0,
                                1e-4,
                                9.99999999999999912e-5,
                                1e300,
                                -0.0,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::quiet_NaN()};
  std::vector<double> more = random_double_bits(rng, 150);
  values.insert(values.end(), more.begin(), more.end());
  constexpr std::int32_t large[] = {40, 100, 330, 500, 760, 766, 767, 768, 800, 1074, 1099, 1100, 1101, 1500, 5000, 100000};
  constexpr std::size_t room = 8192;
  int failures = 0;
  for (double v : values) {
    for (std::int32_t p : large) {
      std::int32_t w = (p % 7 == 0) ? 1200 : 3;
      if (!same_text(put_g_text(v, w, p, room), printf_text("%-*.*g", w, p, v), v, "%-*.*g", w, p) &&
          ++failures == max_failures) {
        return;
      }
    }
  }
}

TEST(CellFormatG, PadsToWidthsLongerThanTheText) {
  for (std::int32_t w : {30, 333, 1000, 5000, -5000}) {
    for (double v : {1.5, -2.25e-300, std::numeric_limits<double>::infinity()}) {
      EXPECT_EQ(put_g_text(v, w, 6, 6000), printf_text("%-*.*g", w, 6, v)) << hex_bits(v) << " width " << w;
    }
  }
  // Past the widest display only the padding stops; the digits never do.
  for (std::int32_t w : {10239, 10240, 100000, INT32_MAX, INT32_MIN}) {
    const std::string text = put_g_text(-1.0 / 3.0, w, 30, 12000);
    EXPECT_EQ(text, printf_text("%-*.*g", 10239, 30, -1.0 / 3.0)) << "width " << w;
  }
}

std::vector<std::int32_t> integer_values(std::mt19937_64& rng, int n) {
  std::vector<std::int32_t> v = {0, 1, -1, 9, 10, -10, 99, 100, 127, 128, 255, 256, -128, 32767, -32768, 65535,
                                 999999999, 1000000000, -999999999, -1000000000, INT32_MAX, INT32_MIN,
                                 INT32_MAX - 1, INT32_MIN + 1};
  for (std::int64_t p = 1; p <= INT32_MAX; p *= 10) {
    v.push_back(static_cast<std::int32_t>(p));
    v.push_back(static_cast<std::int32_t>(p - 1));
    v.push_back(static_cast<std::int32_t>(-p));
  }
  for (int i = 0; i < n; ++i) {
    auto bits = static_cast<std::uint32_t>(rng());
    // Random magnitudes too, not only ten-digit numbers.
    bits >>= rng() % 32;
    v.push_back(static_cast<std::int32_t>(rng() & 1 ? bits : ~bits));
  }
  return v;
}

TEST(CellFormatLong, MatchesPrintfOf32BitLong) {
  std::mt19937_64 rng(5);
  int failures = 0;
  for (std::int32_t v : integer_values(rng, 100000)) {
    std::string got = written(format::short_text, [&](char* p, char*) { return format::put_long(p, v); });
    std::string want = printf_text("%ld", static_cast<long>(v));
    if (got != want) {
      ADD_FAILURE() << "%ld of " << v << ": \"" << got << "\" against \"" << want << "\"";
      if (++failures == max_failures) return;
    }
  }
}

TEST(CellFormatUlong, MatchesPrintfOf32BitUnsignedLong) {
  std::mt19937_64 rng(6);
  int failures = 0;
  for (std::int32_t s : integer_values(rng, 100000)) {
    auto v = static_cast<std::uint32_t>(s);
    std::string got = written(format::short_text, [&](char* p, char*) { return format::put_ulong(p, v); });
    std::string want = printf_text("%lu", static_cast<unsigned long>(v));
    if (got != want) {
      ADD_FAILURE() << "%lu of " << v << ": \"" << got << "\" against \"" << want << "\"";
      if (++failures == max_failures) return;
    }
  }
}

TEST(CellFormatInteger, MatchesPrintfOf64BitValues) {
  std::mt19937_64 rng(8);
  std::vector<std::int64_t> values = {0, -1, INT64_MAX, INT64_MIN, INT32_MIN, std::int64_t{INT32_MAX} + 1};
  for (int i = 0; i < 20000; ++i) values.push_back(static_cast<std::int64_t>(rng() >> (rng() % 64)) * (rng() & 1 ? 1 : -1));
  for (std::int64_t v : values) {
    EXPECT_EQ(written(32, [&](char* p, char*) { return format::put_integer(p, v); }),
              printf_text("%lld", static_cast<long long>(v))) << v;
    auto u = static_cast<std::uint64_t>(v);
    EXPECT_EQ(written(32, [&](char* p, char*) { return format::put_integer(p, u); }),
              printf_text("%llu", static_cast<unsigned long long>(u))) << u;
  }
}

}  // namespace
}  // namespace orvex::decoder
