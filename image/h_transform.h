// The inverse of the H-transform of White's H-compress: the coefficients of
// a height x width block, decoded from the bit planes, turned back into
// pixels, optionally smoothed on the way. Internal to the H-compress codec
// (image/hcompress); kept apart because it is pure arithmetic on the
// block, with nothing of the stream in it.
//
// The block is an array of `height` rows of `width` values. The transform
// took log2n passes (log2n = log2 of the larger side, rounded up); each pass
// replaced every 2 x 2 group of the previous pass's sums by its sum h0, its
// differences across rows hx and along them hy and its cross difference hc,
// moved to the four quarters of the area still being transformed. The
// inverse goes the other way: it interleaves each area's quarters again
// and undoes the sums, restoring the bits the encoder's divisions by 2
// dropped from the parity the four coefficients share.
//
// Smoothing (the SMOOTH parameter of lossy tiles): before each pass the
// differences are nudged toward what the neighbouring sums suggest, by at
// most half the digitizing scale, where that keeps the image monotonic.
// It changes nothing when `scale` is below 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvex::image {

// Turns the coefficients in `a` (height x width values, row after row,
// already multiplied by the scale) into pixels in place. `smooth` says
// whether to smooth, `scale` is the stream's digitizing scale. Arithmetic
// wraps at 64 bits, so a damaged stream gives wrong numbers, never
// undefined behaviour. Allocates one scratch row of max(height, width) / 2
// + 1 values.
void h_inverse(std::span<std::int64_t> a, std::size_t height, std::size_t width, bool smooth,
               std::int64_t scale);

}  // namespace orvex::image
