// For the codec tests: images compressed by the reference tools, cut into
// their tiles' raw bytes, so that a test can decode each tile and compare
// it with the image that went in (or with what astropy reads back).
//
// A test builds its image in code, then `fpack_tiles` writes it as a FITS
// file in a fresh temporary folder, runs `fpack` on it with the given
// options, and has astropy (an interpreter that imports it, /usr/bin/python3
// first) write out every tile's COMPRESSED_DATA bytes as stored (big-endian),
// ZTILE1/ZTILE2, the ZNAMEi/ZVALi pairs, and the image astropy decompresses.
// `astropy_tiles` does the same with astropy as the compressor, for options
// fpack does not offer (H-compress smoothing). Either gives std::nullopt
// when a tool is missing (the test skips) or fails (a test failure is
// added, with the tool's messages).
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"

namespace orvex::image::test {

namespace fs = std::filesystem;

// Where a source pixel sits: tiles are numbered along ZTILE1 first.
struct tile_box {
  std::int64_t x0, y0, width, height;
};

struct compressed_tiles {
  std::int64_t ztile1 = 0, ztile2 = 0;
  std::map<std::string, std::string> zvals;  // ZNAMEi -> ZVALi as astropy prints it
  std::vector<std::vector<std::uint8_t>> tiles;  // empty when a tile went to another column
  std::vector<std::int64_t> judged;              // astropy's pixels, FITS order
  std::vector<tile_box> boxes;
};

inline const std::string& astropy_python() {
  static const std::string found = [] {
    for (const char* py : {"/usr/bin/python3", "python3"}) {
      const std::string probe = std::string(py) + " -c 'import astropy.io.fits' >/dev/null 2>&1";
      if (std::system(probe.c_str()) == 0) return std::string(py);
    }
    return std::string();
  }();
  return found;
}

inline bool have_fpack() {
  static const bool found = std::system("fpack -V >/dev/null 2>&1") == 0 ||
                            std::system("command -v fpack >/dev/null 2>&1") == 0;
  return found;
}

class judge_folder {
 public:
  judge_folder() {
    std::string pattern = (fs::temp_directory_path() / "orvex-codec-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~judge_folder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Reads the compressed file `fz` in `folder` with astropy; `compress` (a
// Python statement that writes `fz` from the array `img`, or empty) runs
// first.
inline std::optional<compressed_tiles> dump_tiles(const judge_folder& folder, const std::string& compress) {
  static const char* script = R"PY(
import sys, numpy as np
from astropy.io import fits
folder = sys.argv[1]
fz = folder + '/image.fz'
compress = open(folder + '/compress.py').read()
if compress:
    img = fits.getdata(folder + '/image.fits')
    exec(compress)
with fits.open(fz, disable_image_compression=True) as f:
    h = f[1].header
    d = f[1].data
    with open(folder + '/manifest', 'w') as m:
        m.write('%d %d %d\n' % (h.get('ZTILE1', h['ZNAXIS1']), h.get('ZTILE2', 1), len(d)))
        i = 1
        while 'ZNAME%d' % i in h:
            m.write('%s %s\n' % (h['ZNAME%d' % i], h['ZVAL%d' % i]))
            i += 1
    for k in range(len(d)):
        cell = np.asarray(d['COMPRESSED_DATA'][k])
        open('%s/tile%d' % (folder, k), 'wb').write(cell.astype(cell.dtype.newbyteorder('>')).tobytes())
with fits.open(fz) as f:
    np.asarray(f[1].data, dtype='<i8').tofile(folder + '/judged')
)PY";
  const fs::path script_path = folder.path() / "dump.py";
  orvex::test::write_file(script_path, script);
  orvex::test::write_file(folder.path() / "compress.py", compress);
  const std::string command = astropy_python() + " " + script_path.string() + " " + folder.path().string() +
                              " >" + (folder.path() / "python.log").string() + " 2>&1";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "astropy failed:\n" << orvex::test::read_file(folder.path() / "python.log");
    return std::nullopt;
  }

  compressed_tiles result;
  std::istringstream manifest(orvex::test::read_file(folder.path() / "manifest"));
  std::size_t count = 0;
  manifest >> result.ztile1 >> result.ztile2 >> count;
  for (std::string name, value; manifest >> name >> value;) result.zvals[name] = value;
  for (std::size_t k = 0; k < count; ++k) {
    const std::string bytes = orvex::test::read_file(folder.path() / ("tile" + std::to_string(k)));
    result.tiles.emplace_back(bytes.begin(), bytes.end());
  }
  const std::string judged = orvex::test::read_file(folder.path() / "judged");
  result.judged.resize(judged.size() / 8);
  for (std::size_t i = 0; i < result.judged.size(); ++i) {
    std::uint64_t v = 0;
    for (int b = 7; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(judged[i * 8 + b]);
    result.judged[i] = static_cast<std::int64_t>(v);
  }
  return result;
}

// Writes the width x height image `pixels` (FITS order) of type `bitpix`
// (8, 16 or 32) as image.fits in `folder`.
inline void write_source(const judge_folder& folder, int bitpix, std::int64_t width, std::int64_t height,
                         const std::vector<std::int64_t>& pixels) {
  orvex::test::big_endian data;
  for (std::int64_t v : pixels) {
    if (bitpix == 8) data.u8(static_cast<std::uint8_t>(v));
    if (bitpix == 16) data.i16(static_cast<std::int16_t>(v));
    if (bitpix == 32) data.i32(static_cast<std::int32_t>(v));
  }
  orvex::test::write_file(folder.path() / "image.fits",
                          orvex::test::fits_builder{}.image(bitpix, {width, height}, data.bytes()).bytes());
}

inline void add_boxes(compressed_tiles& t, std::int64_t width, std::int64_t height) {
  for (std::int64_t y = 0; y < height; y += t.ztile2)
    for (std::int64_t x = 0; x < width; x += t.ztile1)
      t.boxes.push_back({x, y, std::min(t.ztile1, width - x), std::min(t.ztile2, height - y)});
}

// `fpack_options` such as "-r -t 7,3".
inline std::optional<compressed_tiles> fpack_tiles(int bitpix, std::int64_t width, std::int64_t height,
                                                   const std::vector<std::int64_t>& pixels,
                                                   const std::string& fpack_options) {
  if (!have_fpack() || astropy_python().empty()) return std::nullopt;
  judge_folder folder;
  if (folder.path().empty()) return std::nullopt;
  write_source(folder, bitpix, width, height, pixels);
  const std::string command = "cd " + folder.path().string() + " && fpack " + fpack_options +
                              " -O image.fz image.fits >fpack.log 2>&1";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "fpack " << fpack_options << " failed:\n" << orvex::test::read_file(folder.path() / "fpack.log");
    return std::nullopt;
  }
  auto tiles = dump_tiles(folder, "");
  if (tiles) add_boxes(*tiles, width, height);
  return tiles;
}

// `keywords`: CompImageHDU arguments such as
// "compression_type='HCOMPRESS_1', hcomp_scale=4, hcomp_smooth=1, tile_size=(16, 8)".
inline std::optional<compressed_tiles> astropy_tiles(int bitpix, std::int64_t width, std::int64_t height,
                                                     const std::vector<std::int64_t>& pixels,
                                                     const std::string& keywords) {
  if (astropy_python().empty()) return std::nullopt;
  judge_folder folder;
  if (folder.path().empty()) return std::nullopt;
  write_source(folder, bitpix, width, height, pixels);
  auto tiles = dump_tiles(folder, "fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(img, " + keywords +
                                      ")]).writeto(fz)");
  if (tiles) add_boxes(*tiles, width, height);
  return tiles;
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
