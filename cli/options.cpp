#include "cli/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/orvex_version.h"
#include "select/chosen.h"
#include "util/failure.h"
#include "util/settings.h"

namespace orvex::cli {
namespace {

constexpr int opt_part = 'p';
constexpr int opt_col_name = 256;
constexpr int opt_rosat = 257;
constexpr int opt_chandra = 258;
constexpr int opt_threads = 259;
constexpr int opt_output_dir = 'o';
constexpr int opt_csv = 260;
constexpr int opt_version = 261;
constexpr int opt_rows = 262;
constexpr int opt_where = 263;
constexpr int opt_null = 264;
constexpr int opt_ecsv = 265;

// An option error of a value: the message, then status 1.
[[noreturn]] void bad_value(const char* option, const std::string& what) {
  failure::report(option, what);
  std::exit(1);
}

void set_preset(const char* const (&names)[7], int is_rosat) {
  myvec.assign(std::begin(names), std::end(names));
  col_name_list.clear();
  rosat = is_rosat;
  chandra = !is_rosat;
  flag_all = 0;
}

// atoi() of the -p argument, saturated to the 32-bit range so that the +1
// of the ordinal cannot overflow.
int part_ordinal(const char* text) {
  long long n = std::strtoll(text, nullptr, 10);
  if (n > 2147483646LL) n = 2147483646LL;
  if (n < -2147483648LL) n = -2147483648LL;
  return static_cast<int>(n + 1);
}

}  // namespace

bool thread_count(const char* text, int& count) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || n < 0 || n > 1024) return false;
  count = static_cast<int>(n);
  return true;
}

const option long_opts[] = {
    {"debug", no_argument, &debug, 100},
    {"no-comments", no_argument, &no_comments, 1},
    {"header", no_argument, &header, 104},
    {"part", required_argument, nullptr, opt_part},
    {"col-name", required_argument, nullptr, opt_col_name},
    {"rosat", no_argument, nullptr, opt_rosat},
    {"chandra", no_argument, nullptr, opt_chandra},
    {"quiet", no_argument, &quiet, 113},
    {"silent", no_argument, &quiet, 113},
    {"help", no_argument, nullptr, '?'},
    {"threads", required_argument, nullptr, opt_threads},
    {"full", no_argument, &full, 1},
    // None of these begins like one of the ten above, so that every prefix
    // that selected one of them still does.
    {"output-dir", required_argument, nullptr, opt_output_dir},
    {"exact", no_argument, &exact, 1},
    {"csv", no_argument, nullptr, opt_csv},
    {"list", no_argument, &list_parts, 1},
    {"version", no_argument, nullptr, opt_version},
    // "no-logfile" begins like "no-comments": the entries below keep the
    // prefixes --n, --no and --no- selecting --no-comments.
    {"no-logfile", no_argument, &no_logfile, 1},
    {"whole-name", no_argument, &whole_name, 1},
    {"rows", required_argument, nullptr, opt_rows},
    {"where", required_argument, nullptr, opt_where},
    {"null", required_argument, nullptr, opt_null},
    {"ecsv", no_argument, nullptr, opt_ecsv},
    // "--r" and "--ro" selected --rosat before --rows was there, and still
    // do: getopt_long takes a whole name before any prefix.
    {"r", no_argument, nullptr, opt_rosat},
    {"ro", no_argument, nullptr, opt_rosat},
    {nullptr, 0, nullptr, 0},
};

namespace {

// Prefixes of the first ten long options that a later option made
// ambiguous, as entries of their own: getopt_long takes an exact name
// before any prefix. They are no options of their own, and so not in
// long_opts.
constexpr option prefix_entries[] = {
    {"n", no_argument, &no_comments, 1},
    {"no", no_argument, &no_comments, 1},
    {"no-", no_argument, &no_comments, 1},
};

std::vector<option> make_parser_opts() {
  std::vector<option> all;
  for (const option* o = long_opts; o->name != nullptr; ++o) all.push_back(*o);
  all.insert(all.end(), std::begin(prefix_entries), std::end(prefix_entries));
  all.push_back({nullptr, 0, nullptr, 0});
  return all;
}

// getopt_long returns '?' for -? and for every option error alike. An
// error sets optopt (to the letter, to the option's value, or to 0), -?
// leaves it alone, and --help is found as a long option, which sets the
// index. So optopt is given a value no error gives it (the letter \x01,
// as an unknown letter that nobody types), through getopt_long itself,
// which keeps its own copy: a '?' that leaves it there is a request for
// the help.
constexpr int untouched_optopt = 1;

void mark_optopt() {
  char program[] = "orvex";
  char word[] = {'-', static_cast<char>(untouched_optopt), '\0'};
  char* argv[] = {program, word, nullptr};
  const int saved = opterr;
  opterr = 0;
  optind = 0;
  getopt_long(2, argv, short_opts, long_opts, nullptr);
  opterr = saved;
}

}  // namespace

const option* parser_opts() {
  static const std::vector<option> all = make_parser_opts();
  return all.data();
}

