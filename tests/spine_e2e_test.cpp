// End-to-end runs of the file and part driver: output names, part selection,
// the primary header's comment lines, the 16-bit image dump and its progress
// figures, block skips around the END card, truncated and damaged inputs and
// outputs that cannot be written. Every run compares standard output,
// standard error, the exit status and every file left in the folder, byte
// for byte, and every case runs on plain and on gzip-compressed input.
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// --- expected texts ---------------------------------------------------------

// The comment lines of a header, closed by "!END" unless it has no END card.
std::string comments(const std::vector<card>& cards, bool end = true) { return comment_lines(cards, end); }

// Image lines: `width` values per line, each followed by one blank.
std::string image_lines(std::int64_t width, const std::vector<std::int16_t>& pixels) {
  std::string text;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    text += std::to_string(pixels[i]) + " ";
    if ((static_cast<std::int64_t>(i) + 1) % width == 0) text += "\n";
  }
  return text;
}

// `n` with at least three digits, zeros in front.
std::string three_digits(std::int64_t n) {
  const std::string digits = std::to_string(n);
  return digits.size() < 3 ? std::string(3 - digits.size(), '0') + digits : digits;
}

std::string figure(std::int64_t percent, char end) { return three_digits(percent) + "%" + end; }

// The progress figures of `rows` complete rows: after every row whose number
// is a multiple of rows / 100 + 1, the percentage done before it; at the end
// the percentage of all rows, which reads 100 (000 for a negative count).
std::string progress(std::int64_t rows) {
  if (rows == 0) return "";
  std::string text;
  const std::int64_t every = rows / 100 + 1;
  for (std::int64_t r = 0; r < rows; r += every) text += figure(r * 100 / rows, '\r');
  return text + figure(rows > 0 ? 100 : 0, '\n');
}

std::string filename_line(const std::string& path) { return "         filename:" + path + "\n"; }

std::string not_fits(const std::string& path) {
  return "orvex: " + path + ": not a FITS file: it does not begin with SIMPLE\n";
}

// --- units ------------------------------------------------------------------

// One header-and-data unit, with what the run writes for it.
struct unit {
  std::vector<card> cards;  // the header without its END card
  std::string data;         // the data unit, not padded
  std::string text;         // its output file
  std::string out;          // what its decoding prints on standard output
};

std::string pixels_bytes(const std::vector<std::int16_t>& pixels) {
  big_endian b;
  for (std::int16_t v : pixels) b.i16(v);
  return b.bytes();
}

// A primary unit with a 16-bit image of `width` x `height` values.
unit image(std::int64_t width, std::int64_t height, const std::vector<std::int16_t>& pixels,
           std::vector<card> extra = {}) {
  std::vector<card> cards{{"SIMPLE", "T"},
                          {"BITPIX", "16"},
                          {"NAXIS", "2"},
                          {"NAXIS1", std::to_string(width)},
                          {"NAXIS2", std::to_string(height)}};
  cards.insert(cards.end(), extra.begin(), extra.end());
  return {cards, pixels_bytes(pixels), comments(cards) + image_lines(width, pixels), progress(height)};
}

// A primary unit without data.
unit no_data(std::vector<card> extra = {}) {
  std::vector<card> cards{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}};
  cards.insert(cards.end(), extra.begin(), extra.end());
  return {cards, "", comments(cards), ""};
}

// An extension without data.
unit empty_extension(const std::string& name) {
  std::vector<card> cards{{"XTENSION", "'IMAGE   '"}, {"BITPIX", "8"}, {"NAXIS", "0"},
                          {"EXTNAME", "'" + name + "'"}};
  return {cards, "", comments(cards), ""};
}

// A binary table of one 32-bit integer column.
unit int_table(const std::vector<std::int32_t>& values) {
  std::vector<card> cards{{"XTENSION", "'BINTABLE'"},
                          {"BITPIX", "8"},
                          {"NAXIS", "2"},
                          {"NAXIS1", "4"},
                          {"NAXIS2", std::to_string(values.size())},
                          {"PCOUNT", "0"},
                          {"GCOUNT", "1"},
                          {"TFIELDS", "1"},
                          {"TTYPE1", "'V'"},
                          {"TFORM1", "'1J'"}};
  big_endian rows;
  std::string lines;
  for (std::int32_t v : values) {
    rows.i32(v);
    lines += std::to_string(v) + " \n";
  }
  return {cards, rows.bytes(), comments(cards) + lines,
          progress(static_cast<std::int64_t>(values.size()))};
}

// COMMENT cards that fill a header to a chosen length.
std::vector<card> filler(std::size_t n) {
  return std::vector<card>(n, card("COMMENT filler"));
}

// The input file of `units`, every unit laid out by the FITS rules.
std::string fits_of(const std::vector<unit>& units) {
  fits_builder b;
  for (const unit& u : units) b.header(u.cards).data(u.data);
  return b.bytes();
}

// The output files of `units` decoded from an input with name stem `stem`.
file_map files_of(const std::string& stem, const std::vector<unit>& units) {
  file_map files;
  for (std::size_t i = 0; i < units.size(); ++i) {
    files[stem + "." + three_digits(static_cast<std::int64_t>(i))] = units[i].text;
  }
  return files;
}

std::string out_of(const std::string& path, const std::vector<unit>& units) {
  std::string out = filename_line(path);
  for (const unit& u : units) out += u.out;
  return out;
}

file_map with(file_map files, const file_map& more) {
  for (const auto& [name, bytes] : more) files[name] = bytes;
  return files;
}

const std::string no_colums = "Warning: No colums written\n";

// --- the cases --------------------------------------------------------------

struct spine_case {
  std::string name;
  std::vector<std::string> args;
  file_map inputs;
  std::string out;
  std::string err;
  int status;
  file_map files;  // every file written, the logfile without its time stamps
  std::vector<std::string> folders = {};
  std::vector<resource_limit> limits = {};
};

// The usual shape: one input `path` holding `units`, run without options.
spine_case plain_run(std::string name, const std::string& path, const std::string& stem,
                     const std::vector<unit>& units) {
  return {std::move(name), {path}, {{path, fits_of(units)}}, out_of(path, units), "", 0,
          with(files_of(stem, units), {{"logfile", " orvex " + path + "\n"}})};
}

std::vector<spine_case> naming_cases() {
  const unit ext_a = empty_extension("A"), ext_b = empty_extension("B"), ext_c = empty_extension("C");
  const unit first = image(2, 1, {1, 2}, {{"OBJECT", "'first'"}});
  const unit second = no_data({{"OBJECT", "'second'"}});
  std::vector<spine_case> cases{
      plain_run("image_and_table", "obs.fits", "obs",
                {image(3, 2, {1, 2, 3, 4, 5, 6}), int_table({7, 8, -9})}),
      plain_run("primary_only", "obs.fits", "obs", {no_data()}),
      plain_run("stem_drops_the_last_extension_only", "data/obs.fits.gz", "obs.fits",
                {no_data(), ext_a}),
      plain_run("input_without_extension", "image", "image", {no_data(), ext_a}),
      plain_run("dot_in_a_folder_name", "v1.2/obs", "obs", {no_data()}),
      plain_run("name_that_is_only_an_extension", "data/.fits", "", {no_data(), ext_a}),
      // Backslashes and colons separate path parts on every system.
      plain_run("windows_path_as_a_file_name", "C:\\data\\obs.fits.gz", "obs.fits", {no_data(), ext_a}),
      plain_run("drive_too_long_for_its_buffer", "ab:obs.fits", "obs", {no_data()}),
      plain_run("several_extensions_numbered_in_file_order", "obs.fits", "obs",
                {no_data(), ext_a, int_table({1}), ext_b}),
  };
  // The first case spelled out in full, as a check on the helpers.
  cases[0].out = filename_line("obs.fits") + "000%\r050%\r100%\n" + "000%\r033%\r066%\r100%\n";
  cases[0].files["obs.000"] =
      "!SIMPLE  =                    T\n!BITPIX  =                   16\n!NAXIS   =                    2\n"
      "!NAXIS1  =                    3\n!NAXIS2  =                    2\n!END\n1 2 3 \n4 5 6 \n";
  cases[0].files["obs.001"] =
      "!XTENSION= 'BINTABLE'\n!BITPIX  =                    8\n!NAXIS   =                    2\n"
      "!NAXIS1  =                    4\n!NAXIS2  =                    3\n!PCOUNT  =                    0\n"
      "!GCOUNT  =                    1\n!TFIELDS =                    1\n!TTYPE1  = 'V'\n!TFORM1  = '1J'\n"
      "!END\n7 \n8 \n-9 \n";

  // The later of two inputs with the same stem replaces the files it writes,
  // and says so for each: the earlier input's outputs are lost.
  cases.push_back({"same_stem_later_input_replaces_earlier_files",
                   {"a/obs.fits", "b/obs.fits"},
                   {{"a/obs.fits", fits_of({first, ext_a, ext_c})}, {"b/obs.fits", fits_of({second, ext_b})}},
                   filename_line("a/obs.fits") + "OBJECT = first\n" + "000%\r100%\n" +
                       filename_line("b/obs.fits") + "OBJECT = second\n",
                   "orvex: obs.000: replaces the output of a/obs.fits\n"
                   "orvex: obs.001: replaces the output of a/obs.fits\n",
                   1,
                   {{"obs.000", second.text},
                    {"obs.001", ext_b.text},
                    {"obs.002", ext_c.text},
                    {"logfile", " orvex a/obs.fits b/obs.fits\n"}}});

  cases.push_back({"blank_in_the_file_name",
                   {"my obs.fits"},
                   {{"my obs.fits", fits_of({no_data(), ext_a})}},
                   filename_line("my obs.fits"),
                   "",
                   0,
                   {{"my obs.000", no_data().text},
                    {"my obs.001", ext_a.text},
                    {"logfile", " orvex \"my obs.fits\"\n"}}});
  return cases;
}

