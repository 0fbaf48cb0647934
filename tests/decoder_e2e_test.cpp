// End-to-end runs of the table decoder: generated event files (binary
// tables of every column type, with units, scaling and display formats)
// decoded whole and by column selection, ASCII tables, heading lines,
// reports and warnings, and the behaviour chosen for the corners of the
// format (64-bit integers, array descriptors, odd bit counts, undefined
// logicals, truncated data, column numbers and values out of range, cells
// past their limit, the D exponent letter).
//
// Every run compares standard output, standard error, the exit status and
// every file left in the folder byte for byte, and runs on plain input and
// on its gzip, bzip2, xz and compress forms alike. Expected cell texts come from snprintf with
// the printf formats of each column type, not from the decoder's own
// number writers.
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// --- expected texts ---------------------------------------------------------

std::string trimmed(std::string_view text) {
  const auto last = text.find_last_not_of(' ');
  return last == std::string::npos ? std::string(text) : std::string(text.substr(0, last + 1));
}

// The offsets of the header units of `fits`: the primary at 0 and every
// block that begins with an XTENSION card.
std::vector<std::size_t> header_offsets(const std::string& fits) {
  std::vector<std::size_t> at{0};
  for (std::size_t b = block_size; b < fits.size(); b += block_size) {
    if (fits.compare(b, 8, "XTENSION") == 0) at.push_back(b);
  }
  return at;
}

// The comment lines of the header that starts at `at`: "!" and the trimmed
// card, for every card through the END card (or through the first card
// that begins with `last`). A card that the end of the file cuts is copied
// as the bytes that arrived.
std::string comments_at(const std::string& fits, std::size_t at, std::string_view last = "END") {
  std::string text;
  for (std::size_t c = at; c < fits.size(); c += card_size) {
    if (c + card_size > fits.size()) return text + "!" + fits.substr(c) + "\n";
    const std::string_view card(fits.data() + c, card_size);
    text += "!" + trimmed(card) + "\n";
    if (card.starts_with(last)) break;
  }
  return text;
}

std::string figure(std::int64_t percent, char end) {
  char text[16];
  std::snprintf(text, sizeof text, "%03" PRId64 "%%%c", percent, end);
  return text;
}

// The progress lines of a table of `declared` rows of which `done` were
// written: a figure for every row whose number is a multiple of
// declared / 100 + 1, then the share done.
std::string progress(std::int64_t declared, std::int64_t done) {
  if (declared == 0) return "";
  std::string text;
  for (std::int64_t r = 0; r < done; r += declared / 100 + 1) text += figure(r * 100 / declared, '\r');
  return text + figure(done * 100 / declared, '\n');
}
std::string progress(std::int64_t rows) { return progress(rows, rows < 0 ? 0 : rows); }

std::string filename_line(const std::string& path) { return "         filename:" + path + "\n"; }

const std::string no_colums = "Warning: No colums written\n";
const std::string wrong_telescope = "Warning: Wrong telescope selected\n";

// The 32-bit integer conversion of a scaled value: truncation toward zero,
// -2147483648 for anything outside the 32-bit range and for a NaN.
std::int32_t int32_of(double s) {
  if (s > -2147483649.0 && s < 2147483648.0) return static_cast<std::int32_t>(s);
  return INT32_MIN;
}

// s = v * tscal + tzero, a multiply and then an add.
double scaled(double v, double tscal, double tzero) {
  double product = v * tscal;
  return product + tzero;
}

std::string text_ld(double s) {
  char t[32];
  std::snprintf(t, sizeof t, "%ld ", static_cast<long>(int32_of(s)));
  return t;
}

std::string text_lu(double s) {
  char t[32];
  std::snprintf(t, sizeof t, "%lu ", static_cast<unsigned long>(static_cast<std::uint32_t>(int32_of(s))));
  return t;
}

std::string text_g16(double s) {
  char t[64];
  std::snprintf(t, sizeof t, "%-.16g ", s);
  return t;
}

std::string text_g(double s, int width, int precision) {
  std::vector<char> t(static_cast<std::size_t>(width) + 1200);
  std::snprintf(t.data(), t.size(), "%-*.*g ", width, precision, s);
  return t.data();
}

// The shortest text that reads back to the value, and a blank (--exact).
template <typename T>
std::string shortest(T v) {
  char t[64];
  return std::string(t, std::to_chars(t, t + sizeof t, v).ptr) + " ";
}

std::string bits_text(std::string_view bytes) {
  std::string t;
  for (unsigned char b : bytes) {
    for (int bit = 7; bit >= 0; --bit) t += (b >> bit & 1) ? '1' : '0';
  }
  return t + " ";
}

// --- generated event files --------------------------------------------------

// One cell of a generated row: its bytes and the text the decoder writes.
struct cell {
  std::string bytes;
  std::string text;
  std::string exact = {};  // the text under --exact when it differs
};

// One column: its header cards and a generator of its cell in row r.
struct event_column {
  std::string name;  // TTYPEn; empty: no TTYPE card
  std::string form;  // TFORMn
  std::string unit;  // TUNITn; empty: no card
  std::vector<std::pair<std::string, std::string>> more;  // further cards: keyword stem, value
  std::function<cell(std::mt19937_64&)> make;
};

double uniform(std::mt19937_64& rng, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(rng);
}
std::int64_t integer(std::mt19937_64& rng, std::int64_t low, std::int64_t high) {
  return std::uniform_int_distribution<std::int64_t>(low, high)(rng);
}

// The columns of an X-ray event file, one of each binary-table type.
std::vector<event_column> event_columns() {
  std::vector<event_column> c;
  c.push_back({"TIME", "1D", "s", {}, [](std::mt19937_64& g) {
                 double t = 1.2e8 + uniform(g, 0, 1e5);
                 return cell{big_endian{}.f64(t).bytes(), text_g16(t), shortest(t)};
               }});
  for (const char* axis : {"X", "Y"}) {
    c.push_back({axis, "1E", "pixel", {}, [](std::mt19937_64& g) {
                   float v = static_cast<float>(uniform(g, 0, 8192));
                   return cell{big_endian{}.f32(v).bytes(), text_g16(v), shortest(v)};
                 }});
  }
  c.push_back({"PHA", "1J", "chan", {}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::int32_t>(integer(g, 0, 4095));
                 return cell{big_endian{}.i32(v).bytes(), text_ld(v)};
               }});
  // Unsigned 16-bit values by the TZERO convention.
  c.push_back({"PI", "1I", "", {{"TZERO", "32768"}}, [](std::mt19937_64& g) {
                 auto u = integer(g, 0, 65535);
                 auto stored = static_cast<std::int16_t>(u - 32768);
                 return cell{big_endian{}.i16(stored).bytes(), text_ld(scaled(stored, 1, 32768))};
               }});
  c.push_back({"DETX", "1I", "", {}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::int16_t>(integer(g, -32768, 32767));
                 return cell{big_endian{}.i16(v).bytes(), text_ld(v)};
               }});
  // An integer scaled by other than whole numbers is a floating value.
  c.push_back({"DETY", "1I", "", {{"TSCAL", "0.5"}}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::int16_t>(integer(g, -32768, 32767));
                 return cell{big_endian{}.i16(v).bytes(), text_g16(scaled(v, 0.5, 0)), shortest(scaled(v, 0.5, 0))};
               }});
  c.push_back({"ENERGY", "1E", "keV", {{"TSCAL", "1.0D-3"}, {"TDISP", "'F8.3'"}}, [](std::mt19937_64& g) {
                 float e = static_cast<float>(uniform(g, 100, 12000));
                 return cell{big_endian{}.f32(e).bytes(), text_g(scaled(e, 1.0e-3, 0), 8, 3), shortest(scaled(e, 1.0e-3, 0))};
               }});
  c.push_back({"GRADE", "1B", "", {}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::uint8_t>(integer(g, 0, 255));
                 return cell{big_endian{}.u8(v).bytes(), text_lu(v)};
               }});
  // Signed bytes by the TZERO convention.
  c.push_back({"CCDTEMP", "1B", "", {{"TZERO", "-128"}}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::uint8_t>(integer(g, 0, 255));
                 return cell{big_endian{}.u8(v).bytes(), std::to_string(v - 128) + " "};
               }});
  c.push_back({"STATUS", "16X", "", {}, [](std::mt19937_64& g) {
                 std::string b = big_endian{}.u16(static_cast<std::uint16_t>(integer(g, 0, 65535))).bytes();
                 return cell{b, bits_text(b)};
               }});
  c.push_back({"FLAG", "1L", "", {}, [](std::mt19937_64& g) {
                 const char v = "TF\0"[integer(g, 0, 2)];
                 return cell{std::string(1, v), std::string(1, v == '\0' ? '?' : v) + " "};
               }});
  c.push_back({"EXPNO", "1K", "", {}, [](std::mt19937_64& g) {
                 std::int64_t v = static_cast<std::int64_t>(g());
                 return cell{big_endian{}.i64(v).bytes(), std::to_string(v) + " "};
               }});
  c.push_back({"SRC", "8A", "", {}, [](std::mt19937_64& g) {
                 std::string s;
                 for (auto n = integer(g, 0, 8); n > 0; --n) s += static_cast<char>('A' + integer(g, 0, 25));
                 std::string text = s;
                 text.resize(8, ' ');
                 return cell{big_endian{}.chars(s, 8).bytes(), text + " "};
               }});
  c.push_back({"VEC", "2E", "", {{"TDISP", "'G10.4'"}}, [](std::mt19937_64& g) {
                 float a = static_cast<float>(uniform(g, -1e3, 1e3)), b = static_cast<float>(uniform(g, -1e-3, 1e-3));
                 return cell{big_endian{}.f32(a).f32(b).bytes(), text_g(a, 10, 4) + text_g(b, 10, 4), shortest(a) + shortest(b)};
               }});
  c.push_back({"RAD", "1D", "deg", {{"TSCAL", "2.5D-1"}, {"TZERO", "1.0D+01"}}, [](std::mt19937_64& g) {
                 double d = uniform(g, -400, 400);
                 return cell{big_endian{}.f64(d).bytes(), text_g16(scaled(d, 0.25, 10.0)), shortest(scaled(d, 0.25, 10.0))};
               }});
  c.push_back({"Z", "1C", "", {}, [](std::mt19937_64& g) {
                 float re = static_cast<float>(uniform(g, -5, 5)), im = static_cast<float>(uniform(g, -5, 5));
                 return cell{big_endian{}.f32(re).f32(im).bytes(), text_g16(re) + text_g16(im), shortest(re) + shortest(im)};
               }});
  c.push_back({"W", "1M", "", {{"TDISP", "'E12.5'"}}, [](std::mt19937_64& g) {
                 double re = uniform(g, -1e10, 1e10), im = uniform(g, -1e-10, 1e-10);
                 return cell{big_endian{}.f64(re).f64(im).bytes(), text_g(re, 12, 5) + text_g(im, 12, 5), shortest(re) + shortest(im)};
               }});
  // An empty variable-length array writes nothing; the next column starts
  // after its descriptor.
  c.push_back({"ARRAY", "1PE(16)", "", {}, [](std::mt19937_64& g) {
                 return cell{big_endian{}.i32(0).i32(static_cast<std::int32_t>(integer(g, 0, 16))).bytes(), ""};
               }});
  c.push_back({"NEXT", "1J", "", {}, [](std::mt19937_64& g) {
                 auto v = static_cast<std::int32_t>(integer(g, INT32_MIN, INT32_MAX));
                 return cell{big_endian{}.i32(v).bytes(), text_ld(v)};
               }});
  // Unsigned 64-bit values by the TZERO convention, exact.
  c.push_back({"UCOUNT", "1K", "", {{"TZERO", "9223372036854775808"}}, [](std::mt19937_64& g) {
                 std::uint64_t u = g();
                 return cell{big_endian{}.i64(static_cast<std::int64_t>(u ^ (std::uint64_t{1} << 63))).bytes(),
                             std::to_string(u) + " "};
               }});
  return c;
}

