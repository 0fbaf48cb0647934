// The shape of an image under --full: which headers declare lines of
// values, how many, and which declare none or an unknown pixel type.
#include "decoder/image_lines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace orvex::decoder {
namespace {

using kind = image_layout::kind;

// "BITPIX=16 NAXIS=2": one card per word, written by the FITS rules.
image_layout layout(const std::string& words) {
  fits::data_unit unit(fits::data_unit::header_kind::primary);
  fits::image_values values;
  std::istringstream in(words);
  for (std::string w; in >> w;) {
    const std::string keyword = w.substr(0, w.find('='));
    const std::string card = keyword + std::string(8 - keyword.size(), ' ') + "= " + w.substr(keyword.size() + 1);
    unit.observe(card);
    values.observe(card);
  }
  return layout_of(unit, values);
}

TEST(image_layout, lines_of_NAXIS1_values) {
  const std::int64_t max = INT64_MAX;
  const struct {
    const char* cards;
    kind what;
    std::int64_t per_line;
    std::int64_t lines;
  } cases[] = {
      {"BITPIX=-32 NAXIS=2 NAXIS1=4 NAXIS2=3", kind::image, 4, 3},
      {"BITPIX=8 NAXIS=1 NAXIS1=7 NAXIS2=9", kind::image, 7, 1},
      {"BITPIX=64 NAXIS=4 NAXIS1=2 NAXIS2=3 NAXIS3=4 NAXIS4=5", kind::image, 2, 60},
      {"BITPIX=16 NAXIS=3 NAXIS1=1 NAXIS2=4294967296 NAXIS3=4294967296", kind::image, 1, max},
      {"BITPIX=16 NAXIS=0", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=-1 NAXIS1=2", kind::none, 0, 0},
      {"NAXIS=2 NAXIS1=2 NAXIS2=2", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=2 NAXIS1=2", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=2 NAXIS1=0 NAXIS2=5 GROUPS=T", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=3 NAXIS1=2 NAXIS2=5 NAXIS3=0", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=2 NAXIS1=-3 NAXIS2=5", kind::none, 0, 0},
      {"BITPIX=16 NAXIS=1000", kind::none, 0, 0},
      {"BITPIX=7 NAXIS=2 NAXIS1=2 NAXIS2=2", kind::unknown_bitpix, 0, 0},
      {"BITPIX=-16 NAXIS=1 NAXIS1=-4", kind::unknown_bitpix, 0, 0},
  };
  for (const auto& c : cases) {
    const image_layout image = layout(c.cards);
    EXPECT_EQ(image.what, c.what) << c.cards;
    EXPECT_EQ(image.per_line, c.per_line) << c.cards;
    EXPECT_EQ(image.lines, c.lines) << c.cards;
  }
  EXPECT_EQ(layout("BITPIX=-64 NAXIS=1 NAXIS1=1").pixels.bytes(), 8);
}

}  // namespace
}  // namespace orvex::decoder