std::vector<spine_case> part_cases() {
  const unit img = image(3, 2, {1, 2, 3, 4, 5, 6}, {{"OBJECT", "'M31     '"}});
  const unit table = int_table({7, 8, -9});
  const unit ext1 = empty_extension("ONE"), ext3 = empty_extension("THREE");
  const std::string input = fits_of({img, table, ext1, ext3});
  const std::string shown = "OBJECT = M31     \n000%\r050%\r100%\n";
  // A table that is not written still reads its rows and shows its progress.
  const std::string table_unwritten = no_colums + "000%\r033%\r066%\r100%\n";
  const std::string table_written = "000%\r033%\r066%\r100%\n";
  auto run = [&](std::string name, std::vector<std::string> options, std::string out, file_map files) {
    std::string logged = " orvex";
    for (const std::string& o : options) logged += " " + o;
    options.push_back("obs.fits");
    files["logfile"] = logged + " obs.fits\n";
    return spine_case{std::move(name), options, {{"obs.fits", input}},
                      filename_line("obs.fits") + out, "", 0, files};
  };
  // A part the input does not have fails the run.
  auto no_part = [](spine_case c, const std::string& n) {
    c.err = "orvex: obs.fits: no part " + n + "\n";
    c.status = 1;
    return c;
  };
  std::vector<spine_case> cases{
      run("p_0_writes_only_the_primary", {"-p", "0"}, shown + table_unwritten, {{"obs.000", img.text}}),
      run("p_1_writes_only_the_first_extension", {"-p", "1"}, shown + table_written,
          {{"obs.001", table.text}}),
      run("p_2_writes_only_the_second_extension", {"-p", "2"}, shown + table_unwritten,
          {{"obs.002", ext1.text}}),
      run("p_3_writes_only_the_last_extension", {"-p", "3"}, shown + table_unwritten,
          {{"obs.003", ext3.text}}),
      no_part(run("p_beyond_the_last_part_writes_nothing", {"-p", "4"}, shown + table_unwritten, {}), "4"),
      no_part(run("p_minus_1_writes_nothing", {"-p", "-1"}, shown + table_unwritten, {}), "-1"),
      run("p_3_the_last_part", {"-p", "3"}, shown + table_unwritten, {{"obs.003", ext3.text}}),
      run("p_minus_2_writes_everything", {"-p", "-2"}, shown + table_written,
          {{"obs.000", img.text}, {"obs.001", table.text}, {"obs.002", ext1.text}, {"obs.003", ext3.text}}),
      run("no_comments_leaves_the_image_lines", {"--no-comments"}, shown + table_written,
          {{"obs.000", "1 2 3 \n4 5 6 \n"}, {"obs.001", "7 \n8 \n-9 \n"}, {"obs.002", ""}, {"obs.003", ""}}),
  };

  // -p 1000: the part number takes a fourth digit.
  std::vector<unit> many{no_data()};
  for (int i = 1; i <= 1001; ++i) many.push_back(empty_extension("E" + std::to_string(i)));
  cases.push_back({"part_number_with_four_digits",
                   {"-p", "1000", "obs.fits"},
                   {{"obs.fits", fits_of(many)}},
                   filename_line("obs.fits"),
                   "",
                   0,
                   {{"obs.1000", many[1000].text}, {"logfile", " orvex -p 1000 obs.fits\n"}}});
  // An empty .000 file: no comments and no image.
  cases.push_back({"no_comments_and_no_image_give_an_empty_file",
                   {"--no-comments", "obs.fits"},
                   {{"obs.fits", fits_of({no_data(), empty_extension("A")})}},
                   filename_line("obs.fits"),
                   "",
                   0,
                   {{"obs.000", ""}, {"obs.001", ""}, {"logfile", " orvex --no-comments obs.fits\n"}}});
  return cases;
}

std::vector<spine_case> primary_header_cases() {
  std::vector<spine_case> cases;
  // OBJECT: at most 8 characters up to the closing quote, blanks included.
  const unit objects = no_data({{"OBJECT", "'M31     '"},
                                {"OBJECT", "''"},
                                {"OBJECT", "'NGC 1234 and more'"},
                                card("OBJECT  = M31 without quotes"),
                                card("OBJECT='x y'"),
                                card("OBJECTS = 'not this one'")});
  cases.push_back(plain_run("object_lines", "obs.fits", "obs", {objects}));
  cases.back().out = filename_line("obs.fits") + "OBJECT = M31     \nOBJECT = \nOBJECT = NGC 1234\nOBJECT = x y\n";

  // The keyword needs a run of blanks or '=' right after it; the value is the
  // number after that run.
  const std::vector<card> spelled{card("SIMPLE  =                    T"), card("BITPIX=16"),
                                  card("NAXIS 2"),  card("NAXIS1  =  2 / width"),
                                  card("NAXIS2= =  1"), card("NAXIS3  =   99"),
                                  card("NAXISX  =   99")};
  cases.push_back({"keyword_spellings",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}.header(spelled).data(pixels_bytes({-5, 7})).bytes()}},
                   filename_line("obs.fits") + "000%\r100%\n",
                   "",
                   0,
                   {{"obs.000", comments(spelled) + "-5 7 \n"}, {"logfile", " orvex obs.fits\n"}}});

  // A value that is no number leaves the value unset: no image, and the scan
  // passes over the data to the extension.
  const std::vector<card> unreadable{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"},
                                     {"NAXIS1", "'two'"}, {"NAXIS2", "1"}};
  const unit ext = empty_extension("AFTER");
  cases.push_back({"axis_value_that_is_no_number",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}.header(unreadable).data(pixels_bytes({1, 2})).header(ext.cards).bytes()}},
                   filename_line("obs.fits"),
                   "",
                   0,
                   {{"obs.000", comments(unreadable)}, {"obs.001", ext.text}, {"logfile", " orvex obs.fits\n"}}});

  // Any card that begins with END ends the header; the real END card is the
  // look-ahead card.
  const std::vector<card> early_end{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "2"},
                                    {"NAXIS2", "1"}, {"ENDTIME", "'12:00'"}};
  cases.push_back({"card_beginning_with_END_ends_the_header",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}.header(early_end).data(pixels_bytes({5, 6})).bytes()}},
                   filename_line("obs.fits") + "000%\r100%\n",
                   "",
                   0,
                   {{"obs.000", comments(early_end, false) + "5 6 \n"}, {"logfile", " orvex obs.fits\n"}}});

  // Debug echoes run on in one line.
  const unit img = image(2, 2, {1, 2, 3, 4}, {{"OBJECT", "'X'"}});
  cases.push_back({"debug_echoes",
                   {"-d", "obs.fits"},
                   {{"obs.fits", fits_of({img})}},
                   filename_line("obs.fits") + "BITPIX,NAXIS,NAXIS1,NAXIS2,OBJECT = X\n000%\r050%\r100%\n",
                   "",
                   0,
                   {{"obs.000", img.text}, {"logfile", " orvex -d obs.fits\n"}}});

  // BITPIX, NAXIS, NAXIS1 and NAXIS2 start afresh with every input: a header
  // that lacks one of them has no image, whatever the file before had.
  const unit a = image(2, 1, {5, 6});
  const std::vector<card> no_axes{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}};
  const std::vector<card> no_bitpix{{"SIMPLE", "T"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "1"}};
  const std::string two_values = pixels_bytes({-1, -2});
  cases.push_back({"primary_values_start_afresh_for_each_input",
                   {"a.fits", "b.fits", "c.fits"},
                   {{"a.fits", fits_of({a})},
                    {"b.fits", fits_builder{}.header(no_axes).data(two_values).bytes()},
                    {"c.fits", fits_builder{}.header(no_bitpix).data(two_values).bytes()}},
                   filename_line("a.fits") + "000%\r100%\n" + filename_line("b.fits") + filename_line("c.fits"),
                   "",
                   0,
                   {{"a.000", a.text},
                    {"b.000", comments(no_axes)},
                    {"c.000", comments(no_bitpix)},
                    {"logfile", " orvex a.fits b.fits c.fits\n"}}});
  return cases;
}

