// Hostile and broken input, end to end: whatever the bytes, orvex must end in
// bounded time with a clear exit status and message, and every file it
// writes must hold only what the input really holds: no row that the file
// does not contain, no row of a part that the stream cut short, no input
// overwritten.
//
// Every case runs the real binary in a fresh folder with a 5-second limit
// and a 64 MiB file-size net (a runaway case then fails on its time or size
// instead of filling the disk), and is checked for its exit status, its
// standard error, the names of the files it wrote, and the data lines (the
// lines that are not "!" comments) of each: either their count, or that
// they agree line for line with what the intact sample gives, or both.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

constexpr int case_seconds = 5;
constexpr std::size_t max_output_bytes = 50u << 20;
constexpr rlim_t file_size_net = 64u << 20;

// ---------------------------------------------------------------------------
// The sample: a 3 x 2 16-bit primary image, a binary table of three 12-byte
// rows and an ASCII table of two 14-byte rows, each unit one header block
// and one data block, 17280 bytes in all.

constexpr std::size_t primary_header_at = 0;
constexpr std::size_t image_data_at = 2880;
constexpr std::size_t binary_header_at = 5760;
constexpr std::size_t binary_data_at = 8640;
constexpr std::size_t ascii_header_at = 11520;
constexpr std::size_t ascii_data_at = 14400;
constexpr std::size_t sample_size = 17280;

constexpr std::size_t image_line_bytes = 6;
constexpr std::size_t binary_row_bytes = 12;
constexpr std::size_t ascii_row_bytes = 14;

const std::vector<card> binary_columns{
    {"TTYPE1", "'TIME'"}, {"TFORM1", "'1J'"},
    {"TTYPE2", "'RATE'"}, {"TFORM2", "'1E'"}, {"TUNIT2", "'counts'"},
    {"TTYPE3", "'NAME'"}, {"TFORM3", "'4A'"},
};

const std::vector<card> ascii_columns{
    {"TBCOL1", "1"}, {"TFORM1", "'I4'"},    {"TTYPE1", "'CHAN'"},
    {"TBCOL2", "5"}, {"TFORM2", "'E10.3'"}, {"TTYPE2", "'FLUX'"},
};

std::string binary_rows() {
  return big_endian{}
      .i32(1).f32(0.5f).chars("AB", 4)
      .i32(2).f32(1.5f).chars("CDEF", 4)
      .i32(3).f32(-2.25f).chars("G", 4)
      .bytes();
}

const std::vector<std::string> ascii_rows{"  12-1.500E+01", "  -3 2.000E-01"};

// The sample with other column cards for the binary table (and optionally
// the ASCII table) and other rows.
std::string sample(const std::vector<card>& binary = binary_columns,
                   const std::vector<card>& ascii = ascii_columns) {
  return fits_builder{}
      .image16(3, 2, {1, 2, 3, -4, -5, -6})
      .bintable(binary, binary_rows(), {.naxis1 = 12, .naxis2 = 3})
      .ascii_table(ascii, ascii_rows)
      .bytes();
}

// Header units of the sample, by part index.
constexpr std::size_t header_at[] = {primary_header_at, binary_header_at, ascii_header_at};

// The offset of the card `keyword` in the header of part `part`; throws
// when the header has none.
std::size_t card_offset(const std::string& bytes, int part, std::string_view keyword) {
  for (std::size_t at = header_at[part]; at + card_size <= bytes.size(); at += card_size) {
    const card c(std::string_view(bytes).substr(at, card_size));
    if (c.keyword() == keyword) return at;
    if (c.keyword() == "END") break;
  }
  throw std::invalid_argument("no card " + std::string(keyword) + " in part " + std::to_string(part));
}

// The sample with one card of one header replaced.
std::string with_card(std::string bytes, int part, std::string_view keyword, const card& replacement) {
  bytes.replace(card_offset(bytes, part, keyword), card_size, replacement.text());
  return bytes;
}

std::string with_value(std::string bytes, int part, std::string_view keyword, std::string_view value) {
  return with_card(std::move(bytes), part, keyword, card(keyword, value));
}

// The sample with one more card in front of the END card of a header (the
// END card moves into the first padding card).
std::string with_added_card(std::string bytes, int part, const card& extra) {
  const std::size_t end = card_offset(bytes, part, "END");
  bytes.replace(end + card_size, card_size, raw_card("END"));
  bytes.replace(end, card_size, extra.text());
  return bytes;
}

// ---------------------------------------------------------------------------
// Looking at what a run wrote.

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t len = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(text.substr(0, len));
    text.remove_prefix(len);
  }
  return lines;
}

std::vector<std::string> data_lines(std::string_view text) {
  std::vector<std::string> rows;
  for (std::string& line : lines_of(text)) {
    if (!line.starts_with('!')) rows.push_back(std::move(line));
  }
  return rows;
}

std::vector<std::string> comment_lines(std::string_view text) {
  std::vector<std::string> comments;
  for (std::string& line : lines_of(text)) {
    if (line.starts_with('!')) comments.push_back(std::move(line));
  }
  return comments;
}

// The part number of an output name ("s.fits.002" gives "002").
std::string part_suffix(const std::string& name) { return name.substr(name.rfind('.') + 1); }

// What a run that worked wrote, by part suffix (no logfile).
std::map<std::string, std::string> parts_by_suffix(const file_map& outputs) {
  std::map<std::string, std::string> parts;
  for (const auto& [name, bytes] : outputs) {
    if (name != "logfile") parts[part_suffix(name)] = bytes;
  }
  return parts;
}

// The outputs of the intact sample: what every damaged form is held to.
const std::map<std::string, std::string>& reference_parts() {
  static const std::map<std::string, std::string> parts = [] {
    run_result r = run_orvex({.args = {"s.fits"}, .inputs = {{"s.fits", sample()}}});
    if (!r.exited || r.exit_code != 0 || !r.err.empty()) {
      throw std::runtime_error("the intact sample does not decode cleanly: " + r.describe());
    }
    return parts_by_suffix(r.outputs());
  }();
  return parts;
}

// ---------------------------------------------------------------------------
// One case and its checks.

// One expected line of standard error: the whole line, or (with `prefix`)
// its beginning, followed by at least one more character.
struct err_line {
  std::string text;
  bool prefix = false;
};

// "Unknown type " and one character: how the decoder reports a column whose
// type letter it does not read (also a column without a TFORMn card).
bool is_unknown_type_line(std::string_view line) {
  return line.size() == 15 && line.starts_with("Unknown type ") && line.ends_with('\n');
}

