#include "image/rice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

using test::box_pixels;
using test::fpack_tiles;

// Pixel patterns that reach every kind of Rice block: flat areas (all
// differences zero), gentle noise (split codes of a few bits), full-range
// noise and alternating extremes (blocks stored whole), a ramp that wraps.
enum class pattern { flat, noise, full_range, extremes, ramp, mixed };

std::vector<std::int64_t> make_pixels(pattern kind, int bitpix, std::size_t count, unsigned seed) {
  const std::int64_t lo = bitpix == 8 ? 0 : -(std::int64_t{1} << (bitpix - 1));
  const std::int64_t hi = bitpix == 8 ? 255 : (std::int64_t{1} << (bitpix - 1)) - 1;
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::int64_t> any(lo, hi);
  std::normal_distribution<double> gauss(0.0, 6.0);
  std::vector<std::int64_t> v(count);
  for (std::size_t i = 0; i < count; ++i) {
    const pattern here = kind == pattern::mixed ? static_cast<pattern>((i / 40) % 5) : kind;
    switch (here) {
      case pattern::flat: v[i] = bitpix == 8 ? 200 : lo + 3; break;
      case pattern::noise: v[i] = std::clamp<std::int64_t>(100 + std::llround(gauss(rng)), lo, hi); break;
      case pattern::full_range: v[i] = any(rng); break;
      case pattern::extremes: v[i] = i % 2 ? hi : lo; break;
      default: v[i] = lo + static_cast<std::int64_t>(i * 977) % (hi - lo + 1); break;
    }
  }
  return v;
}

struct judged_case {
  const char* name;
  int bitpix;
  std::int64_t width, height;
  pattern kind;
  const char* fpack_options;
};

// Every tile fpack writes decodes to the pixels that went in.
TEST(RiceDecode, MatchesTheImageFpackCompressed) {
  const judged_case cases[] = {
      {"8-bit noise, row tiles", 8, 100, 7, pattern::noise, "-r"},
      {"8-bit full range, 7x3 tiles", 8, 50, 10, pattern::full_range, "-r -t 7,3"},
      {"8-bit mixed, one tile", 8, 61, 9, pattern::mixed, "-r -t 61,9"},
      {"16-bit noise, row tiles", 16, 300, 5, pattern::noise, "-r"},
      {"16-bit extremes", 16, 64, 4, pattern::extremes, "-r"},
      {"16-bit full range, 33x5 tiles", 16, 100, 12, pattern::full_range, "-r -t 33,5"},
      {"16-bit flat with a partial block", 16, 45, 3, pattern::flat, "-r"},
      {"16-bit ramp", 16, 512, 2, pattern::ramp, "-r"},
      {"32-bit noise", 32, 200, 6, pattern::noise, "-r"},
      {"32-bit full range, 10x10 tiles", 32, 37, 23, pattern::full_range, "-r -t 10,10"},
      {"32-bit extremes", 32, 70, 2, pattern::extremes, "-r"},
      {"32-bit mixed", 32, 400, 3, pattern::mixed, "-r -t 400,3"},
  };
  unsigned seed = 1;
  for (const judged_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto pixels = make_pixels(c.kind, c.bitpix, c.width * c.height, seed++);
    const auto fz = fpack_tiles(c.bitpix, c.width, c.height, pixels, c.fpack_options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    const int bytepix = c.bitpix / 8;
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const auto want = box_pixels(pixels, c.width, fz->boxes[k]);
      std::vector<std::int32_t> got(want.size());
      ASSERT_EQ(rice_decode(fz->tiles[k], bytepix, 32, got), nullptr) << "tile " << k + 1;
      ASSERT_EQ(std::vector<std::int64_t>(got.begin(), got.end()), want) << "tile " << k + 1;
    }
  }
}

// Every cut of a real stream is reported, never read past; so is a stream
// with its bytes damaged anywhere (any outcome but a crash is allowed there).
TEST(RiceDecode, CutAndDamagedStreamsStopWithAReason) {
  const auto pixels = make_pixels(pattern::mixed, 16, 300, 7);
  const auto fz = fpack_tiles(16, 300, 1, pixels, "-r");
  if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
  const std::vector<std::uint8_t>& tile = fz->tiles.at(0);
  std::vector<std::int32_t> out(300);
  for (std::size_t size = 0; size < tile.size(); ++size) {
    std::vector<std::uint8_t> cut(tile.begin(), tile.begin() + size);  // exactly `size` bytes
    EXPECT_STREQ(rice_decode(cut, 2, 32, out), "the compressed bytes end before the tile is full")
        << size << " of " << tile.size() << " bytes";
  }
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> damaged = tile;
    damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    rice_decode(damaged, 2, 32, out);
  }
}

// Hand-made streams for what fpack never writes: other block sizes, bad
// parameters, a tile with nothing after the first pixel.
TEST(RiceDecode, HandMadeStreams) {
  struct row {
    const char* name;
    std::vector<std::uint8_t> in;
    int bytepix, blocksize;
    std::vector<std::int32_t> want;  // empty: decoding must fail with `why`
    const char* why;
  };
  // 10 10 12 11 in blocks of 2: first pixel 10; block 1 code 000 (all
  // zero); block 2 code 010 (1 low bit): +2 folds to 4 = 001 0, -1 to 1 = 1 1.
  // 255 0: code 010, 0 = 1 0, +1 (wrapping to 0) folds to 2 = 01 0.
  // -32768 32767: code 1111 (whole), 0 in 16 bits, -1 folded to 1 in 16 bits.
  const row rows[] = {
      {"blocks of two", {0x0a, 0x08, 0xb0}, 1, 2, {10, 10, 12, 11}, nullptr},
      {"byte values wrap", {0xff, 0x52}, 1, 32, {255, 0}, nullptr},
      {"16-bit whole block", {0x80, 0x00, 0xf0, 0x00, 0x00, 0x00, 0x10}, 2, 32, {-32768, 32767}, nullptr},
      {"no bytes", {}, 4, 32, {}, "the compressed bytes end before the tile is full"},
      {"first pixel only", {0, 0, 0, 5}, 4, 32, {}, "the compressed bytes end before the tile is full"},
      {"three-byte pixels", {0, 0, 0, 0}, 3, 32, {}, "the Rice pixel size is not 1, 2 or 4 bytes"},
      {"block size zero", {0, 0}, 1, 0, {}, "the Rice block size is not a positive number"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::int32_t> out(r.want.empty() ? 4 : r.want.size());
    const char* why = rice_decode(r.in, r.bytepix, r.blocksize, out);
    if (r.want.empty()) {
      EXPECT_STREQ(why, r.why);
    } else {
      EXPECT_EQ(why, nullptr) << why;
      EXPECT_EQ(out, r.want);
    }
  }
}

}  // namespace
}  // namespace orvex::image