// Image dumps of several shapes, each followed by an extension that the scan
// must still find.
std::vector<spine_case> image_cases() {
  struct shape {
    std::string name;
    std::int64_t width;
    std::int64_t height;  // NAXIS2 as written
    std::vector<std::int16_t> pixels;
    std::string lines;
    std::string progress;
  };
  std::vector<std::int16_t> column_250(250), row_1440(1440), row_1441(1441);
  std::string lines_250, line_1440, line_1441;
  for (int i = 0; i < 250; ++i) {
    column_250[i] = static_cast<std::int16_t>(i * 131 - 16000);
    lines_250 += std::to_string(column_250[i]) + " \n";
  }
  for (int i = 0; i < 1441; ++i) {
    const auto v = static_cast<std::int16_t>(i % 100);
    row_1441[i] = v;
    line_1441 += std::to_string(v) + " ";
    if (i < 1440) row_1440[i] = v;
    if (i == 1439) line_1440 = line_1441;
  }
  const std::string p250 = progress(250);
  // Lines of the longest value text, "-32768 ", around the size of the
  // output buffer (256 KiB): 37449 values and the line end fill it exactly.
  const std::vector<std::int16_t> widest(37449 * 2, -32768), wider(37450 * 2, -32768);
  const std::vector<shape> shapes{
      {"line_that_fills_the_output_buffer", 37449, 2, widest, image_lines(37449, widest), "000%\r050%\r100%\n"},
      {"line_longer_than_the_output_buffer", 37450, 2, wider, image_lines(37450, wider), "000%\r050%\r100%\n"},
      {"three_by_two", 3, 2, {1, 2, 3, 4, 5, 6}, "1 2 3 \n4 5 6 \n", "000%\r050%\r100%\n"},
      {"one_line", 1, 1, {42}, "42 \n", "000%\r100%\n"},
      {"three_lines", 2, 3, {1, 2, 3, 4, 5, 6}, "1 2 \n3 4 \n5 6 \n", "000%\r033%\r066%\r100%\n"},
      {"seven_lines", 1, 7, {1, 2, 3, 4, 5, 6, 7}, "1 \n2 \n3 \n4 \n5 \n6 \n7 \n",
       "000%\r014%\r028%\r042%\r057%\r071%\r085%\r100%\n"},
      {"extreme_values", 4, 1, {-32768, 32767, -1, 0}, "-32768 32767 -1 0 \n", "000%\r100%\n"},
      {"no_lines", 5, 0, {}, "", ""},
      {"lines_without_values", 0, 2, {}, "\n\n", "000%\r050%\r100%\n"},
      {"negative_width", -3, 2, {}, "\n\n", "000%\r050%\r100%\n"},
      // -1 is the value of an axis that no card gave: no dump at all.
      {"height_minus_1", 2, -1, {}, "", ""},
      {"width_minus_1", -1, 2, {}, "", ""},
      {"negative_height_minus_3", 2, -3, {}, "", "000%\n"},
      {"negative_height_minus_150", 2, -150, {}, "", "000%\n"},
      {"negative_height_minus_250", 2, -250, {}, "", "000%\n"},
      {"most_negative_height", 2, -2147483648LL, {}, "", "000%\n"},
      {"two_hundred_fifty_lines", 1, 250, column_250, lines_250, p250},
      {"data_of_exactly_one_block", 1440, 1, row_1440, line_1440 + "\n", "000%\r100%\n"},
      {"data_one_value_past_a_block", 1441, 1, row_1441, line_1441 + "\n", "000%\r100%\n"},
  };
  std::vector<spine_case> cases;
  const unit ext = empty_extension("AFTER");
  for (const shape& s : shapes) {
    const std::vector<card> cards{{"SIMPLE", "T"},
                                  {"BITPIX", "16"},
                                  {"NAXIS", "2"},
                                  {"NAXIS1", std::to_string(s.width)},
                                  {"NAXIS2", std::to_string(s.height)}};
    const std::string input =
        fits_builder{}.header(cards).data(pixels_bytes(s.pixels)).header(ext.cards).bytes();
    cases.push_back({"image_" + s.name,
                     {"obs.fits"},
                     {{"obs.fits", input}},
                     filename_line("obs.fits") + s.progress,
                     "",
                     0,
                     {{"obs.000", comments(cards) + s.lines}, {"obs.001", ext.text}, {"logfile", " orvex obs.fits\n"}}});
  }

  // Progress figures for counts around the steps of the rows / 100 + 1 rule.
  for (std::int64_t rows : {99, 100, 101, 150, 199, 200, 299}) {
    std::vector<std::int16_t> pixels(static_cast<std::size_t>(rows));
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::int16_t>(i);
    const unit img = image(1, rows, pixels);
    cases.push_back(plain_run("image_progress_of_" + std::to_string(rows) + "_lines", "obs.fits", "obs",
                              {img, ext}));
  }

  // Tables with a row count that is 0 or negative: no row is read, and the
  // final figure of a negative count is 000.
  for (const char* xtension : {"'BINTABLE'", "'TABLE   '"}) {
    for (std::int64_t rows : {0, -1, -3, -150, -250}) {
      const bool binary = xtension[1] == 'B';
      std::vector<card> cards{{"XTENSION", xtension}, {"BITPIX", "8"}, {"NAXIS", "2"},
                              {"NAXIS1", "4"},        {"NAXIS2", std::to_string(rows)},
                              {"PCOUNT", "0"},        {"GCOUNT", "1"}, {"TFIELDS", "1"}};
      if (binary) {
        cards.insert(cards.end(), {{"TTYPE1", "'V'"}, {"TFORM1", "'1J'"}});
      } else {
        cards.insert(cards.end(), {{"TBCOL1", "1"}, {"TFORM1", "'I4'"}});
      }
      const std::string kind = binary ? "binary" : "ascii";
      cases.push_back({kind + "_table_of_" + (rows < 0 ? "minus_" : "") + std::to_string(rows < 0 ? -rows : rows) + "_rows",
                       {"obs.fits"},
                       {{"obs.fits", fits_builder{}.header(no_data().cards).header(cards).header(ext.cards).bytes()}},
                       filename_line("obs.fits") + (rows == 0 ? "" : "000%\n"),
                       "",
                       0,
                       {{"obs.000", no_data().text},
                        {"obs.001", comments(cards)},
                        {"obs.002", ext.text},
                        {"logfile", " orvex obs.fits\n"}}});
    }
  }

  // Images that are not dumped: the scan passes over their data, and a
  // note says that --full writes them (an image without NAXIS2 has no
  // pixel, and no note).
  const struct {
    std::string name;
    std::vector<card> cards;
    std::string note;
  } not_dumped[] = {
      {"three_axes",
       {{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "3"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}, {"NAXIS3", "2"}},
       "BITPIX 16 and NAXIS 3"},
      {"floating_values", {{"SIMPLE", "T"}, {"BITPIX", "-32"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}},
       "BITPIX -32 and NAXIS 2"},
      {"bytes", {{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "8"}, {"NAXIS2", "2"}},
       "BITPIX 8 and NAXIS 2"},
      {"one_axis", {{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "1"}, {"NAXIS1", "8"}}, "BITPIX 16 and NAXIS 1"},
      {"no_NAXIS2", {{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "8"}}, ""},
  };
  for (const auto& n : not_dumped) {
    const std::string input =
        fits_builder{}.header(n.cards).data(pixels_bytes({1, 2, 3, 4, 5, 6, 7, 8})).header(ext.cards).bytes();
    cases.push_back({"no_image_dump_" + n.name,
                     {"obs.fits"},
                     {{"obs.fits", input}},
                     filename_line("obs.fits"),
                     n.note.empty() ? "" : "orvex: obs.fits: part 0: an image of " + n.note + " is written only with --full\n",
                     0,
                     {{"obs.000", comments(n.cards)}, {"obs.001", ext.text}, {"logfile", " orvex obs.fits\n"}}});
  }
  return cases;
}

