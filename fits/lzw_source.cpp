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
//
// Every string of the table is a run of bytes the output already holds:
// an entry is the previous code's string and the byte after it, and that
// byte is the first of the current string, written right after it. So the
// decoder keeps the output it wrote in a history and copies a code's
// string from where it was written, in one memcpy, rather than walking the
// code's chain of prefixes a byte at a time through tables larger than
// the first-level cache. Strings written before the oldest byte the
// history keeps (a table that lives through megabytes without CLEAR) are
// walked as before.
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
  lzw(std::unique_ptr<input_buffer> in, std::size_t history)
      : in_(std::move(in)),
        prefix_(1 << widest),
        suffix_(1 << widest),
        entry_(1 << widest),
        kept_(std::max<std::size_t>(history, longest)),
        history_(2 * kept_ + 2 * longest) {
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
      if (delivered_ < end_) {
        const std::size_t take = std::min(end_ - delivered_, n - got);
        std::memcpy(dst + got, history_.data() + delivered_, take);
        delivered_ += take;
        got += take;
        continue;
      }
      if (done_) break;
      // LZW has no check: the bytes before a bad code are as good as any,
      // and are delivered before the fault is reported.
      decode_run(n - got);
    }
    return got;
  }

 private:
  // The longest string a table of 16-bit codes can hold, and one more byte.
  static constexpr std::size_t longest = (1 << widest) + 1;
  // Bytes decoded ahead of the reader at most, in one run of codes.
  static constexpr std::size_t run_bytes = 256 * 1024;

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
    if (bit_count_ < n && in_->size() >= 8) {
      // Most of the time: the next eight bytes at once, as many whole bytes
      // of them as the store takes.
      const unsigned char* b = in_->data();
      std::uint64_t next = 0;
      for (int i = 7; i >= 0; --i) next = next << 8 | b[i];
      const int k = (64 - bit_count_) / 8;
      bits_ |= (k == 8 ? next : next & ((std::uint64_t{1} << (8 * k)) - 1)) << bit_count_;
      bit_count_ += 8 * k;
      in_->consume(static_cast<std::size_t>(k));
    }
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

  // Decodes codes into the history (every byte of which has been
  // delivered) until about `wanted` bytes, at most run_bytes, are there to
  // deliver, or the input ends or breaks.
  void decode_run(std::size_t wanted) {
    if (end_ + longest > history_.size()) {
      // Keep the last kept_ bytes: the strings most codes name.
      const std::size_t drop = end_ - kept_;
      std::memmove(history_.data(), history_.data() + drop, kept_);
      base_ += drop;
      end_ = kept_;
      delivered_ = kept_;
      // The entries are made in the order of their strings: those whose
      // strings left the history are the ones below the mark.
      const auto here = static_cast<std::uint32_t>(base_ + end_);
      while (in_history_ < next_free_ && static_cast<std::uint32_t>(here - entry_[in_history_].position) > end_) {
        ++in_history_;
      }
    }
    const std::size_t target = end_ + std::min(wanted, run_bytes);
    const std::size_t limit = history_.size() - longest;
    while (end_ < target && end_ <= limit && !done_) decode_one();
  }

  // Decodes one code onto the end of the history.
  void decode_one() {
    if (next_free_ > max_code_) {
      end_group();
      set_width(width_ + 1);
    }
    unsigned code = 0;
    if (!take_bits(width_, code)) {
      done_ = true;
      return;
    }
    ++group_codes_;
    // The next code is in the store already, most of the time: its entry
    // is asked for now, so that it is in the cache when that code is read.
    if (bit_count_ >= width_) __builtin_prefetch(&entry_[bits_ & ((1u << width_) - 1)]);
    const std::uint64_t here = base_ + end_;  // where this code's string goes
    if (previous_ < 0) {
      if (code >= clear_code) {
        fail(corrupt);
        return;
      }
      previous_ = static_cast<int>(code);
      previous_at_ = here;
      first_byte_ = static_cast<unsigned char>(code);
      history_[end_++] = first_byte_;
      return;
    }
    if (code == clear_code && block_mode_) {
      end_group();
      // The next code adds its entry in the place of CLEAR, which is never
      // read as a string, and the table begins after it again.
      next_free_ = clear_code;
      in_history_ = clear_code;
      set_width(first_width);
      return;
    }
    const bool new_entry = code >= next_free_;
    if (new_entry && code > next_free_) {
      fail(corrupt);
      return;
    }
    // The string: for the entry being made, the previous string and its
    // own first byte, which is where the previous string was written and
    // one byte further.
    const unsigned c = new_entry ? static_cast<unsigned>(previous_) : code;
    const entry e = c < 256 ? entry{0, 1} : entry_[c];
    const std::size_t length = e.length + (new_entry ? 1 : 0);
    unsigned char* out = history_.data() + end_;
    if (c < 256 && !new_entry) {
      *out = static_cast<unsigned char>(c);
    } else if (new_entry || c >= in_history_) {
      // The entry being made ends with its own first byte, the byte just
      // after the previous string (which is always in the history). An
      // entry's position is kept to 32 bits: its distance back from here,
      // less than the history's size, is exact in them.
      const unsigned char* src =
          new_entry ? history_.data() + (previous_at_ - base_)
                    : out - static_cast<std::uint32_t>(static_cast<std::uint32_t>(here) - e.position);
      const std::size_t copied = new_entry ? length - 1 : length;
      if (copied <= 16 && !new_entry) {
        // Short strings, most of them: a copy of a fixed size (the history
        // has room after its end), read whole before it is written.
        unsigned char bytes[16];
        std::memcpy(bytes, src, 16);
        std::memcpy(out, bytes, 16);
      } else {
        // The string ends where this one begins, or before.
        std::memcpy(out, src, copied);
      }
      if (new_entry) out[length - 1] = out[0];
    } else {
      // Written before the history's oldest byte: the chain, last byte
      // first.
      unsigned k = c;
      unsigned char* p = out + length;
      while (k >= 256) {
        *--p = suffix_[k];
        k = prefix_[k];
      }
      *--p = static_cast<unsigned char>(k);
    }
    first_byte_ = out[0];
    if (next_free_ < table_end_) {
      prefix_[next_free_] = static_cast<std::uint16_t>(previous_);
      suffix_[next_free_] = first_byte_;
      entry_[next_free_] = {static_cast<std::uint32_t>(previous_at_),
                            static_cast<std::uint32_t>(length_of(static_cast<unsigned>(previous_)) + 1)};
      ++next_free_;
    }
    previous_ = static_cast<int>(code);
    previous_at_ = here;
    end_ += length;
  }

  std::size_t length_of(unsigned c) const { return c < 256 ? 1 : entry_[c].length; }

  std::unique_ptr<input_buffer> in_;
  std::vector<std::uint16_t> prefix_;
  std::vector<unsigned char> suffix_;
  // Where in the output each entry's string was written (its low 32 bits),
  // and its length: side by side, as every code reads both, in eight bytes,
  // so that the table takes half a megabyte of cache.
  struct entry {
    std::uint32_t position = 0;
    std::uint32_t length = 0;
  };
  std::vector<entry> entry_;
  unsigned in_history_ = clear_code;  // the entries from here on have their strings in the history
  std::size_t kept_;                     // history bytes kept when it moves
  std::vector<unsigned char> history_;   // output bytes base_ on, the last ones written
  std::uint64_t base_ = 0;               // the output position of history_[0]
  std::size_t end_ = 0;                  // bytes in the history
  std::size_t delivered_ = 0;            // of which the reader has these
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
  std::uint64_t previous_at_ = 0;  // where the previous code's string was written
  unsigned char first_byte_ = 0;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<byte_source> lzw_source(std::unique_ptr<input_buffer> in, std::size_t history) {
  return std::make_unique<lzw>(std::move(in), history);
}

}  // namespace orvex::fits
