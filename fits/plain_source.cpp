// Input that is not compressed: the bytes as they stand. A large read goes
// straight from the file into the caller's memory.
#include <algorithm>
#include <cstring>

#include "fits/source_kinds.h"

namespace orvex::fits {

namespace {

class plain final : public byte_source {
 public:
  explicit plain(std::unique_ptr<input_buffer> in) : in_(std::move(in)) {}

  std::size_t read(unsigned char* dst, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      if (in_->size() == 0) {
        if (n - got >= input_buffer::capacity) {
          const std::size_t d = in_->read_direct(dst + got, n - got);
          if (d == 0) break;
          got += d;
          continue;
        }
        if (!in_->fill()) break;
      }
      const std::size_t take = std::min(in_->size(), n - got);
      std::memcpy(dst + got, in_->data(), take);
      in_->consume(take);
      got += take;
    }
    if (got < n) error_ = in_->error();
    return got;
  }

 private:
  std::unique_ptr<input_buffer> in_;
};

}  // namespace

std::unique_ptr<byte_source> plain_source(std::unique_ptr<input_buffer> in) {
  return std::make_unique<plain>(std::move(in));
}

}  // namespace orvex::fits