struct event_file {
  std::vector<event_column> columns;
  std::vector<card> cards;                   // the column cards and the rest
  std::string rows;                          // the data
  std::vector<std::vector<std::string>> texts;  // cell texts by row and column
  std::vector<std::vector<std::string>> exact;  // the same under --exact
};

event_file make_events(std::int64_t rows, std::uint64_t seed, std::vector<card> extra = {}) {
  event_file f;
  f.columns = event_columns();
  for (std::size_t i = 0; i < f.columns.size(); ++i) {
    const event_column& c = f.columns[i];
    const std::string n = std::to_string(i + 1);
    f.cards.push_back({"TTYPE" + n, "'" + c.name + "'"});
    f.cards.push_back({"TFORM" + n, "'" + c.form + "'"});
    if (!c.unit.empty()) f.cards.push_back({"TUNIT" + n, "'" + c.unit + "'"});
    for (const auto& [stem, value] : c.more) f.cards.push_back({stem + n, value});
  }
  f.cards.insert(f.cards.end(), extra.begin(), extra.end());
  std::mt19937_64 rng(seed);
  for (std::int64_t r = 0; r < rows; ++r) {
    std::vector<std::string> row, exact;
    for (const event_column& c : f.columns) {
      cell x = c.make(rng);
      f.rows += x.bytes;
      row.push_back(x.text);
      exact.push_back(x.exact.empty() ? x.text : x.exact);
    }
    f.texts.push_back(row);
    f.exact.push_back(exact);
  }
  return f;
}

