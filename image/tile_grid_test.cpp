#include "image/tile_grid.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::image {
namespace {

struct grid_case {
  std::vector<std::int64_t> axes;
  std::vector<std::int64_t> tiles;
};

// Every pixel of the image lies in exactly one tile of one band, at the
// place of its line in file order, and the tile it lies in is numbered by
// its tile indices with the first axis fastest: the grid's bands, walked
// in order, rebuild the image's pixel numbers.
TEST(tile_grid, bands_cover_every_pixel_once_in_file_order) {
  const grid_case cases[] = {
      {{5}, {2}},         {{6, 4}, {6, 1}},       {{7, 5}, {3, 2}},     {{4, 3, 5}, {4, 3, 2}},
      {{4, 3, 5}, {2, 1, 1}}, {{3, 4, 2, 3}, {2, 4, 1, 2}}, {{5, 5}, {9, 9}}, {{2, 3, 4}, {2, 2, 1}},
  };
  for (const grid_case& c : cases) {
    const tile_grid grid(c.axes, c.tiles);
    std::int64_t pixels = 1;
    for (std::int64_t a : c.axes) pixels *= a;
    std::vector<int> seen(static_cast<std::size_t>(pixels), 0);
    std::vector<std::int64_t> tile_of(static_cast<std::size_t>(pixels), 0);
    std::int64_t line = 0;
    std::int64_t tiles_seen = 0;
    for (std::int64_t b = 0; b < grid.band_count(); ++b) {
      ASSERT_EQ(grid.band_first_line(b), line) << "band " << b;
      tile_place t;
      std::int64_t band_pixels = 0;
      for (std::int64_t i = 0; i < grid.tiles_per_band(); ++i) {
        grid.place(b, i, t);
        ++tiles_seen;
        band_pixels += t.pixels;
        std::int64_t from_expected = 0;
        grid.runs(t, [&](std::int64_t from, std::int64_t to, std::int64_t count) {
          EXPECT_EQ(from, from_expected);
          from_expected += count;
          for (std::int64_t k = 0; k < count; ++k) {
            const std::int64_t p = line * grid.per_line() + to + k;
            ASSERT_LT(p, pixels);
            ++seen[static_cast<std::size_t>(p)];
            tile_of[static_cast<std::size_t>(p)] = t.number;
          }
        });
        EXPECT_EQ(from_expected, t.pixels);
      }
      EXPECT_EQ(band_pixels, grid.band_lines(b) * grid.per_line());
      line += grid.band_lines(b);
    }
    EXPECT_EQ(line, grid.lines());
    EXPECT_EQ(tiles_seen, grid.tile_count());
    for (std::int64_t p = 0; p < pixels; ++p) {
      ASSERT_EQ(seen[static_cast<std::size_t>(p)], 1) << "pixel " << p;
      // The tile number from the pixel's own coordinates.
      std::int64_t rest = p;
      std::int64_t number = 0;
      std::int64_t scale = 1;
      for (std::size_t k = 0; k < c.axes.size(); ++k) {
        const std::int64_t x = rest % c.axes[k];
        rest /= c.axes[k];
        const std::int64_t tile = c.tiles[k] < c.axes[k] ? c.tiles[k] : c.axes[k];
        number += (x / tile) * scale;
        scale *= (c.axes[k] + tile - 1) / tile;
      }
      EXPECT_EQ(tile_of[static_cast<std::size_t>(p)], number + 1) << "pixel " << p;
    }
  }
}

TEST(tile_grid, hostile_sizes_saturate) {
  const tile_grid grid({INT64_MAX / 2, INT64_MAX / 2, 3}, {1, 1, 1});
  EXPECT_EQ(grid.lines(), INT64_MAX);
  EXPECT_EQ(grid.tile_count(), INT64_MAX);
  EXPECT_EQ(grid.band_lines(0), 1);
}

}  // namespace
}  // namespace orvex::image