void add_column_list(const char* list) {
  const char* p = list;
  while (*p != '\0') {
    const char* comma = std::strchr(p, ',');
    std::size_t len = comma != nullptr ? static_cast<std::size_t>(comma - p) : std::strlen(p);
    if (len != 0) {
      myvec.emplace_back(p, len);
      col_name_list.emplace_back(p, len);
    }
    p += len;
    if (*p == ',') ++p;
  }
  flag_all = 0;
}

int parse_options(int argc, char** argv) {
  // File names may stand between the options whatever the environment
  // says: with POSIXLY_CORRECT set, getopt_long would stop at the first
  // file name and take the options after it for file names.
  unsetenv("POSIXLY_CORRECT");
  mark_optopt();
  optind = 0;  // a fresh parse, also when called more than once
  select::reset_chosen();
  for (;;) {
    int index = -1;
    int c = getopt_long(argc, argv, short_opts, parser_opts(), &index);
    switch (c) {
      case -1:
        return optind;
      case 0:
        break;
      case 'd':
      case 'D':
        debug = 1;
        break;
      case 'h':
      case 'H':
        header = 1;
        break;
      case 'p':
      case 'P':
        // One number reads as it always did; anything else is a list of
        // part numbers and names.
        if (select::part_choice::single_number(optarg)) {
          part = part_ordinal(optarg);
          select::parts = select::part_choice{};
        } else {
          part = -1;
          select::parts = select::part_choice::parse(optarg);
        }
        break;
      case opt_col_name:
        add_column_list(optarg);
        break;
      case opt_rosat:
        set_preset(rosat_columns, 1);
        break;
      case opt_chandra:
        set_preset(chandra_columns, 0);
        break;
      case opt_threads:
        if (!thread_count(optarg, threads)) {
          bad_value("--threads", std::string("not a number of threads (0 for every core, or 1 or more): ") + optarg);
        }
        break;
      case opt_output_dir:
        // "-" is standard output; a later -o replaces an earlier one.
        to_stdout = std::strcmp(optarg, "-") == 0 ? 1 : 0;
        if (to_stdout != 0) {
          output_dir.reset();
        } else {
          output_dir.emplace(optarg);
        }
        break;
      case opt_csv:
        // A CSV file has no comment lines, and so no heading lines either:
        // its header record names the columns.
        csv = 1;
        no_comments = 1;
        break;
      case opt_rows: {
        std::string error;
        select::rows = select::row_ranges::parse(optarg, error);
        if (!select::rows) bad_value("--rows", error);
        break;
      }
      case opt_where: {
        std::string error;
        select::where = select::parse_filter(optarg, error);
        if (!select::where) bad_value("--where", error);
        break;
      }
      case opt_null:
        null_text = optarg;
        break;
      case opt_ecsv:
        // ECSV is CSV under a YAML header: every CSV rule holds, and the
        // header takes the place of comment lines.
        ecsv = 1;
        csv = 1;
        no_comments = 1;
        break;
      case opt_version:
        version();
      case '?':
        // --help and -? ask for the help; an option error is a failure.
        usage(argv[0], 1, index != -1 || optopt == untouched_optopt ? 0 : 1);
      default:
        usage(argv[0], 1, 1);
    }
  }
}

std::string program_name(const char* path) {
  const char* name = path;
  if (const char* bs = std::strrchr(path, '\\')) {
    name = bs + 1;
  } else if (const char* sl = std::strrchr(path, '/')) {
    name = sl + 1;
  }
  return std::string(name, std::strcspn(name, "."));
}

void usage(char* program, int full_help, int status) {
  std::string name = program_name(program != nullptr ? program : "");
  std::printf("Usage: %s [OPTION] file ....\n", name.c_str());
  if (full_help == 0) {
    std::printf("Try `%s --help' for more information.\n", name.c_str());
  } else {
    std::fputs(
        "\n"
        "Decodes a FITS file.\n"
        "\n"
        " -h, --header             Includes header info in decoded file\n"
        " -p, --part=#,NAME,...    Decode only these parts (numbers, EXTNAMEs)\n"
        "     --no-comments        No comments in files\n"
        "     --col-name=col1,...  Select columns by name and in order\n"
        "     --rosat              Select columns for rosat\n"
        "     --chandra            Select columns for chandra\n"
        "     --threads=N          Decode tables on N threads (default: every core)\n"
        "     --full               Decode every image and every ASCII-table field\n"
        " -o, --output-dir=DIR     Write the files into DIR, - for standard output\n"
        "     --exact              Write floating values as their shortest exact text\n"
        "     --csv                Write tables as CSV files\n"
        "     --ecsv               Write tables as ECSV files, with types and units\n"
        "     --list               List the parts of each file, decode nothing\n"
        "     --rows=LIST          Write only these rows of tables (5,10-20,1000-)\n"
        "     --where=EXPR         Write only the table rows where EXPR holds\n"
        "     --null=TEXT          Write every null value of a table as TEXT\n"
        "     --version            Print the version and exit\n"
        "     --no-logfile         Append no line to the logfile\n"
        "     --whole-name         Name the files after the whole input file name\n"
        "\n",
        stdout);
    std::printf("%s\n%s\n%s\n", Version, Copyright, Bugs);
  }
  std::exit(status);
}

void version() {
  std::printf("%s\n", Version);
  std::exit(0);
}

extern "C" void MyHandler(int) { signal_count = signal_count + 1; }

}  // namespace orvex::cli