int column_index(const event_file& f, const std::string& name) {
  for (std::size_t i = 0; i < f.columns.size(); ++i) {
    if (f.columns[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

// The row lines for the selected names, in their order; names no column
// bears are passed over.
std::string row_lines(const event_file& f, const std::vector<std::string>& names, bool exact = false) {
  std::string text;
  for (const auto& row : exact ? f.exact : f.texts) {
    for (const std::string& name : names) {
      if (int i = column_index(f, name); i >= 0) text += row[static_cast<std::size_t>(i)];
    }
    text += "\n";
  }
  return text;
}

// A cell text as an RFC 4180 field: no blank after it, one blank between
// elements ('A' texts keep theirs but lose the trailing ones), quoted when
// it holds a comma, a quote, a blank or a line end.
std::string csv_field(const std::string& text, bool string) {
  std::string f;
  for (char c : text.substr(0, text.find_last_not_of(' ') + 1)) {
    if (string || c != ' ' || f.empty() || f.back() != ' ') f += c;
  }
  if (f.find_first_of(",\" \n\r") == std::string::npos) return f;
  std::string quoted = "\"";
  for (char c : f) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Whether the cell text is one null element of its column: an undefined
// logical, a NaN of E or D (a null cell is an empty CSV field).
bool one_null(const event_column& c, const std::string& text) {
  const std::string t = text.substr(0, text.find_last_not_of(' ') + 1);
  const char letter = c.form.back();
  if (c.form != std::string(1, letter) && c.form != "1" + std::string(1, letter)) return false;
  if (letter == 'L') return t == "?";
  return (letter == 'E' || letter == 'D') && (t == "nan" || t == "-nan");
}

// The CSV file of the selected names: the header record, then the rows.
std::string csv_lines(const event_file& f, const std::vector<std::string>& names, bool exact = false) {
  std::vector<int> at;
  for (const std::string& name : names) at.push_back(column_index(f, name));
  std::string text;
  for (std::size_t r = 0; r <= f.texts.size(); ++r) {
    std::string sep;
    for (int i : at) {
      if (i < 0) continue;
      const event_column& c = f.columns[static_cast<std::size_t>(i)];
      const std::string cell = r == 0 ? "" : (exact ? f.exact : f.texts)[r - 1][static_cast<std::size_t>(i)];
      text += sep + (r == 0 ? c.name : one_null(c, cell) ? "" : csv_field(cell, c.form.ends_with('A')));
      sep = ",";
    }
    text += "\n";
  }
  return text;
}

std::vector<std::string> all_names(const event_file& f) {
  std::vector<std::string> names;
  for (const event_column& c : f.columns) names.push_back(c.name);
  return names;
}

// The two heading lines of a selection list: names, then units, each with
// a blank after it.
std::string heading_lines(const event_file& f, const std::vector<std::string>& names) {
  std::string n = "!", u = "!";
  for (const std::string& name : names) {
    if (int i = column_index(f, name); i >= 0) {
      n += name + " ";
      u += f.columns[static_cast<std::size_t>(i)].unit + " ";
    }
  }
  return n + "\n" + u + "\n";
}

// --- the cases --------------------------------------------------------------

struct e2e_case {
  std::string name;
  std::vector<std::string> args;  // options, then the input files
  file_map inputs;
  std::string out;
  std::string err;
  int status;
  file_map files;  // every file written but the logfile
};

std::string logged(const std::vector<std::string>& args) {
  std::string line = " orvex";
  for (const std::string& a : args) {
    bool quote = a.find_first_of(" ,*") != std::string::npos;
    line += quote ? " \"" + a + "\"" : " " + a;
  }
  return line + "\n";
}

const std::vector<card> object_cards{{"TELESCOP", "'ROSAT   '"}, {"INSTRUME", "'PSPCB   '"},
                                     {"OBJECT", "'SN1987A '"}, {"EXTNAME", "'EVENTS'"}};
const std::string object_line = "Object = SN1987A \n";

std::vector<e2e_case> event_file_cases() {
  std::vector<e2e_case> cases;
  const std::int64_t n = 250;
  const event_file f = make_events(n, 42, object_cards);
  const std::string fits = fits_builder{}.empty_primary().bintable(f.cards, f.rows).bytes();
  const std::vector<std::size_t> at = header_offsets(fits);
  const std::string primary = comments_at(fits, at[0]);
  const std::string ext = comments_at(fits, at[1]);
  const std::vector<std::string> names = all_names(f);
  const std::string head = filename_line("ev.fits") + object_line;
  const std::vector<std::string> rosat{"X", "Y", "PHA", "PI", "TIME", "DETX", "DETY"};
  const std::vector<std::string>& rosat_names = rosat;
  auto run = [&](std::string name, std::vector<std::string> options, std::string out, file_map files) {
    options.push_back("ev.fits");
    return e2e_case{std::move(name), options, {{"ev.fits", fits}}, head + out, "", 0, std::move(files)};
  };

  cases.push_back(run("events_every_column", {}, progress(n), {{"ev.000", primary}, {"ev.001", ext + row_lines(f, names)}}));
  cases.push_back(run("events_heading_lines", {"-h"}, progress(n),
                      {{"ev.000", primary}, {"ev.001", ext + heading_lines(f, names) + row_lines(f, names)}}));
  cases.push_back(run("events_long_header_option", {"--header"}, progress(n),
                      {{"ev.000", primary}, {"ev.001", ext + heading_lines(f, names) + row_lines(f, names)}}));
  const std::vector<std::string> list{"PHA", "TIME", "NOPE", "PHA", "UCOUNT", "FLAG"};
  // A name that no table holds leaves nothing out, and fails the run.
  const std::string nope = "orvex: ev.fits: --col-name: no table has the column NOPE\n";
  cases.push_back(run("events_column_list_with_missing_and_duplicate_names", {"-h", "--col-name=PHA,TIME,NOPE,PHA,UCOUNT,FLAG"},
                      progress(n), {{"ev.000", primary}, {"ev.001", ext + heading_lines(f, list) + row_lines(f, list)}}));
  cases.back().err = nope;
  cases.back().status = 1;
  cases.push_back(run("events_two_column_lists_add_up", {"--col-name=ARRAY,VEC", "--col-name=,W,,"}, progress(n),
                      {{"ev.000", primary}, {"ev.001", ext + row_lines(f, {"ARRAY", "VEC", "W"})}}));

  cases.push_back(run("events_rosat_preset", {"--rosat", "-h"}, progress(n),
                      {{"ev.000", primary}, {"ev.001", ext + heading_lines(f, rosat) + row_lines(f, rosat)}}));
  // The CHANDRA names are lower case: none is a column of this file, and
  // its telescope is ROSAT.
  cases.push_back({"events_chandra_preset_on_a_rosat_file",
                   {"--chandra", "-h", "ev.fits"},
                   {{"ev.fits", fits}},
                   filename_line("ev.fits") + wrong_telescope + object_line + no_colums + progress(n),
                   "",
                   0,
                   {{"ev.000", primary}, {"ev.001", ext + "!\n!\n" + std::string(static_cast<std::size_t>(n), '\n')}}});
  cases.push_back(run("events_exact", {"--exact"}, progress(n), {{"ev.000", primary}, {"ev.001", ext + row_lines(f, names, true)}}));
  // CSV: no comment lines, so no heading lines either, and no .000 file.
  cases.push_back(run("events_csv", {"--csv", "-h"}, progress(n), {{"ev.001.csv", csv_lines(f, names)}}));
  cases.push_back(run("events_csv_of_no_column_writes_no_file", {"--csv", "--col-name=NOPE"}, no_colums + progress(n), {}));
  cases.back().err = nope;
  cases.back().status = 1;
  // A record of one empty field (an empty array) is "", not a blank line.
  std::string empty_records = "ARRAY\n";
  for (std::int64_t r = 0; r < n; ++r) empty_records += "\"\"\n";
  cases.push_back(run("events_csv_one_empty_field", {"--csv", "--col-name=ARRAY"}, progress(n), {{"ev.001.csv", empty_records}}));
  cases.push_back(run("events_csv_exact_column_list", {"--csv", "--exact", "--col-name=SRC,VEC,NOPE,TIME"}, progress(n),
                      {{"ev.001.csv", csv_lines(f, {"SRC", "VEC", "NOPE", "TIME"}, true)}}));
  cases.back().err = nope;
  cases.back().status = 1;
  // -o -: the texts on standard output, the messages on standard error.
  cases.push_back({"events_csv_onto_stdout", {"-o", "-", "--csv", "--rosat", "ev.fits"}, {{"ev.fits", fits}},
                   csv_lines(f, rosat_names), head + progress(n), 0, {}});
  std::string listing = "ev.000  primary  BITPIX=8  NAXIS=0\nev.001  BINTABLE  EXTNAME=EVENTS  " + std::to_string(n) +
                        " rows x " + std::to_string(f.columns.size()) + " columns\n";
  for (std::size_t i = 0; i < f.columns.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    const event_column& c = f.columns[i];
    listing += std::string(5 - number.size(), ' ') + number + "  " + c.name + "  " + c.form +
               (c.unit.empty() ? "" : "  " + c.unit) + "\n";
  }
  cases.push_back({"events_list", {"--list", "--csv", "ev.fits"}, {{"ev.fits", fits}}, listing, "", 0, {}});
  cases.push_back(run("events_primary_part_only", {"-p", "0"}, no_colums + progress(n), {{"ev.000", primary}}));
  cases.push_back(run("events_extension_part_only", {"-p", "1", "-h"}, progress(n),
                      {{"ev.001", ext + heading_lines(f, names) + row_lines(f, names)}}));
  cases.push_back(run("events_no_comments_drops_the_heading_lines_too", {"--no-comments", "-h"}, progress(n),
                      {{"ev.000", ""}, {"ev.001", row_lines(f, names)}}));
  return cases;
}

std::vector<e2e_case> generated_file_cases() {
  std::vector<e2e_case> cases;
  // A larger file, two event tables and a GTI table: myvec follows each
  // table's own names, and the list of --col-name serves all of them.
  const event_file a = make_events(3000, 7), b = make_events(1, 8);
  const std::vector<card> gti_cards{{"EXTNAME", "'GTI'"}, {"TTYPE1", "'START'"}, {"TFORM1", "'1D'"},
                                    {"TUNIT1", "'s'"},    {"TTYPE2", "'STOP'"},  {"TFORM2", "'1D'"}};
  const std::string gti_rows = big_endian{}.f64(1.2e8).f64(1.2e8 + 1000.5).f64(1.3e8).f64(1.3e8 + 0.25).bytes();
  const std::string fits =
      fits_builder{}.empty_primary().bintable(a.cards, a.rows).bintable(gti_cards, gti_rows).bintable(b.cards, b.rows).bytes();
  const std::vector<std::size_t> at = header_offsets(fits);
  EXPECT_EQ(at.size(), 4u);
  const std::string gti_lines = "120000000 120001000.5 \n130000000 130000000.25 \n";
  cases.push_back({"three_tables_every_column",
                   {"big.fits"},
                   {{"big.fits", fits}},
                   filename_line("big.fits") + progress(3000) + progress(2) + progress(1),
                   "",
                   0,
                   {{"big.000", comments_at(fits, at[0])},
                    {"big.001", comments_at(fits, at[1]) + row_lines(a, all_names(a))},
                    {"big.002", comments_at(fits, at[2]) + gti_lines},
                    {"big.003", comments_at(fits, at[3]) + row_lines(b, all_names(b))}}});
  cases.push_back({"three_tables_one_column_list",
                   {"-h", "--col-name=TIME,START", "big.fits"},
                   {{"big.fits", fits}},
                   filename_line("big.fits") + progress(3000) + progress(2) + progress(1),
                   "",
                   0,
                   {{"big.000", comments_at(fits, at[0])},
                    {"big.001", comments_at(fits, at[1]) + "!TIME \n!s \n" + row_lines(a, {"TIME"})},
                    {"big.002", comments_at(fits, at[2]) + "!START \n!s \n120000000 \n130000000 \n"},
                    {"big.003", comments_at(fits, at[3]) + "!TIME \n!s \n" + row_lines(b, {"TIME"})}}});
  cases.push_back({"three_tables_second_part_only",
                   {"-p", "2", "big.fits"},
                   {{"big.fits", fits}},
                   filename_line("big.fits") + no_colums + progress(3000) + progress(2) + no_colums + progress(1),
                   "",
                   0,
                   {{"big.002", comments_at(fits, at[2]) + gti_lines}}});
  return cases;
}

std::vector<e2e_case> ascii_cases() {
  std::vector<e2e_case> cases;
  const std::vector<card> columns{
      {"TBCOL1", "1"},        {"TFORM1", "'I4'"},      {"TTYPE1", "'N'"},       {"TUNIT1", "'count'"},
      {"TBCOL2", "5"},        {"TFORM2", "'E10.3'"},   {"TTYPE2", "'FLUX'"},
      {"TBCOL3", "15"},       {"TFORM3", "'A6'"},      {"TTYPE3", "'NAME'"},
      {"TBCOL4", "21"},       {"TFORM4", "'D12.5'"},   {"TTYPE4", "'RA'"},      {"TDISP4", "'F12.4'"},
      {"TBCOL5", "33"},       {"TFORM5", "'I3'"},      {"TTYPE5", "'Q'"},       {"TSCAL5", "0.5"},
      {"TZERO5", "1.0D+02"},  {"TBCOL6", "36"},        {"TFORM6", "'F8.2'"},    {"TTYPE6", "'ODD'"},
      {"TBCOL7", "44"},       {"TFORM7", "'E6.2'"},    {"TTYPE7", "'LAST'"},
  };
  // Field 1 runs on into field 2 where no blank parts them; field 7 is
  // blank in the second row; field 4 uses the D exponent letter.
  // Fields of 4, 10, 6, 12, 3, 8 and 6 characters. A number runs on into
  // the next field where no blank parts them (fields 1 of rows 2 and 3,
  // field 4 of row 3); fields 2, 4 and 7 use the D exponent letter; field
  // 7 is blank in the second row.
  const std::vector<std::string> rows{
      std::string("  12") + "-1.500E+01" + " alpha" + "1.2345678D+2" + " -7" + "     1.5" + "   0.5",
      std::string(" 123") + "4.5E+00   " + "  beta" + "-3.333333333" + " 12" + "    -2.0" + "      ",
      std::string("  -3") + "3.2768D+04" + "gamma " + "           0" + "999" + "     1e3" + "1.0D-3",
  };
  const std::string fits = fits_builder{}.empty_primary().ascii_table(columns, rows).bytes();
  const std::vector<std::size_t> at = header_offsets(fits);
  // D12.5 with TDISP F12.4: width 12, the TFORM's 5 decimals.
  const std::string lines =
      "12 -15  123.46       96.5  0.5\n"
      "1234 4.5  -3.3333      106  0\n"
      "-33 32768  999          599.5  0.001\n";
  const std::string unknown = "Unknown type A\nUnknown type F\n";
  cases.push_back({"ascii_table",
                   {"tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   unknown + unknown + unknown,
                   0,
                   {{"tab.000", comments_at(fits, at[0])}, {"tab.001", comments_at(fits, at[1]) + lines}}});
  // Heading lines follow the selection; the rows of an ASCII table always
  // hold every column.
  cases.push_back({"ascii_table_heading_lines_and_a_column_list",
                   {"-h", "--col-name=RA,N", "tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   unknown + unknown + unknown,
                   0,
                   {{"tab.000", comments_at(fits, at[0])},
                    {"tab.001", comments_at(fits, at[1]) + "!RA N \n! count \n" + lines}}});
  // Exact numbers: TDISPn not applied, a scaled integer field not cut to
  // an integer; unknown types give empty fields.
  cases.push_back({"ascii_table_csv_exact",
                   {"--csv", "--exact", "tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   unknown + unknown + unknown,
                   0,
                   {{"tab.001.csv", "N,FLUX,NAME,RA,Q,ODD,LAST\n12,-15,,123.45678,96.5,,0.5\n"
                                    "1234,4.5,,-3.333333333,106,,0\n-33,32768,,999,599.5,,0.001\n"}}});
  cases.push_back({"ascii_table_not_written",
                   {"-p", "0", "tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   unknown + unknown + unknown,
                   0,
                   {{"tab.000", comments_at(fits, at[0])}}});
  // --full reads the F fields as floating numbers (running on into the next
  // field where no blank parts them, as "1e3" and "1.0D-3" give "1e31") and
  // writes the A fields as they stand: six characters, blanks included.
  const std::string every_field =
      "12 -15  alpha " + text_g(123.45678, 12, 5) + "96.5 1.5 0.5\n"
      "1234 4.5   beta " + text_g(-3.333333333, 12, 5) + "106 -2 0\n"
      "-33 32768 gamma  " + text_g(999, 12, 5) + "599.5 1e+31 0.001\n";
  cases.push_back({"ascii_table_every_field",
                   {"--full", "tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   "",
                   0,
                   {{"tab.000", comments_at(fits, at[0])}, {"tab.001", comments_at(fits, at[1]) + every_field}}});
  cases.push_back({"ascii_table_every_field_csv_exact",
                   {"--full", "--csv", "--exact", "tab.fits"},
                   {{"tab.fits", fits}},
                   filename_line("tab.fits") + progress(3),
                   "",
                   0,
                   {{"tab.001.csv", "N,FLUX,NAME,RA,Q,ODD,LAST\n12,-15,\" alpha\",123.45678,96.5,1.5,0.5\n"
                                    "1234,4.5,\"  beta\",-3.333333333,106,-2,0\n-33,32768,gamma,999,599.5,1e+31,0.001\n"}}});
  // An A field that the row ends inside is padded to its width; one beyond
  // the row is all blanks; a letter FITS does not define stays unknown.
  const std::vector<card> short_row{{"TBCOL1", "1"}, {"TFORM1", "'I2'"}, {"TBCOL2", "4"}, {"TFORM2", "'A8'"},
                                    {"TBCOL3", "40"}, {"TFORM3", "'A3'"}, {"TBCOL4", "1"}, {"TFORM4", "'L1'"}};
  const std::string short_fits =
      fits_builder{}.empty_primary().ascii_table(short_row, {"12 abcde", "-3 xy"}, {.naxis1 = 8}).bytes();
  cases.push_back({"ascii_every_field_of_short_rows",
                   {"--full", "s.fits"},
                   {{"s.fits", short_fits}},
                   filename_line("s.fits") + progress(2),
                   "Unknown type L\nUnknown type L\n",
                   0,
                   {{"s.000", comments_at(short_fits, 0)},
                    {"s.001", comments_at(short_fits, header_offsets(short_fits)[1]) +
                                  "12 abcde" + std::string(8, ' ') + "\n-3 xy" + std::string(11, ' ') + "\n"}}});

  // A field position outside the row yields 0; an integer outside
  // the 32-bit range gives -2147483648; a negative NAXIS1 reads no rows.
  const std::vector<card> outside{{"TBCOL1", "1"},  {"TFORM1", "'I11'"}, {"TBCOL2", "0"},  {"TFORM2", "'I2'"},
                                  {"TZERO2", "5"},  {"TBCOL3", "99"},    {"TFORM3", "'E4.1'"}, {"TFORM4", "'J3'"}};
  const std::string outside_fits =
      fits_builder{}.empty_primary().ascii_table(outside, {"99999999999", "-2147483648"}).bytes();
  cases.push_back({"ascii_fields_outside_the_row_and_out_of_range",
                   {"o.fits"},
                   {{"o.fits", outside_fits}},
                   filename_line("o.fits") + progress(2),
                   "",
                   0,
                   {{"o.000", comments_at(outside_fits, 0)},
                    {"o.001", comments_at(outside_fits, header_offsets(outside_fits)[1]) +
                                  "-2147483648 5 0 0\n-2147483648 5 0 0\n"}}});
  // Columns without names: a header record of empty names (a fuzzer find).
  cases.push_back({"ascii_csv_of_columns_without_names",
                   {"--csv", "o.fits"},
                   {{"o.fits", outside_fits}},
                   filename_line("o.fits") + progress(2),
                   "",
                   0,
                   {{"o.001.csv", ",,,\n-2147483648,5,0,0\n-2147483648,5,0,0\n"}}});
  const std::string negative_fits =
      fits_builder{}.empty_primary().ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I4'"}}, {"   1", "   2"},
                                                 {.naxis1 = -4, .naxis2 = 2}).bytes();
  cases.push_back({"ascii_negative_row_length_reads_no_rows",
                   {"neg.fits"},
                   {{"neg.fits", negative_fits}},
                   filename_line("neg.fits") + "000%\n",
                   "orvex: neg.fits: part 1: the row length NAXIS1 = -4 is negative: 0 of 2 rows written\n",
                   1,
                   {{"neg.000", comments_at(negative_fits, 0)},
                    {"neg.001", comments_at(negative_fits, header_offsets(negative_fits)[1])}}});
  return cases;
}

// The corners of the format, one table each.
std::vector<e2e_case> corner_cases() {
  std::vector<e2e_case> cases;
  auto one_table = [&](std::string name, const std::string& stem, const std::vector<card>& cards,
                       const std::string& rows, table_shape shape, std::vector<std::string> options,
                       std::function<std::string(const std::string& fits, std::size_t ext)> text, std::string out,
                       std::string err = "", int status = 0) {
    const std::string fits = fits_builder{}.empty_primary().bintable(cards, rows, shape).bytes();
    const std::string path = stem + ".fits";
    options.push_back(path);
    cases.push_back({std::move(name), options, {{path, fits}}, filename_line(path) + out, std::move(err), status,
                     {{stem + ".000", comments_at(fits, 0)},
                      {stem + ".001", text(fits, header_offsets(fits)[1])}}});
  };

  // Letter-only forms have the count 1; K is a 64-bit integer; P and Q
  // take 8 and 16 bytes and write their arrays from the heap after the
  // rows; X with 12 bits takes 2 bytes; an undefined logical is '?'; B with
  // TZERO -128 is a signed byte; K with TSCAL 0.5 a floating value.
  const std::vector<card> corners{
      {"TTYPE1", "'E1'"},   {"TFORM1", "'E'"},        {"TTYPE2", "'K2'"},   {"TFORM2", "'2K'"},
      {"TTYPE3", "'P3'"},   {"TFORM3", "'1PE(5)'"},   {"TTYPE4", "'Q4'"},   {"TFORM4", "'1QD(2)'"},
      {"TTYPE5", "'X5'"},   {"TFORM5", "'12X'"},      {"TTYPE6", "'L6'"},   {"TFORM6", "'3L'"},
      {"TTYPE7", "'B7'"},   {"TFORM7", "'2B'"},       {"TZERO7", "-128"},   {"TTYPE8", "'J8'"},
      {"TFORM8", "'J'"},    {"TTYPE9", "'U9'"},       {"TFORM9", "'1K'"},   {"TZERO9", "9223372036854775808"},
      {"TTYPE10", "'S10'"}, {"TFORM10", "'1K'"},      {"TSCAL10", "0.5"},
  };
  const std::string corner_row = big_endian{}
                                     .f32(2.5f)
                                     .i64(INT64_MIN)
                                     .i64(9007199254740993)
                                     .i32(5).i32(0)
                                     .i64(2).i64(40)
                                     .u8(0xA5).u8(0xF0)
                                     .raw("T").u8(0).raw("F")
                                     .u8(0).u8(200)
                                     .i32(-12)
                                     .i64(-1)
                                     .i64(-7)
                                     .bytes();
  // The heap: five singles at byte 0, two doubles at byte 40.
  const std::string corner_heap =
      big_endian{}.f32(1).f32(2).f32(3).f32(4).f32(5.5f).raw(std::string(20, '\0')).f64(0.5).f64(-0.25).bytes();
  const std::string corner_line =
      "2.5 -9223372036854775808 9007199254740993 1 2 3 4 5.5 0.5 -0.25 1010010111110000 T ? F -128 72 -12 "
      "9223372036854775807 -3.5 \n";
  one_table("corner_types", "c", corners, corner_row + corner_row + corner_heap, {.naxis2 = 2, .pcount = 56}, {},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + corner_line + corner_line; },
            progress(2));
  // Selecting the arrays alone, in the other order.
  one_table("array_cells_alone", "d", corners, corner_row + corner_heap, {.naxis2 = 1, .pcount = 56},
            {"--col-name=Q4,P3"},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "0.5 -0.25 1 2 3 4 5.5 \n"; },
            progress(1));

  // A cell text past 10239 characters is written whole, and the next
  // column reads its own bytes.
  std::string long_text;
  for (int i = 0; i < 12000; ++i) long_text += static_cast<char>('a' + i % 26);
  one_table("long_cell_written_whole", "l", {{"TTYPE1", "'LONG'"}, {"TFORM1", "'12000A'"}, {"TTYPE2", "'V'"}, {"TFORM2", "'1J'"}},
            big_endian{}.chars(long_text).i32(77).bytes(), {}, {},
            [&](const std::string& fits, std::size_t ext) {
              return comments_at(fits, ext) + long_text + " 77 \n";
            },
            progress(1));

  // A response matrix: F_CHAN, N_CHAN and MATRIX are variable-length
  // arrays in the heap, which THEAP puts 8 bytes after the rows; every
  // letter once more as a Q array; rows held until the heap has arrived.
  {
    struct array_column {
      const char* name;
      const char* form;
      std::string elements;  // the array's bytes in the heap
      std::int64_t count;
      std::string text;
    };
    const std::vector<array_column> arrays{
        {"F_CHAN", "1PJ(2)", big_endian{}.i32(1).i32(300).bytes(), 2, "1 300 "},
        {"N_CHAN", "1PI(2)", big_endian{}.i16(200).i16(24).bytes(), 2, "200 24 "},
        {"MATRIX", "1PE(4)", big_endian{}.f32(0.25f).f32(1e-3f).f32(0).bytes(), 3,
         "0.25 " + text_g16(1e-3f) + "0 "},
        {"QA", "1QA(8)", big_endian{}.chars("AB C", 6).bytes(), 6, "AB C   "},
        {"QB", "1QB", big_endian{}.u8(255).bytes(), 1, "255 "},
        {"QK", "1QK", big_endian{}.i64(INT64_MIN).bytes(), 1, "-9223372036854775808 "},
        {"QD", "1QD", big_endian{}.f64(1.0 / 3.0).bytes(), 1, "0.3333333333333333 "},
        {"QC", "1QC", big_endian{}.f32(1.5f).f32(-2).bytes(), 1, "1.5 -2 "},
        {"QM", "1QM", big_endian{}.f64(0.1).f64(7).bytes(), 1, "0.1 7 "},
        {"QL", "1QL", big_endian{}.raw("T").u8(0).bytes(), 2, "T ? "},
        {"QX", "1QX", big_endian{}.u8(0xA5).u8(0x80).bytes(), 9, "1010010110000000 "},
        {"EMPTY", "1PE", "", 0, ""},
    };
    std::vector<card> cards{{"TTYPE1", "'ENERG_LO'"}, {"TFORM1", "'1E'"}};
    std::string row = big_endian{}.f32(0.5f).bytes(), heap(8, '\0'), line = "0.5 ";
    for (std::size_t i = 0; i < arrays.size(); ++i) {
      const array_column& a = arrays[i];
      const std::string n = std::to_string(i + 2);
      cards.push_back({"TTYPE" + n, "'" + std::string(a.name) + "'"});
      cards.push_back({"TFORM" + n, "'" + std::string(a.form) + "'"});
      const std::int64_t offset = static_cast<std::int64_t>(heap.size()) - 8;
      row += a.form[1] == 'Q' ? big_endian{}.i64(a.count).i64(offset).bytes()
                              : big_endian{}.i32(static_cast<std::int32_t>(a.count)).i32(static_cast<std::int32_t>(offset)).bytes();
      heap += a.elements;
      line += a.text;
    }
    cards.push_back({"THEAP", std::to_string(row.size() + 8)});
    const auto pcount = static_cast<std::int64_t>(heap.size());
    one_table("response_matrix_arrays", "r", cards, row + heap, {.naxis2 = 1, .pcount = pcount}, {},
              [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + line + "\n"; },
              progress(1));

    // A descriptor past the heap's end: its array writes nothing, the run
    // names the first one and ends with status 1; the others are written
    // (row 2's F_CHAN reads the bytes of the single 1 as an integer).
    std::vector<card> bad_cards{{"TTYPE1", "'F_CHAN'"}, {"TFORM1", "'1PJ'"}, {"TTYPE2", "'MATRIX'"},
                                {"TFORM2", "'1PE'"}};
    const std::string bad_rows = big_endian{}.i32(1).i32(0).i32(2).i32(4).i32(1).i32(4).i32(3).i32(8).bytes();
    const std::string bad_heap = big_endian{}.i32(7).f32(1).f32(2).bytes();
    one_table("array_outside_the_heap", "o", bad_cards, bad_rows + bad_heap, {.naxis2 = 2, .pcount = 12}, {},
              [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "7 1 2 \n1065353216 \n"; },
              progress(2),
              "orvex: o.fits: part 1: row 2, column 2 (MATRIX): the array of 3 elements at heap byte 8 lies outside "
              "the heap of 12 bytes\n",
              1);
  }

  // A table with arrays cut at several places: in its rows (the rows
  // before the cut are written, their arrays with them had the heap come:
  // it did not), right after its rows, inside its heap (the arrays that
  // arrived are written), and in the padding only (nothing lost).
  {
    const std::vector<card> cards{{"TTYPE1", "'N'"}, {"TFORM1", "'1J'"}, {"TTYPE2", "'A'"}, {"TFORM2", "'1PJ'"}};
    const std::string rows = big_endian{}.i32(1).i32(2).i32(0).i32(2).i32(2).i32(8).i32(3).i32(1).i32(16).bytes();
    const std::string heap = big_endian{}.i32(10).i32(11).i32(20).i32(21).i32(30).bytes();
    const std::string fits =
        fits_builder{}.empty_primary().bintable(cards, rows + heap, {.naxis2 = 3, .pcount = 20}).bytes();
    const std::size_t data = 2 * block_size;
    struct cut_case {
      const char* name;
      std::size_t size;
      std::string lines;
      std::string out;
      std::string err;
    };
    const std::string unit_cut = "orvex: h.fits: part 1: the stream ends inside the data unit: ";
    for (const cut_case& c : std::vector<cut_case>{
             {"arrays_cut_inside_the_rows", data + 14, "1 \n", progress(3, 1),
              "orvex: h.fits: part 1: the stream ends inside the table: 1 of 3 rows written\n"},
             {"arrays_cut_after_the_rows", data + 36, "1 \n2 \n3 \n", progress(3), unit_cut + "36 of 56 bytes\n"},
             {"arrays_cut_inside_the_heap", data + 52, "1 10 11 \n2 20 21 \n3 \n", progress(3),
              unit_cut + "52 of 56 bytes\n"},
             {"arrays_cut_inside_an_array", data + 50, "1 10 11 \n2 \n3 \n", progress(3),
              unit_cut + "50 of 56 bytes\n"},
             {"arrays_cut_in_the_padding", data + 100, "1 10 11 \n2 20 21 \n3 30 \n", progress(3), ""},
         }) {
      const std::string cut = fits.substr(0, c.size);
      cases.push_back({c.name, {"h.fits"}, {{"h.fits", cut}}, filename_line("h.fits") + c.out, c.err,
                       c.err.empty() ? 0 : 1,
                       {{"h.000", comments_at(cut, 0)}, {"h.001", comments_at(cut, block_size) + c.lines}}});
    }
  }

  // Column numbers: a negative one is ignored (its comment line stays);
  // TFIELDS above 199 is 199, negative 0.
  one_table("negative_column_numbers_are_ignored", "n",
            {{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}, card("TFORM-1 = '8A'"), card("TTYPE-2 = 'W'"),
             card("TSCAL-1 =                  2.0"), card("TZERO -1 =                 5.0"), card("TUNIT-1 = 'm'"),
             card("TDISP-1 = 'I9'"), card("TBCOL-1 =                    1")},
            big_endian{}.i32(3).bytes(), {.naxis1 = 4, .tfields = 1}, {"-h"},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "!V \n! \n3 \n"; },
            progress(1));
  one_table("negative_tfields_is_no_column", "t", {{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}},
            big_endian{}.i32(3).i32(4).i32(5).bytes(), {.naxis1 = 4, .tfields = -2}, {},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "\n\n\n"; },
            no_colums + progress(3));
  std::string nul_letters;
  for (int n = 2; n <= 199; ++n) nul_letters += std::string("Unknown type \0\n", 15);
  one_table("tfields_above_199_is_199", "m", {{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(9).bytes(),
            {.naxis1 = 4, .tfields = 500}, {},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "9 \n"; }, progress(1),
            nul_letters);

  // A TZERO that is no number is 0; an empty TTYPE is the empty name,
  // which the heading lines and the rows find like any other.
  one_table("tzero_no_number_and_empty_name", "z",
            {{"TTYPE1", "''"}, {"TFORM1", "'1J'"}, {"TUNIT1", "'ct'"}, {"TZERO1", "100"}, {"TZERO1", "'abc'"},
             {"TTYPE2", "'S'"}, {"TFORM2", "'1I'"}, {"TZERO2", "'x'"}},
            big_endian{}.i32(-4).i16(6).bytes(), {}, {"-h"},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "! S \n!ct  \n-4 6 \n"; },
            progress(1));

  // TSCAL and TZERO with a D exponent letter.
  one_table("d_exponent_in_tscal_and_tzero", "e",
            {{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}, {"TSCAL1", "5.0D-1"}, {"TZERO1", "3.2768d+04"}},
            big_endian{}.i32(-9).bytes(), {}, {},
            [&](const std::string& fits, std::size_t ext) { return comments_at(fits, ext) + "32763.5 \n"; }, progress(1));

  // A stream that ends inside the data: the rows stop there, a row not
  // delivered in full is not written, the last progress figure shows the
  // share written, and the run says so and ends with status 1.
  const std::vector<card> pair{{"TTYPE1", "'T'"}, {"TFORM1", "'1J'"}, {"TTYPE2", "'U'"}, {"TFORM2", "'1I'"}};
  const std::string five_rows = big_endian{}.i32(1).i16(10).i32(2).i16(20).i32(3).i16(30).i32(4).i16(40).i32(5).i16(50).bytes();
  const std::string whole = fits_builder{}.empty_primary().bintable(pair, five_rows).bytes();
  const std::string cut = fits_builder{}.empty_primary().bintable(pair, five_rows).cut(2 * block_size + 15).bytes();
  cases.push_back({"stream_ends_inside_a_row",
                   {"cut.fits"},
                   {{"cut.fits", cut}},
                   filename_line("cut.fits") + progress(5, 2),
                   "orvex: cut.fits: part 1: the stream ends inside the table: 2 of 5 rows written\n",
                   1,
                   {{"cut.000", comments_at(cut, 0)}, {"cut.001", comments_at(cut, block_size) + "1 10 \n2 20 \n"}}});
  cases.push_back({"stream_ends_inside_a_row_of_a_part_not_written",
                   {"-p", "0", "cut.fits"},
                   {{"cut.fits", cut}},
                   filename_line("cut.fits") + no_colums + progress(5, 2),
                   "",
                   0,
                   {{"cut.000", comments_at(cut, 0)}}});
  const std::string at_boundary = fits_builder{}.empty_primary().bintable(pair, five_rows).cut(2 * block_size + 18).bytes();
  cases.push_back({"stream_ends_after_a_whole_row",
                   {"cut.fits"},
                   {{"cut.fits", at_boundary}},
                   filename_line("cut.fits") + progress(5, 3),
                   "orvex: cut.fits: part 1: the stream ends inside the table: 3 of 5 rows written\n",
                   1,
                   {{"cut.000", comments_at(at_boundary, 0)},
                    {"cut.001", comments_at(at_boundary, block_size) + "1 10 \n2 20 \n3 30 \n"}}});
  const std::string cut_ascii =
      fits_builder{}.empty_primary().ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I3'"}}, {"  1", "  2", "  3"}).cut(2 * block_size + 7).bytes();
  cases.push_back({"stream_ends_inside_an_ascii_row",
                   {"cut.fits"},
                   {{"cut.fits", cut_ascii}},
                   filename_line("cut.fits") + progress(3, 2),
                   "orvex: cut.fits: part 1: the stream ends inside the table: 2 of 3 rows written\n",
                   1,
                   {{"cut.000", comments_at(cut_ascii, 0)}, {"cut.001", comments_at(cut_ascii, block_size) + "1\n2\n"}}});
  // A stream that ends inside the header of a table that declares rows:
  // none of them has arrived.
  const std::string in_header = fits_builder{}.empty_primary().bintable(pair, five_rows).cut(block_size + 10 * card_size + 20).bytes();
  cases.push_back({"stream_ends_inside_the_header",
                   {"cut.fits"},
                   {{"cut.fits", in_header}},
                   filename_line("cut.fits") + "000%\n",
                   "orvex: cut.fits: part 1: the stream ends inside the header\n",
                   1,
                   {{"cut.000", comments_at(in_header, 0)}, {"cut.001", comments_at(in_header, block_size)}}});
  cases.push_back({"stream_ends_inside_the_header_of_a_part_not_written",
                   {"-p", "0", "cut.fits"},
                   {{"cut.fits", in_header}},
                   filename_line("cut.fits") + "000%\n",
                   "",
                   0,
                   {{"cut.000", comments_at(in_header, 0)}}});
  // Rows that need no bytes are written as declared, whatever follows.
  const std::string no_bytes =
      fits_builder{}.empty_primary().bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'0J'"}}, "", {.naxis2 = 4}, {.pad_data = false}).bytes();
  cases.push_back({"rows_of_no_bytes_at_the_end_of_the_stream",
                   {"z.fits"},
                   {{"z.fits", no_bytes}},
                   filename_line("z.fits") + progress(4),
                   "",
                   0,
                   {{"z.000", comments_at(no_bytes, 0)}, {"z.001", comments_at(no_bytes, block_size) + "\n\n\n\n"}}});

  // Rows whose cells take none of their bytes (an IMAGE extension without
  // --full: NAXIS1 bytes a row and no columns) are there only when those
  // bytes arrived (here 4 bytes a row, 10 bytes sent): a cut writes the
  // lines of the rows before it and says so, however many rows the header
  // declares.
  const std::string image_rows = big_endian{}.i16(1).i16(2).i16(3).i16(4).i16(5).i16(6).bytes();
  for (const std::int64_t declared : {std::int64_t{5}, std::int64_t{2147483647}}) {
    const std::string cut_image =
        fits_builder{}.empty_primary().image_extension(16, {4, declared}, image_rows).cut(2 * block_size + 10).bytes();
    cases.push_back({"image_rows_without_cells_stop_at_the_cut_of_" + std::to_string(declared),
                     {"im.fits"},
                     {{"im.fits", cut_image}},
                     filename_line("im.fits") + no_colums + progress(declared, 2),
                     "orvex: im.fits: part 1: an image of BITPIX 16 and NAXIS 2 is written only with --full\n"
                     "orvex: im.fits: part 1: the stream ends inside the table: 2 of " + std::to_string(declared) +
                         " rows written\n",
                     1,
                     {{"im.000", comments_at(cut_image, 0)}, {"im.001", comments_at(cut_image, block_size) + "\n\n"}}});
  }

  // A column number above 199 ends the run at once.
  const std::string too_many =
      fits_builder{}.empty_primary().bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}, {"TFORM200", "'1E'"}, {"TTYPE2", "'W'"}},
                                              big_endian{}.i32(1).bytes(), {.naxis1 = 4, .tfields = 1}).bytes();
  cases.push_back({"column_number_200_ends_the_run",
                   {"big.fits"},
                   {{"big.fits", too_many}},
                   filename_line("big.fits") + "Error: To many variables\n",
                   "",
                   1,
                   {{"big.000", comments_at(too_many, 0)}, {"big.001", comments_at(too_many, block_size, "TFORM200")}}});
  return cases;
}

std::vector<e2e_case> heading_and_report_cases() {
  std::vector<e2e_case> cases;
  // No TTYPE cards: myvec stays empty, the heading lines take the widths
  // of the counts, TDISP widths or 8, and each row holds every column's
  // own text, though every column bears the empty name.
  const std::vector<card> unnamed{{"TFORM1", "'3A'"}, {"TUNIT1", "'abcdef'"}, {"TFORM2", "'1D'"},
                                  {"TUNIT2", "'s'"},  {"TFORM3", "'1E'"},     {"TDISP3", "'F6.1'"}};
  // The counts 3, 1 and 1 are the widths, so abcdef is cut to abc; column
  // 3 is F6.1: one significant digit.
  const std::string unnamed_fits =
      fits_builder{}.empty_primary().bintable(unnamed, big_endian{}.chars("xyz").f64(0.5).f32(2.25f).bytes()).bytes();
  cases.push_back({"heading_lines_without_names",
                   {"-h", "u.fits"},
                   {{"u.fits", unnamed_fits}},
                   filename_line("u.fits") + progress(1),
                   "",
                   0,
                   {{"u.000", comments_at(unnamed_fits, 0)},
                    {"u.001", comments_at(unnamed_fits, block_size) + "!    " + "  " + "  " + "\n!abc s   \n" +
                                  "xyz 0.5 2      \n"}}});

  // An extension without data: heading lines all the same, no progress.
  const std::string image_ext = fits_builder{}
                                    .empty_primary()
                                    .header({{"XTENSION", "'BINTABLE'"}, {"BITPIX", "8"}, {"NAXIS", "0"}, {"TFIELDS", "1"},
                                             {"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}, {"TUNIT1", "'m'"}})
                                    .bytes();
  cases.push_back({"naxis_0_still_writes_the_heading_lines",
                   {"-h", "i.fits"},
                   {{"i.fits", image_ext}},
                   filename_line("i.fits"),
                   "",
                   0,
                   {{"i.000", comments_at(image_ext, 0)}, {"i.001", comments_at(image_ext, block_size) + "!V \n!m \n"}}});

  // An image extension: NAXIS 2 and no columns, one empty line per row,
  // the warning once, and no data byte read (the scan finds the table
  // after it); a note says that --full writes it.
  const std::string image_then_table =
      fits_builder{}
          .empty_primary()
          .header({{"XTENSION", "'IMAGE   '"}, {"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "3"}})
          .data("just pixels")
          .bintable({{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}}, big_endian{}.i32(6).bytes())
          .bytes();
  const auto it = header_offsets(image_then_table);
  cases.push_back({"image_extension_gives_empty_lines",
                   {"im.fits"},
                   {{"im.fits", image_then_table}},
                   filename_line("im.fits") + no_colums + progress(3) + progress(1),
                   "orvex: im.fits: part 1: an image of BITPIX 8 and NAXIS 2 is written only with --full\n",
                   0,
                   {{"im.000", comments_at(image_then_table, 0)},
                    {"im.001", comments_at(image_then_table, it[1]) + "\n\n\n"},
                    {"im.002", comments_at(image_then_table, it[2]) + "6 \n"}}});

  // Reports: the telescope warning, the object line also for a part not
  // written, and the debug echo.
  const std::vector<card> chandra_cards{{"TTYPE1", "'time'"}, {"TFORM1", "'1J'"}, {"TELESCOP", "'CHANDRA '"},
                                        {"INSTRUME", "'ACIS'"}, {"OBJECT", "'Cas A'"}};
  const std::string chandra_fits = fits_builder{}.empty_primary().bintable(chandra_cards, big_endian{}.i32(5).bytes()).bytes();
  cases.push_back({"rosat_on_a_chandra_file_warns",
                   {"--rosat", "ch.fits"},
                   {{"ch.fits", chandra_fits}},
                   filename_line("ch.fits") + wrong_telescope + "Object = Cas A\n" + no_colums + progress(1),
                   "",
                   0,
                   {{"ch.000", comments_at(chandra_fits, 0)}, {"ch.001", comments_at(chandra_fits, block_size) + "\n"}}});
  cases.push_back({"chandra_on_a_chandra_file_does_not_warn",
                   {"--chandra", "-p", "0", "ch.fits"},
                   {{"ch.fits", chandra_fits}},
                   filename_line("ch.fits") + "Object = Cas A\n" + no_colums + progress(1),
                   "",
                   0,
                   {{"ch.000", comments_at(chandra_fits, 0)}}});

  std::vector<card> debug_cards{{"XTENSION", "'BINTABLE'"}, {"BITPIX", "8"},          {"NAXIS", "2"},
                                {"NAXIS1", "4"},            {"NAXIS2", "2"},          {"PCOUNT", "0"},
                                {"GCOUNT", "1"},            {"TFIELDS", "1"},         {"TTYPE1", "'V'"},
                                {"TFORM1", "'1J'"},         {"TSCAL1", "2.0"},        {"TELESCOP", "'ROSAT'"},
                                {"INSTRUME", "'HRI'"},      {"OBJECT", "'M31'"}};
  const std::string debug_fits = fits_builder{}.empty_primary().header(debug_cards).data(big_endian{}.i32(1).i32(-2).bytes()).bytes();
  std::string echo = filename_line("dbg.fits") + "BITPIX,NAXIS,\nFound BINTABLE,";
  const char* words[] = {"", "", "NAXIS,", "NAXIS1,", "NAXIS2,", "", "", "TFIELDS,", "TTYPE,", "TFORM,", "TSCALE,", "", "", ""};
  for (std::size_t i = 1; i < debug_cards.size(); ++i) echo += trimmed(debug_cards[i].text()) + "\n" + words[i];
  echo += "END\nEND\nReading DATA 2 lines\nTelescope = ROSAT\nInstrument = HRI\nObject = M31\n" + progress(2);
  cases.push_back({"debug_echo",
                   {"-d", "dbg.fits"},
                   {{"dbg.fits", debug_fits}},
                   echo,
                   "",
                   0,
                   {{"dbg.000", comments_at(debug_fits, 0)}, {"dbg.001", comments_at(debug_fits, block_size) + "2 \n-4 \n"}}});
  return cases;
}

std::vector<e2e_case> all_cases() {
  std::vector<e2e_case> all;
  for (auto group : {event_file_cases, generated_file_cases, ascii_cases, corner_cases, heading_and_report_cases}) {
    for (e2e_case& c : group()) all.push_back(std::move(c));
  }
  return all;
}

// --- running them -----------------------------------------------------------

void PrintTo(const e2e_case& c, std::ostream* os) { *os << c.name; }

class decoder_e2e : public testing::TestWithParam<std::tuple<e2e_case, packing>> {};

// Every case, stored each way, writes what the plain input writes.
TEST_P(decoder_e2e, run) {
  const auto& [c, how] = GetParam();
  run_options o{.args = c.args, .inputs = c.inputs};
  o.env = {{"POSIXLY_CORRECT", std::nullopt}};
  for (auto& [name, bytes] : o.inputs) {
    std::optional<std::string> stored = packed(bytes, how);
    if (!stored) GTEST_SKIP() << "compress is not installed";
    bytes = *stored;
  }
  const run_result r = run_orvex(o);
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, c.status) << r.describe();
  EXPECT_EQ(visible(r.out), visible(c.out));
  EXPECT_EQ(visible(r.err), visible(c.err));
  file_map files = r.outputs();
  ASSERT_TRUE(strip_log_time_stamps(files, r));
  file_map expected = c.files;
  expected["logfile"] = logged(c.args);
  EXPECT_TRUE(same_files(files, expected));
}

INSTANTIATE_TEST_SUITE_P(cases, decoder_e2e,
                         testing::Combine(testing::ValuesIn(all_cases()), testing::ValuesIn(every_packing)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + packing_name(std::get<1>(info.param));
                         });

// The expected texts above rest on these figures.
TEST(decoder_e2e_expected, progress_lines) {
  EXPECT_EQ(progress(1), "000%\r100%\n");
  EXPECT_EQ(progress(3), "000%\r033%\r066%\r100%\n");
  EXPECT_EQ(progress(5, 2), "000%\r020%\r040%\n");
  EXPECT_EQ(progress(-3), "000%\n");
  EXPECT_EQ(progress(0), "");
  const std::string p250 = progress(250);
  EXPECT_TRUE(p250.starts_with("000%\r001%\r002%\r003%\r"));
  EXPECT_TRUE(p250.ends_with("099%\r100%\n"));
  EXPECT_EQ(std::count(p250.begin(), p250.end(), '\r'), 84);
}

TEST(decoder_e2e_expected, cell_texts) {
  EXPECT_EQ(text_lu(255.0), "255 ");
  EXPECT_EQ(text_ld(2000000000.0 * 2), "-2147483648 ");
  EXPECT_EQ(text_ld(-1.5), "-1 ");
  EXPECT_EQ(text_g16(0.1f), "0.1000000014901161 ");
  EXPECT_EQ(text_g(3.14159f, 10, 3), "3.14       ");
  EXPECT_EQ(bits_text("\xA5\x01"), "1010010100000001 ");
}

// Python's csv module reads back every field of a --csv file as the table
// holds it: strings with commas, quotes, blanks and line ends, vectors
// padded by TDISPn.
TEST(decoder_e2e_csv, python_csv_module_reads_the_fields_back) {
  const std::vector<std::string> names{"a,b", "say \"hi\"", " lead", "two  blanks  ", "", "line\nend", "x"};
  big_endian rows;
  // Each record read back as its field count and its fields.
  std::string expected = "3\x1f" "E,V\x1fS\x1fN\x1e";
  for (std::size_t r = 0; r < names.size(); ++r) {
    const auto i = static_cast<std::int32_t>(r);
    rows.f32(0.5f * i).chars(names[r], 14).i32(i).i32(-i);
    const std::string s = trimmed(names[r]);
    expected += "3\x1f" + text_g16(0.5f * i).substr(0, text_g16(0.5f * i).size() - 1) + "\x1f" + s + "\x1f" +
                std::to_string(i) + " " + std::to_string(-i) + "\x1e";
  }
  const std::string fits = fits_builder{}
                               .empty_primary()
                               .bintable({{"TTYPE1", "'E,V'"}, {"TFORM1", "'1E'"}, {"TTYPE2", "'S'"}, {"TFORM2", "'14A'"},
                                          {"TTYPE3", "'N'"}, {"TFORM3", "'2J'"}, {"TDISP3", "'I8'"}},
                                         rows.bytes())
                               .bytes();
  const run_result r = run_orvex({.args = {"--csv", "t.fits"}, .inputs = {{"t.fits", fits}}});
  ASSERT_EQ(r.exit_code, 0) << r.describe();
  const std::string command = "python3 -c 'import csv, sys\n"
                              "for row in csv.reader(open(sys.argv[1], newline=\"\")): print(len(row), *row, sep=\"\\x1f\", end=\"\\x1e\")' " +
                              (r.folder.path() / "t.001.csv").string();
  std::FILE* python = popen(command.c_str(), "r");
  ASSERT_NE(python, nullptr);
  std::string read_back;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, python)) > 0;) read_back.append(chunk, n);
  EXPECT_EQ(pclose(python), 0);
  EXPECT_EQ(visible(read_back), visible(expected)) << r.files.at("t.001.csv");
}


// Nulls of every kind: an integer equal to TNULLn, NaNs of E (alone and in
// a vector), an undefined logical, an ASCII field of its TNULLn text; as
// their bytes give them by default, as TEXT with --null, as empty CSV
// fields (nan inside a vector's field).
TEST(decoder_e2e_nulls, written_as_asked) {
  const std::string fits =
      fits_builder{}
          .empty_primary()
          .bintable({{"TTYPE1", "'N'"}, {"TFORM1", "'1J'"}, {"TNULL1", "-99"}, {"TTYPE2", "'E'"}, {"TFORM2", "'1E'"},
                     {"TTYPE3", "'V'"}, {"TFORM3", "'2E'"}, {"TTYPE4", "'L'"}, {"TFORM4", "'1L'"}},
                    big_endian{}.i32(5).f32(2.5f).f32(1).f32(2).u8('T')
                        .i32(-99).f32_bits(0x7FC00000U).f32(1.5f).f32_bits(0x7FC00000U).u8(0).bytes())
          .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I5'"}, {"TTYPE1", "'M'"}, {"TNULL1", "'***'"},
                        {"TBCOL2", "7"}, {"TFORM2", "'E8.2'"}, {"TTYPE2", "'X'"}},
                       {"    7     1.25", "  ***     2.50"})
          .bytes();
  struct null_case {
    std::vector<std::string> options;
    const char* binary;
    const char* ascii;
  };
  const null_case cases[] = {
      {{}, "5 2.5 1 2 T \n-99 nan 1.5 nan ? \n", "7 1.25\n0 2.5\n"},
      {{"--null=NULL"}, "5 2.5 1 2 T \nNULL NULL 1.5 NULL NULL \n", "7 1.25\nNULL 2.5\n"},
      {{"--csv"}, "N,E,V,L\n5,2.5,\"1 2\",T\n,,\"1.5 nan\",\n", "M,X\n7,1.25\n,2.5\n"},
      {{"--csv", "--null=X"}, "N,E,V,L\n5,2.5,\"1 2\",T\n,,\"1.5 X\",\n", "M,X\n7,1.25\n,2.5\n"},      // ECSV: empty fields, null in a JSON array; --null does not change it.
      {{"--ecsv", "--null=X"},
       "# %ECSV 1.0\n# ---\n# datatype:\n# - {name: 'N', datatype: int32}\n# - {name: E, datatype: float32}\n"
       "# - {name: V, datatype: string, subtype: 'float32[2]'}\n# - {name: L, datatype: bool}\n# delimiter: ','\n"
       "N,E,V,L\n5,2.5,\"[1,2]\",True\n,,\"[1.5,null]\",\n",
       "# %ECSV 1.0\n# ---\n# datatype:\n# - {name: M, datatype: int32}\n# - {name: X, datatype: float64}\n"
       "# delimiter: ','\nM,X\n7,1.25\n,2.5\n"},
  };
  for (const null_case& c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--no-comments", "t.fits"});
    const run_result r = run_orvex({.args = args, .inputs = {{"t.fits", fits}}});
    const std::string first = c.options.empty() ? "" : c.options[0];
    const std::string suffix = first == "--csv" ? ".csv" : first == "--ecsv" ? ".ecsv" : "";
    EXPECT_EQ(r.files.at("t.001" + suffix), c.binary) << args[0];
    EXPECT_EQ(r.files.at("t.002" + suffix), c.ascii) << args[0];
    EXPECT_EQ(r.exit_code, 0) << r.describe();
  }
}

// An interpreter that imports astropy, the judge of the values; empty when
// none does.
std::string astropy_python() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const std::string probe = std::string(python) + " -c 'import astropy.io.fits' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return python;
  }
  return {};
}

