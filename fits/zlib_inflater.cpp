#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "fits/member_inflater.h"

namespace orvex::fits {

namespace {

class zlib_member final : public member_inflater {
 public:
  zlib_member() {
    // 15 + 16: a gzip header and trailer around a deflate stream of any
    // window, as gzread decodes them.
    if (inflateInit2(&z_, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~zlib_member() override { inflateEnd(&z_); }

  void start() override { inflateReset(&z_); }

  step_result step(const unsigned char* in, std::size_t in_n, unsigned char* out, std::size_t out_n) override {
    z_.next_in = const_cast<unsigned char*>(in);
    z_.avail_in = static_cast<uInt>(std::min<std::size_t>(in_n, UINT_MAX));
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(std::min<std::size_t>(out_n, UINT_MAX));
    const uInt in_before = z_.avail_in;
    const uInt out_before = z_.avail_out;
    const int ret = inflate(&z_, Z_NO_FLUSH);
    step_result r{in_before - z_.avail_in, out_before - z_.avail_out, outcome::more};
    if (ret == Z_STREAM_END) {
      r.how = outcome::member_end;
    } else if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) {
      // gzread's words: inflate's message, or its own when there is none.
      reason_ = ret == Z_MEM_ERROR ? "out of memory"
                : z_.msg != nullptr ? z_.msg
                                    : "compressed data error";
      r.how = outcome::fault;
    }
    return r;
  }

  std::string reason() const override { return reason_; }

 private:
  z_stream z_{};
  std::string reason_;
};

}  // namespace

std::unique_ptr<member_inflater> zlib_inflater() { return std::make_unique<zlib_member>(); }

}  // namespace orvex::fits
