#include "image/plio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

using test::box_pixels;
using test::fpack_tiles;

// A mask as PLIO holds them: runs of one value, zeros between, single
// pixels, values far apart (which take the two-word instruction), up to
// the 2^24 that the encoder accepts.
std::vector<std::int64_t> make_mask(std::size_t count, std::int64_t top, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::int64_t> v;
  while (v.size() < count) {
    const std::size_t run = 1 + rng() % (rng() % 4 == 0 ? 300 : 6);
    const std::int64_t value = rng() % 3 == 0 ? 0 : static_cast<std::int64_t>(rng() % (top + 1));
    v.insert(v.end(), std::min(run, count - v.size()), value);
  }
  return v;
}

struct judged_case {
  const char* name;
  int bitpix;
  std::int64_t width, height, top;
  const char* fpack_options;
};

TEST(PlioDecode, MatchesTheImageFpackCompressed) {
  const judged_case cases[] = {
      {"8-bit mask, row tiles", 8, 90, 6, 255, "-p"},
      {"16-bit mask, small values", 16, 400, 4, 9, "-p"},
      {"16-bit mask, 17x4 tiles", 16, 60, 9, 32767, "-p -t 17,4"},
      {"32-bit mask up to 2^24", 32, 5000, 2, 16777215, "-p"},
      {"32-bit mask, one tile", 32, 33, 33, 70000, "-p -t 33,33"},
      {"all zero", 16, 100, 3, 0, "-p"},
  };
  unsigned seed = 11;
  for (const judged_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto pixels = make_mask(c.width * c.height, c.top, seed++);
    const auto fz = fpack_tiles(c.bitpix, c.width, c.height, pixels, c.fpack_options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const auto want = box_pixels(pixels, c.width, fz->boxes[k]);
      std::vector<std::int32_t> got(want.size(), -1);
      ASSERT_EQ(plio_decode(fz->tiles[k], got), nullptr) << "tile " << k + 1;
      ASSERT_EQ(std::vector<std::int64_t>(got.begin(), got.end()), want) << "tile " << k + 1;
    }
  }
}

// Line lists as 16-bit words, written big-endian.
std::vector<std::uint8_t> list(std::initializer_list<std::uint16_t> words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : words) {
    bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    bytes.push_back(static_cast<std::uint8_t>(w));
  }
  return bytes;
}

TEST(PlioDecode, HandMadeLists) {
  struct row {
    const char* name;
    std::vector<std::uint8_t> in;
    std::vector<std::int32_t> want;  // empty: decoding must fail with `why`
    const char* why;
  };
  const row rows[] = {
      {"older header", list({0, 0, 5, 0x4002, 0x0001}), {1, 1, 0, 0}, nullptr},
      {"zeros then a pixel, descending", list({0, 7, 0xff9c, 10, 0, 0, 0, 0x2009, 0x5003, 0x7004}),
       {0, 0, 10, 6}, nullptr},
      {"pixels past the tile are not read", list({0, 7, 0xff9c, 9, 0, 0, 0, 0x4fff, 0xf000}), {1, 1, 1, 1},
       nullptr},
      {"short list leaves zeros", list({0, 7, 0xff9c, 8, 0, 0, 0, 0x6001}), {2, 0, 0, 0}, nullptr},
      {"cut inside the header", list({0, 7}), {}, "the line list ends inside its header"},
      {"declared longer than it is", list({0, 7, 0xff9c, 12, 0, 0, 0, 0x4004}), {},
       "the compressed bytes end before the line list does"},
      {"value split off", list({0, 7, 0xff9c, 8, 0, 0, 0, 0x1001}), {}, "the line list ends inside an instruction"},
      {"unknown instruction", list({0, 7, 0xff9c, 8, 0, 0, 0, 0x8001}), {}, "the line list holds an unknown instruction"},
      {"header too short for its fields", list({0, 2, 0xff9c, 8, 0, 0, 0, 0x4004}), {},
       "the line list's header is shorter than its fields"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::int32_t> out(4, -1);
    const char* why = plio_decode(r.in, out);
    if (r.want.empty()) {
      EXPECT_STREQ(why, r.why);
    } else {
      EXPECT_EQ(why, nullptr) << why;
      EXPECT_EQ(out, r.want);
    }
  }
  // A value driven past 32 bits: 2^28 - 1, then 460,000 additions of 4095.
  std::vector<std::uint16_t> words = {0, 7, 0xff9c, 0, 0, 0, 0, 0x1fff, 0xffff};
  words.insert(words.end(), 460000, 0x2fff);
  words.push_back(0x4001);
  words[3] = static_cast<std::uint16_t>(words.size() & 0x7fff);
  words[4] = static_cast<std::uint16_t>(words.size() >> 15);
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : words) bytes.insert(bytes.end(), {std::uint8_t(w >> 8), std::uint8_t(w)});
  std::vector<std::int32_t> out(4);
  EXPECT_STREQ(plio_decode(bytes, out), "a line-list value is outside 32 bits");
}

}  // namespace
}  // namespace orvex::image
