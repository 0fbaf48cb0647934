#include "image/rice.h"

#include <algorithm>
#include <cstddef>

#include "image/bit_reader.h"

namespace orvex::image {

namespace {

constexpr const char* cut_stream = "the compressed bytes end before the tile is full";

// The code widths and the code of a block stored whole, per pixel size.
template <int bytepix>
struct rice_sizes;
template <>
struct rice_sizes<1> {
  static constexpr int code_bits = 3, whole_code = 7, pixel_bits = 8;
};
template <>
struct rice_sizes<2> {
  static constexpr int code_bits = 4, whole_code = 15, pixel_bits = 16;
};
template <>
struct rice_sizes<4> {
  static constexpr int code_bits = 5, whole_code = 26, pixel_bits = 32;
};

// The running value as the pixel type holds it: a byte is unsigned.
template <int bytepix>
inline std::int32_t pixel_value(std::uint32_t running) {
  if constexpr (bytepix == 1) return static_cast<std::int32_t>(running & 0xffu);
  if constexpr (bytepix == 2) return static_cast<std::int16_t>(running & 0xffffu);
  if constexpr (bytepix == 4) return static_cast<std::int32_t>(running);
}

inline std::uint32_t unfold(std::uint32_t folded) {
  return (folded & 1u) ? ~(folded >> 1) : folded >> 1;
}

template <int bytepix>
const char* decode_blocks(std::span<const std::uint8_t> in, std::size_t blocksize,
                          std::span<std::int32_t> out) {
  using sizes = rice_sizes<bytepix>;
  if (in.size() < bytepix) return cut_stream;
  std::uint32_t running = 0;
  for (int i = 0; i < bytepix; ++i) running = running << 8 | in[i];
  bit_reader bits(in.subspan(bytepix));

  const std::size_t count = out.size();
  std::int32_t* pixel = out.data();
  for (std::size_t start = 0; start < count; start += blocksize) {
    std::int32_t* const block_end = pixel + std::min(blocksize, count - start);
    std::uint32_t code;
    if (!bits.read(sizes::code_bits, code)) return cut_stream;
    if (code == 0) {
      std::fill(pixel, block_end, pixel_value<bytepix>(running));
      pixel = block_end;
    } else if (static_cast<int>(code) == sizes::whole_code) {
      for (; pixel != block_end; ++pixel) {
        std::uint32_t folded;
        if (!bits.read(sizes::pixel_bits, folded)) return cut_stream;
        running += unfold(folded);
        *pixel = pixel_value<bytepix>(running);
      }
    } else {
      // Codes above the whole-block one (possible only with 5-bit codes)
      // are never written; they read as a split of that many low bits.
      const int low_bits = static_cast<int>(code) - 1;
      std::int32_t* p = pixel;
      std::uint32_t sum = running;
      const bool whole = bits.read_rice_run(low_bits, static_cast<std::size_t>(block_end - pixel), [&](std::uint32_t folded) {
        sum += unfold(folded);
        *p++ = pixel_value<bytepix>(sum);
      });
      if (!whole) return cut_stream;
      running = sum;
      pixel = block_end;
    }
  }
  return nullptr;
}

}  // namespace

const char* rice_decode(std::span<const std::uint8_t> in, int bytepix, int blocksize,
                        std::span<std::int32_t> out) {
  if (blocksize <= 0) return "the Rice block size is not a positive number";
  const auto block = static_cast<std::size_t>(blocksize);
  switch (bytepix) {
    case 1: return decode_blocks<1>(in, block, out);
    case 2: return decode_blocks<2>(in, block, out);
    case 4: return decode_blocks<4>(in, block, out);
    default: return "the Rice pixel size is not 1, 2 or 4 bytes";
  }
}

}  // namespace orvex::image