struct expectation {
  int exit_code = 0;
  // Standard error, exactly; or, when err_lines is set, those lines in that
  // order, with "Unknown type" lines anywhere among them when
  // unknown_types is set.
  std::string err{};
  std::optional<std::vector<err_line>> err_lines{};
  bool unknown_types = false;
  // Texts that standard output must contain.
  std::vector<std::string> out_has{};
  // The output files expected besides the logfile, each with its count of
  // data lines, or std::nullopt where the count is not checked.
  std::map<std::string, std::optional<std::size_t>> files{};
  // Whether the data lines of each output agree, as far as both go, with
  // those of the same part of the intact sample.
  bool rows_as_reference = true;
  // Files compared whole.
  file_map exact{};
  // Whether the run appends to the logfile (an unwritable folder has none).
  bool logfile = true;
};

struct bad_case {
  std::string name;
  run_options run;
  expectation expect;
};

::testing::AssertionResult err_matches(std::string_view err, const std::vector<err_line>& want,
                                       bool unknown_types) {
  std::vector<std::string> got;
  for (std::string& line : lines_of(err)) {
    if (!(unknown_types && is_unknown_type_line(line))) got.push_back(std::move(line));
  }
  auto fits = [](const std::string& line, const err_line& w) {
    if (!w.prefix) return line == w.text;
    return line.size() > w.text.size() + 1 && line.starts_with(w.text) && line.ends_with('\n');
  };
  bool ok = got.size() == want.size();
  for (std::size_t i = 0; ok && i < got.size(); ++i) ok = fits(got[i], want[i]);
  if (ok) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "standard error " << visible(err) << "\nexpected the lines";
  for (const err_line& w : want) failure << "\n    " << visible(w.text) << (w.prefix ? "..." : "");
  if (unknown_types) failure << "\n(and any \"Unknown type\" lines)";
  return failure;
}

void check_case(const bad_case& c) {
  SCOPED_TRACE(c.name);
  run_options options = c.run;
  options.timeout_seconds = case_seconds;
  options.limits.push_back({RLIMIT_FSIZE, file_size_net});
  const auto start = std::chrono::steady_clock::now();
  const run_result r = run_orvex(options);
  const auto took = std::chrono::steady_clock::now() - start;
  const expectation& e = c.expect;

  ASSERT_FALSE(r.timed_out) << c.name << ": still running after " << case_seconds << " s\n" << r.describe();
  EXPECT_LE(took, std::chrono::seconds(case_seconds)) << c.name;
  ASSERT_TRUE(r.exited) << c.name << ": " << r.describe();
  EXPECT_EQ(r.exit_code, e.exit_code) << c.name << ": " << r.describe();
  if (e.err_lines) {
    EXPECT_TRUE(err_matches(r.err, *e.err_lines, e.unknown_types)) << c.name;
  } else {
    EXPECT_EQ(visible(r.err), visible(e.err)) << c.name;
  }
  for (const std::string& text : e.out_has) {
    EXPECT_NE(r.out.find(text), std::string::npos) << c.name << ": no " << text << " in\n" << r.describe();
  }

  // Every input is left as it was.
  for (const auto& [name, bytes] : r.inputs) {
    const auto now = r.files.find(name);
    EXPECT_TRUE(now != r.files.end() && now->second == bytes) << c.name << ": input " << name << " changed";
  }

  file_map outputs = r.outputs();
  EXPECT_EQ(outputs.contains("logfile"), e.logfile) << c.name;
  outputs.erase("logfile");
  std::vector<std::string> got_names, want_names;
  for (const auto& [name, bytes] : outputs) got_names.push_back(name);
  for (const auto& [name, rows] : e.files) want_names.push_back(name);
  EXPECT_EQ(got_names, want_names) << c.name << ": output files";

  for (const auto& [name, bytes] : outputs) {
    EXPECT_LE(bytes.size(), max_output_bytes) << c.name << ": " << name;
    const std::vector<std::string> rows = data_lines(bytes);
    if (auto want = e.files.find(name); want != e.files.end() && want->second) {
      EXPECT_EQ(rows.size(), *want->second) << c.name << ": data lines of " << name;
    }
    if (e.rows_as_reference) {
      const auto ref = reference_parts().find(part_suffix(name));
      if (ref == reference_parts().end()) continue;
      const std::vector<std::string> ref_rows = data_lines(ref->second);
      for (std::size_t i = 0; i < std::min(rows.size(), ref_rows.size()); ++i) {
        EXPECT_EQ(visible(rows[i]), visible(ref_rows[i])) << c.name << ": " << name << " data line " << i + 1;
      }
    }
  }
  for (const auto& [name, bytes] : e.exact) {
    const auto got = outputs.find(name);
    if (got == outputs.end()) continue;  // already reported as missing
    EXPECT_TRUE(same_files({{name, got->second}}, {{name, bytes}})) << c.name;
  }
}

void check_cases(const std::vector<bad_case>& cases) {
  for (const bad_case& c : cases) check_case(c);
}

// ---------------------------------------------------------------------------
// Messages.

std::string cannot_open(const std::string& file, const std::string& reason) {
  return "orvex: " + file + ": cannot open: " + reason + "\n";
}

std::string table_cut(const std::string& input, int part, std::int64_t done, std::int64_t declared) {
  return "orvex: " + input + ": part " + std::to_string(part) + ": the stream ends inside the table: " +
         std::to_string(done) + " of " + std::to_string(declared) + " rows written\n";
}

std::string header_cut(const std::string& input, int part) {
  return "orvex: " + input + ": part " + std::to_string(part) + ": the stream ends inside the header\n";
}

std::string image_cut(const std::string& input, std::int64_t done, std::int64_t declared) {
  return "orvex: " + input + ": part 0: the stream ends inside the image: " + std::to_string(done) + " of " +
         std::to_string(declared) + " image lines written\n";
}

std::string not_fits(const std::string& input) {
  return "orvex: " + input + ": not a FITS file: it does not begin with SIMPLE\n";
}


// ---------------------------------------------------------------------------
// A sample cut short, as the FITS layout says it must come out: the cards
// that arrived as comment lines, the whole rows and image lines that arrived
// as data lines, a message for every part whose header lacks its END card,
// and one for every part that declared rows and did not get them all. An
// extension whose header was cut declares none: its TFORMn cards may be
// among the lost ones. The primary image needs only the four values it
// reads.

