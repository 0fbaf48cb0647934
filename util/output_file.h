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
//
// Two other places can take a part's text: standard output (-o -), which
// the object never closes and whose write failure ends the run, and a file
// that is created only when the first byte of the part is written (a CSV
// file, which a part without rows must not leave behind).
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
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

  // Starts the text of `path`. It is written to a temporary file in the
  // same folder (".orvex-" and six letters) that takes the name `path`,
  // replacing an existing file, when close() is called: a run stopped before
  // that leaves an earlier file of that name as it was (see
  // util/stop_signals). Where something other than a regular file stands
  // at `path` (a FIFO, a device, a symbolic link), the text is written
  // into it as it comes. Returns false, with errno set, when `path` or the
  // temporary file cannot be created.
  bool create(const char* path);

  // Writes to standard output from now on. A write that fails there ends
  // the run with status 1 (failure::standard_output_failed): nothing
  // written later could reach the reader.
  void use_stdout();

  // The file is created only when the first byte is to be written: `open`
  // is called then, with nothing yet in the buffer, and creates it with
  // create() or says why it cannot and returns false, in which case
  // every byte of the part is dropped. A part that writes nothing leaves
  // no file behind.
  void create_on_first_write(std::function<bool()> open);

  // Whether text is taken: the file is open, or waits for its first byte.
  bool is_open() const { return file_ != nullptr || opener_ != nullptr; }
  const std::string& path() const { return path_; }

  void write(std::string_view text) { write(text.data(), text.size()); }
  void write(const char* data, std::size_t n) {
    if (n <= static_cast<std::size_t>(end_ - cur_)) {
      if (n != 0) std::memcpy(cur_, data, n);
      cur_ += n;
    } else {
      write_slow(data, n);
    }
  }
  void put(char c) {
    if (cur_ == end_) make_room();
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
      make_room();
      if (n > static_cast<std::size_t>(end_ - cur_)) return nullptr;
    }
    return cur_;
  }
  void commit(char* new_end) { cur_ = new_end; }

  // Hands the buffered bytes to the system.
  void flush();

  // Flushes, closes and gives the text its name. Returns 0, or the errno of
  // the first failure of a write, the flush, the close or the rename. Closing a file that is not open returns
  // 0, and so does closing one that waits for its first byte, which is then
  // never created. Standard output is flushed, not closed.
  int close();

  // errno of the first failed write, 0 while every write succeeded.
  int error() const { return error_; }

  // Whether the text goes to standard output.
  bool to_standard_output() const { return file_ != nullptr && !owned_; }

  // Whether the part's text is an image's lines rather than a table's rows:
  // said by the writer before its first byte, read by an opener that names
  // the two apart (ECSV tables, CSV images). Cleared by close().
  void mark_image() { image_ = true; }
  bool holds_image() const { return image_; }

 private:
  bool create_in_place(const char* path);
  void write_slow(const char* data, std::size_t n);
  // Writes `n` bytes to the system, and pushes standard output's out at
  // once, so that a reader sees each piece and a closed pipe is seen here.
  // Records the failure and returns false when it fails.
  bool put_through(const char* data, std::size_t n);
  void fail(int err);
  // flush(), or the creation of a file that waits for its first byte.
  void make_room();
  void start_buffer();

  std::FILE* file_ = nullptr;
  bool owned_ = true;  // false for standard output
  std::function<bool()> opener_;
  std::string path_;
  std::string temporary_;  // where the text goes until close()
  std::unique_ptr<char[]> buffer_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  int error_ = 0;
  bool image_ = false;
};

// Hands on what the open output file holds when it is standard output, so
// that a message on standard error follows the text written before it
// (--list, -o -). Does nothing for a part file.
void flush_standard_output();

}  // namespace orvex::util
