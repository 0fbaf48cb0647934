// One output text file (<stem>.NNN), written through a large buffer of its
// own so that row assembly costs a memcpy per cell rather than a stdio call.
//
// The driver owns the one open output file; the decoder writes to it through
// a pointer that is null when the part is not written. A write that fails
// (a full disk, a file-size limit) is remembered with its errno, and every
// later write is dropped; close() reports the first failure to its caller,
// which names the file in its message. The buffer of a file that is still
// open when the process calls exit() is flushed by an atexit hook, so an
// exit from the depths of the decoder keeps everything written before it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace orvex::util {

class output_file {
 public:
  static constexpr std::size_t buffer_size = 256 * 1024;

  output_file() = default;
  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  // Creates `path` for writing, replacing an existing file. Returns false,
  // with errno set by the system, when it cannot be created.
  bool create(const char* path);

  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  void write(std::string_view text) { write(text.data(), text.size()); }
  void write(const char* data, std::size_t n) {
    if (n <= static_cast<std::size_t>(end_ - cur_)) {
      std::memcpy(cur_, data, n);
      cur_ += n;
    } else {
      write_slow(data, n);
    }
  }
  void put(char c) {
    if (cur_ == end_) flush();
    if (cur_ != end_) *cur_++ = c;
  }

  // A comment line of the output format: "!", `text` and a line end.
  void write_comment(std::string_view text) {
    put('!');
    write(text);
    put('\n');
  }

  // Room for at least `n` bytes at the write position, or null when the
  // buffer cannot offer that many (n above buffer_size, or a failed file).
  // The caller fills some of it and hands the end to commit().
  char* reserve(std::size_t n) {
    if (n > static_cast<std::size_t>(end_ - cur_)) {
      flush();
      if (n > static_cast<std::size_t>(end_ - cur_)) return nullptr;
    }
    return cur_;
  }
  void commit(char* new_end) { cur_ = new_end; }

  // Hands the buffered bytes to the system.
  void flush();

  // Flushes and closes. Returns 0, or the errno of the first failure of a
  // write, the flush or the close. Closing a file that is not open returns 0.
  int close();

  // errno of the first failed write, 0 while every write succeeded.
  int error() const { return error_; }

 private:
  void write_slow(const char* data, std::size_t n);
  void fail(int err);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  int error_ = 0;
};

}  // namespace orvex::util
