#include "image/dither.h"

#include <cmath>
#include <limits>

namespace orvex::image {
namespace {

struct offset_table {
  float values[dither_count];
  offset_table() {
    constexpr std::int64_t a = 16807;
    constexpr std::int64_t m = 2147483647;
    std::int64_t seed = 1;
    for (float& v : values) {
      seed = a * seed % m;
      v = static_cast<float>(static_cast<double>(seed) / static_cast<double>(m));
    }
  }
};

// The start of tile `tile`'s walk: (tile - 1 + ZDITHER0 - 1) mod 10000,
// taken without overflow for any ZDITHER0 a header may give.
int first_offset(std::int64_t tile, std::int64_t zdither0) {
  const std::int64_t a = (tile - 1) % dither_count;
  const std::int64_t b = (zdither0 - 1) % dither_count;
  std::int64_t s = (a + b) % dither_count;
  if (s < 0) s += dither_count;
  return static_cast<int>(s);
}

}  // namespace

const float* dither_offsets() {
  static const offset_table table;
  return table.values;
}

dither_walk::dither_walk(std::int64_t tile, std::int64_t zdither0)
    : offsets_(dither_offsets()), s_(first_offset(tile, zdither0)), j_(start_of(s_)) {}

void restore(const std::int64_t* q, std::int64_t count, const quantized_tile& t, std::int64_t tile,
             std::int64_t zdither0, double* out) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (t.method == quantizing::no_dither || t.method == quantizing::none) {
    for (std::int64_t i = 0; i < count; ++i) {
      // A separate multiply and add (the build forbids an FMA).
      const double product = static_cast<double>(q[i]) * t.zscale;
      out[i] = t.has_null && q[i] == t.null_value ? nan : product + t.zzero;
    }
    return;
  }
  dither_walk walk(tile, zdither0);
  const bool zero_kept = t.method == quantizing::dither2;
  for (std::int64_t i = 0; i < count; ++i) {
    const double r = walk.next();
    if (t.has_null && q[i] == t.null_value) {
      out[i] = nan;
    } else if (zero_kept && q[i] == quantized_zero) {
      out[i] = 0.0;
    } else {
      const double shifted = static_cast<double>(q[i]) - r + 0.5;
      const double product = shifted * t.zscale;
      out[i] = product + t.zzero;
    }
  }
}

}  // namespace orvex::image
