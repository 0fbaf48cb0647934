// Writes the fuzzer's seed corpus: small FITS files, built with the test
// suite's FITS builder, that reach every part of the decoder, so that the
// mutations start from inputs that get past the headers.
//
//   orvex_fuzz_seeds <folder>
//
// One file per seed, named for what it holds. Every binary type letter
// (with scaling, display formats and units), variable-length arrays in a
// heap, ASCII tables, a primary image, an image extension, several
// extensions in one file, and gzip forms. The target runs an input of odd
// length with --full: the seeds for it (images of every BITPIX, a cube, an
// IMAGE extension after a table and a table after one, ASCII F and A
// fields) end in one byte after their last unit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/fits_builder.h"

namespace {

using orvex::test::big_endian;
using orvex::test::card;
using orvex::test::fits_builder;

// One column of every letter the binary decoder knows, and one it does not
// (K is known as 64-bit; F is not a binary form).
fits_builder all_binary_types() {
  std::vector<card> cards{
      {"TTYPE1", "'NAME'"},   {"TFORM1", "'6A'"},
      {"TTYPE2", "'FLAGS'"},  {"TFORM2", "'2B'"},   {"TZERO2", "-128"},
      {"TTYPE3", "'PHA'"},    {"TFORM3", "'1I'"},   {"TUNIT3", "'chan'"},
      {"TTYPE4", "'TIME'"},   {"TFORM4", "'1J'"},   {"TSCAL4", "0.5"},   {"TZERO4", "10"},
      {"TTYPE5", "'RATE'"},   {"TFORM5", "'2E'"},   {"TDISP5", "'F10.4'"},
      {"TTYPE6", "'MJD'"},    {"TFORM6", "'1D'"},   {"TDISP6", "'E15.7'"},
      {"TTYPE7", "'Z'"},      {"TFORM7", "'1C'"},
      {"TTYPE8", "'W'"},      {"TFORM8", "'1M'"},
      {"TTYPE9", "'OK'"},     {"TFORM9", "'2L'"},   {"TDISP9", "'L3'"},
      {"TTYPE10", "'BITS'"},  {"TFORM10", "'16X'"},
      {"TTYPE11", "'BIG'"},   {"TFORM11", "'1K'"},
      {"TTYPE12", "'ARR'"},   {"TFORM12", "'1PE(4)'"},
      {"TTYPE13", "'ARRQ'"},  {"TFORM13", "'1QD(2)'"},
      {"TTYPE14", "'ODD'"},   {"TFORM14", "'2F'"},
      {"TELESCOP", "'ROSAT   '"}, {"INSTRUME", "'PSPC'"}, {"OBJECT", "'M31'"},
  };
  big_endian rows;
  for (int r = 0; r < 3; ++r) {
    rows.chars(r == 0 ? "AB" : "EVENT1", 6)
        .u8(static_cast<std::uint8_t>(r)).u8(0xFF)
        .i16(static_cast<std::int16_t>(-2 + r))
        .i32(2000000000 - r)
        .f32(0.1f).f32_bits(r == 1 ? 0x7F800000u : 0x3F800000u)
        .f64(51544.5 + r)
        .f32(1.5f).f32(-2.25f)
        .f64(3.0).f64(-4.0)
        .chars(r == 2 ? std::string(1, '\0') + "F" : "TF", 2)
        .u8(0xA5).u8(0x01)
        .i64(-9000000000LL)
        .u32(4).u32(0)
        .f64_bits(0).f64_bits(16)
        .u8('x').u8('y');
  }
  // PE and QD descriptors take 8 and 16 bytes; F is not a binary form: the
  // builder cannot compute NAXIS1, so it is given.
  return fits_builder{}
      .empty_primary({{"EXTEND", "T"}})
      .bintable(cards, rows.bytes(), {.naxis1 = 6 + 2 + 2 + 4 + 8 + 8 + 8 + 16 + 2 + 2 + 8 + 8 + 16 + 2});
}

// A response matrix: variable-length arrays of every letter in a heap after
// the rows, placed by THEAP after a gap, one descriptor of each kind.
fits_builder response_matrix() {
  std::vector<card> cards{
      {"TTYPE1", "'ENERG_LO'"}, {"TFORM1", "'1E'"},       {"TTYPE2", "'F_CHAN'"}, {"TFORM2", "'1PJ(2)'"},
      {"TTYPE3", "'N_CHAN'"},   {"TFORM3", "'1PI(2)'"},   {"TTYPE4", "'MATRIX'"}, {"TFORM4", "'1PE(3)'"},
      {"TTYPE5", "'TEXT'"},     {"TFORM5", "'1QA(8)'"},   {"TTYPE6", "'BITS'"},   {"TFORM6", "'2QX'"},
      {"TTYPE7", "'WIDE'"},     {"TFORM7", "'1PM(1)'"},   {"THEAP", "172"},
  };
  const std::string heap = big_endian{}
                               .raw(std::string(4, '\0'))
                               .i32(1).i32(300)
                               .i16(200).i16(24)
                               .f32(0.25f).f32_bits(0x7FC00000u).f32(3)
                               .chars("AB C", 8)
                               .u8(0xA5).u8(0x80)
                               .f64(0.5).f64(-2)
                               .bytes();
  std::string rows;
  for (int r = 0; r < 2; ++r) {
    rows += big_endian{}
                .f32(0.1f * static_cast<float>(r + 1))
                .i32(2).i32(0)
                .i32(2).i32(8)
                .i32(3).i32(12)
                .i64(r == 0 ? 4 : 0).i64(24)
                .i64(12).i64(32).i64(4).i64(32)
                .i32(1).i32(34)
                .bytes();
  }
  return fits_builder{}.empty_primary().bintable(cards, rows + heap,
                                                 {.naxis2 = 2, .pcount = static_cast<std::int64_t>(heap.size())});
}

fits_builder ascii_table() {
  std::vector<card> cards{
      {"TBCOL1", "1"},  {"TFORM1", "'I4'"},    {"TTYPE1", "'CHAN'"},
      {"TBCOL2", "5"},  {"TFORM2", "'E10.3'"}, {"TTYPE2", "'FLUX'"}, {"TSCAL2", "2.0"},
      {"TBCOL3", "15"}, {"TFORM3", "'D12.5'"}, {"TTYPE3", "'ERR'"},  {"TDISP3", "'G12.4'"},
      {"TBCOL4", "27"}, {"TFORM4", "'A4'"},    {"TTYPE4", "'TAG'"},
      {"OBJECT", "'NGC 1'"},
  };
  return fits_builder{}.empty_primary().ascii_table(
      cards, {"  12-1.500E+01 1.25000D+02ABCD", "  -3 2.000E-01-3.00000E+00WXYZ", "    " + std::string(26, ' ')});
}

fits_builder image() {
  std::vector<std::int16_t> pixels;
  for (int i = 0; i < 4 * 3; ++i) pixels.push_back(static_cast<std::int16_t>(i * 1000 - 5000));
  return fits_builder{}.image16(4, 3, pixels, {{"OBJECT", "'SRC 1'"}, {"EXTEND", "T"}});
}

// A primary image, a binary table, an ASCII table and an image extension.
fits_builder several_extensions() {
  fits_builder f = image();
  f.bintable({{"TTYPE1", "'X'"}, {"TFORM1", "'1E'"}, {"TTYPE2", "'Y'"}, {"TFORM2", "'1E'"},
              {"TTYPE3", "'PI'"}, {"TFORM3", "'1I'"}},
             big_endian{}.f32(1.0f).f32(2.0f).i16(7).f32(-1.0f).f32(0.5f).i16(8).bytes());
  f.ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I3'"}, {"TTYPE1", "'N'"}}, {"  1", " 22", "333"});
  f.header({{"XTENSION", "'IMAGE   '"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"},
            {"PCOUNT", "0"}, {"GCOUNT", "1"}});
  f.data(big_endian{}.i16(1).i16(2).i16(3).i16(4).bytes());
  return f;
}

// A header whose END card is the 36th card of its block, so the next
// extension's first card follows at once.
fits_builder end_on_block_boundary() {
  std::vector<card> cards{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}};
  while (cards.size() < 35) cards.push_back(card("COMMENT   filler"));
  fits_builder f;
  f.primary(cards);
  f.bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(1).i32(-1).bytes());
  return f;
}

