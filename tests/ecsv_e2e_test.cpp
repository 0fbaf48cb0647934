// --ecsv judged by astropy: every table part that orvex writes as ECSV reads
// back into astropy equal, column by column, to astropy's own reading of the
// FITS table (names, datatypes, units, values bit for bit, masks), and
// pandas reads the same files. The tables hold every TFORM letter, scaled,
// unsigned and signed-byte columns, vectors with TDIMn, variable-length
// arrays, strings with blanks, quotes and commas, nulls of every kind and
// units; an ASCII table and a table of no rows beside them.
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// The judge (tests/ecsv_judge.py) prints one line per difference between
// astropy's reading of each ECSV part and of its FITS table, nothing when
// all agree; it says where astropy's FITS reader is wrong and what it
// allows for.
const std::string judge = std::string(ORVEX_TESTS_DIR) + "/ecsv_judge.py";

std::string every_letter_table(int rows) {
  std::mt19937_64 g(19);
  auto pick = [&](int n) { return static_cast<int>(g() % static_cast<std::uint64_t>(n)); };
  const char* strings[] = {"plain", " lead", "a b c", "it's", "say \"hi\"", "x,y", "", "ABCDEFGHIJKL"};
  big_endian b;
  for (int r = 0; r < rows; ++r) {
    const bool null_row = r % 7 == 3;
    b.u8(r % 3 == 0 ? 'T' : r % 3 == 1 ? 'F' : (r % 9 == 2 ? 0 : 'T'));       // L
    b.u8(static_cast<std::uint8_t>(g())).u8(static_cast<std::uint8_t>(g()));  // 11X
    b.u8(null_row ? 255 : static_cast<std::uint8_t>(pick(255)));              // B, TNULL 255
    b.u8(static_cast<std::uint8_t>(g()));                                     // signed B
    b.i16(null_row ? -99 : static_cast<std::int16_t>(g()));                   // I, TNULL -99
    b.i16(r == 0 ? INT16_MIN : static_cast<std::int16_t>(g()));               // unsigned I
    b.i32(null_row ? 7 : static_cast<std::int32_t>(g()));                     // J, TNULL 7
    b.i32(r == 1 ? INT32_MAX : static_cast<std::int32_t>(g()));               // unsigned J
    b.i64(null_row ? -1 : static_cast<std::int64_t>(g()));                    // K, TNULL -1
    b.i64(r == 2 ? INT64_MIN : static_cast<std::int64_t>(g()));               // unsigned K
    const std::uint32_t fbits = static_cast<std::uint32_t>(g());
    b.f32_bits(null_row ? 0x7FC00000U : (fbits & 0x7F800000U) == 0x7F800000U ? fbits & 0xBFFFFFFFU : fbits);  // E
    const double specials[] = {0.1, -0.0, 5e-324, 1.7976931348623157e308, -INFINITY, 1.0 / 3};
    b.f64(null_row ? NAN : r < 6 ? specials[r] : std::ldexp(static_cast<double>(g() >> 11), pick(200) - 100));  // D
    b.f32(static_cast<float>(r) / 7.0f).f32(-static_cast<float>(r));                                            // C
    b.f64(1.0 / (r + 1)).f64(r % 5 == 0 ? INFINITY : -1e-300 * r);                                               // M
    b.chars(strings[r % 8], 12);                                                                                 // STR
    b.f32(1.5f * r).f32(r % 4 == 1 ? NAN : 2.0f).f32(-0.0f);                                                     // V 3E
    for (int k = 0; k < 4; ++k) b.i32(k == r % 5 ? 0 : static_cast<std::int32_t>(g()));  // VJ 4J TNULL 0 TDIM (2,2)
    b.i16(static_cast<std::int16_t>(g()));                                               // scaled I
    b.f32(static_cast<float>(g() % 100000) / 64.0f);                                     // scaled E
    b.i32(static_cast<std::int32_t>(g()));                                               // integral scaling J
    b.chars(strings[r % 8], 4).chars(strings[(r + 1) % 8], 4).chars(strings[(r + 2) % 8], 4);  // NAMES 12A (4,3)
    b.f64(r).f64(-r * 0.25);                                                                    // DV 2D
    b.i16(static_cast<std::int16_t>(r));                                                        // HOUSE KEEPING
  }
  return b.bytes();
}