struct unit_geometry {
  std::size_t header;      // first byte of the header
  std::size_t cards;       // header cards up to and including END
  std::size_t naxis2_card; // index of the NAXIS2 card (and all before it)
  std::size_t data;        // first byte of the data
  std::size_t row_bytes;
  std::int64_t rows;
  bool image;
};

std::vector<unit_geometry> sample_geometry() {
  const std::string bytes = sample();
  auto cards_of = [&](int part) { return (card_offset(bytes, part, "END") - header_at[part]) / card_size + 1; };
  return {
      {primary_header_at, cards_of(0), 4, image_data_at, image_line_bytes, 2, true},
      {binary_header_at, cards_of(1), 4, binary_data_at, binary_row_bytes, 3, false},
      {ascii_header_at, cards_of(2), 4, ascii_data_at, ascii_row_bytes, 2, false},
  };
}

bad_case cut_case(std::size_t size, const std::string& why) {
  bad_case c{.name = why + ": the sample cut to " + std::to_string(size) + " bytes",
             .run = {.args = {"s.fits"}, .inputs = {{"s.fits", fits_builder{}.raw(sample()).cut(size).bytes()}}},
             .expect = {}};
  const std::vector<unit_geometry> units = sample_geometry();
  bool failed = false;
  std::vector<err_line> messages;
  // Fewer than the 8 bytes of "SIMPLE  ".
  if (size < 8) {
    failed = true;
    messages.push_back({not_fits("s.fits")});
  }
  for (std::size_t part = 0; part < units.size(); ++part) {
    const unit_geometry& u = units[part];
    // An extension is found when its XTENSION card arrived; the primary
    // output exists from the start.
    if (part > 0 && size < u.header + card_size) break;
    const std::string name = "s.00" + std::to_string(part);
    const std::size_t cards_read = std::min(u.cards, (size - u.header + card_size - 1) / card_size);
    // A header ends with a card that begins with END, even one cut short.
    const std::size_t end_card = u.header + (u.cards - 1) * card_size;
    const bool header_whole = size >= end_card + 3;
    // No row of an extension whose header was cut is decoded; the image
    // dump of the primary unit needs only the four values it reads.
    const bool declared = size >= u.header + (u.naxis2_card + 1) * card_size && (u.image || header_whole);
    const std::int64_t arrived =
        size <= u.data ? 0 : std::min<std::int64_t>(u.rows, static_cast<std::int64_t>((size - u.data) / u.row_bytes));
    const bool cut_short = declared && arrived < u.rows;

    const std::string& ref = reference_parts().at(name.substr(2));
    std::string expected;
    const std::vector<std::string> comments = comment_lines(ref);
    const std::size_t whole_cards = std::min(cards_read, (size - u.header) / card_size);
    for (std::size_t i = 0; i < whole_cards; ++i) expected += comments[i];
    if (cards_read > whole_cards) {
      // A card that the end of the file cut: the bytes that arrived.
      expected += "!" + sample().substr(u.header + whole_cards * card_size, (size - u.header) % card_size) + "\n";
    }
    const std::vector<std::string> rows = data_lines(ref);
    const std::int64_t written = declared ? arrived : 0;
    for (std::int64_t i = 0; i < written; ++i) expected += rows[static_cast<std::size_t>(i)];
    c.expect.files[name] = static_cast<std::size_t>(written);
    c.expect.exact[name] = expected;
    if (!header_whole) {
      failed = true;
      messages.push_back({header_cut("s.fits", static_cast<int>(part))});
    }
    if (cut_short) {
      failed = true;
      messages.push_back({u.image ? image_cut("s.fits", arrived, u.rows)
                                  : table_cut("s.fits", static_cast<int>(part), arrived, u.rows)});
    }
  }
  c.expect.exit_code = failed ? 1 : 0;
  c.expect.err_lines = messages;
  return c;
}

TEST(BadInput, SampleCutAtEveryCardBoundary) {
  // The model above must agree with the intact sample itself.
  ASSERT_EQ(sample().size(), sample_size);
  std::vector<bad_case> cases;
  for (std::size_t size = 0; size <= sample_size; size += card_size) cases.push_back(cut_case(size, "card boundary"));
  check_cases(cases);
}

TEST(BadInput, SampleCutInsideACardARowAndAValue) {
  check_cases({
      // "TTYPE2  = 'RA": the card arrives as far as it goes.
      cut_case(card_offset(sample(), 1, "TTYPE2") + 13, "inside a card of the binary table's header"),
      cut_case(card_offset(sample(), 0, "END") + 40, "inside the END card of the primary header"),
      cut_case(image_data_at + image_line_bytes + 3, "inside the second image line"),
      cut_case(binary_data_at + binary_row_bytes + 6, "inside the second row of the binary table"),
      cut_case(binary_data_at + binary_row_bytes + 2, "inside the 4-byte value of the second row"),
      cut_case(binary_data_at + 3 * binary_row_bytes - 1, "one byte short of the binary table's last row"),
      cut_case(ascii_data_at + ascii_row_bytes + 7, "inside the second row of the ASCII table"),
  });
}

// ---------------------------------------------------------------------------

TEST(BadInput, FilesThatAreNoFitsFile) {
  std::mt19937 random(20261208);
  std::string noise(10000, '\0');
  for (char& b : noise) b = static_cast<char>(random() & 0xFF);
  ASSERT_FALSE(noise.starts_with("\x1f\x8b"));

  std::string blank_cards;
  for (int i = 0; i < 36; ++i) blank_cards += "!" + std::string(80, ' ') + "\n";

  const std::string no_end = header_unit({{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}},
                                         {.end_card = false, .pad_header = false});
  const std::string nul_cards = std::string(2 * card_size, '\0');

  check_cases({
      // None of them has an END card: the whole file is one primary header
      // that the stream ends inside. Those that do not begin with SIMPLE
      // say so first.
      {"an empty file", {.args = {"e.fits"}, .inputs = {{"e.fits", ""}}},
       {.exit_code = 1, .err = not_fits("e.fits") + header_cut("e.fits", 0), .files = {{"e.000", 0}}, .exact = {{"e.000", ""}}}},
      {"2880 blanks", {.args = {"b.fits"}, .inputs = {{"b.fits", std::string(2880, ' ')}}},
       {.exit_code = 1, .err = not_fits("b.fits") + header_cut("b.fits", 0), .files = {{"b.000", 0}}, .exact = {{"b.000", blank_cards}}}},
      {"random bytes", {.args = {"r.fits"}, .inputs = {{"r.fits", noise}}},
       {.exit_code = 1, .err = not_fits("r.fits") + header_cut("r.fits", 0), .files = {{"r.000", std::nullopt}}, .rows_as_reference = false}},
      {"a primary header without END and without padding", {.args = {"n.fits"}, .inputs = {{"n.fits", no_end}}},
       {.exit_code = 1,
        .err = header_cut("n.fits", 0),
        .files = {{"n.000", 0}},
        .exact = {{"n.000", "!SIMPLE  =                    T\n!BITPIX  =                    8\n"
                            "!NAXIS   =                    0\n"}}}},
      {"a file of NUL bytes", {.args = {"z.fits"}, .inputs = {{"z.fits", nul_cards}}},
       {.exit_code = 1, .err = not_fits("z.fits") + header_cut("z.fits", 0), .files = {{"z.000", 0}}, .exact = {{"z.000", "!\n!\n"}}}},
      {"an XTENSION card and random bytes",
       {.args = {"x.fits"},
        .inputs = {{"x.fits", fits_builder{}.empty_primary().raw(card("XTENSION", "'BINTABLE'").text()).raw(noise).bytes()}}},
       {.exit_code = 1,
        .err = header_cut("x.fits", 1),
        .files = {{"x.000", 0}, {"x.001", std::nullopt}},
        .rows_as_reference = false}},
  });
}

