// Column selection, heading lines, binary row lines and the progress and
// warning lines on standard output.
#include "decoder/row_output.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "fits/stream.h"
#include "tests/fits_builder.h"
#include "tests/row_run.h"
#include "tests/run_orvex.h"
#include "util/failure.h"
#include "util/output_file.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

using test::big_endian;

const std::vector<std::string> rosat_preset{"X", "Y", "PHA", "PI", "TIME", "DETX", "DETY"};
const std::vector<std::string> chandra_preset{"x", "y", "pha", "pi", "time", "detx", "dety"};

struct column_spec {
  char type;
  std::int32_t count;
  const char* name = "";
  const char* unit = "";
  std::int32_t disp_width = 0;
};

// Fills slots 1 to columns.size() and returns TFIELDS.
int set_columns(const std::vector<column_spec>& columns) {
  reset_table();
  int n = 0;
  for (const column_spec& s : columns) {
    column_desc& c = table[static_cast<std::size_t>(++n)];
    c.type = s.type;
    c.count = s.count;
    std::strcpy(c.name, s.name);
    std::strcpy(c.unit, s.unit);
    if (s.disp_width != 0) {
      c.disp_width = s.disp_width;
      c.disp_decimals = 6;
    }
  }
  return n;
}

class RowOutput : public testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_table();
    failure::reset();
    failure::set_position("obs.fits", 1);
  }
  void TearDown() override {
    reset_settings();
    reset_table();
    failure::reset();
  }

  // Writes the heading lines into a file and returns its text.
  std::string heading(int tfields) {
    const auto path = folder_.path() / "heading.001";
    util::output_file file;
    EXPECT_TRUE(file.create(path.c_str()));
    write_heading_lines(file, tfields);
    EXPECT_EQ(file.close(), 0);
    return test::read_file(path);
  }

  using rows_result = test::rows_result;

  rows_result rows(const std::string& data, std::int32_t tfields, std::int32_t naxis2, bool writing = true) {
    extension_header h;
    h.naxis = 2;
    h.naxis2 = naxis2;
    h.tfields = tfields;
    return test::run_rows(write_binary_rows, folder_.path(), data, h, writing);
  }

  // myvec as the options leave it: a preset's list (matched exactly), or
  // the list of --col-name; an empty list writes every column.
  static void use_list(const std::vector<std::string>& list) {
    myvec = list;
    flag_all = list.empty() ? 1 : 0;
    const bool preset = list == rosat_preset || list == chandra_preset;
    col_name_list = preset ? std::vector<std::string>{} : list;
  }

  test::temp_folder folder_;
};