const std::vector<card> every_letter_cards{
    {"TTYPE1", "'FLAG'"},   {"TFORM1", "'1L'"},
    {"TTYPE2", "'BITS'"},   {"TFORM2", "'11X'"},
    {"TTYPE3", "'BYTE'"},   {"TFORM3", "'1B'"},   {"TNULL3", "255"},
    {"TTYPE4", "'SBYTE'"},  {"TFORM4", "'1B'"},   {"TZERO4", "-128"},
    {"TTYPE5", "'PHA'"},    {"TFORM5", "'1I'"},   {"TNULL5", "-99"},   {"TUNIT5", "'chan'"},
    {"TTYPE6", "'U16'"},    {"TFORM6", "'1I'"},   {"TZERO6", "32768"},
    {"TTYPE7", "'CCD_ID'"}, {"TFORM7", "'1J'"},   {"TNULL7", "7"},
    {"TTYPE8", "'U32'"},    {"TFORM8", "'1J'"},   {"TZERO8", "2147483648"},
    {"TTYPE9", "'ID'"},     {"TFORM9", "'1K'"},   {"TNULL9", "-1"},
    {"TTYPE10", "'U64'"},   {"TFORM10", "'1K'"},  {"TZERO10", "9223372036854775808"},
    {"TTYPE11", "'ENERGY'"}, {"TFORM11", "'1E'"}, {"TUNIT11", "'erg/cm**2/s'"},
    {"TTYPE12", "'TIME'"},  {"TFORM12", "'1D'"},  {"TUNIT12", "'s'"},
    {"TTYPE13", "'VIS'"},   {"TFORM13", "'1C'"},
    {"TTYPE14", "'VIS2'"},  {"TFORM14", "'1M'"},
    {"TTYPE15", "'OBJECT'"}, {"TFORM15", "'12A'"},
    {"TTYPE16", "'VEC'"},   {"TFORM16", "'3E'"},  {"TUNIT16", "'deg'"},
    {"TTYPE17", "'MAT'"},   {"TFORM17", "'4J'"},  {"TNULL17", "0"},    {"TDIM17", "'(2,2)'"},
    {"TTYPE18", "'TEMP'"},  {"TFORM18", "'1I'"},  {"TSCAL18", "0.01"}, {"TZERO18", "5"}, {"TUNIT18", "'K'"},
    {"TTYPE19", "'GAIN'"},  {"TFORM19", "'1E'"},  {"TSCAL19", "2.5"},
    {"TTYPE20", "'WIDE'"},  {"TFORM20", "'1J'"},  {"TSCAL20", "3"},    {"TZERO20", "-7"},
    {"TTYPE21", "'NAMES'"}, {"TFORM21", "'12A'"}, {"TDIM21", "'(4,3)'"},
    {"TTYPE22", "'PAIR'"},  {"TFORM22", "'2D'"},
    {"TTYPE23", "'HOUSE KEEPING'", "the counter of the house"}, {"TFORM23", "'1I'"},
    {"EXTNAME", "'EVENTS'"}, {"TELESCOP", "'CHANDRA'"}, {"EXPOSURE", "1000.5"}, {"OBS_ID", "'12345'"},
    {"DATE-OBS", "'2020-01-01T00:00:00'"}, {"CLOCKAPP", "T"}, {"TIMEZERO", "0.0D0"}, {"NO", "3"},
    "HISTORY made by the test",
};

