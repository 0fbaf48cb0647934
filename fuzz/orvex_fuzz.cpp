// libFuzzer target: one input file, whatever its bytes, through the whole
// driver as a run of `orvex input.fits` handles it: the primary unit, every
// extension, the binary and ASCII row decoders, with every part written to
// <stem>.NNN files in a scratch folder. Any sanitizer report, crash, leak or
// hang is a finding; every finding becomes a case of tests/bad_input_test.cpp.
//
// Each input also chooses how it is written, from a hash of all its bytes
// (so that every mutation may try another way, and a finding replays the
// same way): --exact, --csv, --ecsv, --null=NULL and -o - in any
// combination, parsed by the program's own option parser.
//
// What the target changes before the run, and why (the product has none of
// these limits; they only keep each run short and the fuzzer alive):
//
// - An input with a column number above 199 on a TFORM, TTYPE, TUNIT, TDISP,
//   TSCAL, TZERO or TBCOL card is skipped: such a card makes the decoder
//   print "Error: To many variables" and call exit(1), which would end the
//   fuzzer. The scan looks at the decompressed bytes (what the decoder
//   reads) at every offset, not only at card starts, and reads the number
//   the way the card recognisers do (blanks, a sign, digits), so it skips
//   more inputs than strictly needed and never fewer.
// - NAXIS2 values above 1000 are rewritten to 1000 (the digits overwritten,
//   blanks after them), and TDISPn widths above 100 to 100. Either would
//   let a few bytes of input take minutes and gigabytes: rows that take no
//   bytes (a table of '0A' columns, an ASCII table with NAXIS1 = 0, an image
//   with NAXIS1 = 0) cost a line each whatever the file's size, and a
//   display width pads every value of every row. The first is a known fault
//   of the decoder, kept as a failing case in tests/bad_input_test.cpp and
//   capped here so that the fuzzer looks for others.
// - An input that decompresses to more than 4 MiB is skipped: the decoder
//   takes time in proportion to what it reads, and a compressed bomb (bzip2
//   makes 11 MiB of 600 bytes) would only slow the fuzzer down.
// - A gzip input that needs such a rewrite is decompressed, rewritten and
//   compressed again, so damage in its compressed form is lost for that
//   input; a bzip2, xz or compress input that needs one is fed as the
//   rewritten plain bytes. An input that needs none is fed as it is.
// - Output files are limited to 64 MiB (RLIMIT_FSIZE with SIGXFSZ ignored),
//   so a write past that fails and takes the write-failure path.
// - Standard output goes to /dev/null: the progress lines of every row would
//   drown libFuzzer's own output.
//
// The row choices: an input that begins with "where:" carries a --where
// expression, the bytes after it up to the first line feed, and the file
// after that line; the expression goes through the filter parser first,
// and only one that parses is given to the option parser (whose option
// error would end the fuzzer with exit(1)). A bit of the hash adds
// --rows=2-3,5-.
//
// The options: an input of odd length runs with --full (every image and
// every ASCII-table field), one of even length without, so that both the
// default and the --full paths are fuzzed and a mutation that adds or
// removes a byte crosses from one to the other.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "cli/driver.h"
#include "cli/options.h"
#include "select/chosen.h"
#include "select/filter_syntax.h"
#include "fits/stream.h"
#include "util/console.h"
#include "util/failure.h"
#include "util/settings.h"

