// The option parse into the run settings (GNU permutation, "--", long-name
// prefixes, later options overriding earlier ones, the column list and the
// presets), the program name of the usage line, and the SIGFPE counter.
// Option errors, usage and help end the process; the end-to-end tests cover
// them with their texts and exit statuses.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "util/settings.h"

namespace orvex::cli {
namespace {

using names = std::vector<std::string>;

const names rosat_list{"X", "Y", "PHA", "PI", "TIME", "DETX", "DETY"};
const names chandra_list{"x", "y", "pha", "pi", "time", "detx", "dety"};

// The run settings after a parse, and the words left as file names.
struct parsed {
  int debug = 0;
  int header = 0;
  int no_comments = 0;
  int quiet = 0;
  int part = -1;
  int flag_all = 1;
  int rosat = 0;
  int chandra = 0;
  int full = 0;
  names myvec = {};
  names files = {};
  names argv = {};  // the argument vector as the parse leaves it, argv[0] first
  std::optional<std::string> output_dir = {};
  int to_stdout = 0;
  int exact = 0;
  int csv = 0;
  int ecsv = 0;
  int list_parts = 0;
  int no_logfile = 0;
  int whole_name = 0;

  bool operator==(const parsed&) const = default;
};

std::string join(const names& words) {
  std::string s;
  for (const std::string& w : words) s += "[" + w + "]";
  return s;
}

std::ostream& operator<<(std::ostream& os, const parsed& p) {
  return os << "debug " << p.debug << ", header " << p.header << ", no_comments " << p.no_comments
            << ", quiet " << p.quiet << ", part " << p.part << ", flag_all " << p.flag_all
            << ", rosat " << p.rosat << ", chandra " << p.chandra << ", full " << p.full << ", myvec " << join(p.myvec)
            << ", files " << join(p.files) << ", argv " << join(p.argv) << ", output_dir " << p.output_dir.value_or("(none)")
            << ", to_stdout " << p.to_stdout << ", exact " << p.exact << ", csv " << p.csv << ", ecsv " << p.ecsv << ", list_parts "
            << p.list_parts << ", no_logfile " << p.no_logfile << ", whole_name " << p.whole_name;
}

parsed parse(const names& args) {
  reset_settings();
  names words{"orvex"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  const int first = parse_options(argc, argv.data());
  parsed p{debug, header, no_comments, quiet, part, flag_all, rosat, chandra, full, myvec, {}, {}};
  for (int i = first; i < argc; ++i) p.files.emplace_back(argv[static_cast<std::size_t>(i)]);
  for (int i = 0; i < argc; ++i) p.argv.emplace_back(argv[static_cast<std::size_t>(i)]);
  p.output_dir = output_dir;
  p.to_stdout = to_stdout;
  p.exact = exact;
  p.csv = csv;
  p.ecsv = ecsv;
  p.list_parts = list_parts;
  p.no_logfile = no_logfile;
  p.whole_name = whole_name;
  reset_settings();
  return p;
}

struct option_case {
  names args;
  parsed expected;  // argv left empty: the words stay in their order
};

class options : public ::testing::Test {
 protected:
  static void check(const std::vector<option_case>& cases) {
    for (const option_case& c : cases) {
      SCOPED_TRACE("orvex " + join(c.args));
      parsed expected = c.expected;
      if (expected.argv.empty()) {
        expected.argv = {"orvex"};
        expected.argv.insert(expected.argv.end(), c.args.begin(), c.args.end());
      }
      EXPECT_EQ(parse(c.args), expected);
    }
  }
};

TEST_F(options, flags_and_the_values_they_store) {
  check({
      {{"obs.fits"}, {.files = {"obs.fits"}}},
      {{"-d", "f"}, {.debug = 1, .files = {"f"}}},
      {{"-D", "f"}, {.debug = 1, .files = {"f"}}},
      {{"--debug", "f"}, {.debug = 100, .files = {"f"}}},
      {{"-h", "f"}, {.header = 1, .files = {"f"}}},
      {{"-H", "f"}, {.header = 1, .files = {"f"}}},
      {{"--header", "f"}, {.header = 104, .files = {"f"}}},
      {{"--no-comments", "f"}, {.no_comments = 1, .files = {"f"}}},
      {{"--quiet", "f"}, {.quiet = 113, .files = {"f"}}},
      {{"--silent", "f"}, {.quiet = 113, .files = {"f"}}},
      {{"-dh", "f"}, {.debug = 1, .header = 1, .files = {"f"}}},
      {{"-Hd", "--no-comments", "--silent", "a", "b"},
       {.debug = 1, .header = 1, .no_comments = 1, .quiet = 113, .files = {"a", "b"}}},
      {{}, {}},
      {{"-d"}, {.debug = 1}},
  });
}

TEST_F(options, part_stores_its_argument_plus_one) {
  check({
      {{"-p", "0", "f"}, {.part = 1, .files = {"f"}}},
      {{"-p0", "f"}, {.part = 1, .files = {"f"}}},
      {{"-p", "2", "f"}, {.part = 3, .files = {"f"}}},
      {{"-P", "2", "f"}, {.part = 3, .files = {"f"}}},
      {{"-P2", "f"}, {.part = 3, .files = {"f"}}},
      {{"--part=2", "f"}, {.part = 3, .files = {"f"}}},
      {{"--part", "2", "f"}, {.part = 3, .files = {"f"}}},
      {{"-p", "-1", "f"}, {.part = 0, .files = {"f"}}},
      {{"-p", "-2", "f"}, {.part = -1, .files = {"f"}}},
      // A word that is not wholly a number is a part name (select/part_choice),
      // and leaves the part number alone.
      {{"-p", "x", "f"}, {.part = -1, .files = {"f"}}},
      {{"-p", "", "f"}, {.part = 1, .files = {"f"}}},
      {{"-p", "3x", "f"}, {.part = -1, .files = {"f"}}},
      {{"-p", " 7", "f"}, {.part = 8, .files = {"f"}}},
      {{"-p", "+5", "f"}, {.part = 6, .files = {"f"}}},
      {{"--part=999", "f"}, {.part = 1000, .files = {"f"}}},
      {{"-p", "2147483646", "f"}, {.part = 2147483647, .files = {"f"}}},
      {{"-p", "-2147483648", "f"}, {.part = -2147483647, .files = {"f"}}},
      // The argument of -p is the next word, even when it looks like an option.
      {{"-p", "-d", "f"}, {.part = -1, .files = {"f"}}},
      {{"-pd", "f"}, {.part = -1, .files = {"f"}}},
  });
}

TEST_F(options, later_options_overwrite_earlier_ones) {
  check({
      {{"-p", "1", "-p", "3", "f"}, {.part = 4, .files = {"f"}}},
      {{"--part=5", "-P", "0", "f"}, {.part = 1, .files = {"f"}}},
      {{"--debug", "-d", "f"}, {.debug = 1, .files = {"f"}}},
      {{"-d", "--debug", "f"}, {.debug = 100, .files = {"f"}}},
      {{"--header", "-h", "f"}, {.header = 1, .files = {"f"}}},
  });
}

TEST_F(options, file_names_are_moved_behind_the_options) {
  check({
      {{"obs.fits", "-d"}, {.debug = 1, .files = {"obs.fits"}, .argv = {"orvex", "-d", "obs.fits"}}},
      {{"a", "-p", "2", "b"},
       {.part = 3, .files = {"a", "b"}, .argv = {"orvex", "-p", "2", "a", "b"}}},
      {{"a", "--col-name=X,Y", "b", "-h"},
       {.header = 1,
        .flag_all = 0,
        .myvec = {"X", "Y"},
        .files = {"a", "b"},
        .argv = {"orvex", "--col-name=X,Y", "-h", "a", "b"}}},
      {{"a", "--part", "0", "b"},
       {.part = 1, .files = {"a", "b"}, .argv = {"orvex", "--part", "0", "a", "b"}}},
  });
}

// POSIXLY_CORRECT would make getopt_long stop at the first file name.
TEST_F(options, file_names_are_moved_whatever_the_environment_says) {
  setenv("POSIXLY_CORRECT", "1", 1);
  check({
      {{"obs.fits", "-p", "0"}, {.part = 1, .files = {"obs.fits"}, .argv = {"orvex", "-p", "0", "obs.fits"}}},
  });
  unsetenv("POSIXLY_CORRECT");
}

TEST_F(options, double_dash_ends_the_options) {
  check({
      {{"--", "-d"}, {.files = {"-d"}}},
      {{"-d", "--", "-h", "f"}, {.debug = 1, .files = {"-h", "f"}}},
      {{"a", "--", "-h"}, {.files = {"a", "-h"}, .argv = {"orvex", "--", "a", "-h"}}},
      {{"-p", "--", "f"}, {.part = -1, .files = {"f"}}},  // "--" as the argument of -p: a name
      {{"--"}, {}},
      // A lone "-" is a file name.
      {{"-", "-d"}, {.debug = 1, .files = {"-"}, .argv = {"orvex", "-d", "-"}}},
  });
}

TEST_F(options, long_names_may_be_shortened_to_unambiguous_prefixes) {
  check({
      {{"--d", "f"}, {.debug = 100, .files = {"f"}}},
      {{"--deb", "f"}, {.debug = 100, .files = {"f"}}},
      {{"--hea", "f"}, {.header = 104, .files = {"f"}}},
      {{"--no", "f"}, {.no_comments = 1, .files = {"f"}}},
      {{"--pa=4", "f"}, {.part = 5, .files = {"f"}}},
      {{"--p", "4", "f"}, {.part = 5, .files = {"f"}}},
      {{"--co=A", "f"}, {.flag_all = 0, .myvec = {"A"}, .files = {"f"}}},
      {{"--ch", "f"}, {.flag_all = 0, .chandra = 1, .myvec = chandra_list, .files = {"f"}}},
      {{"--r", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--ro", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--ros", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--q", "f"}, {.quiet = 113, .files = {"f"}}},
      {{"--s", "f"}, {.quiet = 113, .files = {"f"}}},
      {{"--f", "f"}, {.full = 1, .files = {"f"}}},
      {{"--full", "-d", "f"}, {.debug = 1, .full = 1, .files = {"f"}}},
  });
}

TEST_F(options, output_and_text_options) {
  check({
      {{"-o", "out", "f"}, {.files = {"f"}, .output_dir = "out"}},
      {{"-oout", "--output-dir", "x y", "f"}, {.files = {"f"}, .output_dir = "x y"}},
      {{"--ou=-", "f"}, {.files = {"f"}, .to_stdout = 1}},
      {{"-o", "-", "-o", "out", "f"}, {.files = {"f"}, .output_dir = "out"}},
      {{"-o", "", "f"}, {.files = {"f"}, .output_dir = ""}},
      {{"-o", "out", "-o", "-", "-"}, {.files = {"-"}, .to_stdout = 1}},
      {{"--ex", "--cs", "--li", "f"}, {.no_comments = 1, .files = {"f"}, .exact = 1, .csv = 1, .list_parts = 1}},
      {{"--no-l", "--who", "f"}, {.files = {"f"}, .no_logfile = 1, .whole_name = 1}},
      {{"--no-", "f"}, {.no_comments = 1, .files = {"f"}}},
      {{"--ec", "f"}, {.no_comments = 1, .files = {"f"}, .csv = 1, .ecsv = 1}},
  });
}

// Options added later must leave every prefix that selected one of the
// first ten long options selecting it. The ten and their prefixes are
// listed here, not taken from the table: getopt_long is asked which entry
// each unambiguous prefix of today's names picks.
TEST(option_prefixes, every_prefix_of_the_first_ten_still_selects_its_option) {
  const names first_ten{"debug", "no-comments", "header", "part", "col-name",
                        "rosat", "chandra", "quiet", "silent", "help"};
  int checked = 0;
  for (const std::string& name : first_ten) {
    for (std::size_t len = 1; len <= name.size(); ++len) {
      const std::string prefix = name.substr(0, len);
      int owners = 0;
      for (const std::string& other : first_ten) owners += other.starts_with(prefix) ? 1 : 0;
      if (owners != 1) continue;  // ambiguous among the ten already
      std::string word = "--" + prefix;
      std::string value = "1";
      char program[] = "orvex";
      std::vector<char*> argv{program, word.data(), value.data(), nullptr};
      optind = 0;
      opterr = 0;
      int index = -1;
      // --help answers '?' like an error: the entry it picked tells them apart.
      getopt_long(3, argv.data(), short_opts, parser_opts(), &index);
      opterr = 1;
      ASSERT_GE(index, 0) << word << " is not accepted";
      // The entry picked is the option itself or one that acts as it does.
      const option& picked = parser_opts()[index];
      const option* own = long_opts;
      while (own->name != nullptr && own->name != name) ++own;
      ASSERT_NE(own->name, nullptr) << name;
      EXPECT_TRUE(picked.flag == own->flag && picked.val == own->val && picked.has_arg == own->has_arg) << word;
      ++checked;
    }
  }
  reset_settings();  // the flag options stored their values
  EXPECT_EQ(checked, 55);
}

TEST_F(options, column_lists_split_at_commas) {
  check({
      {{"--col-name=TIME,,PHA,", "f"}, {.flag_all = 0, .myvec = {"TIME", "PHA"}, .files = {"f"}}},
      {{"--col-name=,", "f"}, {.flag_all = 0, .files = {"f"}}},
      {{"--col-name=", "f"}, {.flag_all = 0, .files = {"f"}}},
      {{"--col-name=,,,A", "f"}, {.flag_all = 0, .myvec = {"A"}, .files = {"f"}}},
      {{"--col-name", "A B,c ,TIME", "f"},
       {.flag_all = 0, .myvec = {"A B", "c ", "TIME"}, .files = {"f"}}},
      {{"--col-name=A", "--col-name=B", "f"}, {.flag_all = 0, .myvec = {"A", "B"}, .files = {"f"}}},
      {{"--col-name=A,A", "f"}, {.flag_all = 0, .myvec = {"A", "A"}, .files = {"f"}}},
      {{"--col-name=rate=2", "f"}, {.flag_all = 0, .myvec = {"rate=2"}, .files = {"f"}}},
  });
}

TEST_F(options, presets_and_column_lists_interplay) {
  names rosat_energy = rosat_list;
  rosat_energy.push_back("ENERGY");
  check({
      {{"--rosat", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--chandra", "f"}, {.flag_all = 0, .chandra = 1, .myvec = chandra_list, .files = {"f"}}},
      {{"--rosat", "--col-name=ENERGY", "f"},
       {.flag_all = 0, .rosat = 1, .myvec = rosat_energy, .files = {"f"}}},
      {{"--col-name=A", "--chandra", "f"},
       {.flag_all = 0, .chandra = 1, .myvec = chandra_list, .files = {"f"}}},
      {{"--rosat", "--chandra", "f"},
       {.flag_all = 0, .chandra = 1, .myvec = chandra_list, .files = {"f"}}},
      {{"--chandra", "--rosat", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--rosat", "--rosat", "f"}, {.flag_all = 0, .rosat = 1, .myvec = rosat_list, .files = {"f"}}},
      {{"--chandra", "--col-name=,", "f"},
       {.flag_all = 0, .chandra = 1, .myvec = chandra_list, .files = {"f"}}},
  });
}

TEST(program_name, is_the_last_path_component_cut_at_its_first_dot) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"orvex", "orvex"},
      {"/usr/local/bin/orvex", "orvex"},
      {"./orvex", "orvex"},
      {"../build.d/orvex", "orvex"},
      {"C:\\tools\\bin\\orvex.exe", "orvex"},
      {"C:\\tools/bin/orvex.exe", "tools/bin/orvex"},
      {"C:/tools/bin/orvex.exe", "orvex"},
      {"my.tool.exe", "my"},
      {"bin/my.tool.exe", "my"},
      {".orvex", ""},
      {"bin/", ""},
      {"bin\\", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(program_name(c.path), c.name) << "path " << c.path;
}

TEST(MyHandler, counts_sigfpe_and_returns) {
  signal_count = 0;
  auto previous = std::signal(SIGFPE, MyHandler);
  ASSERT_NE(previous, SIG_ERR);
  std::raise(SIGFPE);
  std::raise(SIGFPE);
  std::raise(SIGFPE);
  EXPECT_EQ(signal_count, 3);
  std::signal(SIGFPE, previous);
  signal_count = 0;
}

}  // namespace
}  // namespace orvex::cli

namespace orvex::cli {
namespace {

TEST(thread_count, whole_numbers_from_0_to_1024) {
  struct case_t {
    const char* text;
    bool ok;
    int count;
  };
  for (const case_t& c : {case_t{"0", true, 0}, case_t{"1", true, 1}, case_t{"8", true, 8},
                          case_t{"1024", true, 1024}, case_t{"1025", false, 0}, case_t{"-1", false, 0},
                          case_t{"", false, 0}, case_t{"2x", false, 0}, case_t{"abc", false, 0},
                          case_t{"99999999999999999999", false, 0}}) {
    int count = -7;
    EXPECT_EQ(thread_count(c.text, count), c.ok) << c.text;
    EXPECT_EQ(count, c.ok ? c.count : -7) << c.text;
  }
}

}  // namespace
}  // namespace orvex::cli
