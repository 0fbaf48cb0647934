// xz input through liblzma, streaming; concatenated streams (and the zero
// padding between them) read as one input, as xz -d reads them.
#include <lzma.h>

#include <algorithm>

#include "fits/source_kinds.h"

namespace orvex::fits {

namespace {

// The most memory a stream may ask for its dictionary: far above what any
// xz preset uses (64 MiB at -9), and low enough that a damaged header cannot
// make one input take gigabytes.
constexpr std::uint64_t memory_limit = std::uint64_t{1} << 30;

// xz's own words for liblzma's codes.
const char* reason_of(lzma_ret code) {
  switch (code) {
    case LZMA_MEM_ERROR: return "cannot allocate memory";
    case LZMA_MEMLIMIT_ERROR: return "memory usage limit reached";
    case LZMA_FORMAT_ERROR: return "file format not recognized";
    case LZMA_OPTIONS_ERROR: return "unsupported options";
    case LZMA_DATA_ERROR: return "compressed data is corrupt";
    case LZMA_BUF_ERROR: return cut_stream;
    default: return "internal error (bug)";
  }
}

class xz final : public byte_source {
 public:
  explicit xz(std::unique_ptr<input_buffer> in) : in_(std::move(in)) {
    const lzma_ret ret = lzma_stream_decoder(&z_, memory_limit, LZMA_CONCATENATED);
    if (ret != LZMA_OK) {
      done_ = true;
      error_ = reason_of(ret);
    }
  }
  ~xz() override { lzma_end(&z_); }

  std::size_t read(unsigned char* dst, std::size_t n) override {
    std::size_t got = 0;
    while (got < n && !done_) {
      // At the end of the input liblzma is told so, and says whether the
      // last stream was whole.
      const bool last = in_->size() == 0 && !in_->fill();
      if (last && !in_->error().empty()) {
        done_ = true;
        error_ = in_->error();
        break;
      }
      z_.next_in = in_->data();
      z_.avail_in = in_->size();
      z_.next_out = dst + got;
      z_.avail_out = n - got;
      const lzma_ret ret = lzma_code(&z_, last ? LZMA_FINISH : LZMA_RUN);
      in_->consume(in_->size() - z_.avail_in);
      got = n - z_.avail_out;
      if (ret == LZMA_STREAM_END) {
        done_ = true;
      } else if (ret != LZMA_OK) {
        done_ = true;
        error_ = reason_of(ret);
        if (ret != LZMA_BUF_ERROR) return 0;
      }
    }
    return got;
  }

 private:
  std::unique_ptr<input_buffer> in_;
  lzma_stream z_ = LZMA_STREAM_INIT;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<byte_source> xz_source(std::unique_ptr<input_buffer> in) {
  return std::make_unique<xz>(std::move(in));
}

}  // namespace orvex::fits
