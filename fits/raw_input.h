// Where the bytes of an input come from before any decompression: a file
// descriptor (a file or standard input) or a run of bytes in memory, which
// lets tests feed every byte source without files.
//
// An input is read forward; seek() goes back to an earlier offset where the
// input allows it (a regular file or memory, never a pipe), which the gzip
// source uses to decode a damaged member again with zlib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex::fits {

class raw_input {
 public:
  virtual ~raw_input() = default;
  // Reads up to `n` bytes into `dst`: the count, 0 at the end of the input,
  // -1 on a read error with errno set.
  virtual std::ptrdiff_t read(unsigned char* dst, std::size_t n) = 0;
  // Makes `at` (an offset from the input's first byte) the next byte read;
  // false, with nothing changed, when the input cannot go back.
  virtual bool seek(std::int64_t at) = 0;
};

// Owns `fd` and closes it when destroyed. Offsets count from where the
// descriptor stood when it was handed over (standard input may have been
// read in part already).
class fd_input final : public raw_input {
 public:
  explicit fd_input(int fd);
  ~fd_input() override;
  fd_input(const fd_input&) = delete;
  fd_input& operator=(const fd_input&) = delete;
  std::ptrdiff_t read(unsigned char* dst, std::size_t n) override;
  bool seek(std::int64_t at) override;

 private:
  int fd_;
  std::int64_t first_;  // the descriptor's offset at the start; -1 for a pipe
};

// Holds its own copy of the bytes.
class memory_input final : public raw_input {
 public:
  explicit memory_input(std::string bytes) : bytes_(std::move(bytes)) {}
  std::ptrdiff_t read(unsigned char* dst, std::size_t n) override;
  bool seek(std::int64_t at) override;

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

}  // namespace orvex::fits
