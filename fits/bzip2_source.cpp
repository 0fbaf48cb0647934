// bzip2 input through libbz2, streaming: several streams one after the
// other read as one input; after the last, bytes that do not begin another
// stream are ignored, as bzip2 -d ignores trailing garbage.
#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "fits/source_kinds.h"

namespace orvex::fits {

namespace {

std::string reason_of(int code) {
  switch (code) {
    case BZ_DATA_ERROR: return "bzip2 data integrity error";
    case BZ_DATA_ERROR_MAGIC: return "not a bzip2 stream";
    case BZ_MEM_ERROR: return "out of memory";
    default: return "bzip2 error " + std::to_string(code);
  }
}

class bzip2 final : public byte_source {
 public:
  explicit bzip2(std::unique_ptr<input_buffer> in) : in_(std::move(in)) {}
  ~bzip2() override {
    if (in_stream_) BZ2_bzDecompressEnd(&bz_);
  }

  std::size_t read(unsigned char* dst, std::size_t n) override {
    std::size_t got = 0;
    while (got < n && !done_) {
      if (!in_stream_ && !next_stream()) break;
      if (in_->size() == 0 && !in_->fill()) {
        done_ = true;
        error_ = in_->error().empty() ? cut_stream : in_->error();
        break;
      }
      bz_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in_->data()));
      bz_.avail_in = static_cast<unsigned>(std::min<std::size_t>(in_->size(), UINT_MAX));
      bz_.next_out = reinterpret_cast<char*>(dst + got);
      bz_.avail_out = static_cast<unsigned>(std::min<std::size_t>(n - got, UINT_MAX));
      const unsigned in_before = bz_.avail_in;
      const unsigned out_before = bz_.avail_out;
      const int ret = BZ2_bzDecompress(&bz_);
      in_->consume(in_before - bz_.avail_in);
      got += out_before - bz_.avail_out;
      if (ret == BZ_STREAM_END) {
        BZ2_bzDecompressEnd(&bz_);
        in_stream_ = false;
      } else if (ret != BZ_OK) {
        done_ = true;
        error_ = reason_of(ret);
        return 0;
      }
    }
    return got;
  }

 private:
  bool next_stream() {
    if (in_->want(4) < 4 || std::memcmp(in_->data(), "BZh", 3) != 0 ||
        (started_ && (in_->data()[3] < '1' || in_->data()[3] > '9'))) {
      done_ = true;
      error_ = in_->error();
      return false;
    }
    bz_ = bz_stream{};
    if (BZ2_bzDecompressInit(&bz_, 0, 0) != BZ_OK) {
      done_ = true;
      error_ = "out of memory";
      return false;
    }
    started_ = in_stream_ = true;
    return true;
  }

  std::unique_ptr<input_buffer> in_;
  bz_stream bz_{};
  bool in_stream_ = false;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<byte_source> bzip2_source(std::unique_ptr<input_buffer> in) {
  return std::make_unique<bzip2>(std::move(in));
}

}  // namespace orvex::fits
