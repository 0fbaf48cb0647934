// Reading a compressed tile bit by bit, most significant bit of each byte
// first: the order of the Rice and H-compress streams. The reader borrows
// the bytes (the caller keeps them alive and unchanged while it reads) and
// never looks outside them; a read that needs bits past the last byte
// fails, consumes nothing further, and leaves the reader at the end.
//
// Up to 64 unread bits wait in `window_`, left-aligned. Bits below the
// `bits_` counted ones may already hold the next bytes of the stream (an
// eight-byte load takes more than it counts); they are the stream's own
// bits, so loading them again later changes nothing.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace orvex::image {

class bit_reader {
 public:
  explicit bit_reader(std::span<const std::uint8_t> bytes)
      : next_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  // Reads `n` bits (0 to 32) into `value`, the first one most significant.
  // False when fewer than `n` bits remain.
  bool read(int n, std::uint32_t& value) {
    if (n == 0) {
      value = 0;
      return true;
    }
    if (bits_ < n) {
      refill();
      if (bits_ < n) return false;
    }
    value = static_cast<std::uint32_t>(window_ >> (64 - n));
    consume(n);
    return true;
  }

  // Counts the zero bits before the next one bit into `zeros` and consumes
  // them with the one bit. False when the stream ends before a one bit.
  bool read_unary(std::uint64_t& zeros) {
    zeros = 0;
    for (;;) {
      if (bits_ == 0) {
        refill();
        if (bits_ == 0) return false;
      }
      const int lead = std::countl_zero(window_);
      if (lead < bits_) {
        zeros += static_cast<std::uint64_t>(lead);
        consume(lead + 1);
        return true;
      }
      zeros += static_cast<std::uint64_t>(bits_);
      window_ = 0;
      bits_ = 0;
    }
  }

  // A Rice code: zero bits counted until a one bit, then `low_bits` (0 to
  // 32) bits; `value` is the count shifted above those bits, or'ed with
  // them (to 32 bits). What read_unary and read give together, read in
  // one step while the window holds the whole code, as it nearly always
  // does. False when the stream ends before the code does.
  bool read_rice(int low_bits, std::uint32_t& value) {
    if (bits_ < 40) refill();
    if (rice_in_window(window_, bits_, low_bits, value)) return true;
    std::uint64_t high = 0;
    std::uint32_t low = 0;
    if (!read_unary(high) || !read(low_bits, low)) return false;
    value = static_cast<std::uint32_t>(high << low_bits) | low;
    return true;
  }

  // `count` Rice codes of `low_bits` low bits, as read_rice reads them,
  // each handed to `put` in turn. The window is held in locals meanwhile,
  // so that the pixels `put` stores cannot make it be read again from
  // memory. False when the stream ends before the last code does (the
  // codes before it were handed on).
  template <typename Put>
  bool read_rice_run(int low_bits, std::size_t count, Put&& put) {
    std::uint64_t window = window_;
    int bits = bits_;
    for (std::size_t i = 0; i < count; ++i) {
      if (bits < 40) {
        window_ = window;
        bits_ = bits;
        refill();
        window = window_;
        bits = bits_;
      }
      std::uint32_t value = 0;
      if (!rice_in_window(window, bits, low_bits, value)) {
        // A code longer than the window: the general read.
        window_ = window;
        bits_ = bits;
        if (!read_rice(low_bits, value)) return false;
        window = window_;
        bits = bits_;
      }
      put(value);
    }
    window_ = window;
    bits_ = bits;
    return true;
  }

  // Skips what is left of the current byte: the next read starts on a byte
  // boundary.
  void align() { consume(bits_ % 8); }

 private:
  // The Rice code at the top of `window`, `bits` of whose bits are counted,
  // when all of it is there: its value, its bits shifted out. False, with
  // nothing taken, when the code runs past the counted bits.
  static bool rice_in_window(std::uint64_t& window, int& bits, int low_bits, std::uint32_t& value) {
    const int lead = std::countl_zero(window);
    const int used = lead + 1 + low_bits;
    if (used > bits) return false;
    const std::uint64_t rest = window << lead << 1;
    const std::uint32_t low = low_bits == 0 ? 0 : static_cast<std::uint32_t>(rest >> (64 - low_bits));
    value = static_cast<std::uint32_t>(static_cast<std::uint64_t>(lead) << low_bits) | low;
    window = used >= 64 ? 0 : window << used;
    bits -= used;
    return true;
  }

  void consume(int n) {
    window_ = n >= 64 ? 0 : window_ << n;
    bits_ -= n;
  }

  // Tops the window up to at least 57 counted bits, or to every bit left.
  void refill() {
    if (end_ - next_ >= 8) {
      std::uint64_t word = 0;
      for (int i = 0; i < 8; ++i) word = word << 8 | next_[i];
      window_ |= word >> bits_;
      next_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    while (bits_ <= 56 && next_ < end_) {
      window_ |= std::uint64_t{*next_++} << (56 - bits_);
      bits_ += 8;
    }
  }

  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint64_t window_ = 0;
  int bits_ = 0;
};

}  // namespace orvex::image
