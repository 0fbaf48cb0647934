// --where against astropy: for each expression, the filtered output is the
// unfiltered output's lines at the rows where astropy, reading the same
// file, finds the same condition true; on one thread and on several, with
// standard output unchanged and only the kept rows' "Not a Number".
//
// The table has a column of every kind --where reads, scaled columns, a
// vector, a text, logicals with undefined values, a TNULLn and NaNs, and
// enough rows (1.8 MB) for the rows to be formatted by workers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

constexpr int rows = 40000;

// The interpreter that imports astropy, or empty.
std::string astropy_python() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (std::system((std::string(python) + " -c 'import astropy.io.fits' >/dev/null 2>&1").c_str()) == 0) return python;
  }
  return {};
}

std::string read_pipe(const std::string& command) {
  std::string text;
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return text;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) text.append(chunk, n);
  pclose(p);
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at + 1));
  }
  return lines;
}

// The columns as astropy reads them, nulls as NaN: c["X"] is a float64
// array; row is the row number from 1.
const char* oracle_script = R"(
import sys, numpy as np
from astropy.io import fits
h = fits.open(sys.argv[1])[1]
d, raw = h.data, h.data.base
def num(name, null=None):
    a = np.asarray(d[name], dtype=np.float64)
    if null is not None: a[np.asarray(raw[name]) == null] = np.nan
    return a
logic = np.asarray(raw['FLAG']).astype(np.int64)
c = {'TIME': num('TIME'), 'ENERGY': num('ENERGY'), 'CCD': num('CCD_ID'), 'PI': num('PI', -1),
     'PHA': num('PHA'), 'GRADE': num('GRADE'), 'SCALED': num('SCALED'),
     'FLAG': np.where(logic == 84, 1.0, np.where(logic == 70, 0.0, np.nan)),
     'NAME': np.char.rstrip(np.asarray(d['NAME']).astype(str)),
     'VEC2': np.asarray(d['VEC'][:, 1], dtype=np.float64), 'row': np.arange(len(d)) + 1.0}
ok = lambda *xs: np.logical_and.reduce([~np.isnan(x) for x in xs])
with np.errstate(all='ignore'):
    for line in sys.stdin:
        print(''.join('1' if v else '0' for v in eval(line, {'np': np, 'ok': ok}, c)))
)";

struct oracle_case {
  const char* where;   // orvex's expression
  const char* numpy;   // the same condition over the columns above
};

const oracle_case cases[] = {
    {"ENERGY = 500:2000 && CCD_ID == 7", "ok(ENERGY) & (ENERGY >= 500) & (ENERGY <= 2000) & (CCD == 7)"},
    {"energy=:100 or energy > 9900", "ok(ENERGY) & ((ENERGY <= 100) | (ENERGY > 9900))"},
    {"PI != 3 and PI < 40", "ok(PI) & (PI != 3) & (PI < 40)"},
    {"!(PI > 5)", "~(ok(PI) & (PI > 5))"},
    {"PHA >= 300", "ok(PHA) & (PHA >= 300)"},
    {"SCALED = 110.5:111", "(SCALED >= 110.5) & (SCALED <= 111)"},
    {"GRADE % 5 == 0 && TIME < 1e3", "(np.fmod(GRADE, 5) == 0) & (TIME < 1e3)"},
    {"FLAG", "ok(FLAG) & (FLAG == 1)"},
    {"FLAG == F || !FLAG && CCD_ID > 6", "ok(FLAG) & (FLAG == 0) | ~(ok(FLAG) & (FLAG == 1)) & (CCD > 6)"},
    {"NAME == 'ab' or name = \"c d\"", "(NAME == 'ab') | (NAME == 'c d')"},
    {"NAME != 'ab' && VEC[2] > 10", "(NAME != 'ab') & (VEC2 > 10)"},
    {"abs(TIME - 500) < 30 or sqrt(ENERGY) > 99.5", "(np.abs(TIME - 500) < 30) | (ok(ENERGY) & (np.sqrt(ENERGY) > 99.5))"},
    {"min(PI, CCD_ID) == max(CCD_ID, 3)", "ok(PI) & (np.minimum(PI, CCD) == np.maximum(CCD, 3))"},
    {"#row % 97 == 1 and -ENERGY / 2 < -10", "(np.fmod(row, 97) == 1) & ok(ENERGY) & (-ENERGY / 2 < -10)"},
    {"ENERGY != 9999 && GRADE > 49000", "ok(ENERGY) & (ENERGY != 9999) & (GRADE > 49000)"},
};

