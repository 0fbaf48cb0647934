// Pixel texts of every BITPIX under every value rule: exact integers of any
// size, BLANK, scaled values and floating values as "%.16g" writes them.
// The images of the end-to-end tests cover the usual cases; these are the
// corners.
#include "decoder/image_pixels.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "tests/fits_builder.h"

namespace orvex::decoder {
namespace {

using test::big_endian;

std::string text_of(const pixel_rules& rules, const std::string& bytes) {
  text_buffer text;
  text.append("before ");
  rules.write(reinterpret_cast<const unsigned char*>(bytes.data()),
              static_cast<std::int64_t>(bytes.size()) / rules.bytes(), text);
  return std::string(text.view());
}

std::string g16(double v) {
  char t[64];
  std::snprintf(t, sizeof t, "%.16g ", v);
  return t;
}

TEST(pixel_rules, corners_of_the_value_rules) {
  const std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
  const struct {
    const char* name;
    pixel_rules rules;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"8-bit BLANK is compared before scaling", {8, 2.0, 0.5, 255}, big_endian{}.u8(255).u8(3).bytes(), "nan 6.5 "},
      {"a BLANK outside the type's range never matches", {16, 1.0, 0.0, 70000}, big_endian{}.i16(4464).bytes(), "4464 "},
      {"BLANK with an exact offset", {16, 1.0, 32768.0, -32768}, big_endian{}.i16(-32768).i16(-1).bytes(), "nan 32767 "},
      {"a negative offset beyond 64 bits", {64, 1.0, -1e20, {}}, big_endian{}.i64(i64_min).i64(7).bytes(),
       "-109223372036854775808 -99999999999999999993 "},
      {"an offset of 2^125 and more is scaled", {32, 1.0, 0x1p125, {}}, big_endian{}.i32(1).bytes(), g16(0x1p125)},
      {"BSCALE -1 is scaled", {32, -1.0, 0.0, {}}, big_endian{}.i32(5).bytes(), "-5 "},
      {"a scaled -0 gives 0", {-64, 1.0, 0.5, {}}, big_endian{}.f64(-0.5).bytes(), "0 "},
      {"BLANK plays no part in floats", {-32, 1.0, 0.0, 0}, big_endian{}.f32(0.0f).bytes(), "0 "},
      {"a scaled NaN of either sign", {-32, 3.0, 1.0, {}}, big_endian{}.f32_bits(0xffc00000).bytes(), "nan "},
      {"an infinity scaled to NaN", {-64, 0.0, 0.0, {}}, big_endian{}.f64(1.0 / 0.0).bytes(), "nan "},
  };
  for (const auto& c : cases) EXPECT_EQ(text_of(c.rules, c.bytes), "before " + c.text) << c.name;
}

// Long lines are written a run of values at a time: every value arrives,
// in order, across the runs.
TEST(pixel_rules, a_line_longer_than_a_run) {
  big_endian bytes;
  std::string want = "before ";
  for (int i = 0; i < 10000; ++i) {
    bytes.f32(static_cast<float>(i) / 7.0f);
    want += g16(static_cast<float>(i) / 7.0f);
  }
  EXPECT_EQ(text_of({-32, 1.0, 0.0, {}}, bytes.bytes()), want);
}

TEST(pixel_rules, the_pixel_types) {
  for (std::int64_t bitpix : {8, 16, 32, 64, -32, -64}) EXPECT_TRUE(known_bitpix(bitpix)) << bitpix;
  for (std::int64_t bitpix : {0LL, 7LL, -8LL, -16LL, 128LL, 4294967304LL}) EXPECT_FALSE(known_bitpix(bitpix)) << bitpix;
}

}  // namespace
}  // namespace orvex::decoder
