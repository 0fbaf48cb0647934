// The HCOMPRESS_1 codec of tile-compressed FITS images (R. White's
// H-compress): the decoder of one tile's bytes.
//
// The stream: the magic bytes DD 99; the block's height (ZTILE2) and width
// (ZTILE1) and the digitizing scale, 32-bit big-endian; the sum of all
// pixels, 64-bit; the bit-plane counts of the three kinds of coefficient
// (sums, row and column differences, cross differences), one byte each.
// Then, in one bit stream, the coefficients' magnitudes, bit plane by bit
// plane from the top, for each of the block's four quarters in turn: a
// plane is either 4-bit groups of its bits written directly (code 0) or a
// quadtree (code 15) whose nodes say, with a fixed prefix code, which of
// their four children hold a one. A 4-bit 0 ends the planes. From the next
// byte boundary comes one sign bit for every coefficient that is not 0.
// The magnitudes times the scale are the H-transform's coefficients; the
// first is the sum from the header. image/h_transform turns them into
// pixels. A lossy tile (scale above 1) may decode to values beyond its
// image's type, which astropy and funpack clip to the type's range: that
// belongs to the reader that knows the type.
#pragma once

#include <cstdint>
#include <span>

namespace orvex::image {

// Decodes one HCOMPRESS_1 tile: `in` is the tile's compressed bytes,
// `width` = ZTILE1 (the fast axis), `height` = ZTILE2; `smooth` 0 or 1 (ZVAL
// of SMOOTH). out.size() == width * height, filled in FITS order (fast axis
// first). Also for 64-bit images. Returns nullptr when `out` was filled,
// else a static text saying why decoding stopped (`out` then holds
// unspecified values). Reads nothing outside `in`, writes nothing outside
// `out`; allocates scratch space in proportion to the tile (a quarter of
// its pixels in bytes, half a side in 64-bit values), never per pixel.
const char* hcompress_decode(std::span<const std::uint8_t> in, int width, int height, int smooth,
                             std::span<std::int64_t> out);

}  // namespace orvex::image
