#include "fits/input_buffer.h"

#include <cerrno>
#include <cstring>

namespace orvex::fits {

input_buffer::input_buffer(std::unique_ptr<raw_input> in)
    : in_(std::move(in)), storage_(std::make_unique<unsigned char[]>(capacity)) {
  begin_ = cur_ = end_ = storage_.get();
}

std::ptrdiff_t input_buffer::read_raw(unsigned char* dst, std::size_t n) {
  if (at_end_) return 0;
  const std::ptrdiff_t got = in_->read(dst, n);
  if (got > 0) return got;
  // A failed read ends the input as its end does; the reason is kept.
  if (got < 0) error_ = std::strerror(errno);
  at_end_ = true;
  return 0;
}

bool input_buffer::fill() {
  const std::size_t kept = size();
  if (cur_ != begin_) {
    std::memmove(begin_, cur_, kept);
    base_ += cur_ - begin_;
    cur_ = begin_;
    end_ = begin_ + kept;
  }
  if (kept == capacity) return true;
  const std::ptrdiff_t got = read_raw(end_, capacity - kept);
  end_ += got;
  return got > 0;
}

std::size_t input_buffer::want(std::size_t n) {
  while (size() < n && fill()) {
  }
  return size();
}

std::size_t input_buffer::read_direct(unsigned char* dst, std::size_t n) {
  const std::ptrdiff_t got = read_raw(dst, n);
  base_ += got;
  return static_cast<std::size_t>(got);
}

bool input_buffer::seek(std::int64_t at) {
  if (!in_->seek(at)) return false;
  cur_ = end_ = begin_;
  base_ = at;
  at_end_ = false;
  error_.clear();
  return true;
}

}  // namespace orvex::fits
