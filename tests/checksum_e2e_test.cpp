// CHECKSUM and DATASUM: a damaged data unit fails the run, a header edited
// after its checksum was written is noted, and cut inputs are reported as
// cut only (with the count of rows that arrived). astropy and fitsverify judge every damaged file the tests make,
// and files that astropy wrote with checksums pass.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fits/checksum.h"
#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// Where one unit of a well-formed file lies: its header, its data, and the
// end of its padding (the next unit's header or the end of the file).
struct unit_place {
  std::size_t header = 0, data = 0, end = 0;
};

std::vector<unit_place> places(const std::string& file) {
  std::vector<unit_place> units;
  for (std::size_t b = 0; b < file.size(); b += block_size) {
    const std::string_view head = std::string_view(file).substr(b, 9);
    if (head != "SIMPLE  =" && head != "XTENSION=") continue;
    if (!units.empty()) units.back().end = b;
    unit_place u{b, b, file.size()};
    while (file.compare(u.data, 8, "END     ") != 0) u.data += card_size;
    u.data = (u.data / block_size + 1) * block_size;
    units.push_back(u);
    b = u.data - block_size;
  }
  return units;
}

const unsigned char* bytes_at(const std::string& s, std::size_t at) {
  return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

// The 16 characters of a CHECKSUM value that make a part of sum `sum` (taken
// with the value '0000000000000000' in place) sum to all ones: the FITS
// encoding of its complement, four characters per byte, none of them
// punctuation, rotated by one place.
std::string encode_checksum(std::uint32_t sum) {
  const std::uint32_t value = ~sum;
  char asc[16];
  for (int i = 0; i < 4; ++i) {
    const int byte = static_cast<int>(value >> (24 - 8 * i)) & 0xFF;
    int ch[4] = {byte / 4 + '0' + byte % 4, byte / 4 + '0', byte / 4 + '0', byte / 4 + '0'};
    for (bool moved = true; moved;) {
      moved = false;
      for (int j = 0; j < 4; j += 2) {
        const auto punctuation = [](int c) { return (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60); };
        if (punctuation(ch[j]) || punctuation(ch[j + 1])) {
          ++ch[j];
          --ch[j + 1];
          moved = true;
        }
      }
    }
    for (int j = 0; j < 4; ++j) asc[4 * j + i] = static_cast<char>(ch[j]);
  }
  std::string out(16, ' ');
  for (int i = 0; i < 16; ++i) out[static_cast<std::size_t>(i)] = asc[(i + 15) % 16];
  return out;
}

// Fills the CHECKSUM and DATASUM cards that the units of `file` carry (as
// placeholders) with the values a FITS writer gives them.
std::string with_checksums(std::string file) {
  for (const unit_place& u : places(file)) {
    std::size_t checksum = std::string::npos;
    for (std::size_t c = u.header; c < u.data; c += card_size) {
      if (file.compare(c, 8, "DATASUM ") == 0) {
        const std::uint32_t sum = fits::ones_complement_sum(bytes_at(file, u.data), u.end - u.data);
        file.replace(c, card_size, format_card("DATASUM", "'" + std::to_string(sum) + "'"));
      } else if (file.compare(c, 8, "CHECKSUM") == 0) {
        checksum = c;
      }
    }
    if (checksum == std::string::npos) continue;
    file.replace(checksum, card_size, format_card("CHECKSUM", "'0000000000000000'"));
    const std::uint32_t sum = fits::ones_complement_sum(bytes_at(file, u.header), u.end - u.header);
    file.replace(checksum, card_size, format_card("CHECKSUM", "'" + encode_checksum(sum) + "'"));
  }
  return file;
}

const card checksum_card{"CHECKSUM", "'0000000000000000'"};
const card datasum_card{"DATASUM", "'0'"};

// An image in the primary unit, a binary table and an ASCII table with
// both cards, and a binary table with CHECKSUM alone.
std::string sample() {
  std::vector<std::int16_t> pixels;
  for (int i = 0; i < 40 * 30; ++i) pixels.push_back(static_cast<std::int16_t>(i * 37 - 9000));
  big_endian rows, more;
  for (int r = 0; r < 300; ++r) rows.f64(r * 0.25).i32(r * 1000 - 7).chars(r % 3 == 0 ? "ab" : "c", 4);
  for (int r = 0; r < 20; ++r) more.i16(static_cast<std::int16_t>(-r));
  std::vector<std::string> lines;
  for (int r = 0; r < 50; ++r) {
    char line[16];
    std::snprintf(line, sizeof line, "%5d  %5.1f", r * 13, r * 0.5);
    lines.push_back(line);
  }
  std::string file =
      fits_builder{}
          .image16(40, 30, pixels, {"EXTEND  =                    T", checksum_card, datasum_card})
          .bintable({{"TTYPE1", "'TIME'"}, {"TFORM1", "'1D'"}, {"TTYPE2", "'PHA'"}, {"TFORM2", "'1J'"},
                     {"TTYPE3", "'S'"}, {"TFORM3", "'4A'"}, "COMMENT   events of a test", checksum_card, datasum_card},
                    rows.bytes())
          .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I5'"}, {"TTYPE1", "'N'"}, {"TBCOL2", "8"},
                        {"TFORM2", "'E5.1'"}, {"TTYPE2", "'T'"}, checksum_card, datasum_card},
                       lines)
          .bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1I'"}, checksum_card}, more.bytes())
          .bytes();
  // fitsverify checks no sum in a file whose XTENSION value is shorter
  // than the 8 characters the standard asks for.
  const std::size_t table = file.find("XTENSION= 'TABLE'   ");
  file.replace(table, 20, "XTENSION= 'TABLE   '");
  return with_checksums(file);
}