// An image of every pixel type, with the value cards that --full applies.
fits_builder typed_image(std::int64_t bitpix) {
  big_endian pixels;
  std::vector<card> extra;
  switch (bitpix) {
    case 8: pixels.u8(0).u8(255).u8(7).u8(128).u8(1).u8(2); extra = {{"BLANK", "255"}}; break;
    case 16: pixels.i16(-32768).i16(0).i16(32767).i16(5).i16(-5).i16(1); extra = {{"BZERO", "32768"}}; break;
    case 32: pixels.i32(-1).i32(99).i32(3).i32(4).i32(5).i32(6); extra = {{"BSCALE", "0.5"}, {"BLANK", "99"}}; break;
    case 64: pixels.i64(-1).i64(0).i64(9000000000000000000).i64(4).i64(5).i64(6);
             extra = {{"BZERO", "9223372036854775808"}}; break;
    case -32: pixels.f32(0.1f).f32_bits(0x7FC00000u).f32_bits(0xFF800000u).f32(-0.0f).f32(1e30f).f32(2);
              extra = {{"BSCALE", "2.5"}, {"BZERO", "-1"}}; break;
    default: pixels.f64(0.1).f64(-2).f64_bits(0x7FF8000000000001ULL).f64(1e300).f64(5).f64(6); break;
  }
  return fits_builder{}.image(bitpix, {3, 2}, pixels.bytes(), extra);
}

