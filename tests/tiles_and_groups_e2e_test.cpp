// Tile-compressed images and random groups under --full, end to end.
//
// Judged: images built here are compressed by fpack or astropy and the
// lines orvex writes for the compressed file are compared byte for byte
// with those it writes for the same image uncompressed (lossless codecs),
// or for the image funpack restores (quantized floats): both go through
// the one image-line path, so any difference is the tile reader's. The
// cases skip when the tool is missing.
//
// Built by hand: tables of GZIP_1 tiles made here, damaged on purpose,
// each run's every output compared whole.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

// The lines of an output file that are no comment lines.
std::string image_lines(const std::string& text) {
  std::string lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text[at] != '!') lines.append(text, at, end - at);
    at = end;
  }
  return lines;
}

bool have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// An image of `bitpix` and `axes` with values spread over its type, NaNs
// (floats) or BLANK values (integers with `blank`) here and there.
// With `mask`, 16-bit values of 0 to 16000 in runs, as PLIO_1 takes them.
std::string pixels_of(int bitpix, const std::vector<std::int64_t>& axes, std::uint64_t seed, bool nulls,
                      bool mask) {
  std::int64_t n = 1;
  for (std::int64_t a : axes) n *= a;
  std::mt19937_64 rng(seed);
  big_endian b;
  for (std::int64_t i = 0; i < n; ++i) {
    const bool null = nulls && rng() % 37 == 0;
    // Exact zeros too, which SUBTRACTIVE_DITHER_2 keeps exact.
    if (bitpix < 0 && rng() % 41 == 0) {
      bitpix == -32 ? b.f32(0.0f) : b.f64(0.0);
      continue;
    }
    const double smooth = 100.0 * std::sin(static_cast<double>(i) * 0.01) + static_cast<double>(rng() % 50);
    switch (bitpix) {
      case 8: b.u8(null ? 255 : static_cast<std::uint8_t>(rng() % 200)); break;
      case 16:
        if (mask) {
          b.i16(static_cast<std::int16_t>(rng() % 7 == 0 ? rng() % 16000 : i / 50));
        } else {
          b.i16(null ? -32768 : static_cast<std::int16_t>(smooth * 30));
        }
        break;
      case 32: b.i32(null ? INT32_MIN : static_cast<std::int32_t>(smooth * 1e6)); break;
      case 64: b.i64(static_cast<std::int64_t>(rng())); break;
      case -32: null ? b.f32_bits(0x7FC00000U) : b.f32(static_cast<float>(smooth * 0.37)); break;
      default: null ? b.f64_bits(0x7FF8000000000000ULL) : b.f64(smooth * 1.1e-3); break;
    }
  }
  return b.bytes();
}

struct judged_case {
  const char* name;
  int bitpix;
  std::vector<std::int64_t> axes;
  std::vector<card> extra;      // BSCALE, BZERO, BLANK of the image
  bool nulls;
  std::string compress;         // fpack options, or "astropy:<CompImageHDU arguments>"
  bool quantized = false;       // compare with funpack's image instead of the source
  bool mask = false;            // pixels for PLIO_1 (see pixels_of)
};

class judged : public ::testing::TestWithParam<judged_case> {};

TEST_P(judged, lines_equal_the_uncompressed_images) {
  const judged_case& c = GetParam();
  const bool astropy = c.compress.rfind("astropy:", 0) == 0;
  if (!astropy && !have("fpack")) GTEST_SKIP() << "fpack is not installed";
  if (c.quantized && !have("funpack")) GTEST_SKIP() << "funpack is not installed";
  if (astropy && std::system("/usr/bin/python3 -c 'import astropy' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "astropy is not installed";
  }
  const std::string image =
      fits_builder{}.image(c.bitpix, c.axes, pixels_of(c.bitpix, c.axes, 17, c.nulls, c.mask), c.extra).bytes();
  temp_folder work;
  write_file(work.path() / "img.fits", image);
  std::string command;
  if (astropy) {
    command = "cd " + work.path().string() +
              " && /usr/bin/python3 -c \"from astropy.io import fits; d=fits.open('img.fits')[0]; "
              "fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(d.data, " +
              c.compress.substr(8) + ")]).writeto('img.fz')\"";
  } else {
    command = "cd " + work.path().string() + " && fpack " + c.compress + " -O img.fz img.fits";
  }
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
  std::string truth = image;
  if (c.quantized) {
    ASSERT_EQ(std::system(("cd " + work.path().string() + " && funpack -O back.fits img.fz").c_str()), 0);
    truth = read_file(work.path() / "back.fits");
  }
  const std::string packed = read_file(work.path() / "img.fz");

  const run_result plain = run_orvex({.args = {"--full", "img.fits"}, .inputs = {{"img.fits", truth}}});
  const std::string expected = image_lines(plain.files.at("img.000"));
  ASSERT_FALSE(expected.empty()) << plain.describe();
  for (const char* threads : {"--threads=1", "--threads=3"}) {
    const run_result r = run_orvex({.args = {"--full", threads, "img.fz"}, .inputs = {{"img.fz", packed}}});
    EXPECT_EQ(r.exit_code, 0) << r.describe();
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.files.count("img.001"), 1U) << r.describe();
    EXPECT_EQ(image_lines(r.files.at("img.001")), expected) << c.name << " " << threads;
  }
  // Without --full the table is written as the table it is.
  const run_result table = run_orvex({.args = {"img.fz"}, .inputs = {{"img.fz", packed}}});
  EXPECT_EQ(table.exit_code, 0) << table.describe();
}

