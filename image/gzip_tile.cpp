#include "image/gzip_tile.h"

#include <zlib.h>

#include <climits>
#include <cstring>

namespace orvex::image {
namespace {

// One inflater per thread, reset for every tile: a tile is often a single
// image line, and building zlib's state for each would cost more than
// inflating it.
struct inflater {
  z_stream z{};
  bool ready = false;
  inflater() {
    // 15 + 32: a gzip or a zlib header, found from the first bytes.
    ready = inflateInit2(&z, 15 + 32) == Z_OK;
  }
  ~inflater() {
    if (ready) inflateEnd(&z);
  }
};

}  // namespace

const char* inflate_tile(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced) {
  produced = 0;
  thread_local inflater state;
  if (!state.ready) return "zlib cannot be started";
  z_stream& z = state.z;
  if (inflateReset(&z) != Z_OK) return "zlib cannot be started";
  // zlib counts in 32-bit units; a tile never comes near that, and one that
  // claims to is read only as far as one call takes it.
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = in.size() > UINT_MAX ? UINT_MAX : static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = out.size() > UINT_MAX ? UINT_MAX : static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  produced = static_cast<std::size_t>(z.next_out - out.data());
  if (rc == Z_STREAM_END) return nullptr;
  if (rc == Z_BUF_ERROR && z.avail_out == 0) return "the gzip stream holds more bytes than the tile";
  if (rc == Z_BUF_ERROR) return "the gzip stream is cut short";
  return "the gzip stream is damaged";
}

void unshuffle(const std::uint8_t* in, std::size_t count, int size, std::uint8_t* out) {
  const auto n = static_cast<std::size_t>(size);
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t* plane = in + k * count;
    for (std::size_t i = 0; i < count; ++i) out[i * n + k] = plane[i];
  }
}

}  // namespace orvex::image
