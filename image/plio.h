// The PLIO_1 codec of tile-compressed FITS images: IRAF's line lists, the
// run-length code of integer masks, decoded from one tile's bytes.
//
// A line list is a run of 16-bit big-endian words. Its header comes first:
// in the current form word 2 is negative, word 1 is the header's length in
// words (where the instructions start) and words 3 and 4 hold the list's
// whole length in words, low 15 bits and high bits; in the older form word
// 2 is that length and the instructions start at word 3. Each instruction
// word is an opcode (its top 4 bits) and a number d (its low 12 bits),
// acting on a current value that starts at 1:
//   0  d pixels of 0            4  d pixels of the current value
//   5  d - 1 pixels of 0, then one of the current value
//   1  the current value becomes d + 4096 x the next word (both consumed)
//   2  add d to the current value   3  subtract d from it
//   6  add d, then one pixel of it  7  subtract d, then one pixel of it
// Pixels after the last instruction are 0; instructions after the tile's
// last pixel are not read.
#pragma once

#include <cstdint>
#include <span>

namespace orvex::image {

// Decodes one PLIO_1 tile: `in` is the COMPRESSED_DATA cell's bytes as
// stored (big-endian 16-bit words). Fills every element of `out` (the
// tile's pixel count). Returns nullptr when `out` was filled, else a static
// text saying why decoding stopped (`out` then holds unspecified values).
// Reads nothing outside `in`, writes nothing outside `out`, allocates
// nothing.
const char* plio_decode(std::span<const std::uint8_t> in, std::span<std::int32_t> out);

}  // namespace orvex::image
