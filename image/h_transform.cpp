#include "image/h_transform.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace orvex::image {

namespace {

using i64 = std::int64_t;
using std::ptrdiff_t;

// Sums and differences that wrap instead of overflowing: only a damaged
// stream comes near the limits.
inline i64 add(i64 a, i64 b) { return static_cast<i64>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b)); }
inline i64 sub(i64 a, i64 b) { return static_cast<i64>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)); }
inline i64 twice(i64 a, int n) { return static_cast<i64>(static_cast<std::uint64_t>(a) << n); }

// `v` rounded to a multiple of the power of two whose mask is `mask`:
// halves up for values >= 0, down for negative ones (`up` and `down` are
// the amounts added first).
inline i64 round_to(i64 v, i64 up, i64 down, i64 mask) { return add(v, v >= 0 ? up : down) & mask; }

// The `n` values at a[0], a[step], a[2 step], ...: the first (n + 1) / 2 go
// to the even places, the rest to the odd ones, in order.
void interleave(i64* a, ptrdiff_t n, ptrdiff_t step, i64* tmp) {
  const ptrdiff_t half = (n + 1) / 2;
  for (ptrdiff_t i = half; i < n; ++i) tmp[i - half] = a[i * step];
  for (ptrdiff_t i = half - 1; i >= 0; --i) a[2 * i * step] = a[i * step];
  for (ptrdiff_t i = 1; i < n; i += 2) a[i * step] = tmp[(i - 1) / 2];
}

// The limit to a slope change: `diff` clamped to [dmin, dmax], turned into
// a change of the coefficient `h` (whose weight is 2^shift), at most smax
// either way. Division by 2^shift rounds toward zero.
inline i64 nudge(i64 h, i64 diff, i64 dmin, i64 dmax, int shift, i64 smax) {
  diff = std::max(std::min(diff, dmax), dmin);
  i64 s = sub(diff, twice(h, shift));
  s = s >= 0 ? s >> shift : add(s, (i64{1} << shift) - 1) >> shift;
  return add(h, std::max(std::min(s, smax), -smax));
}

// Smoothing of one pass's coefficients over the nxtop x nytop area (rows of
// `ny`); the coefficients on the area's edges are left as they are.
void smooth_pass(i64* a, ptrdiff_t nxtop, ptrdiff_t nytop, ptrdiff_t ny, i64 scale) {
  const i64 smax = scale >> 1;
  if (smax <= 0) return;
  const ptrdiff_t ny2 = 2 * ny;
  // hx, from the sums of the zones before and after it across rows.
  for (ptrdiff_t i = 2; i < nxtop - 2; i += 2) {
    for (ptrdiff_t j = 0; j < nytop; j += 2) {
      const ptrdiff_t s00 = ny * i + j, s10 = s00 + ny;
      const i64 hm = a[s00 - ny2], h0 = a[s00], hp = a[s00 + ny2];
      const i64 dmax = twice(std::max(std::min(sub(hp, h0), sub(h0, hm)), i64{0}), 2);
      const i64 dmin = twice(std::min(std::max(sub(hp, h0), sub(h0, hm)), i64{0}), 2);
      if (dmin < dmax) a[s10] = nudge(a[s10], sub(hp, hm), dmin, dmax, 3, smax);
    }
  }
  // hy, from the zones before and after it along the row.
  for (ptrdiff_t i = 0; i < nxtop; i += 2) {
    for (ptrdiff_t j = 2; j < nytop - 2; j += 2) {
      const ptrdiff_t s00 = ny * i + j;
      const i64 hm = a[s00 - 2], h0 = a[s00], hp = a[s00 + 2];
      const i64 dmax = twice(std::max(std::min(sub(hp, h0), sub(h0, hm)), i64{0}), 2);
      const i64 dmin = twice(std::min(std::max(sub(hp, h0), sub(h0, hm)), i64{0}), 2);
      if (dmin < dmax) a[s00 + 1] = nudge(a[s00 + 1], sub(hp, hm), dmin, dmax, 3, smax);
    }
  }
  // hc, from the four diagonal zones.
  for (ptrdiff_t i = 2; i < nxtop - 2; i += 2) {
    for (ptrdiff_t j = 2; j < nytop - 2; j += 2) {
      const ptrdiff_t s00 = ny * i + j, s10 = s00 + ny;
      const i64 hmm = a[s00 - ny2 - 2], hpm = a[s00 + ny2 - 2];
      const i64 hmp = a[s00 - ny2 + 2], hpp = a[s00 + ny2 + 2];
      const i64 h0 = a[s00];
      const i64 diff = sub(add(hpp, hmm), add(hmp, hpm));
      const i64 hx2 = twice(a[s10], 1), hy2 = twice(a[s00 + 1], 1);
      const i64 zero = 0;
      i64 m1 = std::min(sub(sub(std::max(sub(hpp, h0), zero), hx2), hy2),
                        sub(add(std::max(sub(h0, hpm), zero), hx2), hy2));
      i64 m2 = std::min(add(sub(std::max(sub(h0, hmp), zero), hx2), hy2),
                        add(add(std::max(sub(hmm, h0), zero), hx2), hy2));
      const i64 dmax = twice(std::min(m1, m2), 4);
      m1 = std::max(sub(sub(std::min(sub(hpp, h0), zero), hx2), hy2),
                    sub(add(std::min(sub(h0, hpm), zero), hx2), hy2));
      m2 = std::max(add(sub(std::min(sub(h0, hmp), zero), hx2), hy2),
                    add(add(std::min(sub(hmm, h0), zero), hx2), hy2));
      const i64 dmin = twice(std::max(m1, m2), 4);
      if (dmin < dmax) a[s10 + 1] = nudge(a[s10 + 1], diff, dmin, dmax, 6, smax);
    }
  }
}

}  // namespace

