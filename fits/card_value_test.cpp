// Number scans of card values: what "%ld" and "%lg" read from a value text,
// the 32-bit limits, and the FITS D exponent.
#include "fits/card_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace orvex::fits {
namespace {

constexpr std::int32_t untouched = 12345;

struct long_case {
  const char* text;
  std::optional<std::int32_t> saturated;  // scan_long; nullopt: no number
  std::optional<std::int32_t> or_min;     // scan_long_or_min
};

TEST(scan_long, reads_a_leading_32_bit_integer) {
  const long_case cases[] = {
      {"42", 42, 42},
      {"                   2", 2, 2},
      {"-7 / a comment", -7, -7},
      {"+3", 3, 3},
      {"\t 16", 16, 16},
      {"0012", 12, 12},
      {"12abc", 12, 12},
      {"1.5E3", 1, 1},
      {"-0", 0, 0},
      {"2147483647", 2147483647, 2147483647},
      {"-2147483648", INT32_MIN, INT32_MIN},
      {"2147483648", INT32_MAX, INT32_MIN},
      {"-2147483649", INT32_MIN, INT32_MIN},
      {"99999999999999999999999", INT32_MAX, INT32_MIN},
      {"-99999999999999999999999", INT32_MIN, INT32_MIN},
      {"", std::nullopt, std::nullopt},
      {"   ", std::nullopt, std::nullopt},
      {"T", std::nullopt, std::nullopt},
      {"'12'", std::nullopt, std::nullopt},
      {"- 5", std::nullopt, std::nullopt},
      {"+", std::nullopt, std::nullopt},
      {".5", std::nullopt, std::nullopt},
  };
  for (const long_case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    std::int32_t v = untouched;
    EXPECT_EQ(scan_long(c.text, v), c.saturated.has_value());
    EXPECT_EQ(v, c.saturated.value_or(untouched));
    v = untouched;
    EXPECT_EQ(scan_long_or_min(c.text, v), c.or_min.has_value());
    EXPECT_EQ(v, c.or_min.value_or(untouched));
  }
}

struct double_case {
  const char* text;
  std::optional<double> expected;  // nullopt: no number; NaN: any NaN
};

TEST(scan_double, reads_a_leading_number_with_e_or_d_exponent) {
  const double inf = std::numeric_limits<double>::infinity();
  const double_case cases[] = {
      {"0.5", 0.5},
      {"   1.5E2 / comment", 150.0},
      {"-2.25", -2.25},
      {"+.5", 0.5},
      {"5.", 5.0},
      {"7", 7.0},
      {"1e-3", 0.001},
      {"3.2768D+04", 32768.0},
      {"3.2768d+04", 32768.0},
      {"1D3", 1000.0},
      {"-2.5D-1", -0.25},
      {".5D1", 5.0},
      {"1.0D+00' / quoted", 1.0},
      {"0.1D0", 0.1},
      {"0.33333333333333333D0", 0.3333333333333333},
      {"1D", 1.0},          // no exponent digits: the number ends before the D
      {"1D+", 1.0},
      {"2.5DX", 2.5},
      {"1.5E", 1.5},
      {"0x10", 16.0},       // what %lg reads as well
      {"inf", inf},
      {"-INF", -inf},
      {"nan", std::numeric_limits<double>::quiet_NaN()},
      {"1e999", inf},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"D5", std::nullopt},
      {"abc", std::nullopt},
      {"'1.0'", std::nullopt},
      {".", std::nullopt},
      {"-", std::nullopt},
  };
  for (const double_case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    double v = -99.0;
    EXPECT_EQ(scan_double(c.text, v), c.expected.has_value());
    if (!c.expected) {
      EXPECT_EQ(v, -99.0) << "a text without a number leaves the value unchanged";
    } else if (std::isnan(*c.expected)) {
      EXPECT_TRUE(std::isnan(v)) << v;
    } else {
      EXPECT_EQ(v, *c.expected);
    }
  }
}

// A D exponent on a number longer than the scan's local copy.
TEST(scan_double, long_number_with_d_exponent) {
  const std::string text = "1." + std::string(100, '0') + "1D2";
  double v = 0;
  ASSERT_TRUE(scan_double(text.c_str(), v));
  EXPECT_EQ(v, 100.0);
}

TEST(to_int32, truncates_toward_zero_and_maps_the_rest_to_the_minimum) {
  const struct {
    double v;
    std::int32_t expected;
  } cases[] = {
      {1.5, 1},
      {-1.5, -1},
      {-0.9, 0},
      {2147483647.0, 2147483647},
      {2147483647.9, 2147483647},
      {-2147483648.0, INT32_MIN},
      {-2147483648.9, INT32_MIN},
      {2147483648.0, INT32_MIN},
      {4e9, INT32_MIN},
      {-4e9, INT32_MIN},
      {std::numeric_limits<double>::infinity(), INT32_MIN},
      {-std::numeric_limits<double>::infinity(), INT32_MIN},
      {std::numeric_limits<double>::quiet_NaN(), INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(to_int32(c.v), c.expected) << "to_int32(" << c.v << ")";
}

// Values by the FITS rules: the constant, then only blanks or a comment.
TEST(fits_values, read_only_what_the_rules_write) {
  EXPECT_EQ(integer_value("   -42 / c"), -42);
  EXPECT_EQ(integer_value("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(integer_value("-99999999999999999999"), INT64_MIN);
  for (const char* bad : {"", "42x", "'42'", "4 2", "1.0", "+"}) EXPECT_EQ(integer_value(bad), std::nullopt) << bad;
  const struct {
    const char* text;
    std::optional<double> value;
  } reals[] = {
      {"  2.5D0 / scale", 2.5}, {"32768", 32768.0}, {"-.5", -0.5}, {"5.", 5.0}, {"1.0E20", 1e20},
      {"9223372036854775808", 9223372036854775808.0}, {"3.2768d+04", 32768.0}, {"1E999", HUGE_VAL},
      {"", std::nullopt}, {".", std::nullopt}, {"1E", std::nullopt}, {"1.5abc", std::nullopt},
      {"'2.0'", std::nullopt}, {"nan", std::nullopt}, {"0x10", std::nullopt}, {"T", std::nullopt},
  };
  for (const auto& c : reals) EXPECT_EQ(real_value(c.text), c.value) << c.text;
  EXPECT_EQ(logical_value(" T / groups"), true);
  EXPECT_EQ(logical_value("TRUE"), std::nullopt);
  EXPECT_EQ(value_card("BSCALE  =  2")->keyword, "BSCALE");
  EXPECT_EQ(value_card("BSCALE  =  2")->value, "  2");
  EXPECT_EQ(value_card("BSCALE=2"), std::nullopt);
}

}  // namespace
}  // namespace orvex::fits