// A cube of floats, then a table, an image extension after it and a table
// after that.
fits_builder cube_and_image_extension() {
  big_endian cube;
  for (int i = 0; i < 12; ++i) cube.f32(static_cast<float>(i) / 3.0f);
  fits_builder f;
  f.image(-32, {2, 3, 2}, cube.bytes());
  f.bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(1).i32(-1).bytes());
  f.image_extension(64, {2, 1, 2}, big_endian{}.i64(1).i64(-2).i64(3).i64(-4).bytes(), {{"BZERO", "1"}});
  f.ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'F6.2'"}, {"TBCOL2", "7"}, {"TFORM2", "'A5'"}},
                {"  1.25hello", " -3.5 x"});
  return f;
}

// A tile-compressed 16-bit image of 4 x 2 pixels, one tile per line,
// after an empty primary unit: `tiles` are the two lines' heap arrays.
std::string compressed_image(const char* codec, const std::vector<std::string>& tiles,
                             std::vector<card> extra = {}) {
  std::string rows, heap;
  for (const std::string& t : tiles) {
    rows += big_endian{}.i32(static_cast<std::int32_t>(t.size())).i32(static_cast<std::int32_t>(heap.size())).bytes();
    heap += t;
  }
  std::vector<card> cards{{"TTYPE1", "'COMPRESSED_DATA'"}, {"TFORM1", "'1PB'"}, {"ZIMAGE", "T"},
                          {"ZCMPTYPE", std::string("'") + codec + "'"}, {"ZBITPIX", "16"}, {"ZNAXIS", "2"},
                          {"ZNAXIS1", "4"}, {"ZNAXIS2", "2"}, {"BLANK", "-3"}};
  cards.insert(cards.end(), extra.begin(), extra.end());
  return fits_builder{}
      .empty_primary()
      .bintable(cards, rows + heap,
                {.naxis1 = 8, .naxis2 = static_cast<std::int64_t>(tiles.size()),
                 .pcount = static_cast<std::int64_t>(heap.size())})
      .bytes();
}

