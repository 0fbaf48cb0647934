// Data-unit sizes from header cards: the FITS size rule for primary arrays,
// random groups and extensions, sizes that saturate instead of overflowing,
// and headers that define no size.
#include "fits/data_unit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvex::fits {
namespace {

constexpr auto P = data_unit::header_kind::primary;
constexpr auto E = data_unit::header_kind::extension;
constexpr std::int64_t max = INT64_MAX;

// "BITPIX=16 NAXIS=0": one card per word, written by the FITS rules (the
// keyword in columns 1-8, "= " in columns 9-10, the value).
data_unit collect(data_unit::header_kind kind, const std::string& words) {
  data_unit unit(kind);
  std::istringstream in(words);
  for (std::string w; in >> w;) {
    const std::string keyword = w.substr(0, w.find('='));
    unit.observe(keyword + std::string(8 - keyword.size(), ' ') + "= " + w.substr(keyword.size() + 1));
  }
  return unit;
}

TEST(data_unit, size_by_the_fits_rules) {
  const struct {
    data_unit::header_kind kind;
    const char* cards;
    std::optional<std::int64_t> size;
  } cases[] = {
      {P, "BITPIX=8 NAXIS=0", 0},
      {P, "BITPIX=16 NAXIS=2 NAXIS1=3 NAXIS2=2", 12},
      {P, "BITPIX=-64 NAXIS=1 NAXIS1=5 NAXIS2=1000", 40},           // axes beyond NAXIS
      {P, "BITPIX=8 NAXIS=1 NAXIS1=10 PCOUNT=5 GCOUNT=0", 10},       // no groups: no PCOUNT, GCOUNT
      {P, "BITPIX=-32 NAXIS=3 NAXIS1=0 NAXIS2=3 NAXIS3=2 GROUPS=T PCOUNT=4 GCOUNT=5", 4 * 5 * (4 + 6)},
      {E, "BITPIX=8 NAXIS=2 NAXIS1=12 NAXIS2=3 PCOUNT=100 GCOUNT=1", 136},
      {E, "BITPIX=32 NAXIS=1 NAXIS1=2 PCOUNT=1 GCOUNT=3", 36},
      {E, "BITPIX=+8 NAXIS=1 NAXIS1=5 NAXIS1=6", 6},                 // the last card counts
      {P, "BITPIX=64 NAXIS=3 NAXIS1=2147483647 NAXIS2=2147483647 NAXIS3=2147483647", max},
      {P, "BITPIX=16 NAXIS=2 NAXIS1=2147483647 NAXIS2=2147483647", 9223372028264841218},  // just below
      {P, "BITPIX=64 NAXIS=3 NAXIS1=2147483647 NAXIS2=0 NAXIS3=2147483647", 0},
      {E, "BITPIX=8 NAXIS=1 NAXIS1=1 PCOUNT=99999999999999999999999", max},
      {E, "BITPIX=16 NAXIS=1 NAXIS1=1 PCOUNT=9223372036854775000 GCOUNT=3", max},
      // No size.
      {P, "NAXIS=1 NAXIS1=4", std::nullopt},
      {P, "BITPIX=12 NAXIS=1 NAXIS1=4", std::nullopt},
      {P, "BITPIX=-9223372036854775808 NAXIS=0", std::nullopt},
      {E, "BITPIX=8 NAXIS=1000", std::nullopt},
      {P, "BITPIX=8 NAXIS=2 NAXIS1=4", std::nullopt},
      {P, "BITPIX=8 NAXIS=2 NAXIS1=4 NAXIS2=-3", std::nullopt},
      {E, "BITPIX=8 NAXIS=1 NAXIS1=4 PCOUNT=-1", std::nullopt},
      // Values that are no FITS integers, and a keyword that is no axis.
      {P, "BITPIX=8 NAXIS=1 NAXIS1=4.0", std::nullopt},
      {P, "BITPIX=8 NAXIS=1 NAXIS01=4", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(collect(c.kind, c.cards).size(), c.size) << c.cards;
}

TEST(data_unit, heap_values_for_variable_length_arrays) {
  const data_unit t = collect(E, "NAXIS1=16 NAXIS2=1000 PCOUNT=5000");
  EXPECT_EQ(std::vector<std::int64_t>({t.pcount(), t.gcount(), t.theap(), t.heap_offset()}),
            std::vector<std::int64_t>({5000, 1, -1, 16000}));
  EXPECT_EQ(collect(E, "NAXIS1=16 NAXIS2=1000 THEAP=20000").heap_offset(), 20000);
  EXPECT_EQ(collect(E, "NAXIS1=16 NAXIS2=1000 THEAP=-8").theap(), -1);
  EXPECT_EQ(collect(E, "NAXIS1=-4 NAXIS2=9").heap_offset(), 0);
  EXPECT_EQ(collect(E, "NAXIS1=9223372036854775807 NAXIS2=2").heap_offset(), max);
  // The heap ends with the data unit, THEAP or not; PCOUNT holds the gap.
  EXPECT_EQ(collect(E, "NAXIS1=16 NAXIS2=1000 PCOUNT=5000 THEAP=20000").heap_end(), 21000);
  EXPECT_EQ(collect(E, "NAXIS1=-4 NAXIS2=9 PCOUNT=-3").heap_end(), 0);
  EXPECT_EQ(collect(E, "NAXIS1=4 NAXIS2=9 PCOUNT=9223372036854775807").heap_end(), max);
}

}  // namespace
}  // namespace orvex::fits
