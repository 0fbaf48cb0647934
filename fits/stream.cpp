#include "fits/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orvex::fits {

std::int64_t _fpos = 0;

namespace {

// zlib's buffer: larger than its 8 KiB default so that a file is read in
// few system calls, and at most half of a refill, because zlib reads a
// request of twice its buffer or more straight into the caller's memory
// (plain and gzip input alike) instead of through its own buffer and a copy.
constexpr unsigned zlib_buffer_size = 64 * 1024;
static_assert(2 * zlib_buffer_size <= stream::buffer_size / 2);
static_assert(2 * zlib_buffer_size <= stream::direct_read);

// gzerror() puts the path in front of its message ("obs.fits: Is a
// directory"); our reports name the file themselves.
std::string reason_of(gzFile file) {
  int code = Z_OK;
  const char* msg = gzerror(file, &code);
  if (code == Z_OK) return {};
  std::string text = msg != nullptr && *msg != '\0' ? msg : "read error";
  return text;
}

}  // namespace

bool stream::open(const char* path) {
  close();
  gzFile f = gzopen(path, "rb");
  if (f == nullptr) return false;
  start(f, std::string(path) + ": ");
  return true;
}

bool stream::open_stdin() {
  close();
  const int fd = ::dup(STDIN_FILENO);
  if (fd < 0) return false;
  gzFile f = gzdopen(fd, "rb");
  if (f == nullptr) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return false;
  }
  // zlib names a descriptor "<fd:N>" in its messages.
  start(f, "<fd:" + std::to_string(fd) + ">: ");
  return true;
}

void stream::start(gzFile f, std::string prefix) {
  gzbuffer(f, zlib_buffer_size);
  file_ = f;
  if (!buffer_) buffer_ = std::make_unique<unsigned char[]>(buffer_size);
  cur_ = end_ = buffer_.get();
  at_end_ = false;
  error_.clear();
  missing_ = 0;
  path_prefix_ = std::move(prefix);
  _fpos = 0;
}

void stream::close() {
  if (file_ != nullptr) gzclose(file_);
  file_ = nullptr;
  cur_ = end_ = buffer_ ? buffer_.get() : nullptr;
  at_end_ = true;
}

bool stream::refill() {
  if (at_end_ || file_ == nullptr) return false;
  unsigned char* begin = buffer_.get();
  std::size_t kept = static_cast<std::size_t>(end_ - cur_);
  if (cur_ != begin) std::memmove(begin, cur_, kept);
  cur_ = begin;
  end_ = begin + kept;
  std::size_t room = static_cast<std::size_t>(buffer_size) - kept;
  if (room == 0) return true;
  int got = gzread(file_, end_, static_cast<unsigned>(room));
  if (got > 0) {
    end_ += got;
    return true;
  }
  note_end();
  return false;
}

void stream::note_end() {
  error_ = reason_of(file_);
  // Drop the file name that zlib puts in front of its message.
  if (error_.compare(0, path_prefix_.size(), path_prefix_) == 0) error_.erase(0, path_prefix_.size());
  at_end_ = true;
}

int stream::read_slow(unsigned char* dst, int n) {
  if (n <= 0) return 0;
  int got = 0;
  while (got < n) {
    if (cur_ == end_ && n - got >= direct_read && !at_end_ && file_ != nullptr) {
      // A large remainder is read (or inflated) by zlib straight into the
      // caller's memory, without a copy through this buffer.
      const int delivered = gzread(file_, dst + got, static_cast<unsigned>(n - got));
      if (delivered > 0) {
        got += delivered;
        continue;
      }
      note_end();
      break;
    }
    if (cur_ == end_ && !refill()) break;
    int take = static_cast<int>(std::min<std::ptrdiff_t>(end_ - cur_, n - got));
    std::memcpy(dst + got, cur_, static_cast<std::size_t>(take));
    cur_ += take;
    got += take;
  }
  missing_ += n - got;
  _fpos += got;
  return got;
}

std::int64_t stream::discard(std::int64_t n) {
  std::int64_t done = 0;
  while (done < n) {
    if (cur_ == end_ && !refill()) break;
    std::int64_t take = std::min<std::int64_t>(end_ - cur_, n - done);
    cur_ += take;
    done += take;
  }
  if (n > done) missing_ += n - done;
  _fpos += done;
  return done;
}

const unsigned char* stream::read_piece(std::int64_t n, std::int64_t& got, byte_buffer& spill) {
  if (n <= 0) {
    got = 0;
    return cur_;
  }
  if (n <= buffer_size && static_cast<std::int64_t>(peek(static_cast<int>(n)).size()) == n) {
    got = n;
    return take(static_cast<int>(n));
  }
  // Longer than the buffer, or cut by the end of the stream: gathered in
  // pieces that grow with what is delivered.
  constexpr std::int64_t chunk = 1 << 20;
  got = 0;
  while (got < n) {
    const std::int64_t want = n - got < chunk ? n - got : chunk;
    if (spill.size() < static_cast<std::size_t>(got + want)) spill.resize(static_cast<std::size_t>(got + want));
    const int delivered = read(spill.data() + got, static_cast<int>(want));
    got += delivered;
    if (delivered < want) {
      missing_ += n - got - (want - delivered);
      break;
    }
  }
  return spill.data();
}

std::string_view stream::peek(int n) {
  n = std::clamp(n, 0, buffer_size);
  while (end_ - cur_ < n && refill()) {
  }
  std::size_t have = static_cast<std::size_t>(std::min<std::ptrdiff_t>(end_ - cur_, n));
  return {reinterpret_cast<const char*>(cur_), have};
}

namespace detail {
void fill(stream& in, unsigned char* bytes, int n) {
  std::memset(bytes, 0, static_cast<std::size_t>(n));
  in.read(bytes, n);
}
}  // namespace detail

void trim(card_buffer& card) {
  for (int i = card_size - 1; i >= 0; --i) {
    if (card[i] != ' ') {
      card[i + 1] = '\0';
      return;
    }
  }
}

int read_card(stream& in, card_buffer& card) {
  card.fill('\0');
  int got = in.read(card.data(), card_size);
  if (got > 0) trim(card);
  return got;
}

bool next_extension(stream& in, card_buffer& card) {
  while (read_card(in, card) > 0) {
    if (std::strncmp(card.data(), "XTENSION", 8) == 0) return true;
  }
  return false;
}

int gzseek(stream& in, std::int64_t target) {
  if (target <= _fpos) return 0;
  std::int64_t want = target - _fpos;
  std::int64_t got = in.discard(want);
  // The count of the last 512-byte-or-smaller read of a chunked skip.
  std::int64_t last = got % skip_size;
  if (got == want) return static_cast<int>(last == 0 && got != 0 ? skip_size : last);
  return 0;
}

int realign(stream& in) { return gzseek(in, next_boundary(_fpos)); }

void warn_not_a_number() {
  static constexpr char text[] = "Not a Number\n";
  std::fwrite(text, 1, sizeof text - 1, stderr);
}

}  // namespace orvex::fits