TEST(ecsv_e2e_astropy, every_table_reads_back_as_astropy_reads_the_fits) {
  int status = 0;
  if (!filter_through("/usr/bin/python3 -c 'import astropy, pandas'", "", status) || status != 0) {
    GTEST_SKIP() << "no Python with astropy and pandas";
  }
  const int rows = 300;
  // Variable-length arrays of five element letters, one descriptor each.
  big_endian arrays, heap;
  std::int32_t offset = 0;
  for (int r = 0; r < 40; ++r) {
    const int n = r % 4;  // 0 to 3 elements
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.i32(r * 10 + k);
    offset += 4 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.f32(k == 1 && r % 3 == 0 ? NAN : 0.5f * r - k);
    offset += 4 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.f64(1.0 / (r + k + 1));
    offset += 8 * n;
    arrays.i64(n).i64(offset);
    for (int k = 0; k < n; ++k) heap.i16(static_cast<std::int16_t>(-r * k));
    offset += 2 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.u8(static_cast<std::uint8_t>(200 + k));
    offset += n;
    arrays.i32(r);
  }
  const std::string heap_bytes = heap.bytes();
  const std::string fits =
      fits_builder{}
          .empty_primary()
          .bintable(every_letter_cards, every_letter_table(rows))
          .bintable({{"TTYPE1", "'COUNTS'"}, {"TFORM1", "'1PJ(3)'"}, {"TTYPE2", "'FLUX'"}, {"TFORM2", "'1PE(3)'"},
                     {"TUNIT2", "'Jy'"}, {"TTYPE3", "'WAVE'"}, {"TFORM3", "'1PD(3)'"}, {"TTYPE4", "'Q16'"},
                     {"TFORM4", "'1QI(3)'"}, {"TTYPE5", "'RAW'"}, {"TFORM5", "'1PB(3)'"}, {"TTYPE6", "'ROW'"},
                     {"TFORM6", "'1J'"}, {"EXTNAME", "'ARRAYS'"}},
                    arrays.bytes() + heap_bytes, {.naxis2 = 40, .pcount = static_cast<std::int64_t>(heap_bytes.size())})
          .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I6'"}, {"TTYPE1", "'CHANNEL'"}, {"TNULL1", "'-999'"},
                        {"TBCOL2", "8"}, {"TFORM2", "'E12.5'"}, {"TTYPE2", "'RATE'"}, {"TUNIT2", "'ct/s'"},
                        {"TBCOL3", "21"}, {"TFORM3", "'D22.15'"}, {"TTYPE3", "'FINE'"},
                        {"TBCOL4", "44"}, {"TFORM4", "'A6'"}, {"TTYPE4", "'NAME'"}},
                       {"     1  1.00000E+00  1.000000000000000D-01 alpha",
                        "  -999 -2.50000E-03  3.333333333333333D+00 b c",
                        "    42  6.02214E+23 -2.718281828459045D+00 "},
                       {.naxis1 = 49})
          .bintable({{"TTYPE1", "'START'"}, {"TFORM1", "'1D'"}, {"TTYPE2", "'STOP'"}, {"TFORM2", "'1D'"},
                     {"EXTNAME", "'GTI'"}},
                    "")
          .bytes();
  const run_result r = run_orvex({.args = {"--ecsv", "t.fits"}, .inputs = {{"t.fits", fits}}});
  ASSERT_EQ(r.exit_code, 0) << r.describe();
  for (const char* part : {"t.001.ecsv", "t.002.ecsv", "t.003.ecsv", "t.004.ecsv"}) {
    ASSERT_EQ(r.files.count(part), 1U) << part << "\n" << r.describe();
  }
  const auto folder = r.folder.path();
  std::string command = "/usr/bin/python3 " + judge + " " + (folder / "t.fits").string();
  for (int n = 1; n <= 4; ++n) command += " " + std::to_string(n) + "=" + (folder / ("t.00" + std::to_string(n) + ".ecsv")).string();
  const std::optional<std::string> differences = filter_through(command + " 2>&1", "", status);
  ASSERT_TRUE(differences.has_value());
  EXPECT_EQ(status, 0) << *differences;
  EXPECT_EQ(*differences, "");
  // The header keeps the part's keywords, and the TTYPEn comment.
  const std::string& events = r.files.at("t.001.ecsv");
  for (const char* line : {"# - {EXTNAME: EVENTS}\n", "# - {EXPOSURE: 1000.5}\n", "# - {OBS_ID: '12345'}\n",
                           "# - {CLOCKAPP: true}\n", "# - {TIMEZERO: 0.0}\n", "# - {'NO': 3}\n",
                           "description: 'the counter of the house'}\n"}) {
    EXPECT_NE(events.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace orvex::test