// Where the primary END card falls in its block, with and without data.
std::vector<spine_case> block_cases() {
  std::vector<spine_case> cases;
  const unit ext = empty_extension("NEXT");
  const unit table = int_table({1, 2});
  for (std::size_t end_card : {6, 34, 35, 36, 37, 71, 72, 73}) {
    const std::string at = "END_as_card_" + std::to_string(end_card);
    // Without data: SIMPLE, BITPIX, NAXIS and filler before END.
    cases.push_back(plain_run(at + "_without_data", "obs.fits", "obs", {no_data(filler(end_card - 4)), ext, table}));
    // With a 2 x 2 image: five axis cards and filler before END.
    {
      const unit img = image(2, 2, {10, 20, 30, 40}, filler(end_card - 6));
      cases.push_back(plain_run(at + "_with_image", "obs.fits", "obs", {img, ext, table}));
      // Not written: the scan passes over the image from the boundary.
      spine_case skipped = plain_run(at + "_with_image_not_written", "obs.fits", "obs", {img, ext, table});
      skipped.args = {"-p", "1", "obs.fits"};
      skipped.files = {{"obs.001", ext.text}, {"logfile", " orvex -p 1 obs.fits\n"}};
      skipped.out = filename_line("obs.fits") + img.out + no_colums + table.out;
      cases.push_back(skipped);
    }
  }
  // END as the only card: decoded as always, but it is no FITS file.
  const std::vector<card> none;
  cases.push_back({"END_as_the_first_card",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}.header(none).header(ext.cards).bytes()}},
                   filename_line("obs.fits"),
                   not_fits("obs.fits"),
                   1,
                   {{"obs.000", "!END\n"}, {"obs.001", ext.text}, {"logfile", " orvex obs.fits\n"}}});

  // Extension data that ends on a block boundary, or one row past it.
  for (int rows : {720, 721}) {
    std::vector<std::int32_t> values(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) values[static_cast<std::size_t>(i)] = i * 1000 - 300000;
    cases.push_back(plain_run("extension_data_of_" + std::to_string(rows) + "_rows", "obs.fits", "obs",
                              {no_data(), int_table(values), ext}));
  }

  // The scan reads 80 bytes at a time from a block boundary: an XTENSION text
  // inside data at another offset is no extension.
  const std::vector<card> byte_image{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "1"}, {"NAXIS1", "200"}};
  std::string data(200, '\0');
  data.replace(40, 8, "XTENSION");
  data.replace(121, 8, "XTENSION");
  cases.push_back({"XTENSION_text_off_the_card_grid",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}.header(byte_image).data(data).header(ext.cards).bytes()}},
                   filename_line("obs.fits"),
                   "orvex: obs.fits: part 0: an image of BITPIX 8 and NAXIS 1 is written only with --full\n",
                   0,
                   {{"obs.000", comments(byte_image)}, {"obs.001", ext.text}, {"logfile", " orvex obs.fits\n"}}});

  // Blocks of junk between units are passed over card by card.
  cases.push_back({"junk_between_units",
                   {"obs.fits"},
                   {{"obs.fits", fits_builder{}
                                     .header(no_data().cards)
                                     .data(std::string(3000, 'x'))
                                     .header(ext.cards)
                                     .data(std::string(100, 'y'))
                                     .header(table.cards)
                                     .data(table.data)
                                     .bytes()}},
                   filename_line("obs.fits") + table.out,
                   "",
                   0,
                   {{"obs.000", no_data().text},
                    {"obs.001", ext.text},
                    {"obs.002", table.text},
                    {"logfile", " orvex obs.fits\n"}}});
  return cases;
}

std::vector<spine_case> truncation_cases() {
  std::vector<spine_case> cases;
  const std::vector<card> three{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}};
  // A header cut short loses cards: a message and status 1.
  cases.push_back({"file_ends_inside_the_primary_header",
                   {"obs.fits"},
                   {{"obs.fits", header_unit(three, {.end_card = false, .pad_header = false})}},
                   filename_line("obs.fits"),
                   "orvex: obs.fits: part 0: the stream ends inside the header\n",
                   1,
                   {{"obs.000", comments(three, false)}, {"logfile", " orvex obs.fits\n"}}});
  cases.push_back({"file_ends_inside_a_card",
                   {"obs.fits"},
                   {{"obs.fits", header_unit(three, {.end_card = false, .pad_header = false}) + "COMMENT cut"}},
                   filename_line("obs.fits"),
                   "orvex: obs.fits: part 0: the stream ends inside the header\n",
                   1,
                   {{"obs.000", comments(three, false) + "!COMMENT cut\n"}, {"logfile", " orvex obs.fits\n"}}});
  cases.push_back({"empty_file",
                   {"obs.fits"},
                   {{"obs.fits", ""}},
                   filename_line("obs.fits"),
                   not_fits("obs.fits") + "orvex: obs.fits: part 0: the stream ends inside the header\n",
                   1,
                   {{"obs.000", ""}, {"logfile", " orvex obs.fits\n"}}});

  // A text file whose second line of 79 characters and a line end begins
  // with END reads as a header: decoded as always, and reported.
  const std::string note = raw_card("Observing notes").substr(0, 79) + "\n", end_line = raw_card("END").substr(0, 79) + "\n";
  cases.push_back({"text_file_with_END_at_a_card_start", {"notes.txt"}, {{"notes.txt", note + end_line + "more\n"}},
                   filename_line("notes.txt"), not_fits("notes.txt"), 1,
                   {{"notes.000", "!" + note + "\n!" + end_line + "\n"}, {"logfile", " orvex notes.txt\n"}}});

  // A stream that ends inside the image: complete lines only, a message
  // naming the input, status 1.
  const std::vector<card> axes{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "3"}};
  const std::string pixels = pixels_bytes({1, 2, 3, 4, 5, 6, 7, 8, 9});
  const struct {
    std::string name;
    std::size_t bytes;
    std::string lines;
    std::string progress;
    int written;
  } cuts[] = {
      {"before_the_first_value", 0, "", "000%\n", 0},
      {"inside_the_first_value", 1, "", "000%\n", 0},
      {"inside_the_second_line", 8, "1 2 3 \n", "000%\r033%\n", 1},
      {"inside_a_value", 7, "1 2 3 \n", "000%\r033%\n", 1},
      {"after_the_second_line", 12, "1 2 3 \n4 5 6 \n", "000%\r033%\r066%\n", 2},
      {"one_byte_short", 17, "1 2 3 \n4 5 6 \n", "000%\r033%\r066%\n", 2},
  };
  for (const auto& c : cuts) {
    cases.push_back({"image_cut_" + c.name,
                     {"obs.fits", "next.fits"},
                     {{"obs.fits", header_unit(axes) + pixels.substr(0, c.bytes)},
                      {"next.fits", fits_of({no_data()})}},
                     filename_line("obs.fits") + c.progress + filename_line("next.fits"),
                     "orvex: obs.fits: part 0: the stream ends inside the image: " + std::to_string(c.written) +
                         " of 3 image lines written\n",
                     1,
                     {{"obs.000", comments(axes) + c.lines},
                      {"next.000", no_data().text},
                      {"logfile", " orvex obs.fits next.fits\n"}}});
  }
  // The same for a line longer than the output buffer.
  const std::vector<card> wide{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "37450"}, {"NAXIS2", "2"}};
  const std::vector<std::int16_t> wide_pixels(37450 * 2, -1);
  cases.push_back({"image_cut_inside_a_line_longer_than_the_output_buffer",
                   {"obs.fits"},
                   {{"obs.fits", header_unit(wide) + pixels_bytes(wide_pixels).substr(0, 37450 * 2 + 10)}},
                   filename_line("obs.fits") + "000%\r050%\n",
                   "orvex: obs.fits: part 0: the stream ends inside the image: 1 of 2 image lines written\n",
                   1,
                   {{"obs.000", comments(wide) + image_lines(37450, std::vector<std::int16_t>(37450, -1))},
                    {"logfile", " orvex obs.fits\n"}}});

  // A header without END whose axis values were all seen: the dump runs and
  // finds nothing.
  const std::vector<card> axes_2{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}};
  cases.push_back({"header_cut_after_the_axis_values",
                   {"obs.fits"},
                   {{"obs.fits", header_unit(axes_2, {.end_card = false, .pad_header = false})}},
                   filename_line("obs.fits") + "000%\n",
                   "orvex: obs.fits: part 0: the stream ends inside the header\n"
                   "orvex: obs.fits: part 0: the stream ends inside the image: 0 of 2 image lines written\n",
                   1,
                   {{"obs.000", comments(axes_2, false)}, {"logfile", " orvex obs.fits\n"}}});
  // An extension header cut before its END card: no rows are read or
  // invented for it, and the part that is written says so.
  {
    const unit prim = no_data();
    const std::vector<card> cut_cards{{"XTENSION", "'BINTABLE'"}, {"BITPIX", "8"}, {"NAXIS", "2"},
                                      {"NAXIS1", "4"}, {"NAXIS2", "3"}, {"TFIELDS", "2"}, {"TFORM1", "'1J'"}};
    const std::string input =
        fits_of({prim}) + header_unit(cut_cards, {.end_card = false, .pad_header = false});
    cases.push_back({"extension_header_cut",
                     {"obs.fits"},
                     {{"obs.fits", input}},
                     filename_line("obs.fits") + "000%\n",
                     "orvex: obs.fits: part 1: the stream ends inside the header\n",
                     1,
                     {{"obs.000", prim.text}, {"obs.001", comments(cut_cards, false)},
                      {"logfile", " orvex obs.fits\n"}}});
    cases.push_back({"extension_header_cut_in_a_part_not_written",
                     {"-p", "0", "obs.fits"},
                     {{"obs.fits", input}},
                     filename_line("obs.fits") + "000%\n",
                     "",
                     0,
                     {{"obs.000", prim.text}, {"logfile", " orvex -p 0 obs.fits\n"}}});
  }
  // A data unit that no image lines or rows cover (a heap, a float image):
  // the end of the stream inside it is reported with the bytes that arrived,
  // once, for a part that is written; sizes saturate at 2^63 - 1.
  {
    const std::vector<card> floats{{"SIMPLE", "T"}, {"BITPIX", "-32"}, {"NAXIS", "2"}, {"NAXIS1", "4"}, {"NAXIS2", "3"}};
    const std::string big = "2147483647";
    const std::vector<card> huge{{"SIMPLE", "T"}, {"BITPIX", "64"}, {"NAXIS", "3"}, {"NAXIS1", big}, {"NAXIS2", big},
                                 {"NAXIS3", big}};
    std::vector<card> heap_table = int_table({7, 8, -9}).cards;
    heap_table[5] = card("PCOUNT", "100");
    const std::string heap = fits_of({no_data()}) + header_unit(heap_table) + int_table({7, 8, -9}).data +
                             std::string(100, 'Z');
    const std::string rows = "000%\r033%\r066%\r100%\n", cut = "orvex: obs.fits: part ";
    const file_map table{{"obs.000", no_data().text}, {"obs.001", comments(heap_table) + "7 \n8 \n-9 \n"}};
    const std::string left_out = " is written only with --full\n";
    const struct {
      std::string name, option, input, out, err;
      file_map files;
      std::string note = "";  // a note before err, which leaves the status alone
    } cuts[] = {
        {"float_image_cut", "", header_unit(floats) + std::string(20, 'A'), "",
         cut + "0: the stream ends inside the data unit: 20 of 48 bytes\n", {{"obs.000", comments(floats)}},
         cut + "0: an image of BITPIX -32 and NAXIS 2" + left_out},
        // The cut is silent; the part asked for is not there.
        {"float_image_cut_in_a_part_not_written", "-p1", header_unit(floats) + std::string(20, 'A'), "",
         "orvex: obs.fits: no part 1\n", {}},
        {"float_image_without_its_padding", "", header_unit(floats) + std::string(48, 'A'), "", "",
         {{"obs.000", comments(floats)}}, cut + "0: an image of BITPIX -32 and NAXIS 2" + left_out},
        {"huge_axes_saturate", "", header_unit(huge), "",
         cut + "0: the stream ends inside the data unit: 0 of 9223372036854775807 bytes\n", {{"obs.000", comments(huge)}},
         cut + "0: an image of BITPIX 64 and NAXIS 3" + left_out},
        {"heap_cut_after_whole_rows", "", heap.substr(0, heap.size() - 60), rows,
         cut + "1: the stream ends inside the data unit: 52 of 112 bytes\n", table},
        {"heap_table_cut_inside_its_rows", "", heap.substr(0, heap.size() - 106), "000%\r033%\n",
         cut + "1: the stream ends inside the table: 1 of 3 rows written\n",
         {{"obs.000", no_data().text}, {"obs.001", comments(heap_table) + "7 \n"}}},
    };
    for (const auto& c : cuts) {
      std::vector<std::string> args{"obs.fits"};
      if (!c.option.empty()) args.insert(args.begin(), c.option);
      cases.push_back({c.name, args, {{"obs.fits", c.input}}, filename_line("obs.fits") + c.out, c.note + c.err,
                       c.err.empty() ? 0 : 1,
                       with(c.files, {{"logfile", " orvex " + (c.option.empty() ? "" : c.option + " ") + "obs.fits\n"}})});
    }
  }

  // Complete data whose last block lacks only its padding is no error.
  cases.push_back({"image_without_its_padding",
                   {"obs.fits"},
                   {{"obs.fits", header_unit(axes) + pixels}},
                   filename_line("obs.fits") + "000%\r033%\r066%\r100%\n",
                   "",
                   0,
                   {{"obs.000", comments(axes) + "1 2 3 \n4 5 6 \n7 8 9 \n"}, {"logfile", " orvex obs.fits\n"}}});
  return cases;
}