// The cells a row line holds, by column number.
TEST_F(RowOutput, SelectionByListPresetsAndMissingAndDuplicateNames) {
  struct case_t {
    const char* name;
    std::vector<column_spec> columns;
    std::vector<std::string> myvec;
    std::vector<int> cells;
    bool from_table = false;  // myvec filled from the TTYPEn cards (flag_all)
  };
  const std::vector<column_spec> events{{'D', 1, "TIME"}, {'E', 1, "X"}, {'E', 1, "Y"}, {'J', 1, "PHA"}};
  const std::vector<case_t> cases{
      {"names in list order", events, {"PHA", "TIME"}, {4, 1}},
      {"every column in card order", events, {"TIME", "X", "Y", "PHA"}, {1, 2, 3, 4}},
      {"ROSAT preset passes over PI DETX DETY", events, rosat_preset, {2, 3, 4, 1}},
      {"CHANDRA preset on upper-case names finds nothing", events, chandra_preset, {}},
      {"CHANDRA preset on its own names",
       {{'E', 1, "x"}, {'E', 1, "y"}, {'J', 1, "pi"}, {'D', 1, "time"}, {'I', 1, "detx"}},
       chandra_preset,
       {1, 2, 3, 4, 5}},
      {"missing names are passed over", events, {"ENERGY", "X", "RA"}, {2}},
      {"no name matches", events, {"RA", "DEC"}, {}},
      {"a name listed twice is written twice", events, {"X", "TIME", "X"}, {2, 1, 2}},
      {"case counts only where no name matches exactly", events, {"time", "Time", "TIME"}, {1, 1, 1}},
      {"case first matched exactly", {{'J', 1, "rate"}, {'E', 1, "RATE"}}, {"RATE", "Rate"}, {2, 1}},
      {"two columns with one name: the list finds the first",
       {{'J', 1, "RATE"}, {'E', 1, "X"}, {'D', 1, "RATE"}},
       {"RATE", "X"},
       {1, 2}},
      {"empty list: every column by its own name", events, {}, {1, 2, 3, 4}},
      {"empty list: columns sharing a name keep their cells", {{'J', 1, "A"}, {'E', 1, "B"}, {'D', 1, "A"}}, {}, {1, 2, 3}},
      {"empty list and no names: every column its own", {{'J', 1}, {'E', 1}, {'D', 1}}, {}, {1, 2, 3}},
      {"empty list and one column", {{'J', 1, "ONLY"}}, {}, {1}},
      {"a longer name does not match a shorter one",
       {{'J', 1, "ABCDEFGHIJKLMNOPQRS"}},
       {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRS"},
       {1}},
      {"names alike in their first 19 characters are told apart",
       {{'J', 1, "ABCDEFGHIJKLMNOPQRS_ONE"}, {'J', 1, "ABCDEFGHIJKLMNOPQRS_TWO"}},
       {"ABCDEFGHIJKLMNOPQRS_TWO", "abcdefghijklmnopqrs_one"},
       {2, 1}},
      {"a name with a blank is found whole", {{'J', 1, "RATE"}, {'J', 1, "RATE ERR"}}, {"RATE ERR  "}, {2}},
      {"a name with a blank", {{'J', 1, "RATE"}}, {"RATE ERR", " RATE"}, {}},
      {"the table's own names: shared names each their column", {{'J', 1, "A"}, {'E', 1, "B"}, {'D', 1, "A"}},
       {"A", "B", "A"}, {1, 2, 3}, true},
      {"no columns", {}, {"TIME"}, {}},
      {"the empty name selects the unnamed column", {{'J', 1, "A"}, {'E', 1}}, {""}, {2}},
  };
  for (const case_t& c : cases) {
    const int tfields = set_columns(c.columns);
    use_list(c.myvec);
    if (c.from_table) flag_all = 1;
    EXPECT_EQ(selected_cells(tfields), c.cells) << c.name;
  }
}

TEST_F(RowOutput, HeadingLinesFromTheList) {
  struct case_t {
    const char* name;
    std::vector<column_spec> columns;
    std::vector<std::string> myvec;
    std::string text;
  };
  const std::vector<case_t> cases{
      {"TIME X Y with one unit", {{'D', 1, "TIME", "s"}, {'E', 1, "X"}, {'E', 1, "Y"}}, {"TIME", "X", "Y"},
       "!TIME X Y \n!s   \n"},
      {"ROSAT preset in preset order",
       {{'D', 1, "TIME", "s"}, {'E', 1, "X", "pixel"}, {'E', 1, "Y", "pixel"}, {'J', 1, "PHA", "chan"}},
       rosat_preset,
       "!X Y PHA TIME \n!pixel pixel chan s \n"},
      {"no name matches", {{'D', 1, "TIME", "s"}}, {"RA", "DEC"}, "!\n!\n"},
      {"a name listed twice", {{'D', 1, "TIME", "s"}, {'E', 1, "X", "pix"}}, {"X", "TIME", "X"},
       "!X TIME X \n!pix s pix \n"},
      {"two columns with one name show the first", {{'J', 1, "RATE", "ct"}, {'D', 1, "RATE", "ct/s"}}, {"RATE"},
       "!RATE \n!ct \n"},
      {"units keep their blanks", {{'J', 1, "PHA", "chan    "}}, {"PHA"}, "!PHA \n!chan     \n"},
      {"a name's blanks as underscores", {{'J', 1, "VERSION NUMBER", "n"}}, {"version number"}, "!VERSION_NUMBER \n!n \n"},
      {"the empty name finds the first unnamed column", {{'J', 1, "A", "u1"}, {'E', 1, "", "u2"}, {'E', 1, "", "u3"}},
       {""},
       "! \n!u2 \n"},
  };
  for (const case_t& c : cases) {
    const int tfields = set_columns(c.columns);
    use_list(c.myvec);
    EXPECT_EQ(heading(tfields), c.text) << c.name;
  }
}

TEST_F(RowOutput, HeadingLinesOfEveryColumnWhenTheListIsEmpty) {
  struct case_t {
    const char* name;
    std::vector<column_spec> columns;
    std::string text;
  };
  const std::vector<case_t> cases{
      // The width is the count, else the TDISP width, else 8; names and
      // units are cut to it and padded to it, then a blank.
      {"width from the count", {{'A', 12, "OBJECT", "none"}}, "!OBJECT       \n!none         \n"},
      {"a count of 1 cuts to one character", {{'D', 1, "TIME", "s"}}, "!T \n!s \n"},
      {"width from TDISP when the count is 0", {{'E', 0, "FLUX", "erg", 10}}, "!FLUX       \n!erg        \n"},
      {"width 8 otherwise", {{'E', 0, "LONGCOLUMNNAME", "km/s"}}, "!LONGCOLU \n!km/s     \n"},
      {"a negative count pads to its size and does not cut", {{'A', -3, "ABCDEFG", "u"}}, "!ABCDEFG \n!u   \n"},
      {"no names: blanks after the mark", {{'J', 2}, {'E', 0}}, "!   " + std::string(9, ' ') + "\n!" +
                                                                    std::string(3 + 9, ' ') + "\n"},
      {"several columns",
       {{'J', 4, "PHA", "chan"}, {'X', 16, "FLAGS"}, {'E', 0, "ENERGY", "keV", 6}},
       "!PHA  FLAGS            ENERGY \n!chan                  keV    \n"},
      {"no columns", {}, "!\n!\n"},
  };
  for (const case_t& c : cases) {
    const int tfields = set_columns(c.columns);
    myvec.clear();
    EXPECT_EQ(heading(tfields), c.text) << c.name;
  }
}

TEST_F(RowOutput, ProgressFigures) {
  struct case_t {
    std::int64_t done;
    std::int32_t total;
    char end;
    const char* text;
  };
  const std::vector<case_t> cases{
      {0, 1, '\r', "000%\r"},       {1, 1, '\n', "100%\n"},        {249, 250, '\r', "099%\r"},
      {3, 250, '\r', "001%\r"},     {0, -5, '\n', "000%\n"},       {2, 5, '\n', "040%\n"},
      {INT32_MAX, INT32_MAX, '\n', "100%\n"},                      {INT32_MAX - 1, INT32_MAX, '\r', "099%\r"},
      {1, 1000, '\r', "000%\r"},    {999, 1000, '\r', "099%\r"},   {7, 7, '\n', "100%\n"},
  };
  for (const case_t& c : cases) {
    testing::internal::CaptureStdout();
    print_progress(c.done, c.total, c.end);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text) << c.done << " of " << c.total;
  }
}

