// Forward-only reading of one FITS input stream, plain or compressed (gzip,
// bzip2, xz, Unix compress): the bytes come from the byte source that the
// input's first bytes choose (fits/byte_source.h).
//
// Every byte consumed from the stream is counted in _fpos; block skips are
// computed from that count, so a read that bypasses these functions breaks
// every later skip. The stream is never seeked or rewound: the only way back
// is peek(), which looks at bytes not yet consumed.
//
// End of input and read errors look alike to the readers: a read delivers
// what the stream still had and then nothing, so every loop that reads until
// the end of the stream also ends on an error. What happened is kept in the
// stream: failed() and error() tell a read error (a corrupt compressed
// stream, a failed check, a cut stream, a failed system read) from a plain
// end, and missing()
// counts the bytes that reads asked for and did not get.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits/big_endian.h"
#include "fits/byte_buffer.h"
#include "fits/byte_source.h"
#include "fits/checksum.h"
#include "fits/data_unit.h"

namespace orvex::fits {

inline constexpr int card_size = 80;
inline constexpr int block_size = 2880;
inline constexpr int skip_size = 512;

// Bytes consumed from the current input stream since it was opened. 64 bits
// wide so that inputs whose decompressed length reaches 2 GiB are counted
// and skipped correctly.
extern std::int64_t _fpos;

// One header card: 80 characters and a terminating NUL.
using card_buffer = std::array<char, card_size + 1>;

class stream {
 public:
  static constexpr int buffer_size = 256 * 1024;
  // Reads of at least this many bytes left over after the buffer's go to
  // the source directly, which decodes them into the caller's memory.
  static constexpr int direct_read = 128 * 1024;

  stream() = default;
  ~stream() { close(); }
  stream(const stream&) = delete;
  stream& operator=(const stream&) = delete;

  // Opens `path`, reads its first bytes to choose its source and sets
  // _fpos to 0. Returns false, with errno set, when the file cannot be
  // opened.
  bool open(const char* path);
  // Opens standard input the same way, through a duplicate of its
  // descriptor (closing the stream leaves standard input open).
  bool open_stdin();
  // Opens a copy of `bytes` as the input, compressed or plain alike: for
  // tests. `gzip` chooses the inflater of gzip bytes.
  void open_memory(std::string bytes, inflater gzip = inflater::fastest);
  // Closes the input. Closing a closed stream does nothing.
  void close();

  // Reads up to `n` bytes into `dst`, adds the count delivered to _fpos and
  // returns it: fewer than `n` only at the end of the stream or after a read
  // error, 0 once nothing is left.
  int read(void* dst, int n) {
    if (n > 0 && n <= end_ - cur_) {
      std::memcpy(dst, cur_, static_cast<std::size_t>(n));
      cur_ += n;
      _fpos += n;
      return n;
    }
    return read_slow(static_cast<unsigned char*>(dst), n);
  }

  // Reads and discards `n` bytes; returns the count consumed (and added to
  // _fpos), fewer than `n` only at the end of the stream.
  std::int64_t discard(std::int64_t n);

  // The next `n` bytes (at most buffer_size) without consuming them; fewer
  // when the stream ends before them.
  std::string_view peek(int n);

  // Direct access for the value readers: the next `n` bytes when the buffer
  // holds them all, consumed and counted; null otherwise, and then nothing
  // is consumed and the caller falls back to read().
  const unsigned char* take(int n) {
    if (n > end_ - cur_) return nullptr;
    const unsigned char* p = cur_;
    cur_ += n;
    _fpos += n;
    return p;
  }

  // Reads `n` bytes as one piece, for a table row: returns a pointer to
  // them and sets `got` to the count delivered, `n` or fewer at the end of
  // the stream. The pointer leads into the stream's buffer when the bytes
  // fit there, else into `spill`; it stays valid until the next read. A
  // piece longer than what the stream holds costs memory only for the
  // bytes that arrive.
  const unsigned char* read_piece(std::int64_t n, std::int64_t& got, byte_buffer& spill);

  // Whether the input ended in a read error, and its reason when it did.
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  // Bytes that reads asked for and did not get, since the stream was opened.
  std::int64_t missing() const { return missing_; }

  // The checksums of the FITS kind (fits/checksum.h). The stream sums every
  // byte as it comes from the source, ahead of the readers by at most its
  // buffer, and notes the running sum at each block boundary (a multiple of
  // 2880 in _fpos terms): the last `kept_sums` notes are kept, and those at
  // the positions that watch_sum() asked for ahead.
  static constexpr int kept_sums = 128;
  // Keeps the note at boundary `pos` once the source has delivered it,
  // however far ahead it lies (a part's end, while its data are read); up
  // to `watched_sums` such positions, the oldest given up first. Anything
  // but a boundary is passed over.
  static constexpr int watched_sums = 4;
  void watch_sum(std::int64_t pos);
  // The sums of the bytes before `pos` will not be asked for (a part
  // without checksum cards, or not written): they are not taken, and the
  // notes before `pos` are dropped. The notes from `pos` on stay good for
  // differences between them, which is all a checksum asks.
  void sum_from(std::int64_t pos);
  // The running sum before byte `pos`: at a boundary whose note is kept or
  // watched, or at the end of what the source has delivered. std::nullopt
  // otherwise: a boundary not yet delivered (the stream ended or has not
  // got there) or one passed too long ago.
  std::optional<std::uint32_t> sum_at(std::int64_t pos) const;
  // The bytes the source has delivered so far, and whether it has ended
  // (all of them, or a read error: see failed()).
  std::int64_t delivered() const { return delivered_; }
  bool ended() const { return at_end_; }

