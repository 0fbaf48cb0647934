#include "image/plio.h"

#include <gtest/gtest.h>

#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

// Masks of runs, zeros between them, single pixels and values far apart
// (the two-word instruction), up to the 2^24 that the encoder accepts.
TEST(PlioDecode, MatchesTheImageFpackCompressed) {
  const struct {
    int bitpix;
    std::int64_t width, height, top;
    const char* options;
  } cases[] = {
      {8, 90, 6, 255, "-p"},          {16, 400, 4, 9, "-p"},         {16, 60, 9, 32767, "-p -t 17,4"},
      {32, 5000, 2, 16777215, "-p"},  {32, 33, 33, 70000, "-p -t 33,33"}, {16, 100, 3, 0, "-p"},
  };
  unsigned seed = 11;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitpix) + "-bit, values to " + std::to_string(c.top) + ", fpack " + c.options);
    const auto pixels = test::make_pixels(test::pattern::mask, c.bitpix, c.width * c.height, seed++, c.top);
    const auto fz = test::compress("fpack", c.bitpix, c.width, c.height, pixels, c.options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const auto want = test::box_pixels(pixels, c.width, fz->boxes[k]);
      std::vector<std::int32_t> got(want.size(), -1);
      ASSERT_EQ(plio_decode(fz->tiles[k], got), nullptr) << "tile " << k + 1;
      ASSERT_EQ(std::vector<std::int64_t>(got.begin(), got.end()), want) << "tile " << k + 1;
    }
  }
}

// Line lists as big-endian words.
std::vector<std::uint8_t> list(std::vector<std::uint16_t> words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : words) bytes.insert(bytes.end(), {std::uint8_t(w >> 8), std::uint8_t(w)});
  return bytes;
}

TEST(PlioDecode, HandMadeLists) {
  // After the 7-word header (the length in words 3 and 4): instructions.
  const auto with_header = [](std::size_t length, std::vector<std::uint16_t> code) {
    code.insert(code.begin(), {0, 7, 0xff9c, std::uint16_t(length & 0x7fff), std::uint16_t(length >> 15), 0, 0});
    return list(code);
  };
  // 2^28 - 1, then 460,000 additions of 4095: past 32 bits.
  std::vector<std::uint16_t> huge = {0x1fff, 0xffff};
  huge.insert(huge.end(), 460000, 0x2fff);
  huge.push_back(0x4001);
  const struct {
    std::vector<std::uint8_t> in;
    std::vector<std::int32_t> want;  // empty: decoding fails with `why`
    const char* why;
  } rows[] = {
      {list({0, 0, 5, 0x4002, 0x0001}), {1, 1, 0, 0}, nullptr},  // the older header
      {with_header(10, {0x2009, 0x5003, 0x7004}), {0, 0, 10, 6}, nullptr},
      {with_header(9, {0x4fff, 0xf000}), {1, 1, 1, 1}, nullptr},  // nothing read past the tile
      {with_header(8, {0x6001}), {2, 0, 0, 0}, nullptr},         // the rest is 0
      {list({0, 7}), {}, "the line list ends inside its header"},
      {with_header(12, {0x4004}), {}, "the compressed bytes end before the line list does"},
      {with_header(8, {0x1001}), {}, "the line list ends inside an instruction"},
      {with_header(8, {0x8001}), {}, "the line list holds an unknown instruction"},
      {list({0, 2, 0xff9c, 8, 0, 0, 0, 0x4004}), {}, "the line list's header is shorter than its fields"},
      {with_header(huge.size() + 7, huge), {}, "a line-list value is outside 32 bits"},
  };
  for (const auto& r : rows) {
    std::vector<std::int32_t> out(4, -1);
    EXPECT_STREQ(plio_decode(r.in, out), r.why) << "row " << &r - rows;
    if (!r.want.empty()) {
      EXPECT_EQ(out, r.want) << "row " << &r - rows;
    }
  }
}

}  // namespace
}  // namespace orvex::image
