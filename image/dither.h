// Restoring the floating values of a quantized tile: each stored integer q
// stands for q x ZSCALE + ZZERO, or, when the image was dithered before it
// was quantized, (q - r + 0.5) x ZSCALE + ZZERO, where r is the next number
// of the convention's fixed sequence of 10,000 offsets in [0, 1).
//
// The sequence is the multiplicative generator seed(k+1) = 16807 x seed(k)
// mod 2147483647 from seed(0) = 1, each offset the single-precision value
// of seed / 2147483647. Where a tile starts in it depends on the tile's
// number and ZDITHER0 only, so tiles are restored independently and in any
// order.
#pragma once

#include <cstdint>

#include "image/tile_keywords.h"

namespace orvex::image {

// The stored value of an undefined pixel in a quantized tile, and (under
// SUBTRACTIVE_DITHER_2) the one of a pixel that was exactly 0.0.
inline constexpr std::int64_t quantized_null = -2147483647;
inline constexpr std::int64_t quantized_zero = -2147483646;

// The offsets, computed once (thread-safe, no allocation).
const float* dither_offsets();
inline constexpr int dither_count = 10000;

// Walks the offsets of one tile: the k-th pixel of tile number `tile`
// (from 1) takes the k-th next() after construction.
class dither_walk {
 public:
  dither_walk(std::int64_t tile, std::int64_t zdither0);
  double next() {
    const double r = offsets_[j_];
    if (++j_ == dither_count) {
      s_ = s_ + 1 == dither_count ? 0 : s_ + 1;
      j_ = start_of(s_);
    }
    return r;
  }

 private:
  // The offset widened to double before the product, as the writers form it.
  int start_of(int s) const { return static_cast<int>(static_cast<double>(offsets_[s]) * 500.0); }
  const float* offsets_;
  int s_ = 0;
  int j_ = 0;
};

// How one tile's integers become values: the method and the tile's
// ZSCALE, ZZERO and null value (when it has one).
struct quantized_tile {
  quantizing method = quantizing::no_dither;
  double zscale = 1.0;
  double zzero = 0.0;
  bool has_null = false;
  std::int64_t null_value = quantized_null;
};

// Restores the `count` integers at `q` of tile number `tile` into `out`
// (doubles; NaN for the null value; 0.0 for quantized_zero under
// SUBTRACTIVE_DITHER_2). Every pixel, null or not, takes its offset.
void restore(const std::int64_t* q, std::int64_t count, const quantized_tile& t, std::int64_t tile,
             std::int64_t zdither0, double* out);

}  // namespace orvex::image
