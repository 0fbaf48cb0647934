// FITS stores every binary value big-endian, whatever the machine. These
// read one value from its bytes, wherever they lie: a stream's buffer, a
// table row, a heap, an image line.
#pragma once

#include <cstdint>
#include <cstring>

namespace orvex::fits {

inline std::uint32_t be32(const unsigned char* b) {
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

inline std::uint64_t be64(const unsigned char* b) { return std::uint64_t{be32(b)} << 32 | be32(b + 4); }

inline std::int16_t be16s(const unsigned char* b) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] << 8 | b[1]));
}

// The integer of `size` bytes (1, 2, 4 or 8): a byte is unsigned, as FITS
// stores bytes; the others are two's complement.
template <int size>
inline std::int64_t integer_at(const unsigned char* b) {
  static_assert(size == 1 || size == 2 || size == 4 || size == 8);
  if constexpr (size == 1) return b[0];
  if constexpr (size == 2) return be16s(b);
  if constexpr (size == 4) return static_cast<std::int32_t>(be32(b));
  if constexpr (size == 8) return static_cast<std::int64_t>(be64(b));
}

inline float float_at(const unsigned char* b) {
  const std::uint32_t bits = be32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline double double_at(const unsigned char* b) {
  const std::uint64_t bits = be64(b);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

}  // namespace orvex::fits