TEST_F(RowOutput, ProgressIsDueEveryHundredthOfTheRows) {
  struct case_t {
    std::int32_t total;
    std::vector<std::int64_t> due;  // the rows below 12 that show a figure
  };
  const std::vector<case_t> cases{
      {1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {99, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {150, {0, 2, 4, 6, 8, 10}},
      {250, {0, 3, 6, 9}},
      {1000, {0, 11}},
      {-4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
  };
  for (const case_t& c : cases) {
    std::vector<std::int64_t> due;
    for (std::int64_t r = 0; r < 12; ++r) {
      if (progress_due(r, c.total)) due.push_back(r);
    }
    EXPECT_EQ(due, c.due) << c.total;
  }
}

// The edge case of the selection: TIME, X and Y by the list, one row line
// each, the cells in list order.
TEST_F(RowOutput, RowLinesHoldTheSelectedCellsInListOrder) {
  const int tfields = set_columns({{'D', 1, "TIME"}, {'E', 1, "X"}, {'I', 1, "Y"}, {'J', 1, "PHA"}});
  const std::string data = big_endian{}
                               .f64(10.5).f32(1.25f).i16(-3).i32(7)
                               .f64(11.0).f32(2.5f).i16(4).i32(8)
                               .bytes();
  struct case_t {
    const char* name;
    std::vector<std::string> myvec;
    std::string file;
  };
  const std::vector<case_t> cases{
      {"every column", {"TIME", "X", "Y", "PHA"}, "10.5 1.25 -3 7 \n11 2.5 4 8 \n"},
      {"ROSAT preset", rosat_preset, "1.25 -3 7 10.5 \n2.5 4 8 11 \n"},
      {"a name twice", {"Y", "Y"}, "-3 -3 \n4 4 \n"},
      {"reversed", {"PHA", "Y", "X", "TIME"}, "7 -3 1.25 10.5 \n8 4 2.5 11 \n"},
      {"empty list", {}, "10.5 1.25 -3 7 \n11 2.5 4 8 \n"},
  };
  for (const case_t& c : cases) {
    use_list(c.myvec);
    rows_result r = rows(data, tfields, 2);
    EXPECT_EQ(r.file, c.file) << c.name;
    EXPECT_EQ(r.out, "000%\r050%\r") << c.name;  // rows 0 and 1 of 2
    EXPECT_EQ(r.done, 2) << c.name;
    EXPECT_EQ(r.fpos, static_cast<std::int64_t>(data.size())) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }
}

TEST_F(RowOutput, ProgressOfEveryRowShowsItsShare) {
  const int tfields = set_columns({{'B', 1, "V"}});
  rows_result r = rows(std::string(2, '\x01'), tfields, 2);
  EXPECT_EQ(r.out, "000%\r050%\r");
}

TEST_F(RowOutput, NoSelectedNameGivesEmptyLinesAndOneWarning) {
  const int tfields = set_columns({{'J', 1, "TIME"}, {'J', 1, "X"}});
  myvec = {"RA", "DEC"};
  rows_result r = rows(big_endian{}.i32(1).i32(2).i32(3).i32(4).i32(5).i32(6).bytes(), tfields, 3);
  EXPECT_EQ(r.file, "\n\n\n");
  EXPECT_EQ(r.out, "Warning: No colums written\n000%\r033%\r066%\r");
  EXPECT_EQ(r.fpos, 24);
}

TEST_F(RowOutput, ATableWithoutColumnsWritesEmptyLinesAndReadsNothing) {
  rows_result r = rows("data that stays unread", 0, 4);
  EXPECT_EQ(r.file, "\n\n\n\n");
  EXPECT_EQ(r.out, "Warning: No colums written\n000%\r025%\r050%\r075%\r");
  EXPECT_EQ(r.fpos, 0);
  EXPECT_EQ(r.done, 4);
  EXPECT_FALSE(r.failed);
}

TEST_F(RowOutput, NotWritingReadsEveryRowAndWarnsAtTheFirst) {
  const int tfields = set_columns({{'J', 2, "TIME"}, {'F', 1, "ODD"}});
  rows_result r = rows(big_endian{}.i32(1).i32(2).u8(0).i32(3).i32(4).u8(0).bytes(), tfields, 2, false);
  EXPECT_EQ(r.out, "Warning: No colums written\n000%\r050%\r");
  EXPECT_EQ(r.err, "Unknown type F\nUnknown type F\n");
  EXPECT_EQ(r.fpos, 18);
  EXPECT_EQ(r.done, 2);
}

TEST_F(RowOutput, NoRowsAtAll) {
  const int tfields = set_columns({{'J', 1, "TIME"}});
  for (std::int32_t naxis2 : {0, -3}) {
    rows_result r = rows(big_endian{}.i32(1).bytes(), tfields, naxis2);
    EXPECT_EQ(r.file, "") << naxis2;
    EXPECT_EQ(r.out, "") << naxis2;
    EXPECT_EQ(r.fpos, 0) << naxis2;
    EXPECT_EQ(r.done, 0) << naxis2;
  }
}

TEST_F(RowOutput, Progress250RowsEveryThirdRow) {
  const int tfields = set_columns({{'B', 1, "V"}});
  rows_result r = rows(std::string(250, '\x07'), tfields, 250);
  std::string want;
  for (int row = 0; row < 250; row += 3) {
    char figure[8];
    std::snprintf(figure, sizeof figure, "%03d%%\r", row * 100 / 250);
    want += figure;
  }
  EXPECT_EQ(r.out, want);
  EXPECT_TRUE(r.out.starts_with("000%\r001%\r002%\r003%\r"));
  EXPECT_TRUE(r.out.ends_with("098%\r099%\r"));
  EXPECT_EQ(r.done, 250);
}

// A stream that ends inside the data: the rows stop there, a
// row not delivered in full is not written, and a written part says so.
TEST_F(RowOutput, AStreamEndingInsideARowStopsTheRowsAndIsReported) {
  const int tfields = set_columns({{'J', 1, "TIME"}, {'I', 1, "PHA"}});
  const std::string data = big_endian{}.i32(1).i16(10).i32(2).i16(20).i32(3).bytes();  // two rows and a half
  struct case_t {
    const char* name;
    std::vector<std::string> myvec;
    std::string file;
  };
  for (const case_t& c : {case_t{"every column", {"TIME", "PHA"}, "1 10 \n2 20 \n"},
                          case_t{"reversed", {"PHA", "TIME"}, "10 1 \n20 2 \n"}}) {
    myvec = c.myvec;
    failure::reset();
    failure::set_position("obs.fits", 3);
    rows_result r = rows(data, tfields, 5);
    EXPECT_EQ(r.file, c.file) << c.name;
    EXPECT_EQ(r.done, 2) << c.name;
    EXPECT_EQ(r.out, "000%\r020%\r") << c.name;
    EXPECT_EQ(r.err, "orvex: obs.fits: part 3: the stream ends inside the table: 2 of 5 rows written\n") << c.name;
    EXPECT_TRUE(r.failed) << c.name;
    EXPECT_EQ(r.fpos, static_cast<std::int64_t>(data.size())) << c.name;
  }
}

TEST_F(RowOutput, AStreamEndingOnARowBoundaryStopsThereToo) {
  const int tfields = set_columns({{'J', 1, "TIME"}});
  rows_result r = rows(big_endian{}.i32(1).i32(2).bytes(), tfields, 3);
  EXPECT_EQ(r.file, "1 \n2 \n");
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.err, "orvex: obs.fits: part 1: the stream ends inside the table: 2 of 3 rows written\n");
}

TEST_F(RowOutput, AStreamEndingInsideARowOfAPartNotWrittenStopsSilently) {
  const int tfields = set_columns({{'J', 1, "TIME"}});
  rows_result r = rows(big_endian{}.i32(1).i32(2).bytes() + "xy", tfields, 5, false);
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.out, "Warning: No colums written\n000%\r020%\r");
}

// A file that can no longer be written, and rows that take no bytes:
// the rows left cost nothing but their progress figures.
TEST_F(RowOutput, RowsOfNoBytesIntoAFailedFileEndAtOnce) {
  const int tfields = set_columns({{'J', 0, "V"}});
  const auto input = folder_.path() / "none.fits";
  test::write_file(input, "");
  fits::stream in;
  ASSERT_TRUE(in.open(input.c_str()));
  util::output_file full;
  ASSERT_TRUE(full.create("/dev/full"));
  extension_header h;
  h.naxis = 2;
  h.naxis2 = INT32_MAX;
  h.tfields = tfields;
  testing::internal::CaptureStdout();
  std::int64_t done = write_binary_rows(in, &full, h);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(done, INT32_MAX);
  EXPECT_NE(full.close(), 0);
  // Every hundredth of the rows still shows its figure: rows 0,
  // 21474837, ... as for any table of this size.
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 100);
  EXPECT_TRUE(out.starts_with("000%\r001%\r")) << out.substr(0, 20);
  EXPECT_TRUE(out.ends_with("098%\r099%\r")) << out.substr(out.size() - 20);
}

