// The RICE_1 codec of tile-compressed FITS images: the decoder of one
// tile's bytes, knowing nothing of the header that declared them.
//
// The stream: the tile's first pixel as a `bytepix`-byte big-endian integer,
// the start of the running value; then, for every block of `blocksize`
// pixels (the last block may be shorter), a code of 3, 4 or 5 bits (for 1,
// 2 or 4 bytes a pixel) followed by the block's differences from the
// previous pixel, each folded to an unsigned number (0, -1, 1, -2, ... as
// 0, 1, 2, 3, ...). A code of 0 means every difference is 0 and nothing
// follows; the highest useful code (7, 15 or 26) means each difference is
// stored whole in 8, 16 or 32 bits; any other code k stores each difference
// as its high part in unary (that many zero bits, then a one) and its low
// k - 1 bits as they are. Sums wrap at the pixel size, as the encoder's
// differences did. Bits left over after the last block are padding.
#pragma once

#include <cstdint>
#include <span>

namespace orvex::image {

// Decodes one RICE_1 tile: `in` is the tile's compressed bytes as stored in
// the heap, `bytepix` is 1, 2 or 4, `blocksize` the pixels per block (ZVAL
// of BLOCKSIZE, 32 by default). Fills every element of `out` (the tile's
// pixel count) with the decoded integers (8-bit values 0..255, 16- and
// 32-bit signed). Returns nullptr when `out` was filled, else a static text
// saying why decoding stopped; `out` then holds what was decoded before the
// fault, and unspecified values after it. Reads nothing outside `in`,
// writes nothing outside `out`, allocates nothing.
const char* rice_decode(std::span<const std::uint8_t> in, int bytepix, int blocksize,
                        std::span<std::int32_t> out);

}  // namespace orvex::image