const judged_case judged_cases[] = {
    {"gzip1_16", 16, {61, 23}, {}, false, "-g"},
    {"gzip2_16_blank", 16, {40, 30}, {{"BLANK", "-32768"}}, true, "-g2"},
    {"gzip1_8", 8, {33, 9}, {}, false, "-g"},
    {"gzip2_32_tiles", 32, {50, 41}, {}, false, "-g2 -t 16,7"},
    {"nocompress_16_scaled", 16, {20, 11}, {{"BSCALE", "0.5"}, {"BZERO", "100"}}, false, "-d"},
    {"gzip1_u16", 16, {30, 30}, {{"BZERO", "32768"}}, false, "-g -t 7,30"},
    {"gzip1_cube", 32, {9, 7, 5}, {}, false, "-g -t 4,3,2"},
    {"astropy_gzip2_32", 32, {17, 6}, {}, false,
     "astropy:compression_type='GZIP_2', tile_shape=(4, 5)"},
    {"gzip1_float_lossless", -32, {25, 12}, {}, true, "-g -q 0"},
    {"gzip2_double_lossless", -64, {25, 12}, {}, true, "-g2 -q 0"},
    // Large enough for the workers to start (a megabyte of line values).
    {"gzip2_16_on_workers", 16, {600, 300}, {}, false, "-g2 -t 100,10"},
    {"gzip1_float_dither1_on_workers", -32, {700, 400}, {}, true, "-g", true},
    {"rice_16", 16, {61, 23}, {}, false, "-r"},
    {"rice_8", 8, {40, 9}, {}, false, "-r"},
    {"rice_32_tiles", 32, {50, 41}, {{"BLANK", "-2147483648"}}, true, "-r -t 16,16"},
    {"rice_u16_cube", 16, {20, 9, 4}, {{"BZERO", "32768"}}, false, "-r -t 20,9,2"},
    {"plio_16", 16, {64, 12}, {}, false, "-p", false, true},
    {"plio_8_tiles", 8, {30, 20}, {}, false, "-p -t 8,8"},
    // Unsigned 16-bit masks: the stored value and BZERO once (astropy adds
    // BZERO twice to PLIO tiles of such images; the image made here is the
    // truth).
    {"plio_u16", 16, {64, 12}, {{"BZERO", "32768"}}, false, "-p", false, true},

    {"hcompress_16", 16, {64, 32}, {}, false, "-h"},
    {"hcompress_32_tiles", 32, {50, 40}, {}, false, "-h -t 25,20"},
    // Quantized cases with nulls keep to tiles of whole lines: funpack puts
    // the NaNs of other tiles in the wrong pixels (its fault, not ours).
    // One tile of 30,000 pixels: the walk through the offsets wraps.
    {"rice_float_one_tile", -32, {300, 100}, {}, true, "-r -w", true},
    {"rice_float_dither1", -32, {100, 30}, {}, true, "-r", true},
    {"rice_float_dither2_tiles", -32, {100, 30}, {}, false, "-r -qz 4 -t 25,30", true},
    {"hcompress_float", -32, {64, 32}, {}, true, "-h", true},
    {"hcompress_float_smooth", -32, {64, 32}, {}, false, "-h -s 4 -q 2", true},
    {"gzip1_float_dither1", -32, {64, 20}, {}, true, "-g", true},
    {"gzip1_float_dither1_seed", -32, {64, 20}, {}, true, "-g -q9999 2", true},
    {"gzip2_float_dither2", -32, {64, 20}, {}, true, "-g2 -qz 4", true},
    {"gzip1_float_nodither", -32, {64, 20}, {}, true, "-g -q0 4", true},
    {"gzip1_double_dither1_cube", -64, {12, 5, 3}, {}, false, "-g -t 12,5,2", true},
};

