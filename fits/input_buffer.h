// The compressed bytes of one input, buffered for the decoders that read
// them: a decoder looks at the bytes held, consumes what it used and asks
// for more. The offset of every byte in the input is known, so a decoder
// can note where a member began and go back to it (seek).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fits/raw_input.h"

namespace orvex::fits {

class input_buffer {
 public:
  static constexpr std::size_t capacity = 128 * 1024;

  explicit input_buffer(std::unique_ptr<raw_input> in);
  input_buffer(const input_buffer&) = delete;
  input_buffer& operator=(const input_buffer&) = delete;

  // The bytes held and not yet consumed.
  const unsigned char* data() const { return cur_; }
  std::size_t size() const { return static_cast<std::size_t>(end_ - cur_); }
  void consume(std::size_t n) { cur_ += n; }

  // Reads more after the bytes held (moving them to the front first).
  // False when nothing more came: the end of the input, or a read error
  // that error() then names.
  bool fill();
  // Fills until at least `n` bytes (at most capacity) are held or the input
  // ends; returns the count held.
  std::size_t want(std::size_t n);
  // Reads up to `n` bytes straight into `dst`, bypassing the buffer, which
  // must be empty. 0 at the end or on a read error.
  std::size_t read_direct(unsigned char* dst, std::size_t n);

  // The input offset of data()[0].
  std::int64_t offset() const { return base_ + (cur_ - begin_); }
  // Drops what is held and goes on reading at offset `at`; false when the
  // input cannot go back.
  bool seek(std::int64_t at);

  // The system's reason for a failed read; empty while none failed.
  const std::string& error() const { return error_; }

 private:
  std::ptrdiff_t read_raw(unsigned char* dst, std::size_t n);

  std::unique_ptr<raw_input> in_;
  std::unique_ptr<unsigned char[]> storage_;
  unsigned char* begin_;
  unsigned char* cur_;
  unsigned char* end_;
  std::int64_t base_ = 0;  // the input offset of begin_[0]
  bool at_end_ = false;
  std::string error_;
};

}  // namespace orvex::fits