std::string line16(int a, int b, int c, int d) {
  return big_endian{}.i16(static_cast<std::int16_t>(a)).i16(static_cast<std::int16_t>(b))
      .i16(static_cast<std::int16_t>(c)).i16(static_cast<std::int16_t>(d)).bytes();
}

// GZIP_2's bytes: the high bytes of the values, then the low ones.
std::string shuffled(const std::string& values) {
  std::string out(values.size(), '\0');
  const std::size_t n = values.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = values[2 * i];
    out[n + i] = values[2 * i + 1];
  }
  return out;
}

// A quantized floating image (ZBITPIX -32) of GZIP_1 tiles with per-tile
// ZSCALE and ZZERO columns, dithered.
std::string quantized_image() {
  const std::string q1 = orvex::test::gzip(big_endian{}.i32(5).i32(-2147483647).i32(-2147483646).i32(100).bytes());
  const std::string q2 = orvex::test::gzip(big_endian{}.i32(0).i32(1).i32(2).i32(3).bytes());
  std::string rows;
  rows += big_endian{}.i32(static_cast<std::int32_t>(q1.size())).i32(0).f64(0.25).f64(10).bytes();
  rows += big_endian{}.i32(static_cast<std::int32_t>(q2.size())).i32(static_cast<std::int32_t>(q1.size())).f64(0.5).f64(-1).bytes();
  return fits_builder{}
      .empty_primary()
      .bintable({{"TTYPE1", "'COMPRESSED_DATA'"}, {"TFORM1", "'1PB'"}, {"TTYPE2", "'ZSCALE'"}, {"TFORM2", "'1D'"},
                 {"TTYPE3", "'ZZERO'"}, {"TFORM3", "'1D'"}, {"ZIMAGE", "T"}, {"ZCMPTYPE", "'GZIP_1'"},
                 {"ZBITPIX", "-32"}, {"ZNAXIS", "2"}, {"ZNAXIS1", "4"}, {"ZNAXIS2", "2"}, {"ZBLANK", "-2147483647"},
                 {"ZQUANTIZ", "'SUBTRACTIVE_DITHER_2'"}, {"ZDITHER0", "42"}},
                rows + q1 + q2, {.naxis1 = 24, .naxis2 = 2, .pcount = static_cast<std::int64_t>(q1.size() + q2.size())})
      .bytes();
}

// Two random groups of three parameters and a 2 x 1 data array.
std::string random_groups() {
  big_endian groups;
  for (int g = 0; g < 2; ++g) groups.f32(1.5f * g).f32(-2.0f).f32(2450000.5f).f32(0.25f).f32_bits(0x7FC00000u);
  return fits_builder{}
      .primary({"SIMPLE  =                    T", "BITPIX  =                  -32", "NAXIS   =                    3",
                "NAXIS1  =                    0", "NAXIS2  =                    2", "NAXIS3  =                    1",
                {"GROUPS", "T"}, {"PCOUNT", "3"}, {"GCOUNT", "2"}, {"PTYPE1", "'UU'"}, {"PSCAL1", "2.0"},
                {"PTYPE2", "'VV'"}, {"PTYPE3", "'DATE'"}, {"PZERO3", "0.5"}})
      .data(groups.bytes())
      .bytes();
}