std::vector<spine_case> output_failure_cases() {
  std::vector<spine_case> cases;
  const unit img = image(2, 2, {1, 2, 3, 4});
  const unit table = int_table({5, 6});
  const unit ext = empty_extension("LAST");
  const std::string input = fits_of({img, table, ext});
  const std::string out = filename_line("obs.fits") + img.out;

  cases.push_back({"primary_output_cannot_be_created",
                   {"obs.fits"},
                   {{"obs.fits", input}},
                   out + table.out,
                   "orvex: obs.000: cannot create: Is a directory\n",
                   1,
                   {{"obs.001", table.text}, {"obs.002", ext.text}, {"logfile", " orvex obs.fits\n"}},
                   {"obs.000"}});
  cases.push_back({"extension_output_cannot_be_created",
                   {"obs.fits"},
                   {{"obs.fits", input}},
                   out + no_colums + table.out,
                   "orvex: obs.001: cannot create: Is a directory\n",
                   1,
                   {{"obs.000", img.text}, {"obs.002", ext.text}, {"logfile", " orvex obs.fits\n"}},
                   {"obs.001"}});

  // An output beyond the file-size limit: cut at the limit, a message when it
  // is closed, and the rest of the input decoded in step.
  constexpr std::size_t limit = 4096;
  std::vector<std::int16_t> pixels(100 * 100);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::int16_t>(1000 + i % 9000);
  const unit big = image(100, 100, pixels);
  if (big.text.size() <= limit) throw std::logic_error("the image text must exceed the limit");
  cases.push_back({"output_beyond_the_file_size_limit",
                   {"obs.fits"},
                   {{"obs.fits", fits_of({big, table, ext})}},
                   filename_line("obs.fits") + big.out + table.out,
                   "orvex: obs.000: write failed: File too large\n",
                   1,
                   {{"obs.000", big.text.substr(0, limit)},
                    {"obs.001", table.text},
                    {"obs.002", ext.text},
                    {"logfile", " orvex obs.fits\n"}},
                   {},
                   {{RLIMIT_FSIZE, limit}}});

  // The same when the limit is reached while the image is written, long
  // before the file is closed.
  std::vector<std::int16_t> many_pixels(400 * 400);
  for (std::size_t i = 0; i < many_pixels.size(); ++i) many_pixels[i] = static_cast<std::int16_t>(-30000 + i % 20000);
  const unit bigger = image(400, 400, many_pixels);
  if (bigger.text.size() <= 2 * 256 * 1024) throw std::logic_error("the image text must exceed the output buffer");
  cases.push_back({"output_beyond_the_file_size_limit_while_writing",
                   {"obs.fits"},
                   {{"obs.fits", fits_of({bigger, table, ext})}},
                   filename_line("obs.fits") + bigger.out + table.out,
                   "orvex: obs.000: write failed: File too large\n",
                   1,
                   {{"obs.000", bigger.text.substr(0, limit)},
                    {"obs.001", table.text},
                    {"obs.002", ext.text},
                    {"logfile", " orvex obs.fits\n"}},
                   {},
                   {{RLIMIT_FSIZE, limit}}});

  // An output name longer than the system allows: the input's name has the
  // longest length a file name may have, and ".000" is added to it.
  const std::string longest(255, 'n');
  cases.push_back({"output_name_too_long",
                   {longest},
                   {{longest, fits_of({no_data(), ext})}},
                   filename_line(longest),
                   "orvex: " + longest + ".000: cannot create: File name too long\n" + "orvex: " + longest +
                       ".001: cannot create: File name too long\n",
                   1,
                   {{"logfile", " orvex " + longest + "\n"}}});

  // An output name that is one of the run's inputs: that part is not written
  // and the input stays as it was.
  const std::string named = fits_of({no_data(), table, ext});
  cases.push_back({"output_name_of_this_input",
                   {"obs.001"},
                   {{"obs.001", named}},
                   filename_line("obs.001") + no_colums + table.out,
                   "orvex: obs.001: not written: it is an input file of this run\n",
                   1,
                   {{"obs.000", no_data().text}, {"obs.002", ext.text}, {"logfile", " orvex obs.001\n"}}});
  const unit other = no_data({{"OBJECT", "'other'"}});
  cases.push_back({"output_name_of_a_later_input",
                   {"obs.fits", "obs.001"},
                   {{"obs.fits", fits_of({no_data(), table, ext})}, {"obs.001", fits_of({other})}},
                   filename_line("obs.fits") + no_colums + table.out + filename_line("obs.001") +
                       "OBJECT = other\n",
                   "orvex: obs.001: not written: it is an input file of this run\n"
                   "orvex: obs.000: replaces the output of obs.fits\n",
                   1,
                   {{"obs.000", other.text}, {"obs.002", ext.text}, {"logfile", " orvex obs.fits obs.001\n"}}});

  // An input that did not exist when the run started and that an earlier
  // input's output created: reading it must not truncate it. (A text file
  // is no FITS file.)
  cases.push_back({"output_name_of_an_input_this_run_created",
                   {"a.fits", "a.000"},
                   {{"a.fits", fits_of({no_data(), ext})}},
                   filename_line("a.fits") + filename_line("a.000"),
                   not_fits("a.000") + "orvex: a.000: not written: it is an input file of this run\n",
                   1,
                   {{"a.000", no_data().text}, {"a.001", ext.text}, {"logfile", " orvex a.fits a.000\n"}}});

  // An input that cannot be opened ends the run at once.
  const std::string small = fits_of({no_data()});
  cases.push_back({"missing_input_ends_the_run",
                   {"a.fits", "missing.fits", "b.fits"},
                   {{"a.fits", small}, {"b.fits", small}},
                   filename_line("a.fits") + filename_line("missing.fits"),
                   "orvex: missing.fits: cannot open: No such file or directory\n",
                   1,
                   {{"a.000", no_data().text}, {"logfile", " orvex a.fits missing.fits b.fits\n"}}});
  cases.push_back({"folder_as_input_ends_the_run",
                   {"dir.fits", "b.fits"},
                   {{"b.fits", small}},
                   filename_line("dir.fits"),
                   "orvex: dir.fits: cannot open: Is a directory\n",
                   1,
                   {{"logfile", " orvex dir.fits b.fits\n"}},
                   {"dir.fits"}});
  return cases;
}

