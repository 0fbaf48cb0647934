// For the codec tests: images built in the test, compressed by a reference
// tool, cut into their tiles' raw bytes, so that a test decodes each tile
// and compares it with the image that went in (lossless) or with the pixels
// astropy reads back (lossy).
//
// `compress` writes the image as a FITS file in a fresh temporary folder
// and compresses it with `fpack <options>` or with astropy's
// CompImageHDU(img, <options>) (for what fpack cannot write, such as
// H-compress smoothing); astropy (/usr/bin/python3 first) then writes out
// every tile's COMPRESSED_DATA bytes as stored (big-endian), the ZNAMEi and
// ZVALi pairs and the decompressed image. std::nullopt when a tool is
// missing (the test skips); a tool that fails adds a test failure.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fits_builder.h"

namespace orvex::image::test {

struct tile_box {
  std::int64_t x0, y0, width, height;
};

struct compressed_tiles {
  std::map<std::string, std::string> zvals;      // ZNAMEi -> ZVALi
  std::vector<std::vector<std::uint8_t>> tiles;  // in tile order, ZTILE1 fastest
  std::vector<tile_box> boxes;                   // where each tile lies
  std::vector<std::int64_t> judged;              // astropy's pixels, FITS order
};

inline const std::string& astropy_python() {
  static const std::string found = [] {
    for (std::string py : {"/usr/bin/python3", "python3"})
      if (std::system((py + " -c 'import astropy.io.fits' >/dev/null 2>&1").c_str()) == 0) return py;
    return std::string();
  }();
  return found;
}

inline std::optional<compressed_tiles> compress(const std::string& tool, int bitpix, std::int64_t width,
                                                std::int64_t height, const std::vector<std::int64_t>& pixels,
                                                const std::string& options) {
  namespace fs = std::filesystem;
  if (astropy_python().empty() || std::system("command -v fpack >/dev/null 2>&1") != 0) return std::nullopt;
  std::string dir = (fs::temp_directory_path() / "orvex-codec-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return std::nullopt;
  const fs::path folder = dir;
  orvex::test::big_endian data;
  for (std::int64_t v : pixels) {
    if (bitpix == 8) data.u8(static_cast<std::uint8_t>(v));
    if (bitpix == 16) data.i16(static_cast<std::int16_t>(v));
    if (bitpix == 32) data.i32(static_cast<std::int32_t>(v));
  }
  orvex::test::write_file(folder / "image.fits",
                          orvex::test::fits_builder{}.image(bitpix, {width, height}, data.bytes()).bytes());
  const std::string writer = tool == "fpack" ? "" : "fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU("
                                                    "fits.getdata('image.fits'), " + options + ")]).writeto('image.fz')";
  orvex::test::write_file(folder / "dump.py", "import numpy as np\nfrom astropy.io import fits\n" + writer + R"PY(
with fits.open('image.fz', disable_image_compression=True) as f:
    h, d = f[1].header, f[1].data
    print(h.get('ZTILE1', h['ZNAXIS1']), h.get('ZTILE2', 1), len(d))
    for i in range(1, 1000):
        if 'ZNAME%d' % i in h: print(h['ZNAME%d' % i], h['ZVAL%d' % i])
    for k in range(len(d)):
        cell = np.asarray(d['COMPRESSED_DATA'][k])
        open('tile%d' % k, 'wb').write(cell.astype(cell.dtype.newbyteorder('>')).tobytes())
with fits.open('image.fz') as f:
    np.asarray(f[1].data, dtype='>i8').tofile('judged')
)PY");
  const std::string run = "cd " + dir + " && " + (tool == "fpack" ? "fpack " + options + " -O image.fz image.fits && " : "") +
                          astropy_python() + " dump.py >manifest 2>log";
  std::optional<compressed_tiles> result;
  if (std::system(run.c_str()) != 0) {
    ADD_FAILURE() << tool << " " << options << " failed";
  } else {
    result.emplace();
    std::istringstream manifest(orvex::test::read_file(folder / "manifest"));
    std::int64_t ztile1, ztile2, count;
    manifest >> ztile1 >> ztile2 >> count;
    for (std::string name, value; manifest >> name >> value;) result->zvals[name] = value;
    for (std::int64_t k = 0; k < count; ++k) {
      const std::string bytes = orvex::test::read_file(folder / ("tile" + std::to_string(k)));
      result->tiles.emplace_back(bytes.begin(), bytes.end());
    }
    for (std::int64_t y = 0; y < height; y += ztile2)
      for (std::int64_t x = 0; x < width; x += ztile1)
        result->boxes.push_back({x, y, std::min(ztile1, width - x), std::min(ztile2, height - y)});
    const std::string judged = orvex::test::read_file(folder / "judged");
    for (std::size_t i = 0; i + 8 <= judged.size(); i += 8) {
      std::uint64_t v = 0;
      for (std::size_t b = 0; b < 8; ++b) v = v << 8 | static_cast<unsigned char>(judged[i + b]);
      result->judged.push_back(static_cast<std::int64_t>(v));
    }
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return result;
}

// Test images, in the range of `bitpix` (8 unsigned, 16 and 32 signed):
// flat areas, gentle noise, rough noise far from zero, the whole range,
// alternating extremes, a ramp that wraps, a mask of runs up to `top` (the
// images PLIO is made for), and runs of 40 pixels of each of the first five.
enum class pattern { flat, noise, rough, full_range, extremes, ramp, mask, mixed };

inline std::vector<std::int64_t> make_pixels(pattern kind, int bitpix, std::size_t count, unsigned seed,
                                             std::int64_t top = 0) {
  const std::int64_t lo = bitpix == 8 ? 0 : -(std::int64_t{1} << (bitpix - 1));
  const std::int64_t hi = bitpix == 8 ? 255 : (std::int64_t{1} << (bitpix - 1)) - 1;
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> gauss(0.0, 6.0);
  std::vector<std::int64_t> v;
  while (v.size() < count) {
    const std::size_t i = v.size();
    const pattern here = kind == pattern::mixed ? static_cast<pattern>(i / 40 % 5) : kind;
    const std::int64_t middle = bitpix == 8 ? 128 : hi / 3;
    switch (here) {
      case pattern::flat: v.push_back(lo + 3); break;
      case pattern::noise: v.push_back(std::clamp<std::int64_t>(100 + std::llround(gauss(rng)), lo, hi)); break;
      case pattern::rough: v.push_back(middle - 100 + static_cast<std::int64_t>(rng() % 201)); break;
      case pattern::full_range: v.push_back(lo + static_cast<std::int64_t>(rng() % (hi - lo + 1))); break;
      case pattern::extremes: v.push_back(i % 2 ? hi : lo); break;
      case pattern::ramp: v.push_back(lo + static_cast<std::int64_t>(i * 977) % (hi - lo + 1)); break;
      default: {
        const std::size_t run = 1 + rng() % (rng() % 4 == 0 ? 300 : 6);
        const std::int64_t value = rng() % 3 == 0 ? 0 : static_cast<std::int64_t>(rng() % (top + 1));
        v.insert(v.end(), std::min(run, count - i), value);
      }
    }
  }
  return v;
}

// The pixels of `box` cut out of the width-wide image `pixels`.
inline std::vector<std::int64_t> box_pixels(const std::vector<std::int64_t>& pixels, std::int64_t width,
                                            const tile_box& box) {
  std::vector<std::int64_t> cut;
  for (std::int64_t y = box.y0; y < box.y0 + box.height; ++y)
    for (std::int64_t x = box.x0; x < box.x0 + box.width; ++x) cut.push_back(pixels[y * width + x]);
  return cut;
}

}  // namespace orvex::image::test