TEST(BadInput, InputsThatCannotBeRead) {
  check_cases({
      {"a missing file", {.args = {"missing.fits"}},
       {.exit_code = 1, .err = cannot_open("missing.fits", "No such file or directory")}},
      {"a directory", {.args = {"dir.fits"}, .folders = {"dir.fits"}},
       {.exit_code = 1, .err = cannot_open("dir.fits", "Is a directory")}},
      // The run ends at the input that cannot be opened: the one after it
      // is not read, the one before it is complete.
      {"a missing file between two good ones",
       {.args = {"a.fits", "missing.fits", "c.fits"}, .inputs = {{"a.fits", sample()}, {"c.fits", sample()}}},
       {.exit_code = 1,
        .err = cannot_open("missing.fits", "No such file or directory"),
        .files = {{"a.000", 2}, {"a.001", 3}, {"a.002", 2}}}},
  });
}

TEST(BadInput, HeaderWithoutEnd) {
  // The binary table's header ends with the file, after its NAXIS2 card:
  // cards may be lost, and no row is decoded.
  const std::string bytes = fits_builder{}
                                .empty_primary()
                                .bintable(binary_columns, "", {.naxis1 = 12, .naxis2 = 3},
                                          {.end_card = false, .pad_header = false, .pad_data = false})
                                .bytes();
  check_cases({
      {"an extension header without END at the end of the file", {.args = {"h.fits"}, .inputs = {{"h.fits", bytes}}},
       {.exit_code = 1, .err = header_cut("h.fits", 1), .files = {{"h.000", 0}, {"h.001", 0}}}},
  });
}

// ---------------------------------------------------------------------------
// gzip damage. Whatever zlib delivers before the damage is decoded; rows
// that did not arrive whole are not written; the run says what zlib said.

TEST(BadInput, DamagedGzipStreams) {
  const std::string gz = gzip(sample());
  ASSERT_GT(gz.size(), 40u);

  std::string flipped = gz;
  flipped[gz.size() / 2] = static_cast<char>(flipped[gz.size() / 2] ^ 0x55);
  std::string bad_crc = gz;
  bad_crc[gz.size() - 8] = static_cast<char>(bad_crc[gz.size() - 8] ^ 0x01);  // first CRC byte

  struct damaged {
    std::string name;
    std::string bytes;
    std::string reason;  // zlib's; empty: any
  };
  const std::vector<damaged> cases{
      {"a gzip member cut in half", fits_builder{}.raw(gz).cut(gz.size() / 2).bytes(), "unexpected end of file"},
      {"a gzip member without its trailer", fits_builder{}.raw(gz).cut(gz.size() - 8).bytes(),
       "unexpected end of file"},
      {"a flipped byte in the deflate data", flipped, ""},
      {"a bad CRC", bad_crc, "incorrect data check"},
  };
  // Which parts zlib delivered before it stopped depends on the damage: any
  // of them may be there, each agreeing with the sample as far as it goes.
  for (const damaged& c : cases) {
    SCOPED_TRACE(c.name);
    const run_result r =
        run_orvex({.args = {"s.fits.gz"}, .inputs = {{"s.fits.gz", c.bytes}}, .timeout_seconds = case_seconds});
    ASSERT_FALSE(r.timed_out) << c.name;
    ASSERT_TRUE(r.exited) << c.name << ": " << r.describe();
    EXPECT_EQ(r.exit_code, 1) << c.name << ": " << r.describe();
    // The parts that zlib cut short say so, each in its own line; the read
    // error comes last.
    std::map<int, std::int64_t> said;  // part index: rows written
    const std::vector<std::string> err = lines_of(r.err);
    ASSERT_FALSE(err.empty()) << c.name;
    const std::string read_error = "orvex: s.fits.gz: read error: ";
    if (c.reason.empty()) {
      EXPECT_TRUE(err.back().starts_with(read_error) && err.back().size() > read_error.size() + 1)
          << c.name << ": " << visible(err.back());
    } else {
      EXPECT_EQ(visible(err.back()), visible(read_error + c.reason + "\n")) << c.name;
    }
    for (std::size_t i = 0; i + 1 < err.size(); ++i) {
      const std::string& line = err[i];
      if (is_unknown_type_line(line)) continue;
      const std::string lead = "orvex: s.fits.gz: part ";
      const std::size_t inside = line.find(": the stream ends inside the ");
      const std::size_t of = line.find(" of ");
      ASSERT_TRUE(line.starts_with(lead) && inside != std::string::npos && of != std::string::npos)
          << c.name << ": " << visible(line);
      const std::size_t count_at = line.rfind(' ', of - 1) + 1;
      said[std::stoi(line.substr(lead.size(), inside - lead.size()))] = std::stoll(line.substr(count_at, of - count_at));
    }
    file_map outputs = r.outputs();
    outputs.erase("logfile");
    EXPECT_TRUE(outputs.contains("s.fits.000")) << c.name;
    for (const auto& [name, bytes] : outputs) {
      const auto ref = reference_parts().find(part_suffix(name));
      ASSERT_NE(ref, reference_parts().end()) << c.name << ": unexpected " << name;
      // Nothing but a beginning of what the intact sample gives.
      const std::vector<std::string> rows = data_lines(bytes), ref_rows = data_lines(ref->second);
      const std::vector<std::string> comments = comment_lines(bytes), ref_comments = comment_lines(ref->second);
      ASSERT_LE(rows.size(), ref_rows.size()) << c.name << ": " << name;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(visible(rows[i]), visible(ref_rows[i])) << c.name << ": " << name << " data line " << i + 1;
      }
      ASSERT_LE(comments.size(), ref_comments.size()) << c.name << ": " << name;
      // The last card may be one that the damage cut short: the bytes of
      // it that arrived, blanks and all.
      for (std::size_t i = 0; i < comments.size(); ++i) {
        const std::string& want = ref_comments[i];
        std::string got = comments[i];
        if (got.ends_with('\n')) got.pop_back();
        got.erase(got.find_last_not_of(' ') + 1);
        const bool whole = got + "\n" == want;
        const bool beginning = i + 1 == comments.size() && want.starts_with(got);
        EXPECT_TRUE(whole || beginning) << c.name << ": " << name << " comment line " << i + 1 << ": "
                                        << visible(comments[i]);
      }
      // A part cut short has said how many rows it wrote: the lines written.
      // (Rows that zlib never delivered are covered by the read error.)
      if (auto n = said.find(std::stoi(part_suffix(name))); n != said.end()) {
        EXPECT_EQ(static_cast<std::int64_t>(rows.size()), n->second) << c.name << ": " << name;
      }
    }
  }
}