std::string flipped(std::string s, std::size_t at) {
  s.at(at) = static_cast<char>(s.at(at) ^ 0x10);
  return s;
}

std::string damaged(const std::string& what) {
  return "orvex: t.fits: part " + what + ": DATASUM does not match the data: the data unit is damaged\n";
}
std::string edited(const std::string& what) {
  return "orvex: t.fits: part " + what +
         ": CHECKSUM does not match: the header was changed after the checksum was written\n";
}

// Runs a Python script with astropy on standard input: what it writes on
// standard output, std::nullopt when astropy is missing or the script fails.
std::optional<std::string> astropy_run(const std::string& script, const std::string& args = "") {
  int status = 0;
  const std::string path = (std::filesystem::temp_directory_path() / ("orvex-judge-" + std::to_string(::getpid()) + ".py")).string();
  write_file(path, script);
  std::optional<std::string> out = filter_through("/usr/bin/python3 " + path + " " + args, "", status);
  std::filesystem::remove(path);
  if (!out || status != 0) return std::nullopt;
  return out;
}

// The verdicts of astropy (verify_datasum, verify_checksum: 1 passed, 0
// failed, 2 no card) and fitsverify's count of checksum warnings, one line
// per unit and a last line, for `path`; empty when a judge is missing.
// astropy 5.2 checks CHECKSUM against the header as it would write it, and
// so fails a part that has CHECKSUM without DATASUM (it sums a DATASUM card
// that is not there): its verdict on such a part is left out ("-").
std::string judges(const std::string& path) {
  int status = 0;
  const std::optional<std::string> astropy = astropy_run(
      "import sys, warnings\n"
      "warnings.simplefilter('ignore')\n"
      "from astropy.io import fits\n"
      "for h in fits.open(sys.argv[1], checksum=False):\n"
      "    print(h.verify_datasum(), h.verify_checksum() if 'DATASUM' in h.header else '-')\n",
      path);
  if (!astropy) return {};
  const std::optional<std::string> verify = filter_through(
      "(command -v fitsverify >/dev/null || exit 127; fitsverify " + path +
          " 2>&1 | grep -c -e 'Data checksum is not consistent' -e 'HDU checksum is not in agreement' "
          "-e 'Invalid CHECKSUM means header has been modified')",
      "", status);
  if (!verify || status == 127) return {};
  return *astropy + "fitsverify: " + *verify;
}