INSTANTIATE_TEST_SUITE_P(compressed_image, judged, ::testing::ValuesIn(judged_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- tables of GZIP_1 tiles built here -------------------------------------

// A compressed image of 16-bit tiles: `tiles` are the heap arrays, one per
// row, in order; `cards` the Z keywords after the column's.
std::string gzip_image(const std::vector<std::string>& tiles, const std::vector<card>& cards,
                       std::size_t cut = std::string::npos) {
  std::string rows, heap;
  for (const std::string& t : tiles) {
    rows += big_endian{}.i32(static_cast<std::int32_t>(t.size())).i32(static_cast<std::int32_t>(heap.size())).bytes();
    heap += t;
  }
  std::vector<card> all{{"TTYPE1", "'COMPRESSED_DATA'"}, {"TFORM1", "'1PB'"}, {"ZIMAGE", "T"}};
  all.insert(all.end(), cards.begin(), cards.end());
  fits_builder b;
  b.empty_primary().bintable(all, rows + heap,
                              {.naxis1 = 8, .naxis2 = static_cast<std::int64_t>(tiles.size()),
                               .pcount = static_cast<std::int64_t>(heap.size())});
  if (cut != std::string::npos) b.cut(cut);
  return b.bytes();
}

// A GZIP_1 tile of 64-bit values (no compressor writes 64-bit tiles; the
// convention allows them).
std::string line64(std::initializer_list<std::int64_t> v, bool shuffled = false) {
  big_endian b;
  for (std::int64_t x : v) b.i64(x);
  std::string bytes = b.bytes();
  if (shuffled) {
    // GZIP_2: the first bytes of every value, then the second ones, ...
    std::string by_significance;
    for (std::size_t k = 0; k < 8; ++k) {
      for (std::size_t i = 0; i < v.size(); ++i) by_significance += bytes[8 * i + k];
    }
    bytes = by_significance;
  }
  return gzip(bytes);
}

std::string line16(std::initializer_list<int> v) {
  big_endian b;
  for (int x : v) b.i16(static_cast<std::int16_t>(x));
  return gzip(b.bytes());
}

const std::vector<card> three_by_two{{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "2"},
                                     {"ZNAXIS1", "3"},         {"ZNAXIS2", "2"}};

struct built_case {
  const char* name;
  std::string input;
  std::string lines;   // the image lines of a.001
  std::string err;
  int status;
};

class built : public ::testing::TestWithParam<built_case> {};

TEST_P(built, writes_what_the_tiles_hold) {
  const built_case& c = GetParam();
  for (const char* threads : {"--threads=1", "--threads=2"}) {
    const run_result r = run_orvex({.args = {"--full", threads, "a.fits"}, .inputs = {{"a.fits", c.input}}});
    EXPECT_EQ(r.exit_code, c.status) << r.describe();
    EXPECT_EQ(r.err, c.err) << c.name;
    ASSERT_EQ(r.files.count("a.001"), 1U) << r.describe();
    EXPECT_EQ(image_lines(r.files.at("a.001")), c.lines) << c.name;
  }
}

std::string damaged() {
  std::string t = line16({4, 5, 6});
  t[t.size() / 2] ^= 0x55;
  return t;
}

std::string damaged64() {
  std::string t = line64({1, 2, 3});
  t[t.size() / 2] ^= 0x55;
  return t;
}

const std::vector<card> unsigned64{{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "64"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"},
                                   {"ZNAXIS2", "2"},         {"BZERO", "9223372036854775808"}};

const built_case built_cases[] = {
    {"whole", gzip_image({line16({1, -2, 3}), line16({4, 5, 6})}, three_by_two), "1 -2 3 \n4 5 6 \n", "", 0},
    {"blank_and_zblank",
     gzip_image({line16({1, -9, 3}), line16({7, 5, 6})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"},
                 {"BLANK", "-9"}, {"ZBLANK", "7"}}),
     "1 nan 3 \nnan 5 6 \n", "", 0},
    {"damaged_tile_is_nan", gzip_image({line16({1, 2, 3}), damaged()}, three_by_two), "1 2 3 \nnan nan nan \n",
     "orvex: a.fits: part 1: tile 2: the gzip stream is damaged\n", 1},
    {"too_many_values",
     gzip_image({line16({1, 2, 3, 4}), line16({4, 5, 6})}, three_by_two), "nan nan nan \n4 5 6 \n",
     "orvex: a.fits: part 1: tile 1: its 8 bytes do not hold its 3 pixels\n", 1},
    {"odd_byte_count",
     gzip_image({gzip("\1\2\3\4\5"), line16({4, 5, 6})}, three_by_two), "nan nan nan \n4 5 6 \n",
     "orvex: a.fits: part 1: tile 1: its 5 bytes do not hold its 3 pixels\n", 1},
    {"unknown_codec",
     gzip_image({line16({1, 2, 3}), line16({4, 5, 6})},
                {{"ZCMPTYPE", "'LZW_9'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"}}),
     "nan nan nan \nnan nan nan \n",
     "orvex: a.fits: part 1: tile 1: the compression ZCMPTYPE = 'LZW_9' is not one this program reads\n", 1},
    {"fewer_rows_than_tiles", gzip_image({line16({1, 2, 3})}, three_by_two), "1 2 3 \n",
     "orvex: a.fits: part 1: tile 2: the table has no row for it: 1 of 2 image lines written\n", 1},
    {"partial_edge_tiles",
     gzip_image({line16({1, 2}), line16({3}), line16({4, 5}), line16({6})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"},
                 {"ZTILE1", "2"}, {"ZTILE2", "1"}}),
     "1 2 3 \n4 5 6 \n", "", 0},
    {"hostile_line_width",
     gzip_image({line16({1, 2, 3})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "1"}, {"ZNAXIS1", "1000000000000"}}),
     "",
     "orvex: a.fits: part 1: tile 1: its band of 1 lines of 1000000000000 pixels is more than the 34 bytes "
     "that arrived can hold: the image is not written\n",
     1},
    {"cut_in_the_second_tile",
     gzip_image({line16({1, 2, 3}), line16({4, 5, 6})}, three_by_two, 2 * 2880 + 16 + line16({1, 2, 3}).size() + 3),
     "1 2 3 \n", "orvex: a.fits: part 1: the stream ends inside the image: 1 of 2 image lines written\n", 1},
    {"unknown_quantizing",
     gzip_image({line16({1, 2, 3})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "-32"}, {"ZNAXIS", "1"}, {"ZNAXIS1", "3"},
                 {"ZQUANTIZ", "'DITHER_9'"}, {"ZSCALE", "0.5"}}),
     "nan nan nan \n", "orvex: a.fits: part 1: tile 1: ZQUANTIZ = 'DITHER_9' is not a quantizing method\n", 1},
    {"gzip1_64_unsigned",
     gzip_image({line64({INT64_MIN + 1, -1, 0}), line64({INT64_MAX, 1234567890123456789, 7})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "64"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"},
                 {"BZERO", "9223372036854775808"}, {"BLANK", "7"}}),
     "1 9223372036854775807 9223372036854775808 \n18446744073709551615 10457939926978232597 nan \n", "", 0},
    {"gzip2_64_signed",
     gzip_image({line64({INT64_MIN + 1, -1, 0}, true), line64({INT64_MAX, 1234567890123456789, 7}, true)},
                {{"ZCMPTYPE", "'GZIP_2'"}, {"ZBITPIX", "64"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"}}),
     "-9223372036854775807 -1 0 \n9223372036854775807 1234567890123456789 7 \n", "", 0},
    // Every 64-bit value is a pixel's: INT64_MIN (an unsigned 0) is one
    // and the undefined pixels stand out by another.
    {"gzip1_64_unsigned_zero", gzip_image({line64({INT64_MIN, 5, -1}), line64({INT64_MAX, INT64_MIN + 1, 0})}, unsigned64),
     "0 9223372036854775813 9223372036854775807 \n18446744073709551615 1 9223372036854775808 \n", "", 0},
    {"gzip1_64_zero_beside_a_damaged_tile", gzip_image({line64({INT64_MIN, 1, 2}), damaged64()}, unsigned64),
     "0 9223372036854775809 9223372036854775810 \nnan nan nan \n",
     "orvex: a.fits: part 1: tile 2: the gzip stream is cut short\n", 1},
    {"gzip1_64_zblank_beside_both_limits",
     gzip_image({line64({INT64_MIN, INT64_MAX, 3}), line64({3, 4, INT64_MIN + 1})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "64"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "3"}, {"ZNAXIS2", "2"},
                 {"ZBLANK", "3"}}),
     "-9223372036854775808 9223372036854775807 nan \nnan 4 -9223372036854775807 \n", "", 0},
    {"bad_tile_size",
     gzip_image({line16({1, 2, 3})},
                {{"ZCMPTYPE", "'GZIP_1'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "1"}, {"ZNAXIS1", "3"}, {"ZTILE1", "0"}}),
     "", "orvex: a.fits: part 1: ZTILE1 = 0 is not a tile size: the image is not written\n", 1},
};

INSTANTIATE_TEST_SUITE_P(compressed_image, built, ::testing::ValuesIn(built_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvex::test

namespace orvex::test {
namespace {

TEST(compressed_image, list_names_the_image_and_its_codec) {
  const std::string input = gzip_image({line16({1, 2, 3}), line16({4, 5, 6})}, three_by_two);
  const run_result r = run_orvex({.args = {"--list", "a.fits"}, .inputs = {{"a.fits", input}}});
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  EXPECT_EQ(r.out,
            "a.000  primary  BITPIX=8  NAXIS=0\n"
            "a.001  BINTABLE  compressed image  BITPIX=16  NAXIS1=3  NAXIS2=2  ZCMPTYPE=GZIP_1\n");
}

}  // namespace
}  // namespace orvex::test

namespace orvex::test {
namespace {

// Two groups of two 16-bit parameters (the first scaled by 2, the second
// offset by 100) and two data values (BZERO 32768, BLANK -4).
std::string two_groups() {
  const std::string groups = big_endian{}.i16(1).i16(2).i16(3).i16(-4).i16(-5).i16(0).i16(-32768).i16(32767).bytes();
  return fits_builder{}
      .primary({"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    3",
                "NAXIS1  =                    0", "NAXIS2  =                    2", "NAXIS3  =                    1",
                {"GROUPS", "T"}, {"PCOUNT", "2"}, {"GCOUNT", "2"}, {"PTYPE1", "'UU'"}, {"PSCAL1", "2.0"},
                {"PTYPE2", "'VV, W'"}, {"PZERO2", "100"}, {"BZERO", "32768"}, {"BLANK", "-4"}})
      .data(groups)
      .bytes();
}

struct groups_case {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  std::string file;   // the output that holds the groups
  std::string lines;  // its lines that are no comment lines
  std::string err;
  int status;
};

class groups : public ::testing::TestWithParam<groups_case> {};

TEST_P(groups, one_line_per_group) {
  const groups_case& c = GetParam();
  const run_result r = run_orvex({.args = c.args, .inputs = {{"uv.fits", c.input}}});
  EXPECT_EQ(r.exit_code, c.status) << r.describe();
  EXPECT_EQ(r.err, c.err);
  ASSERT_EQ(r.files.count(c.file), 1U) << r.describe();
  EXPECT_EQ(image_lines(r.files.at(c.file)), c.lines);
}

const groups_case groups_cases[] = {
    {"scaled", {"--full", "uv.fits"}, two_groups(), "uv.000", "2 102 32771 nan \n-10 100 0 65535 \n", "", 0},
    {"csv", {"--full", "--csv", "uv.fits"}, two_groups(), "uv.000.csv",
     "UU,\"VV, W\",1,2\n2,102,32771,nan\n-10,100,0,65535\n", "", 0},
    {"cut_in_the_second_group", {"--full", "uv.fits"}, two_groups().substr(0, 2880 + 12), "uv.000",
     "2 102 32771 nan \n", "orvex: uv.fits: part 0: the stream ends inside the image: 1 of 2 image lines written\n", 1},
};

INSTANTIATE_TEST_SUITE_P(random_groups, groups, ::testing::ValuesIn(groups_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvex::test

namespace orvex::test {
namespace {

// A table, then two compressed images: each image is its own part, and
// the table between is written as before.
TEST(compressed_image, several_images_after_a_table) {
  const std::string one = gzip_image({line16({1, 2, 3}), line16({4, 5, 6})}, three_by_two);
  const std::string two = gzip_image({line16({7, 8, 9}), line16({-1, -2, -3})}, three_by_two);
  // Each built file is an empty primary unit (one block) and the image.
  const std::string input =
      fits_builder{}.empty_primary().bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(42).bytes()).bytes() +
      one.substr(2880) + two.substr(2880);
  const run_result r = run_orvex({.args = {"--full", "a.fits"}, .inputs = {{"a.fits", input}}});
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.files.count("a.003"), 1U) << r.describe();
  EXPECT_EQ(image_lines(r.files.at("a.001")), "42 \n");
  EXPECT_EQ(image_lines(r.files.at("a.002")), "1 2 3 \n4 5 6 \n");
  EXPECT_EQ(image_lines(r.files.at("a.003")), "7 8 9 \n-1 -2 -3 \n");
}

}  // namespace
}  // namespace orvex::test
