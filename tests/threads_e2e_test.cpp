// Decoding on several threads writes exactly what one thread writes: every
// output file, standard output (progress figures, warnings) and standard
// error ("Not a Number", "Unknown type", the reports) byte for byte, and the
// exit status, whatever the thread count. The inputs are large enough for
// the workers to start, and hold every type letter, messages in many rows,
// variable-length arrays, and cuts and damage in the middle of the rows.
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

// A table of `rows` rows of every letter, some values NaN or infinite, an
// unknown letter, and (with `arrays`) a variable-length array column.
std::string big_table(int rows, bool arrays, std::uint64_t seed) {
  std::vector<card> cards{
      {"TTYPE1", "'TIME'"}, {"TFORM1", "'1D'"},  {"TTYPE2", "'X'"},    {"TFORM2", "'2E'"},
      {"TTYPE3", "'PHA'"},  {"TFORM3", "'1J'"},  {"TTYPE4", "'PI'"},   {"TFORM4", "'1I'"},
      {"TZERO4", "32768"},  {"TTYPE5", "'G'"},   {"TFORM5", "'1B'"},   {"TTYPE6", "'F'"},
      {"TFORM6", "'1L'"},   {"TTYPE7", "'S'"},   {"TFORM7", "'6A'"},   {"TTYPE8", "'ST'"},
      {"TFORM8", "'12X'"},  {"TTYPE9", "'K'"},   {"TFORM9", "'1K'"},   {"TTYPE10", "'Z'"},
      {"TFORM10", "'1C'"},  {"TTYPE11", "'W'"},  {"TFORM11", "'1M'"},  {"TTYPE12", "'ODD'"},
      {"TFORM12", "'1F'"},  {"TTYPE13", "'E'"},  {"TFORM13", "'1E'"},  {"TDISP13", "'G12.4'"},
      // Scaled and unsigned integers, names alike in their first 19
      // characters, strings of a TDIM.
      {"TTYPE14", "'HOUSEKEEPING TEMPERATURE A'"}, {"TFORM14", "'1I'"}, {"TSCAL14", "0.01"},
      {"TTYPE15", "'HOUSEKEEPING TEMPERATURE B'"}, {"TFORM15", "'1J'"}, {"TZERO15", "2147483648"},
      {"TTYPE16", "'U64'"}, {"TFORM16", "'1K'"}, {"TZERO16", "9223372036854775808"},
      {"TTYPE17", "'NAMES'"}, {"TFORM17", "'9A'"}, {"TDIM17", "'(3,3)'"},
  };
  if (arrays) {
    cards.push_back({"TTYPE18", "'MATRIX'"});
    cards.push_back({"TFORM18", "'1PE(4)'"});
  }
  std::mt19937_64 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
  std::string data, heap;
  for (int r = 0; r < rows; ++r) {
    big_endian row;
    row.f64(1.2e8 + r * 0.01 + std::ldexp(static_cast<double>(rng() >> 12), -52));
    row.f32_bits(pick(500) == 0 ? 0x7FC00000U : static_cast<std::uint32_t>(rng() >> 33));
    row.f32(static_cast<float>(pick(8192)) * 0.125f);
    row.i32(pick(4096)).i16(static_cast<std::int16_t>(pick(65536) - 32768)).u8(static_cast<std::uint8_t>(pick(256)));
    row.raw(std::string(1, "TF\0"[pick(3)])).chars(std::string(static_cast<std::size_t>(pick(7)), 'a'), 6);
    row.u8(static_cast<std::uint8_t>(pick(256))).u8(static_cast<std::uint8_t>(pick(256)));
    row.i64(static_cast<std::int64_t>(rng()));
    row.f32(1.5f).f32_bits(pick(300) == 0 ? 0xFF800000U : 0x3F800000U);
    row.f64_bits(pick(400) == 0 ? 0xFFFFFFFFFFFFFFFFULL : rng()).f64(-2.5);
    row.raw("?");
    row.f32(static_cast<float>(pick(100000)) / 7.0f);
    row.i16(static_cast<std::int16_t>(pick(65536) - 32768)).i32(static_cast<std::int32_t>(rng()));
    row.i64(static_cast<std::int64_t>(rng())).chars(std::string(static_cast<std::size_t>(pick(10)), 'n'), 9);
    if (arrays) {
      const int n = pick(5);
      row.i32(n).i32(static_cast<std::int32_t>(heap.size()));
      for (int i = 0; i < n; ++i) heap += big_endian{}.f32(static_cast<float>(pick(1000)) * 1e-3f).bytes();
    }
    data += row.bytes();
  }
  table_shape shape{.naxis1 = static_cast<std::int64_t>(data.size() / static_cast<std::size_t>(rows)),
                    .naxis2 = rows};
  if (arrays) shape.pcount = static_cast<std::int64_t>(heap.size());
  return fits_builder{}
      .empty_primary()
      .bintable(cards, data + heap, shape)
      .bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(7).i32(8).bytes())
      .bytes();
}

// Outputs of a run without the logfile, whose time stamp differs.
file_map written(const run_result& r) {
  file_map files = r.outputs();
  files.erase("logfile");
  return files;
}

