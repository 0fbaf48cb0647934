#include "fits/member_inflater.h"

#if ORVEX_HAVE_ISAL
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>
#endif

namespace orvex::fits {

#if ORVEX_HAVE_ISAL

namespace {

class isal_member final : public member_inflater {
 public:
  // The state holds ISA-L's window and tables (tens of KiB): made once.
  isal_member() : state_(std::make_unique<inflate_state>()) {}

  void start() override {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_GZIP;
  }

  step_result step(const unsigned char* in, std::size_t in_n, unsigned char* out, std::size_t out_n) override {
    inflate_state& s = *state_;
    s.next_in = const_cast<std::uint8_t*>(in);
    s.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(in_n, UINT32_MAX));
    s.next_out = out;
    s.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(out_n, UINT32_MAX));
    const std::uint32_t in_before = s.avail_in;
    const std::uint32_t out_before = s.avail_out;
    code_ = isal_inflate(&s);
    step_result r{in_before - s.avail_in, out_before - s.avail_out, outcome::more};
    if (code_ < 0 || code_ == ISAL_NEED_DICT) {
      r.how = outcome::fault;
    } else if (s.block_state == ISAL_BLOCK_FINISH) {
      r.how = outcome::member_end;
    }
    return r;
  }

  // Only used where zlib cannot decode the member again (a pipe): ISA-L's
  // codes are coarser than zlib's messages, so each gets the zlib message
  // of its most common cause.
  std::string reason() const override {
    switch (code_) {
      case ISAL_INVALID_BLOCK: return "invalid block type";
      case ISAL_INVALID_SYMBOL: return "invalid literal/length code";
      case ISAL_INVALID_LOOKBACK: return "invalid distance too far back";
      case ISAL_INVALID_WRAPPER: return "incorrect header check";
      case ISAL_UNSUPPORTED_METHOD: return "unknown compression method";
      case ISAL_INCORRECT_CHECKSUM: return "incorrect data check";
      default: return "compressed data error";
    }
  }

 private:
  std::unique_ptr<inflate_state> state_;
  int code_ = ISAL_DECOMP_OK;
};

}  // namespace

std::unique_ptr<member_inflater> isal_inflater() { return std::make_unique<isal_member>(); }

#else

std::unique_ptr<member_inflater> isal_inflater() { return nullptr; }

#endif

}  // namespace orvex::fits
