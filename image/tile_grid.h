// Where the tiles of a tile-compressed image lie: the image's axes cut into
// tiles of ZTILEn pixels (the last tile of an axis holding what is left),
// numbered from 1 with the first axis fastest, tile k in table row k.
//
// The image is written line by line (NAXIS1 pixels), planes one after
// another, so its tiles are read in bands: the tiles that together cover a
// run of whole consecutive lines. With tiles of one line (the usual
// ZTILE2 = 1) a band is one line's tiles; with tiles of several lines or
// planes it is every tile across those lines. A band is the least that
// must be held to write its lines, and bands are independent of each other.
//
// Sizes saturate at INT64_MAX, so a hostile header gives large numbers,
// never wrapped ones; the caller decides what it will hold.
#pragma once

#include <cstdint>
#include <vector>

namespace orvex::image {

// One tile of a band: its number (from 1), its pixels, its extent along
// the first two axes (codecs that see a tile as a 2-D array need them), and
// per axis its first pixel (along the band's own axis counted from the
// band's start) and its extent.
struct tile_place {
  std::int64_t number = 0;
  std::int64_t pixels = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::int64_t> start;
  std::vector<std::int64_t> extent;
};

class tile_grid {
 public:
  // The grid of an image of `axes` (each at least 1) in tiles of `tiles`
  // (as many; each at least 1; a tile longer than its axis is cut to it).
  tile_grid(std::vector<std::int64_t> axes, std::vector<std::int64_t> tiles);

  std::int64_t per_line() const { return axes_[0]; }
  // Lines of the whole image: NAXIS2 x ... x NAXISn (1 for one axis).
  std::int64_t lines() const { return lines_; }
  std::int64_t tile_count() const { return tile_count_; }
  std::int64_t band_count() const { return band_count_; }
  std::int64_t tiles_per_band() const { return band_tiles_; }

  // Band `b` (0 to band_count() - 1): its first line and its lines; its
  // pixels are band_lines(b) x per_line().
  std::int64_t band_first_line(std::int64_t b) const;
  std::int64_t band_lines(std::int64_t b) const;

  // Fills `t` (its vectors reused) with the i-th tile (0 to
  // tiles_per_band() - 1) of band b.
  void place(std::int64_t b, std::int64_t i, tile_place& t) const;

  // Calls put(tile_pixel, band_pixel, count) for each run of t.width
  // pixels of tile `t` that lie side by side in a line, in tile order.
  template <typename Put>
  void runs(const tile_place& t, Put&& put) const {
    const std::size_t m = static_cast<std::size_t>(band_axis_);
    std::int64_t rows = 1;
    for (std::size_t k = 1; k <= m; ++k) rows *= t.extent[k];
    for (std::int64_t r = 0; r < rows; ++r) {
      std::int64_t rest = r;
      std::int64_t at = t.start[0];
      for (std::size_t k = 1; k <= m; ++k) {
        const std::int64_t x = rest % t.extent[k];
        rest /= t.extent[k];
        at += strides_[k] * (t.start[k] + x);
      }
      put(r * t.width, at, t.width);
    }
  }

 private:
  std::vector<std::int64_t> axes_;     // at least 2 (one axis gains NAXIS2 = 1)
  std::vector<std::int64_t> tiles_;    // cut to the axes
  std::vector<std::int64_t> counts_;   // tiles along each axis
  std::vector<std::int64_t> strides_;  // band pixels of one step along axes 0 to the band axis
  int band_axis_ = 1;                  // the last axis whose tiles span more than one pixel (at least 1)
  std::int64_t lines_ = 1;
  std::int64_t tile_count_ = 1;
  std::int64_t band_count_ = 1;
  std::int64_t band_tiles_ = 1;
  std::int64_t unit_lines_ = 1;        // lines of one step along the band axis
};

}  // namespace orvex::image
