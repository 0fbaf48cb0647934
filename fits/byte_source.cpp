#include "fits/byte_source.h"

#include <cstring>

#include "fits/source_kinds.h"

namespace orvex::fits {

namespace {

bool starts_with(const input_buffer& in, const char* magic, std::size_t n) {
  return in.size() >= n && std::memcmp(in.data(), magic, n) == 0;
}

}  // namespace

std::unique_ptr<byte_source> open_source(std::unique_ptr<raw_input> raw, inflater gzip) {
  auto in = std::make_unique<input_buffer>(std::move(raw));
  in->want(6);
  if (starts_with(*in, "\x1f\x8b", 2)) return gzip_source(std::move(in), gzip);
  if (starts_with(*in, "BZh", 3)) return bzip2_source(std::move(in));
  if (starts_with(*in, "\x1f\x9d", 2)) return lzw_source(std::move(in));
  if (starts_with(*in, "\xfd" "7zXZ\0", 6)) return xz_source(std::move(in));
  return plain_source(std::move(in));
}

}  // namespace orvex::fits