// --- --full -----------------------------------------------------------------

// The "%.16g" text of a floating value and its blank.
std::string g16(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16g ", v);
  return text;
}

// v x bscale + bzero: a multiply, then an add.
double scaled(double v, double bscale, double bzero) {
  const double product = v * bscale;
  return product + bzero;
}

// An image of any type as --full writes it: its header (a primary one, or
// an IMAGE extension's), its pixel bytes, the comment lines and `lines`,
// and the progress figures of its NAXIS2 x NAXIS3 x ... lines.
unit full_image(bool extension, std::int64_t bitpix, const std::vector<std::int64_t>& axes, const std::string& pixels,
                const std::vector<card>& extra, const std::string& lines) {
  std::vector<card> cards{extension ? card("XTENSION", "'IMAGE   '") : card("SIMPLE", "T"),
                          {"BITPIX", std::to_string(bitpix)},
                          {"NAXIS", std::to_string(axes.size())}};
  // No line at all for an image without a pixel.
  std::int64_t count = axes.empty() || axes[0] < 1 ? 0 : 1;
  for (std::size_t n = 0; n < axes.size(); ++n) {
    cards.push_back({"NAXIS" + std::to_string(n + 1), std::to_string(axes[n])});
    if (n > 0) count *= axes[n];
  }
  if (extension) cards.insert(cards.end(), {{"PCOUNT", "0"}, {"GCOUNT", "1"}});
  cards.insert(cards.end(), extra.begin(), extra.end());
  return {cards, pixels, comments(cards) + lines, progress(count)};
}

unit primary_image(std::int64_t bitpix, const std::vector<std::int64_t>& axes, const std::string& pixels,
                   const std::vector<card>& extra, const std::string& lines) {
  return full_image(false, bitpix, axes, pixels, extra, lines);
}

unit floats_for_csv() {
  return primary_image(-32, {2, 2}, big_endian{}.f32(1).f32(2).f32(3).f32(4).bytes(), {}, "1 2 \n3 4 \n");
}

std::vector<spine_case> full_cases() {
  constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
  constexpr std::int32_t i32_min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
  auto run = [](std::string name, const std::vector<unit>& units, std::vector<std::string> options = {}) {
    spine_case c = plain_run(std::move(name), "obs.fits", "obs", units);
    options.insert(options.begin(), "--full");
    std::string logged = " orvex";
    for (const std::string& o : options) logged += " " + o;
    c.args.insert(c.args.begin(), options.begin(), options.end());
    c.files["logfile"] = logged + " obs.fits\n";
    return c;
  };
  std::vector<spine_case> cases{
      run("full_8_bit_values_are_unsigned",
          {primary_image(8, {4, 2}, big_endian{}.u8(0).u8(1).u8(127).u8(128).u8(200).u8(254).u8(255).u8(9).bytes(),
                         {}, "0 1 127 128 \n200 254 255 9 \n")}),
      run("full_8_bit_signed_by_BZERO",
          {primary_image(8, {4}, big_endian{}.u8(0).u8(127).u8(128).u8(255).bytes(), {{"BZERO", "-128"}},
                         "-128 -1 0 127 \n")}),
      run("full_16_bit_unsigned_on_one_axis",
          {primary_image(16, {3}, big_endian{}.i16(-32768).i16(0).i16(32767).bytes(), {{"BZERO", "32768"}},
                         "0 32768 65535 \n")}),
      run("full_32_bit_unsigned_cube",
          {primary_image(32, {2, 2, 2},
                         big_endian{}.i32(i32_min).i32(-1).i32(0).i32(1).i32(2).i32(i32_max).i32(5).i32(-5).bytes(),
                         {{"BZERO", "2147483648"}},
                         "0 2147483647 \n2147483648 2147483649 \n2147483650 4294967295 \n2147483653 2147483643 \n")}),
      run("full_64_bit_as_stored",
          {primary_image(64, {3}, big_endian{}.i64(i64_min).i64(-1).i64(i64_max).bytes(), {},
                         "-9223372036854775808 -1 9223372036854775807 \n")}),
      run("full_64_bit_unsigned",
          {primary_image(64, {3}, big_endian{}.i64(i64_min).i64(-1).i64(i64_max).bytes(),
                         {{"BZERO", "9223372036854775808"}}, "0 9223372036854775807 18446744073709551615 \n")}),
      run("full_64_bit_offset_beyond_64_bits",
          {primary_image(64, {2}, big_endian{}.i64(5).i64(i64_max).bytes(), {{"BZERO", "1.0E20"}},
                         "100000000000000000005 109223372036854775807 \n")}),
      run("full_32_bit_blank", {primary_image(32, {3}, big_endian{}.i32(1).i32(99).i32(-99).bytes(), {{"BLANK", "99"}},
                                              "1 nan -99 \n")}),
      run("full_16_bit_scaled_with_blank",
          {primary_image(16, {3}, big_endian{}.i16(10).i16(-32768).i16(7).bytes(),
                         {{"BSCALE", "0.1"}, {"BZERO", "5"}, {"BLANK", "-32768"}},
                         g16(scaled(10, 0.1, 5)) + "nan " + g16(scaled(7, 0.1, 5)) + "\n")}),
      run("full_16_bit_half_BZERO_is_scaled",
          {primary_image(16, {2}, big_endian{}.i16(1).i16(-2).bytes(), {{"BZERO", "0.5"}}, "1.5 -1.5 \n")}),
      run("full_floats_as_stored",
          {primary_image(-32, {4, 2},
                         big_endian{}.f32(0.1f).f32(-1.5f).f32(3e38f).f32(-0.0f).f32_bits(0x7fc00000)
                             .f32_bits(0xffc00001).f32_bits(0x7f800000).f32_bits(0xff800000).bytes(),
                         {}, g16(0.1f) + "-1.5 " + g16(3e38f) + "-0 \nnan nan inf -inf \n")}),
      run("full_floats_scaled",
          {primary_image(-32, {2}, big_endian{}.f32(0.1f).f32_bits(0x7fc00000).bytes(),
                         {{"BSCALE", "2"}, {"BZERO", "-0.5"}}, g16(scaled(0.1f, 2, -0.5)) + "nan \n")}),
      run("full_doubles_as_stored",
          {primary_image(-64, {3}, big_endian{}.f64(1e-300).f64(-123456789.123456789).f64(0.0).bytes(), {},
                         g16(1e-300) + g16(-123456789.123456789) + "0 \n")}),
      run("full_doubles_scaled",
          {primary_image(-64, {2, 2}, big_endian{}.f64(1.0).f64(0.1).f64_bits(0x7ff8000000000000).f64(-1.0 / 0.0).bytes(),
                         {{"BSCALE", "2.5D0"}, {"BZERO", "-1"}}, "1.5 " + g16(scaled(0.1, 2.5, -1)) + "\nnan -inf \n")}),
      run("full_float_cube_plane_after_plane",
          {primary_image(-32, {2, 1, 3}, big_endian{}.f32(1).f32(2).f32(3).f32(4).f32(5).f32(6).bytes(), {},
                         "1 2 \n3 4 \n5 6 \n")}),
      run("full_image_extension_after_a_table_and_a_table_after_it",
          {no_data(), int_table({7, 8}),
           full_image(true, -32, {2, 2}, big_endian{}.f32(1.5f).f32(2.5f).f32(-3).f32(4).bytes(), {}, "1.5 2.5 \n-3 4 \n"),
           int_table({9})}),
      run("full_image_extension_without_a_pixel",
          {no_data(), full_image(true, 16, {0, 3}, "", {}, ""), int_table({9})}),
  };

  // --exact: the shortest texts, a float's as the float's; --csv: CSV files
  // of the images and tables alone, an image's columns numbered.
  cases.push_back(run("full_floats_exact",
                      {primary_image(-32, {4, 2},
                                     big_endian{}.f32(0.1f).f32(-1.5f).f32(3e38f).f32(-0.0f).f32_bits(0x7fc00000)
                                         .f32_bits(0xffc00001).f32_bits(0x7f800000).f32_bits(0xff800000).bytes(),
                                     {}, "0.1 -1.5 3e+38 -0 \nnan nan inf -inf \n")},
                      {"--exact"}));
  cases.push_back(run("full_scaled_exact",
                      {primary_image(16, {3}, big_endian{}.i16(10).i16(-32768).i16(7).bytes(),
                                     {{"BSCALE", "0.1"}, {"BZERO", "5"}, {"BLANK", "-32768"}}, "6 nan 5.7 \n")},
                      {"--exact"}));
  const unit image_ext = full_image(true, -32, {2, 2}, big_endian{}.f32(1.5f).f32(2.5f).f32(-3).f32(4).bytes(), {}, "");
  const std::vector<unit> with_tables{floats_for_csv(), int_table({7, 8}), image_ext, int_table({9})};
  cases.push_back({"full_csv", {"--full", "--csv", "obs.fits"}, {{"obs.fits", fits_of(with_tables)}},
                   out_of("obs.fits", with_tables), "", 0,
                   {{"obs.000.csv", "1,2\n1,2\n3,4\n"}, {"obs.001.csv", "V\n7\n8\n"},
                    {"obs.002.csv", "1,2\n1.5,2.5\n-3,4\n"}, {"obs.003.csv", "V\n9\n"},
                    {"logfile", " orvex --full --csv obs.fits\n"}}});

  // Random groups are one line per group; a table that says ZIMAGE = T
  // without describing an image (no ZBITPIX, no ZNAXIS) is the binary
  // table it is.
  const std::vector<card> groups{{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "0"},
                                 {"NAXIS2", "3"}, {"GROUPS", "T"},  {"PCOUNT", "0"}, {"GCOUNT", "1"}};
  cases.push_back(run("full_random_groups_one_line_per_group",
                      {{groups, big_endian{}.i16(1).i16(2).i16(3).bytes(), comments(groups) + "1 2 3 \n", progress(1)}}));
  unit tiles = int_table({1, 2});
  tiles.cards.push_back({"ZIMAGE", "T"});
  tiles.text = comments(tiles.cards) + "1 \n2 \n";
  cases.push_back(run("full_zimage_table_without_an_image_is_a_table", {no_data(), tiles}));

  // A part not written still reads its lines.
  const unit floats = primary_image(-32, {2, 2}, big_endian{}.f32(1).f32(2).f32(3).f32(4).bytes(), {}, "1 2 \n3 4 \n");
  spine_case skipped = run("full_image_not_written", {floats, int_table({5})}, {"-p", "1"});
  skipped.files.erase("obs.000");
  cases.push_back(skipped);

  // A stream that ends inside the lines: the complete lines, a report.
  const unit three_lines =
      primary_image(-32, {2, 3}, big_endian{}.f32(1).f32(2).f32(3).f32(4).f32(5).f32(6).bytes(), {}, "");
  cases.push_back({"full_float_image_cut",
                   {"--full", "obs.fits"},
                   {{"obs.fits", header_unit(three_lines.cards) + three_lines.data.substr(0, 14)}},
                   filename_line("obs.fits") + "000%\r033%\n",
                   "orvex: obs.fits: part 0: the stream ends inside the image: 1 of 3 image lines written\n",
                   1,
                   {{"obs.000", three_lines.text + "1 2 \n"}, {"logfile", " orvex --full obs.fits\n"}}});
  const unit cube = full_image(true, 64, {1, 2, 2}, big_endian{}.i64(1).i64(2).i64(3).i64(4).bytes(), {}, "");
  cases.push_back({"full_image_extension_cut",
                   {"--full", "obs.fits"},
                   {{"obs.fits", fits_of({no_data()}) + header_unit(cube.cards) + cube.data.substr(0, 31)}},
                   filename_line("obs.fits") + "000%\r025%\r050%\r075%\n",
                   "orvex: obs.fits: part 1: the stream ends inside the image: 3 of 4 image lines written\n",
                   1,
                   {{"obs.000", no_data().text}, {"obs.001", cube.text + "1 \n2 \n3 \n"}, {"logfile", " orvex --full obs.fits\n"}}});

  // A BITPIX that is no pixel type: reported for a written part, its data
  // passed over.
  const unit seven = primary_image(7, {2, 2}, "abcd", {}, "");
  const unit table = int_table({5});
  const std::string bad = "orvex: obs.fits: part 0: BITPIX = 7 is not a FITS pixel type: the image is not written\n";
  cases.push_back({"full_unknown_bitpix", {"--full", "obs.fits"}, {{"obs.fits", fits_of({seven, table})}},
                   filename_line("obs.fits") + table.out, bad, 1,
                   {{"obs.000", seven.text}, {"obs.001", table.text}, {"logfile", " orvex --full obs.fits\n"}}});
  cases.push_back({"full_unknown_bitpix_of_a_part_not_written", {"--full", "-p", "1", "obs.fits"},
                   {{"obs.fits", fits_of({seven, table})}}, filename_line("obs.fits") + table.out, "", 0,
                   {{"obs.001", table.text}, {"logfile", " orvex --full -p 1 obs.fits\n"}}});
  const unit zero = full_image(true, 0, {2}, "ab", {}, "");
  cases.push_back({"full_bitpix_0_of_an_image_extension", {"--full", "obs.fits"}, {{"obs.fits", fits_of({no_data(), zero})}},
                   filename_line("obs.fits"),
                   "orvex: obs.fits: part 1: BITPIX = 0 is not a FITS pixel type: the image is not written\n", 1,
                   {{"obs.000", no_data().text}, {"obs.001", zero.text}, {"logfile", " orvex --full obs.fits\n"}}});
  return cases;
}

