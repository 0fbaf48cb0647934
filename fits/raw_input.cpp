#include "fits/raw_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvex::fits {

fd_input::fd_input(int fd) : fd_(fd), first_(::lseek(fd, 0, SEEK_CUR)) {}

fd_input::~fd_input() { ::close(fd_); }

std::ptrdiff_t fd_input::read(unsigned char* dst, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd_, dst, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool fd_input::seek(std::int64_t at) {
  return first_ >= 0 && ::lseek(fd_, static_cast<off_t>(first_ + at), SEEK_SET) == first_ + at;
}

std::ptrdiff_t memory_input::read(unsigned char* dst, std::size_t n) {
  const std::size_t take = std::min(n, bytes_.size() - at_);
  std::memcpy(dst, bytes_.data() + at_, take);
  at_ += take;
  return static_cast<std::ptrdiff_t>(take);
}

bool memory_input::seek(std::int64_t at) {
  if (at < 0 || static_cast<std::uint64_t>(at) > bytes_.size()) return false;
  at_ = static_cast<std::size_t>(at);
  return true;
}

}  // namespace orvex::fits