 private:
  int read_slow(unsigned char* dst, int n);
  // Refills the buffer, keeping the unconsumed bytes; false when the
  // stream delivered nothing more.
  bool refill();
  // Every byte of the input enters the stream here, and nowhere else:
  // up to `n` bytes from the source into `dst`, the count delivered, and at
  // the end (0) the source's fault noted.
  int pull(unsigned char* dst, int n);
  // Takes over the input just opened.
  void start(std::unique_ptr<raw_input> input, inflater gzip);
  // Adds bytes just delivered by the source to the running sum, noting it
  // at each boundary they pass.
  void sum_delivered(const unsigned char* bytes, int n);
  void note_sum(std::int64_t boundary);

  struct sum_note {
    std::int64_t pos = -1;
    std::uint32_t sum = 0;
  };

  std::unique_ptr<byte_source> source_;
  std::unique_ptr<unsigned char[]> buffer_;
  unsigned char* cur_ = nullptr;
  unsigned char* end_ = nullptr;
  bool at_end_ = false;
  std::string error_;
  std::int64_t missing_ = 0;
  running_sum sum_;
  std::int64_t delivered_ = 0;
  std::array<sum_note, kept_sums> kept_{};
  std::array<sum_note, watched_sums> watched_{};
  std::array<std::int64_t, watched_sums> watching_{};
  int next_watch_ = 0;
  std::int64_t sum_from_ = 0;
};

// Cuts the card's trailing blanks (0x20 only). A card of 80 blanks stays 80
// blanks long.
void trim(card_buffer& card);

// The card read of the header loops: reads 80 bytes into `card`, trims them
// and returns the count delivered; 0 at the end of the stream. The bytes of
// a short read that the stream did not deliver are NULs.
int read_card(stream& in, card_buffer& card);

// Reads cards until one that begins with XTENSION, which is left in
// `card`; false when the stream ends first. The next extension is found
// this way after a data unit whose end is not known.
bool next_extension(stream& in, card_buffer& card);

// The system's own forward skip (not zlib's function of the same name):
// reads and discards until _fpos reaches `target`, 512 bytes at a time and
// then the rest. Stops short, silently, when the stream ends. Returns the
// count of its last read.
int gzseek(stream& in, std::int64_t target);

// Skips to the next block boundary; a count already on a boundary reads
// nothing.
int realign(stream& in);

// For the checksums of a part whose header has just been read: notes in
// `span` the running sum at the data's first byte (or, when the source has
// not delivered it yet, watches it) and watches the end of the padded data
// unit, so that both sums can be taken once the stream has passed it. A
// part that is not `written`, or has no checksum card, is not checked:
// the stream then takes no sums up to its end (stream::sum_from).
void watch_data_unit(stream& in, data_span& span, bool written);

// The smallest multiple of 2880 that is not below `pos`.
constexpr std::int64_t next_boundary(std::int64_t pos) {
  return (pos + block_size - 1) / block_size * block_size;
}

// Writes "Not a Number\n" on standard error.
void warn_not_a_number();

// The exponent test of the 4-byte reader: all exponent bits set (NaN or an
// infinity).
constexpr bool float_warning(unsigned char b0, unsigned char b1) {
  return (b0 & 0x7F) == 0x7F && (b1 & 0x80) != 0;
}
// The 8-byte reader's test, which also needs the lowest mantissa bit.
constexpr bool double_warning(unsigned char b0, unsigned char b1, unsigned char b7) {
  return (b0 & 0x7F) == 0x7F && (b1 & 0xF0) == 0xF0 && (b7 & 0x01) != 0;
}

// Big-endian value readers: one value each, its bytes counted in _fpos.
// Bytes that the end of the stream did not deliver read as zero. The float
// and double readers write "Not a Number\n" on standard error when their
// warning test holds, and return the value all the same.
namespace detail {
void fill(stream& in, unsigned char* bytes, int n);
}

inline const unsigned char* value_bytes(stream& in, unsigned char* scratch, int n) {
  if (const unsigned char* p = in.take(n)) return p;
  detail::fill(in, scratch, n);
  return scratch;
}

inline int freadbyte(stream& in) {
  unsigned char s[1];
  return static_cast<signed char>(value_bytes(in, s, 1)[0]);
}

inline int freadshort(stream& in) {
  unsigned char s[2];
  return be16s(value_bytes(in, s, 2));
}

inline std::int32_t freadlong(stream& in) {
  unsigned char s[4];
  return static_cast<std::int32_t>(be32(value_bytes(in, s, 4)));
}

inline std::int64_t freadlonglong(stream& in) {
  unsigned char s[8];
  return static_cast<std::int64_t>(be64(value_bytes(in, s, 8)));
}

inline double freadfloat(stream& in) {
  unsigned char s[4];
  const unsigned char* b = value_bytes(in, s, 4);
  if (float_warning(b[0], b[1])) warn_not_a_number();
  return float_at(b);
}

inline double freaddouble(stream& in) {
  unsigned char s[8];
  const unsigned char* b = value_bytes(in, s, 8);
  if (double_warning(b[0], b[1], b[7])) warn_not_a_number();
  return double_at(b);
}

}  // namespace orvex::fits