TEST(where_oracle_e2e, astropy_agrees_on_every_thread_count) {
  const std::string python = astropy_python();
  if (python.empty()) GTEST_SKIP() << "no Python with astropy";
  big_endian data;
  std::vector<bool> nan_energy(rows);
  std::uint32_t seed = 12345;
  // The high bits of a linear congruential generator: its low bits repeat
  // with short periods.
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 12;
  };
  const char* names[] = {"ab", "c d", "", "ab  x", "q"};
  for (int r = 0; r < rows; ++r) {
    const float energy = next() % 10000 + 0.25f * (next() % 4);
    nan_energy[r] = next() % 50 == 0;
    data.f64(r * 0.025 + (next() % 1000) * 1e-6)
        .f32(nan_energy[r] ? NAN : energy)
        .i16(static_cast<std::int16_t>(next() % 8))
        .i32(next() % 10 == 0 ? -1 : static_cast<std::int32_t>(next() % 50))
        .u8(static_cast<std::uint8_t>(next()))
        .i64(static_cast<std::int64_t>(next() % 100000) - 50000)
        .u8(static_cast<std::uint8_t>("TF\0"[next() % 3]))
        .chars(names[next() % 5], 6)
        .i16(static_cast<std::int16_t>(next() % 30))
        .i16(static_cast<std::int16_t>(next() % 30))
        .i16(0)
        .i32(static_cast<std::int32_t>(next() % 100));
  }
  const std::string fits =
      fits_builder{}
          .empty_primary()
          .bintable({{"TTYPE1", "'TIME'"},   {"TFORM1", "'1D'"},  {"TTYPE2", "'ENERGY'"}, {"TFORM2", "'1E'"},
                     {"TTYPE3", "'CCD_ID'"}, {"TFORM3", "'1I'"},  {"TTYPE4", "'PI'"},     {"TFORM4", "'1J'"},
                     {"TNULL4", "-1"},       {"TTYPE5", "'PHA'"}, {"TFORM5", "'1B'"},     {"TSCAL5", "2"},
                     {"TZERO5", "-10"},      {"TTYPE6", "'GRADE'"}, {"TFORM6", "'1K'"},   {"TTYPE7", "'FLAG'"},
                     {"TFORM7", "'1L'"},     {"TTYPE8", "'NAME'"}, {"TFORM8", "'6A'"},    {"TTYPE9", "'VEC'"},
                     {"TFORM9", "'3I'"},     {"TTYPE10", "'SCALED'"}, {"TFORM10", "'1J'"}, {"TSCAL10", "0.5"},
                     {"TZERO10", "90"}},
                    data.bytes())
          .bytes();
  const run_result whole = run_orvex({.args = {"--no-comments", "t.fits"}, .inputs = {{"t.fits", fits}}});
  ASSERT_EQ(whole.exit_code, 0) << whole.describe();
  const std::vector<std::string> all = lines_of(whole.files.at("t.001"));
  ASSERT_EQ(all.size(), static_cast<std::size_t>(rows));

  const std::string file = (whole.folder.path() / "t.fits").string();
  const std::string script = (whole.folder.path() / "oracle.py").string();
  const std::string conditions = (whole.folder.path() / "conditions").string();
  std::ofstream(script) << oracle_script;
  {
    std::ofstream out(conditions);
    for (const oracle_case& c : cases) out << c.numpy << '\n';
  }
  const std::vector<std::string> masks = lines_of(read_pipe(python + " " + script + " " + file + " < " + conditions));
  ASSERT_EQ(masks.size(), std::size(cases));

  for (std::size_t i = 0; i < std::size(cases); ++i) {
    std::string expected;
    std::string messages;
    for (int r = 0; r < rows; ++r) {
      if (masks[i][static_cast<std::size_t>(r)] != '1') continue;
      expected += all[static_cast<std::size_t>(r)];
      if (nan_energy[r]) messages += "Not a Number\n";
    }
    // A condition that keeps every row, or none, would prove little.
    const auto kept = lines_of(expected).size();
    EXPECT_TRUE(kept > 0 && kept < all.size()) << cases[i].where << " keeps " << kept;
    for (const char* threads : {"--threads=1", "--threads=3"}) {
      const run_result r = run_orvex(
          {.args = {"--no-comments", threads, std::string("--where=") + cases[i].where, "t.fits"},
           .inputs = {{"t.fits", fits}}});
      SCOPED_TRACE(std::string(cases[i].where) + " " + threads);
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_EQ(r.out, whole.out);
      EXPECT_EQ(r.err, messages);
      EXPECT_TRUE(r.files.at("t.001") == expected) << "kept " << lines_of(r.files.at("t.001")).size() << " rows, astropy "
                                                   << lines_of(expected).size();
    }
  }
}