TEST(checksum_e2e, damage_is_reported_where_it_is_and_the_judges_agree) {
  const std::string file = sample();
  const std::vector<unit_place> u = places(file);
  ASSERT_EQ(u.size(), 4U);
  struct damage_case {
    const char* name;
    std::string bytes;
    std::string err;
    int status;
    // What astropy says of each unit and how many warnings fitsverify
    // gives; null for files the judges are not asked about.
    const char* judged;
    // astropy sums the header as it would write it, not the bytes of the
    // file: a byte changed in the blanks after END escapes it (fitsverify
    // sees it), and only fitsverify's count is compared then.
    bool astropy_sees = true;
    std::vector<std::string> args{};
  };
  const damage_case cases[] = {
      {"intact", file, "", 0, "1 1\n1 1\n1 1\n2 -\nfitsverify: 0\n"},
      {"a pixel", flipped(file, u[0].data + 101), damaged("0"), 1, "0 0\n1 1\n1 1\n2 -\nfitsverify: 2\n"},
      {"a row of the binary table", flipped(file, u[1].data + 2000), damaged("1"), 1,
       "1 1\n0 0\n1 1\n2 -\nfitsverify: 2\n"},
      {"the padding of the binary table", flipped(file, u[1].end - 3), damaged("1"), 1,
       "1 1\n0 0\n1 1\n2 -\nfitsverify: 2\n"},
      {"a field of the ASCII table", flipped(file, u[2].data + 40), damaged("2"), 1,
       "1 1\n1 1\n0 0\n2 -\nfitsverify: 2\n"},
      {"a comment card", flipped(file, file.find("COMMENT   events") + 12), edited("1"), 0,
       "1 1\n1 0\n1 1\n2 -\nfitsverify: 1\n"},
      {"the blank cards after END", flipped(file, u[0].data - 100), edited("0"), 0, "fitsverify: 1\n", false},
      {"data under CHECKSUM alone", flipped(file, u[3].data + 3), edited("3"), 0,
       "1 1\n1 1\n1 1\n2 -\nfitsverify: 1\n"},
      // Cut files are reported as cut only, and missing padding after
      // whole data loses nothing: zeros after binary rows, blanks after
      // ASCII ones. Parts not written are not checked.
      {"cut inside the rows", file.substr(0, u[1].data + 1000),
       "orvex: t.fits: part 1: the stream ends inside the table: 62 of 300 rows written\n", 1, nullptr},
      // Chosen rows: the count is of the rows that arrived, not all written.
      {"cut inside the rows, rows chosen", file.substr(0, u[1].data + 1000),
       "orvex: t.fits: part 1: the stream ends inside the table: 62 of 300 rows arrived\n", 1, nullptr, true,
       {"--where=PHA > 0"}},
      {"binary rows without their padding", file.substr(0, u[1].data + 300 * 16), "", 0, nullptr, true, {"-p", "1"}},
      {"ASCII rows without their padding", file.substr(0, u[2].data + 50 * 12), "", 0, nullptr},
      {"a damaged part not written", flipped(file, u[1].data + 2000), "", 0, nullptr, true, {"-p", "2"}},
      // The parts before it are not summed, and its own sums still hold.
      {"a damaged part after parts not written", flipped(file, u[2].data + 40), damaged("2"), 1, nullptr, true,
       {"-p", "2"}},
  };
  for (const damage_case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool gz : {false, true}) {
      std::vector<std::string> args = c.args;
      args.push_back("t.fits");
      const run_result r = run_orvex({.args = args, .inputs = {{"t.fits", gz ? gzip(c.bytes) : c.bytes}}});
      EXPECT_EQ(r.err, c.err) << (gz ? "gzip" : "plain");
      EXPECT_EQ(r.exit_code, c.status) << r.describe();
      if (gz || c.judged == nullptr) continue;
      const std::string judged = judges((r.folder.path() / "t.fits").string());
      if (!judged.empty()) {
        EXPECT_EQ(c.astropy_sees ? judged : judged.substr(judged.find("fitsverify")), c.judged);
      }
    }
  }
}

TEST(checksum_e2e, files_astropy_wrote_with_checksums_pass) {
  const std::optional<std::string> written = astropy_run(
      "import sys, numpy as np\n"
      "from astropy.io import fits\n"
      "cols = [fits.Column(name='E', format='E', array=np.linspace(0, 1, 500)),\n"
      "        fits.Column(name='V', format='PJ()', array=[np.arange(i % 7) for i in range(500)])]\n"
      "a = fits.TableHDU.from_columns([fits.Column(name='N', format='I6', array=np.arange(33))])\n"
      "hdus = fits.HDUList([fits.PrimaryHDU(np.arange(600, dtype=np.int16).reshape(20, 30)),\n"
      "                     fits.BinTableHDU.from_columns(cols), a])\n"
      "import io\n"
      "out = io.BytesIO()\n"
      "hdus.writeto(out, checksum=True)\n"
      "sys.stdout.buffer.write(out.getvalue())\n");
  if (!written) GTEST_SKIP() << "no Python with astropy";
  const run_result r = run_orvex({.args = {"t.fits"}, .inputs = {{"t.fits", *written}}});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  const std::vector<unit_place> u = places(*written);
  ASSERT_EQ(u.size(), 3U);
  const run_result bad = run_orvex({.args = {"t.fits"}, .inputs = {{"t.fits", flipped(*written, u[1].end - 5)}}});
  EXPECT_EQ(bad.err, damaged("1"));
  EXPECT_EQ(bad.exit_code, 1);
}

}  // namespace
}  // namespace orvex::test