// The bytes of a seed for --full: of odd length.
std::string for_full(std::string bytes) {
  if (bytes.size() % 2 == 0) bytes.push_back('\n');
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::vector<std::pair<std::string, std::string>> seeds{
        {"binary_all_types.fits", all_binary_types().bytes()},
        {"response_matrix.fits", response_matrix().bytes()},
        {"response_matrix.fits.gz", response_matrix().gzip()},
        {"ascii_table.fits", ascii_table().bytes()},
        {"image.fits", image().bytes()},
        {"several_extensions.fits", several_extensions().bytes()},
        {"end_on_block_boundary.fits", end_on_block_boundary().bytes()},
        {"binary_all_types.fits.gz", all_binary_types().gzip()},
        {"several_extensions.fits.gz", several_extensions().gzip()},
        {"two_members.fits.gz", orvex::test::gzip(ascii_table().bytes().substr(0, 2880)) +
                                    orvex::test::gzip(ascii_table().bytes().substr(2880))},
    };
    // Row filters: the expression on the first line, the file after it.
    for (const char* where : {"PHA = 2:300 && (NAME == 'ab' || !OK[2]) and TIME > -1e3", "#row % 2 == 1 or abs(MJD) > max(RATE[1], sqrt(MJD))"}) {
      seeds.emplace_back("where_" + std::to_string(seeds.size()) + ".fits",
                         std::string("where:") + where + "\n" + all_binary_types().bytes());
    }
    // Every byte source: bzip2, xz and compress forms (the last of codes of
    // 10 and 12 bits too, whose small tables fill and are cleared within a
    // seed), and streams one after the other.
    using orvex::test::packing;
    for (const auto& [name, bytes] :
         {std::pair{"binary_all_types", all_binary_types().bytes()}, std::pair{"image", image().bytes()},
          std::pair{"several_extensions", several_extensions().bytes()}}) {
      seeds.emplace_back(name + std::string(".fits.bz2"), orvex::test::bzip2(bytes));
      seeds.emplace_back(name + std::string(".fits.xz"), orvex::test::xz(bytes));
      for (const char* flags : {"", "-b 10", "-b 12"}) {
        if (auto z = orvex::test::unix_compress(bytes, flags)) {
          seeds.emplace_back(name + std::string(flags).substr(std::string(flags).empty() ? 0 : 3) + ".fits.Z", *z);
        }
      }
    }
    const std::string ascii = ascii_table().bytes();
    seeds.emplace_back("two_streams.fits.bz2",
                       orvex::test::bzip2(ascii.substr(0, 2880)) + orvex::test::bzip2(ascii.substr(2880)));
    seeds.emplace_back("two_streams.fits.xz", orvex::test::xz(ascii.substr(0, 2880)) + orvex::test::xz(ascii.substr(2880)));
    for (std::int64_t bitpix : {8, 16, 32, 64, -32, -64}) {
      seeds.emplace_back("full_image_" + std::to_string(bitpix) + ".fits", for_full(typed_image(bitpix).bytes()));
    }
    seeds.emplace_back("full_cube_and_image_extension.fits", for_full(cube_and_image_extension().bytes()));
    seeds.emplace_back("full_several_extensions.fits", for_full(several_extensions().bytes()));
    seeds.emplace_back("full_ascii_table.fits", for_full(ascii_table().bytes()));
    // Compressed images: GZIP_1, GZIP_2, NOCOMPRESS, RICE_1 (a first pixel
    // and a block of no differences: every pixel 7), quantized floats, and
    // random groups. PLIO_1 and HCOMPRESS_1 seeds come from fpack when it is
    // installed (see fuzz/README.md).
    seeds.emplace_back("full_tiles_gzip1.fits",
                       for_full(compressed_image("GZIP_1", {orvex::test::gzip(line16(1, -3, 300, 4)),
                                                           orvex::test::gzip(line16(5, 6, 7, -8))})));
    seeds.emplace_back("full_tiles_gzip2.fits",
                       for_full(compressed_image("GZIP_2", {orvex::test::gzip(shuffled(line16(1, 2, 3, 4))),
                                                           orvex::test::gzip(shuffled(line16(-1, 2, -3, 4)))})));
    seeds.emplace_back("full_tiles_nocompress.fits",
                       for_full(compressed_image("NOCOMPRESS", {line16(1, 2, 3, 4), line16(9, 8, 7, 6)})));
    const std::string rice = std::string("\0\0\0\7\0", 5);
    seeds.emplace_back("full_tiles_rice.fits",
                       for_full(compressed_image("RICE_1", {rice, rice}, {{"ZNAME1", "'BLOCKSIZE'"}, {"ZVAL1", "32"},
                                                                          {"ZNAME2", "'BYTEPIX'"}, {"ZVAL2", "4"}})));
    seeds.emplace_back("full_tiles_quantized.fits", for_full(quantized_image()));
    seeds.emplace_back("full_random_groups.fits", for_full(random_groups()));
    for (const auto& [name, bytes] : seeds) orvex::test::write_file(folder / name, bytes);
    // PLIO_1 and HCOMPRESS_1 tiles, whose encoders this tree does not
    // hold, from fpack, when it is installed; and RICE_1 tiles of 1, 2 and
    // 4-byte pixels with every kind of block (flat, split codes, stored
    // whole), which the hand-made Rice seed above, one flat block of 4-byte
    // pixels, leaves the fuzzer to find alone.
    if (std::system("command -v fpack >/dev/null 2>&1") == 0) {
      big_endian mask;
      for (int i = 0; i < 24 * 6; ++i) mask.i16(static_cast<std::int16_t>(i % 24 < 9 ? 0 : 1 + i / 50));
      std::vector<std::pair<std::string, std::string>> plains{{"mask", fits_builder{}.image(16, {24, 6}, mask.bytes()).bytes()}};
      for (int bitpix : {8, 16, 32}) {
        // Per 72-pixel tile: a flat block of 32, a block of small steps, and
        // 8 pixels that swing across the whole range.
        big_endian noisy;
        std::uint32_t lcg = 12345;
        for (int i = 0; i < 24 * 6; ++i) {
          lcg = lcg * 1103515245u + 12345u;
          const int at = i % 72;
          const std::int64_t low = bitpix == 8 ? 0 : bitpix == 16 ? -32768 : -2147483647 - 1;
          const std::int64_t high = bitpix == 8 ? 255 : bitpix == 16 ? 32767 : 2147483647;
          const std::int64_t v = at < 32 ? 100 : at < 64 ? 100 + static_cast<std::int64_t>(lcg >> 28) : (at % 2 ? low : high);
          if (bitpix == 8) noisy.u8(static_cast<std::uint8_t>(v));
          else if (bitpix == 16) noisy.i16(static_cast<std::int16_t>(v));
          else noisy.i32(static_cast<std::int32_t>(v));
        }
        plains.emplace_back("rice" + std::to_string(bitpix), fits_builder{}.image(bitpix, {24, 6}, noisy.bytes()).bytes());
      }
      const struct {
        const char* plain;
        const char* option;
        const char* name;
      } runs[] = {{"mask", "-p -t 8,3", "tiles_plio.fits"},
                  {"mask", "-h -s 2 -t 12,6", "tiles_hcompress.fits"},
                  {"rice8", "-r -t 24,3", "tiles_rice8.fits"},
                  {"rice16", "-r -t 24,3", "tiles_rice16.fits"},
                  {"rice32", "-r -t 24,3", "tiles_rice32.fits"}};
      for (const auto& [stem, bytes] : plains) orvex::test::write_file(folder / (stem + ".fits.in"), bytes);
      for (const auto& run : runs) {
        const std::filesystem::path plain = folder / (std::string(run.plain) + ".fits.in");
        const std::filesystem::path out = folder / ("full_" + std::string(run.name));
        const std::string command = std::string("fpack ") + run.option + " -O '" + out.string() + "' '" + plain.string() + "'";
        if (std::system(command.c_str()) == 0) orvex::test::write_file(out, for_full(orvex::test::read_file(out)));
      }
      for (const auto& [stem, bytes] : plains) std::filesystem::remove(folder / (stem + ".fits.in"));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvex_fuzz_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