// Every column once in column order and any other selection give the same
// cell texts byte for byte, long ones whole.
TEST_F(RowOutput, AllSelectionsGiveTheSameCellTexts) {
  std::string letters;
  for (int i = 0; i < 12000; ++i) letters += static_cast<char>('a' + i % 26);
  std::string many_j;
  for (int i = 0; i < 3000; ++i) many_j += big_endian{}.i32(-1000000000 - i).bytes();
  const std::vector<column_spec> columns{
      {'A', 12000, "TEXT"}, {'J', 3000, "MANY"}, {'E', 1, "WIDE", "", 2000}, {'P', 1, "DESC"},
      {'X', 12, "BITS"},    {'L', 2, "FLAG", "", 3}, {'K', 1, "BIG"},         {'A', 0, "NONE"},
      {'F', 3, "ODD"},      {'C', 1, "Z"},          {'E', 0, "EMPTY"},        {'Q', 1, "QDESC"},
  };
  // The descriptors point at empty arrays, which write nothing.
  std::string row = big_endian{}.chars(letters).raw(many_j).f32(1.5f).raw(std::string(8, '\0')).u8(0xF0).u8(0x0F)
                        .raw("T").u8(0).i64(-5).raw("odd").f32(0.5f).f32(-1).raw(std::string(16, '\0')).bytes();
  const std::string data = row + row;
  const int tfields = set_columns(columns);
  for (int n = 1; n <= tfields; ++n) table[static_cast<std::size_t>(n)].disp_decimals = 3;
  table[4].array_type = 'E';
  table[12].array_type = 'D';

  std::vector<std::string> in_order;
  for (const column_spec& c : columns) in_order.emplace_back(c.name);
  myvec = in_order;
  rows_result straight = rows(data, tfields, 2);
  std::vector<std::string> reversed(in_order.rbegin(), in_order.rend());
  myvec = reversed;
  rows_result buffered = rows(data, tfields, 2);

  // The cells of one row, by what each text must be.
  std::vector<std::string> texts{
      letters + " ",
      "",
      "1.5" + std::string(1997, ' ') + " ",
      "",
      "1111000000001111 ",
      "T   ?   ",
      "-5 ",
      " ",
      "",
      "0.5 -1 ",
      "",
      "",
  };
  for (int i = 0; i < 3000; ++i) texts[1] += std::to_string(-1000000000 - i) + " ";
  std::string line_in_order, line_reversed;
  for (const std::string& t : texts) line_in_order += t;
  for (auto it = texts.rbegin(); it != texts.rend(); ++it) line_reversed += *it;
  EXPECT_EQ(straight.file, line_in_order + "\n" + line_in_order + "\n");
  EXPECT_EQ(buffered.file, line_reversed + "\n" + line_reversed + "\n");
  EXPECT_EQ(straight.fpos, static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(buffered.fpos, static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(straight.err, "Unknown type F\nUnknown type F\n");
  EXPECT_EQ(buffered.err, straight.err);
}

// A table whose row line would not fit the output buffer in one piece.
TEST_F(RowOutput, RowsLongerThanTheOutputBufferAreWrittenWhole) {
  std::vector<column_spec> columns;
  std::string row;
  std::string line;
  for (int n = 0; n < 40; ++n) {
    columns.push_back({'A', 9000, ""});
    std::string text(9000, static_cast<char>('A' + n % 26));
    row += text;
    line += text + " ";
  }
  const int tfields = set_columns(columns);
  for (int n = 1; n <= tfields; ++n) {
    const std::string name = "C" + std::to_string(n);
    std::strcpy(table[static_cast<std::size_t>(n)].name, name.c_str());
    myvec.push_back(name);
  }
  rows_result r = rows(row + row, tfields, 2);
  EXPECT_EQ(r.file.size(), 2 * (line.size() + 1));
  EXPECT_EQ(r.file, line + "\n" + line + "\n");
}

}  // namespace
}  // namespace orvex::decoder
