#include "image/hcompress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

using test::box_pixels;

// Smooth surfaces with noise (the images H-compress is made for), rough
// noise far from zero, and flat areas with single spikes of the type's
// extremes. (Noise over a type's whole range does not compress: the
// encoder gives up on it.)
std::vector<std::int64_t> make_image(int kind, int bitpix, std::int64_t width, std::int64_t height,
                                     unsigned seed) {
  const std::int64_t lo = bitpix == 8 ? 0 : -(std::int64_t{1} << (bitpix - 1));
  const std::int64_t hi = bitpix == 8 ? 255 : (std::int64_t{1} << (bitpix - 1)) - 1;
  std::mt19937_64 rng(seed);
  const std::int64_t middle = bitpix == 8 ? 128 : hi / 3;
  std::uniform_int_distribution<std::int64_t> any(middle - 100, middle + 100);
  std::normal_distribution<double> gauss(0.0, 3.0);
  std::vector<std::int64_t> v;
  for (std::int64_t y = 0; y < height; ++y) {
    for (std::int64_t x = 0; x < width; ++x) {
      double value = 0;
      if (kind == 0) value = 60 + 0.5 * x + 0.25 * y + gauss(rng);
      if (kind == 1) value = static_cast<double>(any(rng));
      if (kind == 2) value = (x * 7 + y * 3) % 29 == 0 ? static_cast<double>(hi) : static_cast<double>(lo + 1);
      v.push_back(std::clamp<std::int64_t>(std::llround(value), lo, hi));
    }
  }
  return v;
}

struct judged_case {
  const char* name;
  int bitpix;
  std::int64_t width, height;
  int kind;
  const char* tool;     // "fpack": the options that follow; "astropy": CompImageHDU arguments
  const char* options;
  bool lossless;        // compare with the source image, else with astropy's pixels
};

TEST(HcompressDecode, MatchesTheImageAndTheJudges) {
  const judged_case cases[] = {
      {"16-bit surface, default tiles", 16, 64, 40, 0, "fpack", "-h -s 0", true},
      {"16-bit rough, odd tiles", 16, 50, 37, 1, "fpack", "-h -s 0 -t 23,11", true},
      {"8-bit surface", 8, 30, 30, 0, "fpack", "-h -s 0 -t 30,30", true},
      {"8-bit spikes, 17x9 tiles", 8, 34, 18, 2, "fpack", "-h -s 0 -t 17,9", true},
      {"32-bit rough", 32, 40, 24, 1, "fpack", "-h -s 0 -t 20,12", true},
      {"32-bit spikes, one tile", 32, 41, 19, 2, "fpack", "-h -s 0 -t 41,19", true},
      {"16-bit surface, scale 4", 16, 48, 32, 0, "fpack", "-h -s 4 -t 48,16", false},
      {"16-bit surface, scale 8, smoothed", 16, 48, 32, 0, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=8, hcomp_smooth=1, tile_size=(48, 32)", false},
      {"32-bit rough, scale 2, smoothed", 32, 40, 20, 1, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=2, hcomp_smooth=1, tile_size=(20, 20)", false},
      {"16-bit spikes, scale 16, smoothed", 16, 36, 36, 2, "astropy",
       "compression_type='HCOMPRESS_1', hcomp_scale=16, hcomp_smooth=1, tile_size=(36, 36)", false},
  };
  unsigned seed = 21;
  for (const judged_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto pixels = make_image(c.kind, c.bitpix, c.width, c.height, seed++);
    const auto fz = std::string(c.tool) == "fpack"
                        ? test::fpack_tiles(c.bitpix, c.width, c.height, pixels, c.options)
                        : test::astropy_tiles(c.bitpix, c.width, c.height, pixels, c.options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    const int smooth = fz->zvals.count("SMOOTH") ? std::stoi(fz->zvals.at("SMOOTH")) : 0;
    EXPECT_EQ(smooth, std::string(c.options).find("smooth=1") != std::string::npos);
    const auto& truth = c.lossless ? pixels : fz->judged;
    ASSERT_EQ(truth.size(), pixels.size());
    if (!c.lossless) {
      EXPECT_NE(fz->judged, pixels) << "a lossy case that loses nothing tests nothing";
    }
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const test::tile_box& box = fz->boxes[k];
      const auto want = box_pixels(truth, c.width, box);
      std::vector<std::int64_t> got(want.size());
      ASSERT_EQ(hcompress_decode(fz->tiles[k], static_cast<int>(box.width), static_cast<int>(box.height), smooth,
                                 got),
                nullptr)
          << "tile " << k + 1;
      ASSERT_EQ(got, want) << "tile " << k + 1;
    }
  }
}

TEST(HcompressDecode, CutDamagedAndForeignStreamsStopWithAReason) {
  const auto pixels = make_image(0, 16, 24, 20, 5);
  const auto fz = test::fpack_tiles(16, 24, 20, pixels, "-h -s 0 -t 24,20");
  if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
  const std::vector<std::uint8_t>& tile = fz->tiles.at(0);
  std::vector<std::int64_t> out(24 * 20);
  for (std::size_t size = 0; size < tile.size(); ++size) {
    const std::vector<std::uint8_t> cut(tile.begin(), tile.begin() + size);
    EXPECT_NE(hcompress_decode(cut, 24, 20, 0, out), nullptr) << size << " of " << tile.size() << " bytes";
  }
  std::mt19937 rng(9);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> damaged = tile;
    for (int flips = 1 + rng() % 3; flips > 0; --flips)
      damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    hcompress_decode(damaged, 24, 20, round % 2, out);
  }

  struct row {
    const char* name;
    std::size_t at;  // the byte changed
    std::uint8_t value;
    int width, height;
    const char* why;
  };
  const row rows[] = {
      {"magic", 0, 0xde, 24, 20, "the H-compress stream does not start with DD 99"},
      {"height", 5, 21, 24, 20, "the H-compress stream's size is not the tile's"},
      {"tile of another width", 0, 0xdd, 20, 24, "the H-compress stream's size is not the tile's"},
      {"bit planes", 22, 65, 24, 20, "an H-compress bit-plane count is above 64"},
      {"plane code", 25, 0x7f, 24, 20, "an H-compress bit plane has an unknown code"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::uint8_t> changed = tile;
    changed[r.at] = r.value;
    std::vector<std::int64_t> any(static_cast<std::size_t>(r.width * r.height));
    EXPECT_STREQ(hcompress_decode(changed, r.width, r.height, 0, any), r.why);
  }
  std::vector<std::int64_t> wrong_size(7);
  EXPECT_STREQ(hcompress_decode(tile, 24, 20, 0, wrong_size),
               "the H-compress tile has no pixels or a size other than its pixel count");
}

}  // namespace
}  // namespace orvex::image