TEST(BadInput, TwoGzipMembersReadAsTheWholeFile) {
  const std::string bytes = sample();
  const std::size_t half = binary_data_at + binary_row_bytes + 5;  // inside a row
  const run_result r = run_orvex({.args = {"s.fits.gz"},
                                  .inputs = {{"s.fits.gz", gzip(bytes.substr(0, half)) + gzip(bytes.substr(half))}},
                                  .timeout_seconds = case_seconds});
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  EXPECT_EQ(r.err, "");
  file_map outputs = r.outputs();
  outputs.erase("logfile");
  EXPECT_EQ(parts_by_suffix(outputs), reference_parts());
}

// ---------------------------------------------------------------------------
// Structural header values out of every range. Part 0 is the image, 1 the
// binary table, 2 the ASCII table. A declared size that the file does not
// hold reads on through the padding and the units after it (which are then
// part of the declared data) up to the end of the file, and says so.

constexpr std::int64_t int_max = 2147483647;
const std::vector<std::string> odd_values{"0", "-1", "-2147483648", "2147483647", "99999999999"};

bool is_huge(const std::string& v) { return v == "2147483647" || v == "99999999999"; }

TEST(BadInput, StructuralValuesOutOfRange) {
  std::vector<bad_case> cases;
  auto add = [&](std::string name, int part, const std::string& keyword, const std::string& value,
                 expectation e) {
    cases.push_back({name + " (" + keyword + " = " + value + " in part " + std::to_string(part) + ")",
                     {.args = {"s.fits"}, .inputs = {{"s.fits", with_value(sample(), part, keyword, value)}}},
                     std::move(e)});
  };
  const std::map<std::string, std::optional<std::size_t>> whole{{"s.000", 2}, {"s.001", 3}, {"s.002", 2}};

  for (const std::string& v : odd_values) {
    // BITPIX other than 16: no image lines; the data is passed over.
    add("no image", 0, "BITPIX", v, {.files = {{"s.000", 0}, {"s.001", 3}, {"s.002", 2}}});

    // The binary table does not consult NAXIS1: its columns make the row.
    add("binary rows from the columns", 1, "NAXIS1", v, {.files = whole});

    // TFIELDS: at most the 199 columns of the column table are walked;
    // none below 1. Without columns every row is an empty line.
    if (is_huge(v)) {
      add("binary table with every column slot", 1, "TFIELDS", v,
          {.err_lines = std::vector<err_line>{}, .unknown_types = true, .files = whole});
      add("ASCII table with every column slot", 2, "TFIELDS", v,
          {.err_lines = std::vector<err_line>{}, .unknown_types = true, .files = whole, .rows_as_reference = false});
    } else {
      add("binary table without columns", 1, "TFIELDS", v,
          {.out_has = {"Warning: No colums written"}, .files = whole, .rows_as_reference = false});
      add("ASCII table without columns", 2, "TFIELDS", v, {.files = whole, .rows_as_reference = false});
    }

    if (is_huge(v)) {
      // The first image line would take 4 GiB.
      add("image line beyond the file", 0, "NAXIS1", v,
          {.exit_code = 1, .err = image_cut("s.fits", 0, 2), .files = {{"s.000", 0}}});
      // Image lines of 6 bytes up to the end of the file.
      add("image lines up to the end of the file", 0, "NAXIS2", v,
          {.exit_code = 1,
           .err = image_cut("s.fits", (sample_size - image_data_at) / image_line_bytes, int_max),
           .files = {{"s.000", (sample_size - image_data_at) / image_line_bytes}}});
      add("binary rows up to the end of the file", 1, "NAXIS2", v,
          {.exit_code = 1,
           .err = table_cut("s.fits", 1, (sample_size - binary_data_at) / binary_row_bytes, int_max),
           .files = {{"s.000", 2}, {"s.001", (sample_size - binary_data_at) / binary_row_bytes}}});
      add("ASCII row beyond the file", 2, "NAXIS1", v,
          {.exit_code = 1, .err = table_cut("s.fits", 2, 0, 2), .files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 0}}});
      add("ASCII rows up to the end of the file", 2, "NAXIS2", v,
          {.exit_code = 1,
           .err = table_cut("s.fits", 2, (sample_size - ascii_data_at) / ascii_row_bytes, int_max),
           .files = {{"s.000", 2}, {"s.001", 3}, {"s.002", (sample_size - ascii_data_at) / ascii_row_bytes}}});
    } else if (v == "0") {
      // Image lines of no values, one per declared line.
      add("image lines without values", 0, "NAXIS1", v, {.files = whole, .rows_as_reference = false});
      add("no image lines", 0, "NAXIS2", v, {.files = {{"s.000", 0}, {"s.001", 3}, {"s.002", 2}}});
      add("no binary rows", 1, "NAXIS2", v, {.files = {{"s.000", 2}, {"s.001", 0}, {"s.002", 2}}});
      add("no ASCII rows", 2, "NAXIS2", v, {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 0}}});
      // Rows of no bytes: every field lies outside the row and reads as a
      // blank field does.
      add("ASCII rows of no bytes", 2, "NAXIS1", v, {.files = whole, .rows_as_reference = false});
    } else {
      // A negative count of lines or rows declares none.
      add("no image lines", 0, "NAXIS2", v, {.files = {{"s.000", 0}, {"s.001", 3}, {"s.002", 2}}});
      add("no binary rows", 1, "NAXIS2", v, {.files = {{"s.000", 2}, {"s.001", 0}, {"s.002", 2}}});
      add("no ASCII rows", 2, "NAXIS2", v, {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 0}}});
      // -1 is "no NAXIS1": no image; any other negative width gives lines
      // of no values.
      add("image with a negative width", 0, "NAXIS1", v,
          {.files = {{"s.000", v == "-1" ? 0 : 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false});
      // Rows of a negative width cannot be read: the two declared rows are
      // missing, and the run must say so.
      add("ASCII rows of a negative width", 2, "NAXIS1", v,
          {.exit_code = 1,
           .err = "orvex: s.fits: part 2: the row length NAXIS1 = " + v + " is negative: 0 of 2 rows written\n",
           .files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 0}}});
    }
  }
  check_cases(cases);
}