namespace {

constexpr const char* input_name = "input.fits";
constexpr std::int64_t max_rows = 1000;
constexpr std::int64_t max_display_width = 100;
constexpr std::size_t max_decompressed = 4u << 20;
constexpr rlim_t max_output_size = 64u << 20;
constexpr int last_column = 199;

std::string scratch_folder;

bool write_whole_file(const char* path, std::string_view bytes) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// What the decoder's stream delivers for the file at `path` (every
// compressed form decoded, any other file as it is); std::nullopt when it
// is larger than max_decompressed.
std::optional<std::string> read_through_stream(const char* path) {
  orvex::fits::stream in;
  if (!in.open(path)) return std::string{};
  std::string out;
  char chunk[64 * 1024];
  for (;;) {
    int got = in.read(chunk, sizeof chunk);
    if (got <= 0) break;
    out.append(chunk, static_cast<std::size_t>(got));
    if (out.size() > max_decompressed) return std::nullopt;
  }
  return out;
}

std::string gzip_member(std::string_view data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as "%ld" reads it at `pos`: white space, a sign, digits.
// Its value is followed only as far as `limit` (which stays far below the
// 64-bit range), since the caller only asks whether it lies above that.
struct number_text {
  std::size_t begin = 0;  // the sign or first digit
  std::size_t end = 0;    // past the last digit
  bool negative = false;
  bool large = false;     // above `limit` in absolute value
};

std::optional<number_text> number_at(std::string_view s, std::size_t pos, std::int64_t limit) {
  while (pos < s.size() && is_space(s[pos])) ++pos;
  number_text n;
  n.begin = pos;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) n.negative = s[pos++] == '-';
  std::size_t digits = pos;
  std::int64_t value = 0;
  while (pos < s.size() && is_digit(s[pos])) {
    if (value <= limit) value = value * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos == digits) return std::nullopt;
  n.end = pos;
  n.large = value > limit;
  return n;
}

// Overwrites the number with `value` and blanks up to its old length.
void overwrite_number(std::string& s, const number_text& n, std::int64_t value) {
  std::string text = std::to_string(value);
  text.resize(n.end - n.begin, ' ');
  s.replace(n.begin, n.end - n.begin, text);
}

// Whether a numbered column keyword at any offset names a column above 199
// (or a number too large to read), which would end the process.
bool has_fatal_column_number(std::string_view s) {
  static constexpr std::string_view stems[] = {"TFORM", "TTYPE", "TUNIT", "TDISP", "TSCAL", "TZERO", "TBCOL"};
  for (std::string_view stem : stems) {
    for (std::size_t at = s.find(stem); at != std::string_view::npos; at = s.find(stem, at + 1)) {
      std::optional<number_text> n = number_at(s, at + stem.size(), last_column);
      if (n && !n->negative && n->large) return true;
    }
  }
  return false;
}

// The position after a run of blanks and equals signs at `pos`, or npos
// when there is no such run.
std::size_t after_run(std::string_view s, std::size_t pos) {
  std::size_t start = pos;
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '=')) ++pos;
  return pos == start ? std::string_view::npos : pos;
}

// Rewrites NAXIS2 values above max_rows and TDISPn widths above
// max_display_width. Returns whether anything changed.
bool cap_sizes(std::string& s) {
  bool changed = false;
  for (std::size_t at = s.find("NAXIS2"); at != std::string::npos; at = s.find("NAXIS2", at + 1)) {
    std::size_t value = after_run(s, at + 6);
    if (value == std::string::npos) continue;
    std::optional<number_text> n = number_at(s, value, max_rows);
    if (n && !n->negative && n->large) {
      overwrite_number(s, *n, max_rows);
      changed = true;
    }
  }
  for (std::size_t at = s.find("TDISP"); at != std::string::npos; at = s.find("TDISP", at + 1)) {
    // TDISPn = 'Fw.d': the column number, the run, the quote, the letter,
    // then the width.
    std::optional<number_text> column = number_at(s, at + 5, max_rows);
    if (!column) continue;
    std::size_t quote = after_run(s, column->end);
    if (quote == std::string::npos || quote >= s.size() || s[quote] != '\'') continue;
    std::optional<number_text> width = number_at(s, quote + 2, max_display_width);
    if (width && width->large) {
      overwrite_number(s, *width, max_display_width);
      changed = true;
    }
  }
  return changed;
}

void remove_folder_contents() {
  DIR* dir = opendir(".");
  if (dir == nullptr) return;
  while (dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) unlink(e->d_name);
  }
  closedir(dir);
}

