// End-to-end harness: runs the built orvex binary (ORVEX_BINARY) the way a
// user does, in a fresh folder, and hands back everything the run produced so
// that a test compares all of it: standard output, standard error, the exit
// status and every file left in the folder, byte for byte.
//
//   auto r = run_orvex({.args = {"obs.fits"}, .inputs = {{"obs.fits", fits}}});
//   EXPECT_EQ(r.exit_code, 0) << r.describe();
//   auto files = r.outputs();
//   ASSERT_TRUE(strip_log_time_stamps(files, r));
//   EXPECT_TRUE(same_files(files, {{"logfile", " orvex obs.fits\n"}, {"obs.000", "!SIMPLE..."}}));
//
// Each run gets its own folder under the system temporary folder (TMPDIR or
// /tmp). The folder belongs to the run_result and is removed with it, except
// when the test has failed by then or ORVEX_KEEP_TEST_DIRS is set in the
// environment; a kept folder's path is printed on standard error.
#pragma once

#include <sys/resource.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::test {

// Files by path relative to the run's folder ("obs.000", "data/obs.fits").
using file_map = std::map<std::string, std::string>;

// A resource limit set in the child before orvex starts (setrlimit, soft and
// hard limit alike). A RLIMIT_FSIZE limit also makes the child ignore
// SIGXFSZ, so that writes beyond the limit fail with EFBIG instead of
// killing the program.
struct resource_limit {
  int resource = 0;
  rlim_t value = 0;
};

struct run_options {
  // The command-line words after argv[0].
  std::vector<std::string> args{};
  // Files placed in the folder before the run; a name with '/' creates its
  // folders ("data/obs.fits.gz").
  file_map inputs{};
  // Empty folders created before the run. A folder with the name of a file
  // the program wants to create ("logfile", "obs.000") makes that open fail.
  std::vector<std::string> folders{};
  // argv[0] as the program receives it (and writes it into the logfile).
  std::string argv0 = "orvex";
  // Changes to the inherited environment: a value sets the variable,
  // std::nullopt removes it.
  std::vector<std::pair<std::string, std::optional<std::string>>> env{};
  std::vector<resource_limit> limits{};
  // Makes the folder unwritable for the run (mode 0555 once the inputs are
  // placed; a root child also loses CAP_DAC_OVERRIDE, which would ignore the
  // mode). Tests call unwritable_folder_supported() first.
  bool read_only_folder = false;
  // The child is killed after this long; the result then says timed_out.
  int timeout_seconds = 60;
  // Standard input: these bytes through a pipe, instead of /dev/null.
  std::optional<std::string> stdin_bytes{};
  // The reader of standard output goes away once it has this many bytes,
  // as `| head -c N` does.
  std::optional<std::size_t> stdout_limit{};
  // Standard output opened on this path ("/dev/full") instead of a pipe.
  std::string stdout_path{};
};

// A folder that removes itself unless the current test has failed or
// ORVEX_KEEP_TEST_DIRS is set.
class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(temp_folder&& other) noexcept;
  temp_folder& operator=(temp_folder&&) = delete;
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct run_result {
  temp_folder folder;
  bool exited = false;      // ended by exit(); exit_code is then valid
  int exit_code = -1;
  int term_signal = 0;      // the signal that ended it, 0 if none
  bool timed_out = false;   // killed by the harness after timeout_seconds
  std::string out;          // standard output
  std::string err;          // standard error
  file_map files;           // every regular file in the folder after the run
  file_map inputs;          // the inputs as placed, for outputs()
  // Wall-clock time just before the start and just after the end of the
  // run, for checking the logfile's time stamps.
  std::time_t started = 0;
  std::time_t finished = 0;

  // `files` without the inputs that the run left unchanged: what the run
  // wrote (an input that it changed is part of it).
  file_map outputs() const;
  // "exit 0" / "signal 11" / "timed out", then standard output and standard
  // error, for failure messages.
  std::string describe() const;
};

// Runs ORVEX_BINARY as described by `options` and waits for it. Standard
// input is /dev/null unless the options give its bytes. Throws std::runtime_error when the run cannot be set
// up (no folder, fork or exec failing).
run_result run_orvex(const run_options& options);

// Whether read_only_folder really keeps this process's children from
// writing (it cannot where a root child keeps CAP_DAC_OVERRIDE).
bool unwritable_folder_supported();

// Compares two sets of files: names missing or unexpected, and for each file
// that differs the first differing line, both versions shown with control
// characters escaped.
::testing::AssertionResult same_files(const file_map& actual, const file_map& expected);

// Checks that every line of a logfile text is a 19-character local time stamp
// "YYYY-MM-DD HH:MM:SS" followed by the logged words (" orvex obs.fits")
// and a line end, and removes the time stamps, so that the rest compares
// exactly. With `window`, each stamp must also lie within [first, second]
// (one second of slack either side).
::testing::AssertionResult strip_log_time_stamps(
    std::string& text, std::optional<std::pair<std::time_t, std::time_t>> window = {});

// The same for files["logfile"] after `run`: the logfile the run was given as
// an input must be left unchanged at its start; the lines after it must have
// time stamps within the run's time, and are stripped. A missing logfile is
// not checked (compare the file map to see whether one is due).
::testing::AssertionResult strip_log_time_stamps(file_map& files, const run_result& run);

// Text with control characters and non-ASCII bytes escaped (\n, \r, \t,
// \xNN), for failure messages.
std::string visible(std::string_view text);

}  // namespace orvex::test