// An ASCII table is filtered on its fields' values as they are written:
// its rows where the condition holds, TNULLn fields false, on one thread
// and on several.
TEST(where_e2e, ascii_tables_keep_the_rows_that_hold) {
  const int n = 3000;
  std::vector<std::string> lines;
  std::vector<bool> keep;
  for (int r = 0; r < n; ++r) {
    char line[32];
    const bool null = r % 7 == 0;
    std::snprintf(line, sizeof line, "%5s %10.3E  %s", null ? "***" : std::to_string(r).c_str(), r * 0.5,
                  r % 2 == 0 ? "on " : "off");
    lines.push_back(line);
    keep.push_back(!null && r % 3 == 0 && r * 0.5 < 900 && r % 2 == 0);
  }
  const std::string fits = fits_builder{}
                               .empty_primary()
                               .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I5'"}, {"TTYPE1", "'N'"},
                                             {"TNULL1", "'***'"}, {"TBCOL2", "7"}, {"TFORM2", "'E10.3'"},
                                             {"TTYPE2", "'X'"}, {"TBCOL3", "19"}, {"TFORM3", "'A3'"},
                                             {"TTYPE3", "'S'"}},
                                            lines)
                               .bytes();
  const run_result whole = run_orvex({.args = {"--no-comments", "t.fits"}, .inputs = {{"t.fits", fits}}});
  const std::vector<std::string> all = lines_of(whole.files.at("t.001"));
  ASSERT_EQ(all.size(), static_cast<std::size_t>(n)) << whole.describe();
  // An A field is written only under --full: each row written says so, and
  // a row left out says nothing.
  std::string expected, messages;
  for (int r = 0; r < n; ++r) {
    if (!keep[static_cast<std::size_t>(r)]) continue;
    expected += all[static_cast<std::size_t>(r)];
    messages += "Unknown type A\n";
  }
  for (const char* threads : {"--threads=1", "--threads=3"}) {
    const run_result r = run_orvex({.args = {"--no-comments", threads, "--where=N % 3 == 0 && X < 900 && S == 'on'",
                                             "t.fits"},
                                    .inputs = {{"t.fits", fits}}});
    EXPECT_EQ(r.exit_code, 0) << r.describe();
    EXPECT_TRUE(r.err == messages) << threads;
    EXPECT_TRUE(r.files.at("t.001") == expected) << threads << ": kept " << lines_of(r.files.at("t.001")).size();
  }
}

}  // namespace
}  // namespace orvex::test
