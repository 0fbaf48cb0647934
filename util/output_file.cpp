#include "util/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "util/failure.h"
#include "util/stop_signals.h"

namespace orvex::util {
namespace {

// The file whose buffer an exit() must not lose. At most one output file is
// open at a time.
output_file* open_file = nullptr;

// An exit() from the depths of the decoder ("Error: To many variables")
// keeps what was written before it, under the part's name.
void close_open_file() {
  if (open_file != nullptr) open_file->close();
}

// The permission bits a new file does not get, read once: umask() can only
// be read by setting it.
mode_t creation_mask() {
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

// "<folder>/.orvex-XXXXXX" for mkstemp: in the folder of `path`, so that the
// rename stays on one file system; a leading dot, so that `ls` does not show
// it; no name that an output can take (those end in ".NNN" or ".NNN.csv").
std::string temporary_name_in_folder_of(const char* path) {
  std::string_view p(path);
  const std::size_t slash = p.rfind('/');
  std::string folder = slash == std::string_view::npos ? std::string() : std::string(p.substr(0, slash + 1));
  return folder + ".orvex-XXXXXX";
}

// What creating `path` in place would have refused, said before anything
// is written: a name too long, a file that may not be written. errno says
// why when it returns false.
bool can_replace(const char* path) {
  std::string_view p(path);
  const std::size_t slash = p.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
  if (name.size() > NAME_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  return access(path, F_OK) != 0 || access(path, W_OK) == 0;
}

}  // namespace

output_file::~output_file() { close(); }

void output_file::start_buffer() {
  static const bool hooked = (std::atexit(close_open_file), true);
  (void)hooked;
  if (!buffer_) buffer_ = std::make_unique<char[]>(buffer_size);
  cur_ = buffer_.get();
  end_ = cur_ + buffer_size;
  error_ = 0;
}

bool output_file::create(const char* path) {
  close();
  struct stat st {};
  if (lstat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    // A FIFO, a device or a link that stands at the part's name is where
    // the user wants the text to go: it is written into, as it comes.
    return create_in_place(path);
  }
  if (!can_replace(path)) return false;
  std::string temporary = temporary_name_in_folder_of(path);
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  // mkstemp makes the file private; the text file gets the mode a new
  // file of fopen would have.
  fchmod(fd, 0666 & ~creation_mask());
  std::FILE* f = fdopen(fd, "w");
  if (f == nullptr) {
    const int err = errno;
    ::close(fd);
    unlink(temporary.c_str());
    errno = err;
    return false;
  }
  set_file_to_remove(temporary.c_str());
  // Our own buffer does the batching; stdio only passes it on.
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  owned_ = true;
  path_ = path;
  temporary_ = std::move(temporary);
  start_buffer();
  open_file = this;
  return true;
}

bool output_file::create_in_place(const char* path) {
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  owned_ = true;
  path_ = path;
  temporary_.clear();
  start_buffer();
  open_file = this;
  return true;
}

void output_file::use_stdout() {
  close();
  file_ = stdout;
  owned_ = false;
  path_ = "standard output";
  start_buffer();
  open_file = this;
}

void output_file::create_on_first_write(std::function<bool()> open) {
  close();
  start_buffer();
  // No room at all: the first byte asks make_room() for some.
  end_ = cur_;
  opener_ = std::move(open);
}

void output_file::make_room() {
  if (!opener_) {
    flush();
    return;
  }
  // The opener may call create(), which closes this object first: it is
  // moved out so that it is not destroyed while it runs.
  std::function<bool()> open = std::move(opener_);
  opener_ = nullptr;
  if (!open()) cur_ = end_ = buffer_.get();  // said why; the text is dropped
}

void output_file::fail(int err) {
  if (error_ == 0) error_ = err != 0 ? err : EIO;
  // Drop every later byte: the room left is none.
  cur_ = end_ = buffer_.get();
  if (!owned_) failure::standard_output_failed(error_);
}

bool output_file::put_through(const char* data, std::size_t n) {
  errno = 0;
  // Standard output keeps its stdio buffer: hence the fflush.
  if (std::fwrite(data, 1, n, file_) != n || (!owned_ && std::fflush(file_) != 0)) {
    fail(errno);
    return false;
  }
  return true;
}

void output_file::flush() {
  if (file_ == nullptr || error_ != 0) return;
  char* begin = buffer_.get();
  const std::size_t n = static_cast<std::size_t>(cur_ - begin);
  if (n != 0 && !put_through(begin, n)) return;
  cur_ = begin;
}

void flush_standard_output() {
  if (open_file != nullptr && open_file->to_standard_output()) open_file->flush();
}

void output_file::write_slow(const char* data, std::size_t n) {
  if (opener_ && n != 0) make_room();
  if (file_ == nullptr || error_ != 0) return;
  if (n >= buffer_size / 2) {
    // A large piece (a run of rows) goes to the system as it is, after
    // what the buffer holds, rather than being copied through the buffer.
    flush();
    if (error_ == 0) put_through(data, n);
    return;
  }
  while (n != 0) {
    if (cur_ == end_) {
      flush();
      if (error_ != 0) return;
    }
    std::size_t room = static_cast<std::size_t>(end_ - cur_);
    std::size_t take = n < room ? n : room;
    std::memcpy(cur_, data, take);
    cur_ += take;
    data += take;
    n -= take;
  }
}

int output_file::close() {
  image_ = false;
  opener_ = nullptr;
  if (file_ == nullptr) return 0;
  flush();
  errno = 0;
  if (owned_ && std::fclose(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (owned_ && !temporary_.empty()) {
    // The text is complete (or as complete as it will get: a cut input, a
    // full disk): it takes the part's name now, and only now.
    errno = 0;
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
      if (error_ == 0) error_ = errno != 0 ? errno : EIO;
      unlink(temporary_.c_str());
    }
    set_file_to_remove(nullptr);
    temporary_.clear();
  }
  file_ = nullptr;
  owned_ = true;
  if (open_file == this) open_file = nullptr;
  cur_ = end_ = nullptr;
  return error_;
}

}  // namespace orvex::util