// astropy reads every column of a table as the CSV files hold it: unsigned
// 16-, 32- and 64-bit integers, integers scaled by whole numbers and by
// fractions, names that share their first 19 characters or hold blanks,
// and TDIM string arrays. The exact form matches to the bit, the "%.16g"
// form to its 16 digits.
TEST(decoder_e2e_astropy, csv_values_are_astropys) {
  const std::string python = astropy_python();
  if (python.empty()) GTEST_SKIP() << "no Python with astropy";
  const std::vector<card> cards{
      {"TTYPE1", "'HOUSEKEEPING COUNTER A'"}, {"TFORM1", "'1I'"}, {"TZERO1", "32768"},
      {"TTYPE2", "'HOUSEKEEPING COUNTER B'"}, {"TFORM2", "'1J'"}, {"TZERO2", "2147483648"},
      {"TTYPE3", "'EVENT ID'"},               {"TFORM3", "'1K'"}, {"TZERO3", "9223372036854775808"},
      {"TTYPE4", "'TEMP'"},                   {"TFORM4", "'2I'"}, {"TSCAL4", "0.01"},
      {"TTYPE5", "'VOLT'"},                   {"TFORM5", "'1J'"}, {"TSCAL5", "0.001"}, {"TZERO5", "-5"},
      {"TTYPE6", "'WIDE'"},                   {"TFORM6", "'1J'"}, {"TSCAL6", "3"}, {"TZERO6", "-7"},
      {"TTYPE7", "'OFFSET'"},                 {"TFORM7", "'1B'"}, {"TZERO7", "-128"},
      {"TTYPE8", "'NAMES'"},                  {"TFORM8", "'12A'"}, {"TDIM8", "'(4,3)'"},
  };
  std::mt19937_64 g(7);
  big_endian rows;
  const int n = 200;
  for (int r = 0; r < n; ++r) {
    rows.i16(r == 0 ? INT16_MIN : r == 1 ? INT16_MAX : static_cast<std::int16_t>(g()));
    rows.i32(r == 0 ? INT32_MIN : r == 1 ? INT32_MAX : static_cast<std::int32_t>(g()));
    rows.i64(r == 0 ? INT64_MIN : r == 1 ? INT64_MAX : static_cast<std::int64_t>(g()));
    rows.i16(static_cast<std::int16_t>(g())).i16(static_cast<std::int16_t>(r - 100));
    rows.i32(static_cast<std::int32_t>(g())).i32(static_cast<std::int32_t>(g())).u8(static_cast<std::uint8_t>(g()));
    rows.chars("ab", 4).chars(r % 2 == 0 ? "c" : "", 4).chars("defg", 4);
  }
  const std::string fits = fits_builder{}.empty_primary().bintable(cards, rows.bytes()).bytes();
  for (const bool exact : {false, true}) {
    SCOPED_TRACE(exact ? "--exact" : "%.16g");
    std::vector<std::string> args{"--csv", "t.fits"};
    if (exact) args.insert(args.begin(), "--exact");
    const run_result r = run_orvex({.args = args, .inputs = {{"t.fits", fits}}});
    ASSERT_EQ(r.exit_code, 0) << r.describe();
    // Prints every cell that differs; nothing when all agree.
    const std::string script =
        "import csv, sys\n"
        "from astropy.io import fits\n"
        "data = fits.open(sys.argv[1])[1].data\n"
        "records = list(csv.reader(open(sys.argv[2], newline='')))\n"
        "tolerance = float(sys.argv[3])\n"
        "names = data.columns.names\n"
        "if records[0] != names: print('names', records[0], names)\n"
        "for r, record in enumerate(records[1:]):\n"
        "    for name, text in zip(names, record):\n"
        "        value = data[name][r]\n"
        "        if name == 'NAMES':\n"
        "            same = text == ' '.join(s.rstrip() for s in value)\n"
        "        elif value.ndim == 0 and value.dtype.kind in 'iu':\n"
        "            same = text == str(int(value))\n"
        "        else:\n"
        "            got = [float(t) for t in text.split(' ')]\n"
        "            want = [float(v) for v in (value.flat if value.ndim else [value])]\n"
        "            same = len(got) == len(want) and all(abs(a - b) <= tolerance * abs(b) for a, b in zip(got, want))\n"
        "        if not same: print(r, name, repr(text), repr(value))\n";
    const auto folder = r.folder.path();
    {
      std::FILE* f = std::fopen((folder / "judge.py").c_str(), "w");
      ASSERT_NE(f, nullptr);
      std::fwrite(script.data(), 1, script.size(), f);
      std::fclose(f);
    }
    const std::string command = python + " " + (folder / "judge.py").string() + " " + (folder / "t.fits").string() +
                                " " + (folder / "t.001.csv").string() + (exact ? " 0" : " 1e-15") + " 2>&1";
    std::FILE* judge = popen(command.c_str(), "r");
    ASSERT_NE(judge, nullptr);
    std::string differences;
    char chunk[4096];
    for (std::size_t k; (k = std::fread(chunk, 1, sizeof chunk, judge)) > 0;) differences.append(chunk, k);
    EXPECT_EQ(pclose(judge), 0) << differences;
    EXPECT_EQ(differences, "");
  }
}

}  // namespace
}  // namespace orvex::test
