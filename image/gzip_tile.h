// GZIP_1 and GZIP_2 tiles: the tile's big-endian values compressed as one
// gzip (or zlib) stream, under GZIP_2 with their bytes shuffled first (every
// value's most significant byte, then every value's next byte, and so on),
// which makes images of small values compress better.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvex::image {

// Inflates the stream `in` into `out`. Sets `produced` to the bytes it
// holds; returns nullptr when the stream ended properly within `out`, else
// a static reason (a damaged or cut stream, more bytes than `out` holds).
// Allocates nothing after the first call on a thread (zlib's state is kept
// per thread). Reads nothing outside `in`.
const char* inflate_tile(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced);

// Puts the shuffled bytes of `count` values of `size` bytes at `in` back
// in value order into `out` (count x size bytes; the spans do not overlap).
void unshuffle(const std::uint8_t* in, std::size_t count, int size, std::uint8_t* out);

}  // namespace orvex::image