void remove_scratch_folder() {
  if (scratch_folder.empty() || chdir(scratch_folder.c_str()) != 0) return;
  remove_folder_contents();
  if (chdir("/") == 0) rmdir(scratch_folder.c_str());
}

}  // namespace

// The scratch folder becomes the current folder before libFuzzer reads its
// arguments: relative corpus folders, inputs to replay and the artifact
// prefix are made absolute first.
void make_paths_absolute(int argc, char** argv) {
  static std::vector<std::string> absolute;
  absolute.reserve(static_cast<std::size_t>(argc));
  const std::string cwd = std::filesystem::current_path().string() + "/";
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view option;
    if (arg.starts_with("-artifact_prefix=") || arg.starts_with("-exact_artifact_path=")) {
      option = arg.substr(0, arg.find('=') + 1);
    } else if (arg.starts_with('-')) {
      continue;
    }
    std::string_view path = arg.substr(option.size());
    if (path.empty() || path.starts_with('/')) continue;
    absolute.push_back(std::string(option) + cwd + std::string(path));
    argv[i] = absolute.back().data();
  }
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  make_paths_absolute(*argc, *argv);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvex-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror("orvex_fuzz: scratch folder");
    std::abort();
  }
  scratch_folder = pattern;
  std::atexit(remove_scratch_folder);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{max_output_size, max_output_size};
  setrlimit(RLIMIT_FSIZE, &limit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> where;
  constexpr std::string_view where_mark = "where:";
  if (raw.starts_with(where_mark)) {
    const std::size_t end = raw.find('\n');
    const std::string_view expression =
        raw.substr(where_mark.size(), end == std::string_view::npos ? std::string_view::npos : end - where_mark.size());
    std::string error;
    if (!orvex::select::parse_filter(expression, error)) return 0;
    where = "--where=" + std::string(expression);
    raw = end == std::string_view::npos ? std::string_view{} : raw.substr(end + 1);
    if (where->find('\0') != std::string::npos) return 0;  // no NUL in an argument
  }
  if (!write_whole_file(input_name, raw)) std::abort();
  std::optional<std::string> content = read_through_stream(input_name);
  if (!content || has_fatal_column_number(*content)) {
    remove_folder_contents();
    return -1;  // not kept in the corpus
  }
  if (cap_sizes(*content)) {
    const bool compressed = raw.size() >= 2 && raw[0] == '\x1f' && raw[1] == '\x8b';
    if (!write_whole_file(input_name, compressed ? gzip_member(*content) : *content)) std::abort();
  }

  orvex::reset_settings();
  orvex::failure::reset();
  orvex::console::reset();
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  std::vector<char*> argv{const_cast<char*>("orvex")};
  if (size % 2 != 0) argv.push_back(const_cast<char*>("--full"));
  if (hash & 1) argv.push_back(const_cast<char*>("--exact"));
  if (hash & 2) argv.push_back(const_cast<char*>("--csv"));
  if (hash & 4) argv.insert(argv.end(), {const_cast<char*>("-o"), const_cast<char*>("-")});
  if (hash & 8) argv.push_back(const_cast<char*>("--rows=2-3,5-"));
  if (hash & 16) argv.push_back(const_cast<char*>("--null=NULL"));
  if (hash & 32) argv.push_back(const_cast<char*>("--ecsv"));
  if (where) argv.push_back(where->data());
  argv.push_back(const_cast<char*>(input_name));
  argv.push_back(nullptr);
  orvex::cli::parse_options(static_cast<int>(argv.size()) - 1, argv.data());
  if (orvex::to_stdout != 0) orvex::console::messages_to_stderr();
  orvex::select::install_row_choice();
  char* paths[] = {const_cast<char*>(input_name)};
  const orvex::cli::input_set inputs(paths, 1);
  orvex::cli::output_owners owners;
  orvex::cli::process_file(input_name, inputs, owners);
  std::fflush(stdout);
  remove_folder_contents();
  return 0;
}
