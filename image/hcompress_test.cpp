#include "image/hcompress.h"

#include <gtest/gtest.h>

#include <random>

#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

using test::pattern;

// Lossless tiles decode to the image that went in; lossy ones (a scale,
// smoothing, which only astropy writes) to the pixels astropy reads back.
// (Noise over a type's whole range does not compress: fpack gives up.)
TEST(HcompressDecode, MatchesTheImageAndTheJudges) {
  const struct {
    int bitpix;
    std::int64_t width, height;
    pattern kind;
    const char* tool;
    const char* options;
  } cases[] = {
      {16, 64, 40, pattern::noise, "fpack", "-h -s 0"},
      {16, 50, 37, pattern::rough, "fpack", "-h -s 0 -t 23,11"},
      {8, 30, 30, pattern::noise, "fpack", "-h -s 0 -t 30,30"},
      {8, 34, 18, pattern::mixed, "fpack", "-h -s 0 -t 17,9"},
      {32, 40, 24, pattern::rough, "fpack", "-h -s 0 -t 20,12"},
      {32, 41, 19, pattern::extremes, "fpack", "-h -s 0 -t 41,19"},
      {16, 48, 32, pattern::noise, "fpack", "-h -s 4 -t 48,16"},
      {16, 48, 32, pattern::noise, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=8, hcomp_smooth=1, tile_size=(48, 16)"},
      {32, 40, 20, pattern::rough, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=2, hcomp_smooth=1, tile_size=(20, 20)"},
      {16, 36, 36, pattern::mixed, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=16, hcomp_smooth=1, tile_size=(36, 36)"},
  };
  unsigned seed = 21;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitpix) + "-bit, " + c.tool + " " + c.options);
    const auto pixels = test::make_pixels(c.kind, c.bitpix, c.width * c.height, seed++);
    const auto fz = test::compress(c.tool, c.bitpix, c.width, c.height, pixels, c.options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    const bool lossy = fz->zvals.count("SCALE") && std::stod(fz->zvals.at("SCALE")) > 1;
    const int smooth = fz->zvals.count("SMOOTH") ? std::stoi(fz->zvals.at("SMOOTH")) : 0;
    if (lossy) {
      EXPECT_NE(fz->judged, pixels) << "a lossy case that loses nothing tests nothing";
    }
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const test::tile_box& box = fz->boxes[k];
      const auto want = test::box_pixels(lossy ? fz->judged : pixels, c.width, box);
      std::vector<std::int64_t> got(want.size());
      ASSERT_EQ(hcompress_decode(fz->tiles[k], int(box.width), int(box.height), smooth, got), nullptr) << "tile " << k;
      // Lossy values beyond the image's type are clipped to it, by the
      // reader of the image type and not by the codec.
      for (std::int64_t& v : got) v = std::clamp(v, c.bitpix == 8 ? 0 : -(std::int64_t{1} << (c.bitpix - 1)),
                                                 c.bitpix == 8 ? 255 : (std::int64_t{1} << (c.bitpix - 1)) - 1);
      ASSERT_EQ(got, want) << "tile " << k + 1;
    }
  }
}

TEST(HcompressDecode, CutDamagedAndForeignStreamsStopWithAReason) {
  const auto pixels = test::make_pixels(pattern::noise, 16, 24 * 20, 5);
  const auto fz = test::compress("fpack", 16, 24, 20, pixels, "-h -s 0 -t 24,20");
  if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
  const std::vector<std::uint8_t>& tile = fz->tiles.at(0);
  std::vector<std::int64_t> out(24 * 20);
  for (std::size_t size = 0; size < tile.size(); ++size)
    EXPECT_NE(hcompress_decode(std::span(tile).first(size), 24, 20, 0, out), nullptr) << size << " bytes";
  std::mt19937 rng(9);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> damaged = tile;
    for (int flips = 1 + rng() % 3; flips > 0; --flips)
      damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    hcompress_decode(damaged, 24, 20, round % 2, out);
  }
  const struct {
    std::size_t at;  // the byte changed
    std::uint8_t value;
    int width, height;
    const char* why;
  } rows[] = {
      {0, 0xde, 24, 20, "the H-compress stream does not start with DD 99"},
      {5, 21, 24, 20, "the H-compress stream's size is not the tile's"},
      {0, 0xdd, 20, 24, "the H-compress stream's size is not the tile's"},
      {22, 65, 24, 20, "an H-compress bit-plane count is above 64"},
      {25, 0x7f, 24, 20, "an H-compress bit plane has an unknown code"},
      {0, 0xdd, 24, 19, "the H-compress tile has no pixels or a size other than its pixel count"},
  };
  for (const auto& r : rows) {
    std::vector<std::uint8_t> changed = tile;
    changed[r.at] = r.value;
    std::vector<std::int64_t> any(24 * 20);
    EXPECT_STREQ(hcompress_decode(changed, r.width, r.height, 0, any), r.why) << "row " << &r - rows;
  }
}

}  // namespace
}  // namespace orvex::image