// --full writes every image: hostile axes read what the stream holds and
// allocate nothing from what they declare, lines of no pixel are never
// written, and a BITPIX that is no pixel type is reported once and its
// data passed over.
std::string full_image_cut(const std::string& input, int part, std::int64_t done, const std::string& declared) {
  return "orvex: " + input + ": part " + std::to_string(part) + ": the stream ends inside the image: " +
         std::to_string(done) + " of " + declared + " image lines written\n";
}

TEST(BadInput, HostileImagesUnderFull) {
  const std::string big = "2147483647";
  auto full = [](std::string name, const std::string& input, expectation e) {
    return bad_case{std::move(name), {.args = {"--full", "i.fits"}, .inputs = {{"i.fits", input}}}, std::move(e)};
  };
  const std::string no_data = "";
  const std::string ones(6000, '\1');
  std::vector<bad_case> cases{
      full("a float cube of 2147483647 on every axis and no data",
           fits_builder{}.image(-32, {int_max, int_max, int_max}, no_data, {}, {.pad_data = false}).bytes(),
           {.exit_code = 1, .err = full_image_cut("i.fits", 0, 0, "4611686014132420609"), .files = {{"i.000", 0}}}),
      full("four axes whose line count overflows 64 bits",
           fits_builder{}.image(64, {2, int_max, int_max, int_max}, big_endian{}.i64(1).i64(2).bytes(), {},
                                {.pad_data = false}).bytes(),
           {.exit_code = 1, .err = full_image_cut("i.fits", 0, 1, "9223372036854775807"), .files = {{"i.000", 1}},
            .rows_as_reference = false}),
      full("a line longer than the file",
           fits_builder{}.image(8, {int_max, 99999999999}, std::string(100, 'x'), {}, {.pad_data = false}).bytes(),
           {.exit_code = 1, .err = full_image_cut("i.fits", 0, 0, "99999999999"), .files = {{"i.000", 0}}}),
      full("lines of one pixel up to the end of the file",
           fits_builder{}.image(16, {1, int_max, int_max}, ones, {}, {.pad_data = false}).bytes(),
           {.exit_code = 1, .err = full_image_cut("i.fits", 0, 3000, "4611686014132420609"),
            .files = {{"i.000", 3000}}, .rows_as_reference = false}),
      full("a cube without a pixel on its first axis",
           fits_builder{}.image(16, {0, int_max, int_max}, no_data).bytes(), {.files = {{"i.000", 0}}}),
      full("an image extension without a pixel on its first axis",
           fits_builder{}.empty_primary().image_extension(8, {0, int_max}, no_data).bytes(),
           {.files = {{"i.000", 0}, {"i.001", 0}}}),
      full("an image extension whose NAXIS2 card is missing",
           fits_builder{}.empty_primary().image_extension(8, {4}, "abcd", {{"NAXIS", "2"}}).bytes(),
           {.files = {{"i.000", 0}, {"i.001", 0}}}),
  };
  for (const std::string& v : odd_values) {
    cases.push_back({"BITPIX = " + v + " under --full",
                     {.args = {"--full", "s.fits"}, .inputs = {{"s.fits", with_value(sample(), 0, "BITPIX", v)}}},
                     {.exit_code = 1,
                      .err = "orvex: s.fits: part 0: BITPIX = " + v + " is not a FITS pixel type: the image is not written\n",
                      .files = {{"s.000", 0}, {"s.001", 3}, {"s.002", 2}}}});
  }
  // An ASCII A field far wider than its row pads to the widest display.
  cases.push_back({"an A field of 2147483647 characters under --full",
                   {.args = {"--full", "s.fits"},
                    .inputs = {{"s.fits", with_value(sample(), 2, "TFORM2", "'A2147483647'")}}},
                   {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false}});
  check_cases(cases);
}

TEST(BadInput, DeclaredRowsWithoutData) {
  // NAXIS2 = 2147483647 with a column of nonzero width and not one byte of
  // data: the first row already finds the end of the file.
  const std::string no_data = fits_builder{}
                                  .empty_primary()
                                  .bintable({{"TTYPE1", "'T'"}, {"TFORM1", "'1D'"}}, "", {.naxis2 = int_max},
                                            {.pad_data = false})
                                  .bytes();
  const std::string ascii_no_data = fits_builder{}
                                        .empty_primary()
                                        .ascii_table(ascii_columns, {}, {.naxis1 = 14, .naxis2 = int_max},
                                                     {.pad_data = false})
                                        .bytes();
  // Rows of no bytes at all (a table whose only column has a count of 0)
  // are written as declared, one line each, whatever the size of the file:
  // the format gives them no bytes to run out of. A small NAXIS2 keeps the
  // case within the limits of this table.
  const std::string zero_width = fits_builder{}
                                     .empty_primary()
                                     .bintable({{"TTYPE1", "'T'"}, {"TFORM1", "'0A'"}}, "", {.naxis2 = 5})
                                     .bytes();
  check_cases({
      {"a binary table of 2147483647 rows and no data", {.args = {"n.fits"}, .inputs = {{"n.fits", no_data}}},
       {.exit_code = 1, .err = table_cut("n.fits", 1, 0, int_max), .files = {{"n.000", 0}, {"n.001", 0}}}},
      {"an ASCII table of 2147483647 rows and no data", {.args = {"n.fits"}, .inputs = {{"n.fits", ascii_no_data}}},
       {.exit_code = 1, .err = table_cut("n.fits", 1, 0, int_max), .files = {{"n.000", 0}, {"n.001", 0}}}},
      {"a binary table of 5 rows of no bytes", {.args = {"w.fits"}, .inputs = {{"w.fits", zero_width}}},
       {.files = {{"w.000", 0}, {"w.001", 5}}, .rows_as_reference = false}},
  });
}

