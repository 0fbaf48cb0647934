// Sizes worked out from header values. Hostile headers declare any
// numbers, so a size never overflows: it stops at INT64_MAX, a size too
// large for any stream to hold, and the reading stops where the stream does.
#pragma once

#include <cstdint>

namespace orvex::util {

// a x b, for sizes: a negative factor counts as 0.
constexpr std::int64_t saturated_product(std::int64_t a, std::int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  return a > INT64_MAX / b ? INT64_MAX : a * b;
}

// a + b, for sizes: a negative term counts as 0.
constexpr std::int64_t saturated_sum(std::int64_t a, std::int64_t b) {
  if (a < 0) a = 0;
  if (b < 0) b = 0;
  return a > INT64_MAX - b ? INT64_MAX : a + b;
}

}  // namespace orvex::util