// The inputs, built once per process and shared by the cases below.
struct inputs {
  static constexpr int rows = 20000;  // about 1.6 MB of rows: enough for the workers to start
  std::string plain = big_table(rows, false, 1);
  std::string with_arrays = big_table(rows, true, 2);
  std::string gz = gzip(plain);
  // Images of --full, each over a megabyte: a float cube, a 64-bit image
  // extension.
  std::string images = [] {
    big_endian floats, longs;
    for (int i = 0; i < 512 * 600; ++i) floats.f32(i % 997 == 0 ? -0.0f : static_cast<float>(i) / 3.0f);
    for (int i = 0; i < 64 * 2100; ++i) longs.i64(static_cast<std::int64_t>(i) * 1000003 - 7);
    return fits_builder{}.image(-32, {512, 300, 2}, floats.bytes()).image_extension(64, {64, 2100}, longs.bytes()).bytes();
  }();

  static const inputs& get() {
    static const inputs built;
    return built;
  }
};

struct input_case {
  const char* name;
  std::string (*bytes)(const inputs&);
  std::vector<std::string> options;
};

// One case per test, so that the sharded sanitizer runs can spread them:
// each runs orvex five times over a megabyte or more.
const input_case input_cases[] = {
    {"every_letter", [](const inputs& in) { return in.plain; }, {}},
    {"every_letter_gzip", [](const inputs& in) { return in.gz; }, {}},
    {"every_letter_bzip2", [](const inputs& in) { return bzip2(in.plain); }, {}},
    {"every_letter_xz", [](const inputs& in) { return xz(in.plain); }, {}},
    {"every_letter_compress", [](const inputs& in) { return unix_compress(in.plain).value_or(in.plain); }, {}},
    {"a_column_list", [](const inputs& in) { return in.plain; }, {"--col-name=W,ODD,X,X,TIME"}},
    {"whole_names_without_regard_to_case_exact", [](const inputs& in) { return in.plain; },
     {"--exact", "--col-name=housekeeping temperature b,HOUSEKEEPING TEMPERATURE A,NAMES,U64"}},
    {"the_table_not_written", [](const inputs& in) { return in.plain; }, {"-p", "2"}},
    {"variable_length_arrays", [](const inputs& in) { return in.with_arrays; }, {}},
    {"arrays_not_written", [](const inputs& in) { return in.with_arrays; }, {"-p", "0"}},
    {"exact_csv", [](const inputs& in) { return in.plain; }, {"--exact", "--csv"}},
    {"ecsv_with_nulls_marked", [](const inputs& in) { return in.plain; }, {"--ecsv", "--null=NULL"}},
    {"ecsv_of_arrays", [](const inputs& in) { return in.with_arrays; }, {"--ecsv"}},
    {"arrays_as_exact_text_onto_standard_output", [](const inputs& in) { return in.with_arrays; },
     {"--exact", "-o", "-"}},
    {"cut_inside_the_rows", [](const inputs& in) { return in.plain.substr(0, in.plain.size() / 2 + 7); }, {}},
    {"arrays_cut_inside_the_heap",
     [](const inputs& in) { return in.with_arrays.substr(0, in.with_arrays.size() - 9000); }, {}},
    {"gzip_cut_in_the_middle", [](const inputs& in) { return in.gz.substr(0, in.gz.size() / 2); }, {}},
    {"a_filter_and_row_ranges", [](const inputs& in) { return in.plain; },
     {"--where=PHA % 3 == 1 || F", "--rows=3-900,5000-"}},
    {"a_filter_on_a_table_with_arrays", [](const inputs& in) { return in.with_arrays; },
     {"--where=S != 'aaa' && PHA < 2000"}},
    {"row_ranges_cut_inside_the_rows", [](const inputs& in) { return in.plain.substr(0, in.plain.size() / 2 + 7); },
     {"--rows=10-20,20000-"}},
    {"image_lines_chosen_under_full", [](const inputs& in) { return in.images; }, {"--full", "--rows=7,100-"}},
    {"images_under_full", [](const inputs& in) { return in.images; }, {"--full"}},
    {"images_cut_under_full", [](const inputs& in) { return in.images.substr(0, in.images.size() / 2 + 5); },
     {"--full"}},
    {"gzip_damaged_in_the_middle",
     [](const inputs& in) {
       std::string d = in.gz;
       for (std::size_t i = d.size() / 2; i < d.size() / 2 + 64; ++i) d[i] = static_cast<char>(d[i] ^ 0x5A);
       return d;
     },
     {}},
};

class Threads : public testing::TestWithParam<input_case> {};

TEST_P(Threads, EveryThreadCountWritesWhatOneThreadWrites) {
  const input_case& in = GetParam();
  const std::string bytes = in.bytes(inputs::get());
  std::vector<std::string> args = in.options;
  args.push_back("--threads=1");
  args.push_back("t.fits");
  const run_result one = run_orvex({.args = args, .inputs = {{"t.fits", bytes}}});
  ASSERT_TRUE(one.exited) << one.describe();
  for (const char* threads : {"--threads=2", "--threads=3", "--threads=8", "--threads=0"}) {
    args[args.size() - 2] = threads;
    const run_result many = run_orvex({.args = args, .inputs = {{"t.fits", bytes}}});
    ASSERT_TRUE(many.exited) << threads << ": " << many.describe();
    EXPECT_EQ(many.exit_code, one.exit_code) << threads;
    EXPECT_EQ(visible(many.out), visible(one.out)) << threads;
    EXPECT_EQ(visible(many.err), visible(one.err)) << threads;
    EXPECT_TRUE(same_files(written(many), written(one))) << threads;
  }
}

INSTANTIATE_TEST_SUITE_P(cases, Threads, testing::ValuesIn(input_cases),
                         [](const testing::TestParamInfo<input_case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvex::test
