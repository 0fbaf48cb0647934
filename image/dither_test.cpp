#include "image/dither.h"

#include <cmath>

#include <gtest/gtest.h>

namespace orvex::image {
namespace {

// The generator is Park and Miller's minimal standard: from seed 1 its
// 10,000th value is 1043618065, the check value they publish.
TEST(dither, offsets_are_the_minimal_standard_generator) {
  const float* r = dither_offsets();
  EXPECT_EQ(r[0], static_cast<float>(16807.0 / 2147483647.0));
  EXPECT_EQ(r[9999], static_cast<float>(1043618065.0 / 2147483647.0));
}

TEST(dither, restores_nulls_zeros_and_dithered_values) {
  const std::int64_t q[] = {quantized_null, quantized_zero, 10};
  double out[3];
  const quantized_tile t{quantizing::dither2, 0.5, 100.0, true, quantized_null};
  restore(q, 3, t, 1, 1, out);
  EXPECT_TRUE(std::isnan(out[0]));
  EXPECT_EQ(out[1], 0.0);
  // Tile 1, ZDITHER0 1: the walk starts at offset int(r[0] x 500) = 0, so
  // the third pixel takes r[2].
  const double r2 = dither_offsets()[2];
  EXPECT_EQ(out[2], (10.0 - r2 + 0.5) * 0.5 + 100.0);
  const quantized_tile plain{quantizing::no_dither, 0.5, 100.0, false, quantized_null};
  restore(q + 2, 1, plain, 1, 1, out);
  EXPECT_EQ(out[0], 105.0);
}

}  // namespace
}  // namespace orvex::image
