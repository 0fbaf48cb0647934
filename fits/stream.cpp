#include "fits/stream.h"

#include "fits/raw_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orvex::fits {

std::int64_t _fpos = 0;

bool stream::open(const char* path) {
  close();
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  start(std::make_unique<fd_input>(fd), inflater::fastest);
  return true;
}

bool stream::open_stdin() {
  close();
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  start(std::make_unique<fd_input>(fd), inflater::fastest);
  return true;
}

void stream::open_memory(std::string bytes, inflater gzip) {
  close();
  start(std::make_unique<memory_input>(std::move(bytes)), gzip);
}

void stream::start(std::unique_ptr<raw_input> input, inflater gzip) {
  source_ = open_source(std::move(input), gzip);
  if (!buffer_) buffer_ = std::make_unique<unsigned char[]>(buffer_size);
  cur_ = end_ = buffer_.get();
  at_end_ = false;
  error_.clear();
  missing_ = 0;
  _fpos = 0;
  sum_ = running_sum{};
  delivered_ = 0;
  kept_.fill(sum_note{});
  watched_.fill(sum_note{});
  watching_.fill(-1);
  next_watch_ = 0;
  sum_from_ = 0;
  note_sum(0);
}

void stream::close() {
  source_.reset();
  cur_ = end_ = buffer_ ? buffer_.get() : nullptr;
  at_end_ = true;
}

int stream::pull(unsigned char* dst, int n) {
  if (at_end_ || !source_) return 0;
  const int got = static_cast<int>(source_->read(dst, static_cast<std::size_t>(n)));
  if (got == 0) {
    error_ = source_->error();
    at_end_ = true;
  }
  sum_delivered(dst, got);
  return got;
}

void stream::sum_delivered(const unsigned char* bytes, int n) {
  while (n > 0) {
    const std::int64_t boundary = (delivered_ / block_size + 1) * block_size;
    const int piece = static_cast<int>(std::min<std::int64_t>(n, boundary - delivered_));
    const bool summed = delivered_ >= sum_from_;
    if (summed) sum_.add(delivered_, bytes, static_cast<std::size_t>(piece));
    delivered_ += piece;
    bytes += piece;
    n -= piece;
    if (delivered_ != boundary) continue;
    if (summed || boundary >= sum_from_) {
      note_sum(boundary);
    } else {
      kept_[static_cast<std::size_t>(boundary / block_size % kept_sums)] = sum_note{};
    }
  }
}

void stream::note_sum(std::int64_t boundary) {
  const sum_note note{boundary, sum_.residue()};
  kept_[static_cast<std::size_t>(boundary / block_size % kept_sums)] = note;
  for (int i = 0; i < watched_sums; ++i) {
    if (watching_[static_cast<std::size_t>(i)] == boundary) watched_[static_cast<std::size_t>(i)] = note;
  }
}

void stream::sum_from(std::int64_t pos) {
  if (pos <= sum_from_) return;
  sum_from_ = pos;
  // Notes already taken below `pos` may no longer be set against later ones.
  for (sum_note& note : kept_) {
    if (note.pos >= 0 && note.pos < pos) note = sum_note{};
  }
  for (sum_note& note : watched_) {
    if (note.pos >= 0 && note.pos < pos) note = sum_note{};
  }
}

void stream::watch_sum(std::int64_t pos) {
  if (pos < 0 || pos % block_size != 0 || pos <= delivered_) return;
  for (std::int64_t w : watching_) {
    if (w == pos) return;
  }
  const std::size_t slot = static_cast<std::size_t>(next_watch_);
  watching_[slot] = pos;
  watched_[slot] = sum_note{};
  next_watch_ = (next_watch_ + 1) % watched_sums;
}

std::optional<std::uint32_t> stream::sum_at(std::int64_t pos) const {
  if (pos == delivered_) return sum_.residue();
  if (pos < 0 || pos % block_size != 0 || pos > delivered_) return std::nullopt;
  const sum_note& kept = kept_[static_cast<std::size_t>(pos / block_size % kept_sums)];
  if (kept.pos == pos) return kept.sum;
  for (const sum_note& w : watched_) {
    if (w.pos == pos) return w.sum;
  }
  return std::nullopt;
}

bool stream::refill() {
  if (at_end_ || !source_) return false;
  unsigned char* begin = buffer_.get();
  std::size_t kept = static_cast<std::size_t>(end_ - cur_);
  if (cur_ != begin) std::memmove(begin, cur_, kept);
  cur_ = begin;
  end_ = begin + kept;
  std::size_t room = static_cast<std::size_t>(buffer_size) - kept;
  if (room == 0) return true;
  const int got = pull(end_, static_cast<int>(room));
  end_ += got;
  return got > 0;
}

int stream::read_slow(unsigned char* dst, int n) {
  if (n <= 0) return 0;
  int got = 0;
  while (got < n) {
    if (cur_ == end_ && n - got >= direct_read && !at_end_) {
      // A large remainder is read (or decoded) straight into the caller's
      // memory, without a copy through this buffer.
      const int delivered = pull(dst + got, n - got);
      if (delivered == 0) break;
      got += delivered;
      continue;
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

void watch_data_unit(stream& in, data_span& span, bool written) {
  if (!written || (!span.cards.checksum && !span.cards.datasum)) {
    // Nothing of this part will be checked: its data are not summed.
    if (std::optional<std::int64_t> end = span.end()) in.sum_from(*end);
    return;
  }
  // The primary header's END card may leave the data's first byte ahead
  // of what the source has delivered.
  span.start_sum = in.sum_at(span.start);
  if (!span.start_sum) in.watch_sum(span.start);
  if (std::optional<std::int64_t> end = span.end()) in.watch_sum(*end);
}

void warn_not_a_number() {
  static constexpr char text[] = "Not a Number\n";
  std::fwrite(text, 1, sizeof text - 1, stderr);
}

}  // namespace orvex::fits