// ---------------------------------------------------------------------------
// Column cards out of range.

std::vector<card> binary_with(std::string_view keyword, std::string_view value) {
  std::vector<card> cards = binary_columns;
  for (card& c : cards) {
    if (c.keyword() == keyword) c = card(keyword, value);
  }
  return cards;
}

TEST(BadInput, ColumnFormsOutOfRange) {
  auto run_with = [](const std::vector<card>& columns) {
    return run_options{.args = {"s.fits"}, .inputs = {{"s.fits", sample(columns)}}};
  };
  const std::map<std::string, std::optional<std::size_t>> whole{{"s.000", 2}, {"s.001", 3}, {"s.002", 2}};
  check_cases({
      // A count below 1 reads nothing: the next column starts where this
      // one would have, and each row takes 8 bytes. Three rows all the same.
      {"TFORM count 0", run_with(binary_with("TFORM2", "'0E'")), {.files = whole, .rows_as_reference = false}},
      {"TFORM count -5", run_with(binary_with("TFORM2", "'-5E'")), {.files = whole, .rows_as_reference = false}},
      // A letter without a count has the count 1, as FITS reads it.
      {"TFORM without a count", run_with(binary_with("TFORM2", "'E'")), {.files = whole}},
      // Ten million values per row: the first row already runs past the end.
      {"TFORM count 10^7 (E)", run_with(binary_with("TFORM2", "'10000000E'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      {"TFORM count 10^7 (A)", run_with(binary_with("TFORM3", "'10000000A'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      {"TFORM count 10^7 (X)", run_with(binary_with("TFORM3", "'10000000X'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      {"TFORM count 2147483647 (E)", run_with(binary_with("TFORM2", "'2147483647E'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      {"TFORM count 2147483647 (A)", run_with(binary_with("TFORM3", "'2147483647A'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      {"TFORM count too large for 32 bits", run_with(binary_with("TFORM1", "'99999999999J'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      // Found by the fuzzer: eleven million complex doubles in a cell kept
      // it formatting for longer than its 10-second limit.
      {"TFORM count 11111121 (M)", run_with(binary_with("TFORM2", "'11111121M'")),
       {.exit_code = 1, .err = table_cut("s.fits", 1, 0, 3), .files = {{"s.000", 2}, {"s.001", 0}}}},
      // A display width pads a value to 10239 characters at the most.
      {"TDISP width 100000", run_with([] {
         auto c = binary_columns;
         c.push_back({"TDISP2", "'F100000.2'"});
         return c;
       }()),
       {.files = whole, .rows_as_reference = false}},
      {"TDISP width -2147483648", run_with([] {
         auto c = binary_columns;
         c.push_back({"TDISP2", "'F-2147483648.2'"});
         return c;
       }()),
       {.files = whole, .rows_as_reference = false}},
      {"TDISP decimals 2147483647", run_with([] {
         auto c = binary_columns;
         c.push_back({"TDISP2", "'G20.2147483647'"});
         return c;
       }()),
       {.files = whole, .rows_as_reference = false}},
      // A name that fills the card and has no closing quote.
      {"TTYPE of 69 characters without a closing quote", run_with([] {
         auto c = binary_columns;
         c[0] = card("TTYPE1  = '" + std::string(69, 'N'));
         return c;
       }()),
       {.files = whole}},
  });
}

TEST(BadInput, DisplayWidthsStopAtTheWidestDisplay) {
  auto columns = binary_columns;
  columns.push_back({"TDISP2", "'F100000.2'"});
  std::vector<card> ascii = ascii_columns;
  ascii.push_back({"TDISP2", "'E100000.3'"});
  const run_result r = run_orvex({.args = {"s.fits"}, .inputs = {{"s.fits", sample(columns, ascii)}},
                                  .timeout_seconds = case_seconds});
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  for (const char* name : {"s.001", "s.002"}) {
    const std::vector<std::string> rows = data_lines(r.files.at(name));
    ASSERT_EQ(rows.size(), name == std::string("s.001") ? 3u : 2u) << name;
    for (const std::string& row : rows) {
      // Three cells of at most 10239 characters and a blank each: the
      // padding stops at the widest display.
      EXPECT_LE(row.size(), 3u * 10240u + 1u) << name;
      EXPECT_GE(row.size(), 10239u) << name << ": the display width was not applied";
    }
  }
}

TEST(BadInput, ColumnNumbers) {
  std::vector<bad_case> cases;
  const std::map<std::string, std::optional<std::size_t>> whole{{"s.000", 2}, {"s.001", 3}, {"s.002", 2}};
  struct keyword_card {
    const char* stem;
    const char* value;
  };
  const keyword_card keywords[] = {{"TFORM", "'1J'"},  {"TTYPE", "'EXTRA'"}, {"TUNIT", "'m'"},
                                   {"TDISP", "'I5'"},  {"TSCAL", "2.0"},     {"TZERO", "1.0"},
                                   {"TBCOL", "3"}};
  for (const keyword_card& k : keywords) {
    for (const char* number : {"0", "-3", "199"}) {
      // Slot 0 and slot 199 are no column of this three-column table; a
      // negative number names no slot at all.
      const std::string key = std::string(k.stem) + number;
      cases.push_back({key + " in the binary table",
                       {.args = {"s.fits"}, .inputs = {{"s.fits", with_added_card(sample(), 1, card(key, k.value))}}},
                       {.files = whole}});
    }
    // Above 199: the run ends at once. The part's output keeps the cards
    // up to that one; nothing after it is written.
    const std::string key = std::string(k.stem) + "200";
    const std::string bytes = with_added_card(sample(), 1, card(key, k.value));
    std::string part1;
    for (const std::string& line : comment_lines(reference_parts().at("001"))) {
      if (line.starts_with("!END")) break;
      part1 += line;
    }
    part1 += "!" + card(key, k.value).text().substr(0, card(key, k.value).text().find_last_not_of(' ') + 1) + "\n";
    cases.push_back({key + " in the binary table",
                     {.args = {"s.fits"}, .inputs = {{"s.fits", bytes}}},
                     {.exit_code = 1,
                      .out_has = {"Error: To many variables\n"},
                      .files = {{"s.000", 2}, {"s.001", 0}},
                      .exact = {{"s.000", reference_parts().at("000")}, {"s.001", part1}}}});
  }
  check_cases(cases);
}

TEST(BadInput, OddCardContents) {
  std::vector<card> unquoted = binary_columns;
  unquoted[0] = card("TTYPE1  = 'TIME");
  unquoted[4] = card("TUNIT2  = 'counts");
  const card nul_card(std::string(card_size, '\0'));
  check_cases({
      {"cards of NUL bytes in every header",
       {.args = {"s.fits"},
        .inputs = {{"s.fits", with_added_card(with_added_card(with_added_card(sample(), 0, nul_card), 1, nul_card), 2,
                                              nul_card)}}},
       {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}}},
      {"string values without a closing quote",
       {.args = {"s.fits"},
        .inputs = {{"s.fits", with_added_card(with_added_card(sample(unquoted), 1, card("OBJECT  = 'M31")), 1,
                                              card("TELESCOP= 'ROSAT"))}}},
       {.out_has = {"Object = M31"}, .files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}}},
      {"TBCOL beyond the row",
       {.args = {"s.fits"}, .inputs = {{"s.fits", with_value(sample(), 2, "TBCOL2", "100")}}},
       {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false}},
      {"TBCOL 0", {.args = {"s.fits"}, .inputs = {{"s.fits", with_value(sample(), 2, "TBCOL2", "0")}}},
       {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false}},
      {"TBCOL -2147483648",
       {.args = {"s.fits"}, .inputs = {{"s.fits", with_value(sample(), 2, "TBCOL2", "-2147483648")}}},
       {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false}},
      {"TBCOL too large for 32 bits",
       {.args = {"s.fits"}, .inputs = {{"s.fits", with_value(sample(), 2, "TBCOL2", "99999999999")}}},
       {.files = {{"s.000", 2}, {"s.001", 3}, {"s.002", 2}}, .rows_as_reference = false}},
  });
}

// A field that lies outside its row reads as a blank field: 0, scaled.
TEST(BadInput, FieldOutsideTheRowReadsAsBlank) {
  const run_result r = run_orvex({.args = {"s.fits"},
                                  .inputs = {{"s.fits", with_value(sample(), 2, "TBCOL2", "100")}},
                                  .timeout_seconds = case_seconds});
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(data_lines(r.files.at("s.002")), (std::vector<std::string>{"12 0\n", "-3 0\n"}));
}

// ---------------------------------------------------------------------------
// Where the outputs go.

TEST(BadInput, OutputsThatCannotBeWritten) {
  std::vector<bad_case> cases{
      {"an output path that is a directory", {.args = {"s.fits"}, .inputs = {{"s.fits", sample()}}, .folders = {"s.001"}},
       {.exit_code = 1,
        .err = "orvex: s.001: cannot create: Is a directory\n",
        .files = {{"s.000", 2}, {"s.002", 2}}}},
      // The input is a part's output name: that part is read and not
      // written, the others are written.
      {"an input named like one of its outputs", {.args = {"s.001"}, .inputs = {{"s.001", sample()}}},
       {.exit_code = 1,
        .err = "orvex: s.001: not written: it is an input file of this run\n",
        .files = {{"s.000", 2}, {"s.002", 2}},
        .exact = {{"s.000", reference_parts().at("000")}, {"s.002", reference_parts().at("002")}}}},
      {"an input that an earlier input would overwrite",
       {.args = {"a.fits", "a.000"}, .inputs = {{"a.fits", sample()}, {"a.000", sample()}}},
       {.exit_code = 1,
        .err = "orvex: a.000: not written: it is an input file of this run\n"
               "orvex: a.000: not written: it is an input file of this run\n"
               "orvex: a.001: replaces the output of a.fits\n"
               "orvex: a.002: replaces the output of a.fits\n",
        .files = {{"a.001", 3}, {"a.002", 2}}}},
      {"an input reached by another name", {.args = {"./d/../s.000"}, .inputs = {{"s.000", sample()}}, .folders = {"d"}},
       {.exit_code = 1,
        .err = "orvex: s.000: not written: it is an input file of this run\n",
        .files = {{"s.001", 3}, {"s.002", 2}}}},
  };
  check_cases(cases);
}

TEST(BadInput, UnwritableCurrentFolder) {
  // As root, a folder's mode stops nobody; the harness takes the child's
  // CAP_DAC_OVERRIDE away, so that the mode holds for it.
  if (!unwritable_folder_supported()) GTEST_SKIP() << "no way to make a folder unwritable for the child here";
  check_case({"an unwritable current folder",
              {.args = {"s.fits"}, .inputs = {{"s.fits", sample()}}, .read_only_folder = true},
              {.exit_code = 1,
               .err = "No logfile entry"
                      "orvex: s.000: cannot create: Permission denied\n"
                      "orvex: s.001: cannot create: Permission denied\n"
                      "orvex: s.002: cannot create: Permission denied\n",
               .logfile = false}});
}

TEST(BadInput, FileSizeLimitCutsAnOutput) {
  // 2000 rows of one 4-byte integer: far more text than the limit lets
  // through.
  big_endian rows;
  for (int i = 0; i < 2000; ++i) rows.i32(1000000 + i);
  const std::string bytes = fits_builder{}.empty_primary().bintable({{"TTYPE1", "'N'"}, {"TFORM1", "'1J'"}}, rows.bytes()).bytes();
  constexpr rlim_t limit = 4096;
  const run_result full = run_orvex({.args = {"l.fits"}, .inputs = {{"l.fits", bytes}}});
  ASSERT_EQ(full.exit_code, 0) << full.describe();
  ASSERT_GT(full.files.at("l.001").size(), limit);

  const run_result r = run_orvex({.args = {"l.fits"}, .inputs = {{"l.fits", bytes}},
                                  .limits = {{RLIMIT_FSIZE, limit}}, .timeout_seconds = case_seconds});
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, 1) << r.describe();
  EXPECT_EQ(r.err, "orvex: l.001: write failed: File too large\n");
  const std::string& cut = r.files.at("l.001");
  EXPECT_LE(cut.size(), limit);
  EXPECT_TRUE(full.files.at("l.001").starts_with(cut)) << "the cut file is not the beginning of the whole one";
  EXPECT_EQ(r.files.at("l.000"), full.files.at("l.000"));
}

}  // namespace
}  // namespace orvex::test
