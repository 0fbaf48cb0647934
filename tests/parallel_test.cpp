// Batch use: many orvex runs side by side in one folder, as `xargs -P` or a
// job scheduler starts them. Each run must write exactly what it writes
// when the runs go one after another, and the shared "logfile" must end up
// with one whole line per run, never two lines run into each other.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr int input_count = 32;
constexpr int side_by_side = 8;

// Input i: a primary unit (a small image for every fourth file) and an
// event table whose row count differs from file to file, some rows long
// enough to span several blocks; every third file also has an ASCII table,
// every fifth is gzip-compressed. The names differ in their stems, so no
// two runs write the same output file.
struct input_file {
  std::string name;
  std::string bytes;
};

input_file make_input(int i) {
  fits_builder fits;
  const std::string object = "'SRC" + std::to_string(i) + "'";
  if (i % 4 == 0) {
    std::vector<std::int16_t> pixels;
    for (int p = 0; p < 12; ++p) pixels.push_back(static_cast<std::int16_t>(i * 100 + p));
    fits.image16(4, 3, pixels, {{"OBJECT", object}});
  } else {
    fits.empty_primary({{"OBJECT", object}});
  }
  const int rows = 3 + i * 37;
  big_endian data;
  for (int r = 0; r < rows; ++r) {
    data.f64(84245040.0 + i + r * 0.125).i32(i * 1000 + r).chars(r % 2 != 0 ? "src" : "bkg", 4);
  }
  fits.bintable({{"TTYPE1", "'TIME'"}, {"TFORM1", "'1D'"}, {"TUNIT1", "'s'"},
                 {"TTYPE2", "'PHA'"}, {"TFORM2", "'1J'"},
                 {"TTYPE3", "'REGION'"}, {"TFORM3", "'4A'"}, {"OBJECT", object}},
                data.bytes());
  if (i % 3 == 0) {
    fits.ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I6'"}, {"TTYPE1", "'N'"},
                      {"TBCOL2", "7"}, {"TFORM2", "'E12.5'"}, {"TTYPE2", "'FLUX'"}},
                     {"    12 1.50000E+01", "    " + std::to_string(10 + i) + " 2.25000E-03"});
  }
  char stem[16];
  std::snprintf(stem, sizeof stem, "obs%02d", i);
  if (i % 5 == 0) return {std::string(stem) + ".fits.gz", fits.gzip()};
  return {std::string(stem) + ".fits", fits.bytes()};
}

std::vector<input_file> make_inputs() {
  std::vector<input_file> inputs;
  for (int i = 0; i < input_count; ++i) inputs.push_back(make_input(i));
  return inputs;
}

// Puts the inputs into `folder` and runs orvex once per input through
// xargs with `jobs` runs at a time, each run's standard output and
// standard error going to <input>.stdout and <input>.stderr. Returns the
// exit status of xargs: 0 when every run exited with 0.
int run_batch(const fs::path& folder, const std::vector<input_file>& inputs, int jobs) {
  std::string names;
  for (const input_file& in : inputs) {
    write_file(folder / in.name, in.bytes);
    names += in.name + "\n";
  }
  write_file(folder / "inputs.list", names);
  const std::string command = "cd '" + folder.string() + "' && xargs -n 1 -P " + std::to_string(jobs) +
                              " sh -c 'exec \"$0\" \"$1\" >\"$1.stdout\" 2>\"$1.stderr\"' '" +
                              ORVEX_BINARY + "' < inputs.list";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::map<std::string, std::string> files_in(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = read_file(entry.path());
  }
  return files;
}

// Checks that `log` holds exactly one line per input, each a time stamp,
// the binary's path and the input's name, and nothing else.
::testing::AssertionResult one_line_per_run(const std::string& log, const std::vector<input_file>& inputs) {
  const std::regex line_form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (\S+) (\S+))");
  std::map<std::string, int> runs;
  std::istringstream lines(log);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    std::smatch m;
    if (!std::regex_match(line, m, line_form) || m[1] != ORVEX_BINARY) {
      return ::testing::AssertionFailure() << "logfile line " << count << " is broken: " << visible(line);
    }
    ++runs[m[2]];
  }
  if (log.empty() || log.back() != '\n') {
    return ::testing::AssertionFailure() << "logfile does not end with a line end: " << visible(log);
  }
  for (const input_file& in : inputs) {
    if (runs[in.name] != 1) {
      return ::testing::AssertionFailure() << "logfile has " << runs[in.name] << " lines for " << in.name;
    }
  }
  if (count != static_cast<int>(inputs.size())) {
    return ::testing::AssertionFailure() << "logfile has " << count << " lines for " << inputs.size() << " runs";
  }
  return ::testing::AssertionSuccess();
}

TEST(ParallelRuns, EightSideBySideWriteWhatOneAtATimeWrites) {
  const std::vector<input_file> inputs = make_inputs();
  temp_folder one_at_a_time;
  temp_folder side_by_side_folder;

  ASSERT_EQ(run_batch(one_at_a_time.path(), inputs, 1), 0) << "the runs one after another failed";
  ASSERT_EQ(run_batch(side_by_side_folder.path(), inputs, side_by_side), 0) << "a run side by side failed";

  std::map<std::string, std::string> expected = files_in(one_at_a_time.path());
  std::map<std::string, std::string> actual = files_in(side_by_side_folder.path());

  // The runs one after another are the reference: make sure they decoded
  // something, so that two empty folders cannot pass.
  for (const input_file& in : inputs) {
    const std::string stem = in.name.substr(0, in.name.rfind('.'));
    EXPECT_TRUE(expected.count(stem + ".000") && expected.count(stem + ".001"))
        << in.name << " gave no " << stem << ".000 and .001 one at a time";
    EXPECT_EQ(expected[in.name + ".stderr"], "") << in.name;
  }
  EXPECT_TRUE(one_line_per_run(expected["logfile"], inputs)) << "one at a time";
  EXPECT_TRUE(one_line_per_run(actual["logfile"], inputs)) << "side by side";
  expected.erase("logfile");
  actual.erase("logfile");

  EXPECT_TRUE(same_files(actual, expected));
}

}  // namespace
}  // namespace orvex::test
