// Unix compress (.Z) input: LZW, decoded here.
//
// The format: 1f 9d, then a byte holding the largest code width (its low
// five bits, 9 to 16) and block mode (0x80), then codes of 9 bits and up,
// packed from the least significant bit of each byte. Codes 0-255 are
// bytes; each later code adds one entry (the previous code's string and the
// first byte of the current one). When the next entry would not fit the
// current width, the width grows by one bit; in block mode code 256 (CLEAR)
// empties the table and goes back to 9 bits. compress writes its codes in
// groups of eight (a group of n-bit codes is n bytes), and a change of width
// or a CLEAR starts a new group: the rest of the group is padding and is
// skipped. The stream has no end mark; bits too few for a whole code at the
// end are ignored.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fits/source_kinds.h"

namespace orvex::fits {

namespace {

constexpr int first_width = 9;
constexpr int widest = 16;
constexpr int clear_code = 256;
constexpr const char* corrupt = "corrupt input";

class lzw final : public byte_source {
 public:
  explicit lzw(std::unique_ptr<input_buffer> in)
      : in_(std::move(in)), prefix_(1 << widest), suffix_(1 << widest), length_(1 << widest), stack_(1 << widest) {
    if (in_->want(3) < 3) {
      fail(in_->error().empty() ? cut_stream : in_->error());
      return;
    }
    const unsigned char flags = in_->data()[2];
    in_->consume(3);
    max_width_ = flags & 0x1f;
    block_mode_ = (flags & 0x80) != 0;
    if (max_width_ > widest) {
      fail("compressed with " + std::to_string(max_width_) + " bits, at most 16 are read");
      return;
    }
    table_end_ = 1 << max_width_;
    next_free_ = block_mode_ ? clear_code + 1 : clear_code;
    set_width(first_width);
  }

  std::size_t read(unsigned char* dst, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      if (pending_ > 0) {
        const std::size_t take = pending_ < n - got ? pending_ : n - got;
        std::memcpy(dst + got, stack_.data() + stack_.size() - pending_, take);
        pending_ -= take;
        got += take;
        continue;
      }
      if (done_) break;
      // LZW has no check: the bytes before a bad code are as good as any,
      // and are delivered before the fault is reported.
      if (!decode_one(dst, n, got)) break;
    }
    return got;
  }

 private:
  void fail(std::string why) {
    error_ = std::move(why);
    done_ = true;
  }

  void set_width(int w) {
    width_ = w;
    max_code_ = width_ == max_width_ ? table_end_ : (1 << width_) - 1;
    group_codes_ = 0;
  }

  // Takes `n` bits (at most 16) from the input, least significant first;
  // false when the input ends before them. Whole bytes are taken ahead
  // into a 64-bit store, several at a time.
  bool take_bits(int n, unsigned& value) {
    while (bit_count_ < n) {
      if (in_->size() == 0 && !in_->fill()) return false;
      const unsigned char* p = in_->data();
      const std::size_t k = std::min<std::size_t>(in_->size(), static_cast<std::size_t>(64 - bit_count_) / 8);
      for (std::size_t i = 0; i < k; ++i, bit_count_ += 8) bits_ |= std::uint64_t{p[i]} << bit_count_;
      in_->consume(k);
    }
    value = static_cast<unsigned>(bits_ & ((1u << n) - 1));
    bits_ >>= n;
    bit_count_ -= n;
    return true;
  }

  // Skips the rest of the current group of eight codes.
  void end_group() {
    unsigned ignored = 0;
    for (int left = (8 - group_codes_ % 8) % 8; left > 0; --left) {
      if (!take_bits(width_, ignored)) return;
    }
  }

  // Decodes one code: its bytes go straight to `dst` when they fit, else
  // they wait in the stack. False at the end of the input (error_ empty)
  // or at a fault.
  bool decode_one(unsigned char* dst, std::size_t n, std::size_t& got) {
    if (next_free_ > max_code_) {
      end_group();
      set_width(width_ + 1);
    }
    unsigned code = 0;
    if (!take_bits(width_, code)) {
      done_ = true;
      return false;
    }
    ++group_codes_;
    if (previous_ < 0) {
      if (code >= clear_code) {
        fail(corrupt);
        return false;
      }
      previous_ = static_cast<int>(code);
      first_byte_ = static_cast<unsigned char>(code);
      dst[got++] = first_byte_;
      return true;
    }
    if (code == clear_code && block_mode_) {
      end_group();
      // The next code adds its entry in the place of CLEAR, which is never
      // read as a string, and the table begins after it again.
      next_free_ = clear_code;
      set_width(first_width);
      return true;
    }
    // The string is written last byte first, straight into `dst` when it
    // fits (its length is known from the table), else at the stack's top.
    unsigned c = code;
    std::size_t length = 0;
    const bool new_entry = c >= next_free_;
    if (new_entry) {
      if (c > next_free_) {
        fail(corrupt);
        return false;
      }
      // The entry being made: the previous string and its own first byte.
      c = static_cast<unsigned>(previous_);
      length = length_of(c) + 1;
    } else {
      length = length_of(c);
    }
    const bool direct = length <= n - got;
    unsigned char* const out = direct ? dst + got : stack_.data() + stack_.size() - length;
    unsigned char* p = out + length;
    if (new_entry) *--p = first_byte_;
    while (c >= 256) {
      *--p = suffix_[c];
      c = prefix_[c];
    }
    first_byte_ = static_cast<unsigned char>(c);
    *--p = first_byte_;
    if (next_free_ < table_end_) {
      prefix_[next_free_] = static_cast<std::uint16_t>(previous_);
      suffix_[next_free_] = first_byte_;
      length_[next_free_] = static_cast<std::uint32_t>(length_of(static_cast<unsigned>(previous_)) + 1);
      ++next_free_;
    }
    previous_ = static_cast<int>(code);
    if (direct) {
      got += length;
    } else {
      pending_ = length;
    }
    return true;
  }

  std::size_t length_of(unsigned c) const { return c < 256 ? 1 : length_[c]; }

  std::unique_ptr<input_buffer> in_;
  std::vector<std::uint16_t> prefix_;
  std::vector<unsigned char> suffix_;
  std::vector<std::uint32_t> length_;  // each entry's string length
  std::vector<unsigned char> stack_;
  std::size_t pending_ = 0;  // bytes at the stack's top not yet delivered
  std::uint64_t bits_ = 0;
  int bit_count_ = 0;
  int max_width_ = widest;
  bool block_mode_ = true;
  unsigned table_end_ = 0;  // one past the last entry the table may hold
  unsigned next_free_ = 0;
  unsigned max_code_ = 0;   // the largest entry the current width can name
  int width_ = first_width;
  int group_codes_ = 0;     // codes read at this width since its group began
  int previous_ = -1;
  unsigned char first_byte_ = 0;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<byte_source> lzw_source(std::unique_ptr<input_buffer> in) {
  return std::make_unique<lzw>(std::move(in));
}

}  // namespace orvex::fits