std::vector<spine_case> default_cases() {
  std::vector<spine_case> all;
  for (auto part : {naming_cases, part_cases, primary_header_cases, image_cases, block_cases,
                    truncation_cases, output_failure_cases}) {
    for (spine_case& c : part()) all.push_back(std::move(c));
  }
  return all;
}

std::vector<spine_case> all_cases() {
  std::vector<spine_case> all = default_cases();
  for (spine_case& c : full_cases()) all.push_back(std::move(c));
  return all;
}

// Every case above whose input holds no image but 16-bit two-dimensional
// primary ones (and IMAGE extensions without data) runs the same with
// --full: those images are written as before, with or without a dump,
// truncated or whole. Only the cases named here hold other images.
std::vector<spine_case> as_without_full_cases() {
  const std::set<std::string> other_images{
      "no_image_dump_three_axes", "no_image_dump_floating_values", "no_image_dump_bytes", "no_image_dump_one_axis",
      "XTENSION_text_off_the_card_grid", "float_image_cut", "float_image_cut_in_a_part_not_written",
      "float_image_without_its_padding", "huge_axes_saturate"};
  std::vector<spine_case> cases;
  for (spine_case& c : default_cases()) {
    if (other_images.contains(c.name)) continue;
    c.args.insert(c.args.begin(), "--full");
    if (auto log = c.files.find("logfile"); log != c.files.end()) log->second.replace(0, 6, " orvex --full");
    cases.push_back(std::move(c));
  }
  // The CSV header record of an image waits for its first whole line: a
  // header that declares a line of a trillion pixels on a short file
  // neither allocates nor writes it.
  const unit trillion = primary_image(8, {1000000000000, 1}, "ab", {}, "");
  cases.push_back({"full_csv_line_longer_than_the_file", {"--full", "--csv", "obs.fits"},
                   {{"obs.fits", header_unit(trillion.cards) + "ab"}}, filename_line("obs.fits") + "000%\n",
                   "orvex: obs.fits: part 0: the stream ends inside the image: 0 of 1 image lines written\n", 1,
                   {{"logfile", " orvex --full --csv obs.fits\n"}}});
  return cases;
}

// --- running them -----------------------------------------------------------

// The case's inputs stored as `how` says; false when compress is missing.
bool options_for(const spine_case& c, packing how, run_options& o) {
  o = {.args = c.args, .inputs = c.inputs, .folders = c.folders, .limits = c.limits};
  // GNU argument permutation is part of the command line's meaning.
  o.env = {{"POSIXLY_CORRECT", std::nullopt}};
  for (auto& [name, bytes] : o.inputs) {
    std::optional<std::string> stored = packed(bytes, how);
    if (!stored) return false;
    bytes = *stored;
  }
  return true;
}

void check_run(const run_result& r, const std::string& out, const std::string& err, int status,
               const file_map& expected) {
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, status) << r.describe();
  EXPECT_EQ(visible(r.out), visible(out));
  EXPECT_EQ(visible(r.err), visible(err));
  file_map files = r.outputs();
  ASSERT_TRUE(strip_log_time_stamps(files, r));
  EXPECT_TRUE(same_files(files, expected));
  // Every input is left as it was.
  for (const auto& [name, bytes] : r.inputs) {
    const auto now = r.files.find(name);
    EXPECT_TRUE(now != r.files.end() && now->second == bytes) << "input " << name << " changed";
  }
}

void PrintTo(const spine_case& c, std::ostream* os) { *os << c.name; }

class spine_e2e : public ::testing::TestWithParam<std::tuple<spine_case, packing>> {};

// Every case, its inputs stored each way, writes what the plain inputs write.
TEST_P(spine_e2e, run) {
  const auto& [c, how] = GetParam();
  run_options o;
  if (!options_for(c, how, o)) GTEST_SKIP() << "compress is not installed";
  const run_result r = run_orvex(o);
  check_run(r, c.out, c.err, c.status, c.files);
}

