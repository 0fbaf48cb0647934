#include "image/plio.h"

#include <algorithm>
#include <cstddef>

namespace orvex::image {

namespace {

// Word `i` of the list; the caller has checked that it arrived.
inline std::uint16_t word_at(std::span<const std::uint8_t> in, std::size_t i) {
  return static_cast<std::uint16_t>(in[2 * i] << 8 | in[2 * i + 1]);
}

constexpr std::size_t current_header_words = 5;  // the words the current header's fields need
constexpr std::size_t older_header_words = 3;

}  // namespace

const char* plio_decode(std::span<const std::uint8_t> in, std::span<std::int32_t> out) {
  const std::size_t words = in.size() / 2;
  if (words < older_header_words) return "the line list ends inside its header";
  std::size_t length, first;
  if (static_cast<std::int16_t>(word_at(in, 2)) > 0) {
    length = word_at(in, 2);
    first = older_header_words;
  } else {
    if (words < current_header_words) return "the line list ends inside its header";
    length = std::size_t{word_at(in, 4)} << 15 | word_at(in, 3);
    first = word_at(in, 1);
    if (first < current_header_words) return "the line list's header is shorter than its fields";
  }
  if (length > words) return "the compressed bytes end before the line list does";

  const std::size_t count = out.size();
  std::size_t x = 0;          // pixels written
  std::int64_t value = 1;     // the current value
  for (std::size_t i = first; i < length && x < count; ++i) {
    const std::uint16_t w = word_at(in, i);
    const unsigned opcode = w >> 12;
    const std::size_t d = w & 0xfffu;
    const std::size_t room = count - x;
    switch (opcode) {
      case 0:
        std::fill_n(out.begin() + x, std::min(d, room), 0);
        x += std::min(d, room);
        continue;
      case 1:
        if (i + 1 >= length) return "the line list ends inside an instruction";
        value = std::int64_t{word_at(in, i + 1)} << 12 | static_cast<std::int64_t>(d);
        ++i;
        continue;
      case 2: value += static_cast<std::int64_t>(d); continue;
      case 3: value -= static_cast<std::int64_t>(d); continue;
      default: break;
    }
    if (opcode > 7) return "the line list holds an unknown instruction";
    if (opcode >= 6) value += opcode == 6 ? static_cast<std::int64_t>(d) : -static_cast<std::int64_t>(d);
    // A value outside 32 bits comes of damage, never of an encoder.
    if (value < INT32_MIN || value > INT32_MAX) return "a line-list value is outside 32 bits";
    const auto pixel = static_cast<std::int32_t>(value);
    if (opcode == 4) {
      std::fill_n(out.begin() + x, std::min(d, room), pixel);
      x += std::min(d, room);
    } else if (opcode == 5) {
      if (d == 0) continue;
      const std::size_t zeros = std::min(d - 1, room);
      std::fill_n(out.begin() + x, zeros, 0);
      x += zeros;
      if (x < count) out[x++] = pixel;
    } else {
      out[x++] = pixel;
    }
  }
  std::fill(out.begin() + x, out.end(), 0);
  return nullptr;
}

}  // namespace orvex::image