void h_inverse(std::span<std::int64_t> block, std::size_t height, std::size_t width, bool smooth,
               std::int64_t scale) {
  const std::size_t larger = std::max(height, width);
  if (larger <= 1) return;  // one pixel: the transform left it as it was
  const int log2n = std::bit_width(larger - 1);
  const auto nx = static_cast<ptrdiff_t>(height), ny = static_cast<ptrdiff_t>(width);
  i64* const a = block.data();
  std::vector<i64> tmp((larger + 1) / 2);

  int shift = 1;
  i64 bit0 = i64{1} << (log2n - 1), bit1 = bit0 << 1, bit2 = bit0 << 2;
  i64 mask0 = -bit0, mask1 = twice(mask0, 1), mask2 = twice(mask0, 2);
  i64 prnd0 = bit0 >> 1, prnd1 = bit1 >> 1, prnd2 = bit2 >> 1;
  i64 nrnd0 = prnd0 - 1, nrnd1 = prnd1 - 1, nrnd2 = prnd2 - 1;

  a[0] = round_to(a[0], prnd2, nrnd2, mask2);
  ptrdiff_t nxtop = 1, nytop = 1, nxf = nx, nyf = ny;
  ptrdiff_t c = ptrdiff_t{1} << log2n;
  for (int k = log2n - 1; k >= 0; --k) {
    // The area grows toward the block's sides: each side of pass k is half
    // of pass k - 1's, rounded up.
    c >>= 1;
    nxtop <<= 1;
    nytop <<= 1;
    if (nxf <= c) --nxtop; else nxf -= c;
    if (nyf <= c) --nytop; else nyf -= c;
    // The last pass divides by 4, and rounds nothing of hc away.
    if (k == 0) {
      nrnd0 = 0;
      shift = 2;
    }
    for (ptrdiff_t i = 0; i < nxtop; ++i) interleave(a + ny * i, nytop, 1, tmp.data());
    for (ptrdiff_t j = 0; j < nytop; ++j) interleave(a + j, nxtop, ny, tmp.data());
    if (smooth) smooth_pass(a, nxtop, nytop, ny, scale);

    const ptrdiff_t oddx = nxtop % 2, oddy = nytop % 2;
    ptrdiff_t i = 0;
    for (; i < nxtop - oddx; i += 2) {
      ptrdiff_t s00 = ny * i, s10 = s00 + ny;
      for (ptrdiff_t j = 0; j < nytop - oddy; j += 2, s00 += 2, s10 += 2) {
        i64 h0 = a[s00];
        // hx and hy are multiples of bit1, hc of bit0, h0 already of bit2.
        i64 hx = round_to(a[s10], prnd1, nrnd1, mask1);
        i64 hy = round_to(a[s00 + 1], prnd1, nrnd1, mask1);
        const i64 hc = round_to(a[s10 + 1], prnd0, nrnd0, mask0);
        // The low bits the divisions dropped: bit0 of hc belongs to hx and
        // hy, bit1 of their combination to h0.
        const i64 lowbit0 = hc & bit0;
        hx = hx >= 0 ? sub(hx, lowbit0) : add(hx, lowbit0);
        hy = hy >= 0 ? sub(hy, lowbit0) : add(hy, lowbit0);
        const i64 lowbit1 = (hc ^ hx ^ hy) & bit1;
        h0 = h0 >= 0 ? sub(add(h0, lowbit0), lowbit1) : add(h0, lowbit0 == 0 ? lowbit1 : sub(lowbit0, lowbit1));
        a[s10 + 1] = add(add(h0, hx), add(hy, hc)) >> shift;
        a[s10] = sub(add(h0, hx), add(hy, hc)) >> shift;
        a[s00 + 1] = sub(add(h0, hy), add(hx, hc)) >> shift;
        a[s00] = add(sub(sub(h0, hx), hy), hc) >> shift;
      }
      if (oddy) {  // the row's last value: no hy or hc beside it
        const i64 hx = round_to(a[s10], prnd1, nrnd1, mask1);
        const i64 lowbit1 = hx & bit1;
        const i64 h0 = a[s00] >= 0 ? sub(a[s00], lowbit1) : add(a[s00], lowbit1);
        a[s10] = add(h0, hx) >> shift;
        a[s00] = sub(h0, hx) >> shift;
      }
    }
    if (oddx) {  // the last row: no hx or hc below it
      ptrdiff_t s00 = ny * i;
      for (ptrdiff_t j = 0; j < nytop - oddy; j += 2, s00 += 2) {
        const i64 hy = round_to(a[s00 + 1], prnd1, nrnd1, mask1);
        const i64 lowbit1 = hy & bit1;
        const i64 h0 = a[s00] >= 0 ? sub(a[s00], lowbit1) : add(a[s00], lowbit1);
        a[s00 + 1] = add(h0, hy) >> shift;
        a[s00] = sub(h0, hy) >> shift;
      }
      if (oddy) a[s00] >>= shift;
    }
    bit2 = bit1;
    bit1 = bit0;
    bit0 >>= 1;
    mask1 = mask0;
    mask0 >>= 1;
    prnd1 = prnd0;
    prnd0 >>= 1;
    nrnd1 = nrnd0;
    nrnd0 = prnd0 - 1;
  }
}

}  // namespace orvex::image