INSTANTIATE_TEST_SUITE_P(cases, spine_e2e,
                         ::testing::Combine(::testing::ValuesIn(all_cases()), ::testing::ValuesIn(every_packing)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + packing_name(std::get<1>(info.param));
                         });
INSTANTIATE_TEST_SUITE_P(as_without_full, spine_e2e,
                         ::testing::Combine(::testing::ValuesIn(as_without_full_cases()), ::testing::Values(packing::plain)),
                         [](const auto& info) { return std::get<0>(info.param).name; });

// -o DIR, -o - and the input "-" write what a plain run writes, moved: into
// the folder; onto standard output, part after part, with the messages on
// standard error; under the stem "stdin" from a pipe, plain or gzip. Every
// case above that ends well with one input is run these four ways.
enum class moved { into_folder, onto_stdout, from_stdin, from_stdin_gzip };
const char* const moved_names[] = {"into_folder", "onto_stdout", "from_stdin", "from_stdin_gzip"};

std::vector<spine_case> clean_one_input_cases() {
  std::vector<spine_case> cases;
  for (spine_case& c : all_cases()) {
    if (c.status == 0 && c.err.empty() && c.folders.empty() && c.limits.empty() && c.inputs.size() == 1 &&
        c.inputs.contains(c.args.back())) {
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

class spine_e2e_moved : public ::testing::TestWithParam<std::tuple<spine_case, moved>> {};

TEST_P(spine_e2e_moved, run) {
  const auto& [c, how] = GetParam();
  run_options o;
  options_for(c, how == moved::from_stdin_gzip ? packing::gzip : packing::plain, o);
  file_map parts = c.files, files;
  const std::string logged = parts["logfile"].substr(std::string(" orvex").size());
  parts.erase("logfile");
  std::string out = c.out, err;
  if (how == moved::into_folder || how == moved::onto_stdout) {
    const std::string folder = how == moved::into_folder ? "out" : "-";
    o.args.insert(o.args.begin(), {"-o", folder});
    files["logfile"] = " orvex -o " + folder + logged;
    if (how == moved::into_folder) {
      o.folders = {"out"};
      for (const auto& [name, bytes] : parts) files["out/" + name] = bytes;
    } else {
      err = c.out;
      out.clear();
      for (const auto& [name, bytes] : parts) out += bytes;
    }
  } else {
    const std::string path = c.args.back();
    o.stdin_bytes = o.inputs[path];
    o.inputs.erase(path);
    o.args.back() = "-";
    const std::string word = path.find_first_of(" ,*") == std::string::npos ? path : "\"" + path + "\"";
    ASSERT_TRUE(logged.ends_with(" " + word + "\n"));
    files["logfile"] = " orvex" + logged.substr(0, logged.size() - word.size() - 1) + "-\n";
    for (const auto& [name, bytes] : parts) {
      const std::size_t csv = name.ends_with(".csv") ? 4 : 0;  // the part number is before ".csv"
      files["stdin" + name.substr(name.rfind('.', name.size() - csv - 1))] = bytes;
    }
    out.replace(0, filename_line(path).size(), filename_line("-"));
  }
  check_run(run_orvex(o), out, err, 0, files);
}

INSTANTIATE_TEST_SUITE_P(cases, spine_e2e_moved,
                         ::testing::Combine(::testing::ValuesIn(clean_one_input_cases()),
                                            ::testing::Values(moved::into_folder, moved::onto_stdout,
                                                              moved::from_stdin, moved::from_stdin_gzip)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + moved_names[static_cast<int>(std::get<1>(info.param))];
                         });

// The progress rule itself, on the figures of 250 lines: every third line,
// rising from 000 to 099, then 100.
TEST(spine_e2e_expected, progress_of_250_lines) {
  const std::string p250 = progress(250);
  EXPECT_TRUE(p250.starts_with("000%\r001%\r002%\r003%\r004%\r006%\r")) << visible(p250);
  EXPECT_TRUE(p250.ends_with("098%\r099%\r100%\n")) << visible(p250);
  EXPECT_EQ(std::count(p250.begin(), p250.end(), '\r'), 84);
  EXPECT_EQ(progress(-7), "000%\n");
  EXPECT_EQ(progress(0), "");
}

// --- damaged gzip input -----------------------------------------------------

// Stored (level 0) deflate blocks hold the data as it is, so a cut at a
// chosen byte of the data delivers exactly the bytes before it.
std::string stored_gzip_cut(const std::string& data, std::size_t keep) {
  const std::string gz = gzip(data, 0);
  const std::size_t start = gz.find(data.substr(0, 2880));
  if (start == std::string::npos || gz.compare(start, keep, data, 0, keep) != 0) {
    throw std::runtime_error("stored gzip stream does not hold the data in one piece");
  }
  return gz.substr(0, start + keep);
}

TEST(spine_e2e_gzip, zlib_read_errors) {
  const unit img = image(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  const unit ext = empty_extension("E");
  const std::string data = fits_of({img, ext});
  const std::string good = gzip(fits_of({no_data()}));
  std::string bad_crc = gzip(data);
  bad_crc[bad_crc.size() - 8] = static_cast<char>(bad_crc[bad_crc.size() - 8] ^ 0x01);
  std::string bad_block = gzip(data);
  bad_block[10] = static_cast<char>(0xFF);  // the first deflate block: of the reserved type 3

  const struct {
    std::string name;
    std::string input;
    std::string out;
    std::string err;
    std::string text;  // obs.000
  } cases[] = {
      // zlib delivers nothing of a read whose data fails its check.
      {"bad_crc", bad_crc, "", "orvex: obs.fits: read error: incorrect data check\n", ""},
      {"corrupt_deflate_stream", bad_block, "", "orvex: obs.fits: read error: invalid block type\n", ""},
      {"gzip_member_cut_inside_the_image", stored_gzip_cut(data, 2880 + 8), "000%\r033%\n",
       "orvex: obs.fits: part 0: the stream ends inside the image: 1 of 3 image lines written\n"
       "orvex: obs.fits: read error: unexpected end of file\n",
       comments(img.cards) + "1 2 3 \n"},
      {"gzip_member_cut_after_the_image", stored_gzip_cut(data, 2880 + 18 + 100), "000%\r033%\r066%\r100%\n",
       "orvex: obs.fits: read error: unexpected end of file\n", img.text},
      {"gzip_header_cut", gzip(data).substr(0, 5), "", "orvex: obs.fits: read error: unexpected end of file\n", ""},
      {"gzip_member_cut_in_the_header", stored_gzip_cut(data, 2 * 80 + 10), "",
       "orvex: obs.fits: read error: unexpected end of file\n",
       comments({img.cards[0], img.cards[1]}, false) + "!NAXIS   = \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const run_result r = run_orvex({.args = {"obs.fits", "next.fits"},
                                    .inputs = {{"obs.fits", c.input}, {"next.fits", good}},
                                    .env = {{"POSIXLY_CORRECT", std::nullopt}}});
    check_run(r, filename_line("obs.fits") + c.out + filename_line("next.fits"), c.err, 1,
              {{"obs.000", c.text}, {"next.000", no_data().text}, {"logfile", " orvex obs.fits next.fits\n"}});
  }
}

TEST(spine_e2e_gzip, members_read_as_one_stream) {
  const unit img = image(3, 2, {1, 2, 3, 4, 5, 6});
  const unit table = int_table({1, 2, 3});
  const std::string data = fits_of({img, table});
  for (std::size_t split : {std::size_t{40}, std::size_t{2880}, std::size_t{2885}, data.size() - 1}) {
    SCOPED_TRACE("second member from byte " + std::to_string(split));
    const run_result r = run_orvex({.args = {"obs.fits"},
                                    .inputs = {{"obs.fits", gzip(data.substr(0, split)) + gzip(data.substr(split))}},
                                    .env = {{"POSIXLY_CORRECT", std::nullopt}}});
    check_run(r, out_of("obs.fits", {img, table}), "", 0,
              with(files_of("obs", {img, table}), {{"logfile", " orvex obs.fits\n"}}));
  }
}

// A folder that cannot be written: no log line, no output file, a message
// for each, and the message of the log runs on into the next one.
TEST(spine_e2e_folder, unwritable_folder) {
  if (!unwritable_folder_supported()) GTEST_SKIP() << "this system lets the child write anyway";
  const unit img = image(2, 1, {1, 2});
  const unit ext = empty_extension("E");
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "--quiet" : "not quiet");
    std::vector<std::string> args{"obs.fits"};
    if (quiet) args.insert(args.begin(), "--quiet");
    const run_result r = run_orvex({.args = args,
                                    .inputs = {{"obs.fits", fits_of({img, ext})}},
                                    .env = {{"POSIXLY_CORRECT", std::nullopt}},
                                    .read_only_folder = true});
    // --quiet also leaves out the progress figures.
    check_run(r, filename_line("obs.fits") + (quiet ? "" : img.out),
              std::string(quiet ? "" : "No logfile entry") +
                  "orvex: obs.000: cannot create: Permission denied\n"
                  "orvex: obs.001: cannot create: Permission denied\n",
              1, {});
  }
}

}  // namespace
}  // namespace orvex::test
