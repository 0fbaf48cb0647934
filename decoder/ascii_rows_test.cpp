// ASCII-table rows: each field read as a number from its TBCOLn position
// (running on into the next field when the number does), scaled and
// written with "%ld", "%-.16g" or "%-*.*g"; all columns in column order,
// one blank between them; progress lines; unknown types.
#include "decoder/ascii_rows.h"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

struct field {
  char type;
  std::int32_t tbcol;
  std::int32_t decimals = -1;    // d of TFORMn Tw.d
  std::int32_t disp_width = 0;   // TDISPn width; 0: no TDISPn card
  std::int32_t disp_decimals = 6;
  double tscal = 1.0;
  double tzero = 0.0;
  std::int32_t width = 0;        // w of TFORMn Tw.d
};

column_desc column_of(const field& f) {
  column_desc c;
  c.type = f.type;
  c.count = f.width;
  c.tbcol = f.tbcol;
  c.decimals = f.decimals;
  if (f.disp_width != 0) {
    c.disp_width = f.disp_width;
    c.disp_decimals = f.disp_decimals;
  }
  c.tscal = f.tscal;
  c.tzero = f.tzero;
  return c;
}

struct cell_out {
  std::string text;
  std::string err;
};

cell_out cell(const std::string& row, const field& f, bool writing = true, bool every_field = false) {
  // The row as the decoder holds it: its bytes and a NUL after them.
  std::vector<char> bytes(row.begin(), row.end());
  bytes.push_back('\0');
  text_buffer out;
  cell_out r;
  ascii_cell(std::string_view(bytes.data(), row.size()), column_of(f), writing ? &out : nullptr, r.err, every_field);
  r.text = std::string(out.view());
  return r;
}

TEST(AsciiCell, FieldsReadScaledAndWritten) {
  struct case_t {
    const char* name;
    std::string row;
    field f;
    std::string text;
    std::string err = {};
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<case_t> cases{
      {"I4 before an E field: the integer stops at the minus sign", "  12-1.500E+01", {'I', 1}, "12"},
      {"E10.3 from its own first byte, the sign included", "  12-1.500E+01", {'E', 5, 3}, "-15"},
      {"I1 runs on into the next field", "123", {'I', 1}, "123"},
      {"I2 from the second byte", "123", {'I', 2}, "23"},
      {"a field of blanks is 0", "12      ", {'E', 3}, "0"},
      {"a field of blanks is TZERO", "12      ", {'E', 3, -1, 0, 6, 2.0, 5.5}, "5.5"},
      {"a blank integer field is TZERO", "12      ", {'J', 3, -1, 0, 6, 1.0, -2.75}, "-2.75"},
      {"12 with TSCAL 0.3", "  12", {'I', 1, -1, 0, 6, 0.3, 0.0}, "3.6"},
      {"-7 with TSCAL 0.5 is a floating value", "-7", {'I', 1, -1, 0, 6, 0.5, 0.0}, "-3.5"},
      {"B and J read like I", " 255", {'B', 1, -1, 0, 6, 2.0, 1.0}, "511"},
      {"J with a plus sign", "+17", {'J', 1}, "17"},
      {"an integer stops at a point", "3.75", {'I', 1}, "3"},
      {"an integer stops at an exponent", "1e5", {'J', 1}, "1"},
      {"TDISP does not apply to integers", "42", {'I', 1, -1, 10, 2}, "42"},
      {"E 0.1 without TDISP", "0.1", {'E', 1}, "0.1"},
      {"D seventeen threes give sixteen", "0.33333333333333333", {'D', 1}, "0.3333333333333333"},
      {"D exponent letter D", "3.2768D+04", {'D', 1}, "32768"},
      {"E exponent letter d", " 1.5d-1", {'E', 1}, "0.15"},
      {"E exponent letter E", "-.5E-3", {'E', 1}, "-0.0005"},
      {"E without a point", "1e5", {'E', 1}, "100000"},
      {"E scaled", "2.5", {'E', 1, -1, 0, 6, 2.0, -1.0}, "4"},
      {"E with TFORM decimals and TDISP: TDISP width, TFORM decimals", "3.14159265", {'E', 1, 7, 10, 2},
       "3.141593  "},
      {"E with TDISP only: TDISP width and decimals", "3.14159265", {'E', 1, -1, 10, 2}, "3.1       "},
      {"E with TDISP F10 without decimals: precision 6", "3.14159265", {'E', 1, -1, 10, 6}, "3.14159   "},
      {"E with TFORM decimals and no TDISP: 16 digits", "3.14159265", {'E', 1, 3}, "3.14159265"},
      {"E with TFORM decimals 0 and TDISP", "3.75", {'E', 1, 0, 4, 3}, "4   "},
      {"E TDISP narrower than the text", "-1234.5", {'E', 1, -1, 2, 3}, "-1.23e+03"},
      {"E infinity", " inf", {'E', 1}, "inf"},
      {"integer above the 32-bit range", "99999999999", {'I', 1}, "-2147483648"},
      {"integer 2147483648", "2147483648", {'J', 1}, "-2147483648"},
      {"integer 2147483647", "2147483647", {'J', 1}, "2147483647"},
      {"integer below the 32-bit range", "-2147483649", {'J', 1}, "-2147483648"},
      {"integer -2147483648", "-2147483648", {'J', 1}, "-2147483648"},
      {"scaled integer beyond 32 bits is exact", "2000000000", {'J', 1, -1, 0, 6, 2.0, 0.0}, "4000000000"},
      {"integer with a NaN TZERO", "5", {'J', 1, -1, 0, 6, 1.0, nan}, "nan"},
      {"TBCOL 0 is outside the row", "12345", {'I', 0, -1, 0, 6, 1.0, 7.0}, "7"},
      {"TBCOL -1 is outside the row", "12345", {'E', -1}, "0"},
      {"TBCOL past the row", "12345", {'I', 6}, "0"},
      {"TBCOL far past the row", "12345", {'E', 100000}, "0"},
      {"TBCOL on the last byte", "   5", {'I', 4}, "5"},
      {"A is an unhandled type", "abc", {'A', 1}, "", "Unknown type A\n"},
      {"F is an unhandled type", "1.5", {'F', 1}, "", "Unknown type F\n"},
      {"lower-case e is an unhandled type", "1.5", {'e', 1}, "", "Unknown type e\n"},
      {"no TFORM card: the zero letter", "1.5", {'\0', 1}, "", std::string("Unknown type \0\n", 15)},
      {"a field that is not a number", "abc", {'E', 1}, "0"},
      {"a sign alone is no number", "- 5", {'I', 1, -1, 0, 6, 1.0, 1.0}, "1"},
  };
  for (const case_t& c : cases) {
    cell_out r = cell(c.row, c.f);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    cell_out quiet = cell(c.row, c.f, false);
    EXPECT_EQ(quiet.text, "") << c.name << ", not writing";
    EXPECT_EQ(quiet.err, c.err) << c.name << ", not writing";
  }
}

// --full: F reads as E does; A writes its w characters as they stand.
TEST(AsciiCell, EveryField) {
  const struct {
    const char* name;
    std::string row;
    field f;
    std::string text;
    std::string err = {};
  } cases[] = {
      {"F like E", "  -12.50", {'F', 1}, "-12.5"},
      {"F scaled, with TDISP and TFORM decimals", " 3.14159", {'F', 1, 3, 8, 6, 2.0, 0.0}, "6.28    "},
      {"A of the row's characters", "12 alpha 7", {'A', 4, -1, 0, 6, 1.0, 0.0, 5}, "alpha"},
      {"A keeps blanks", "12  ab  7", {'A', 4, -1, 0, 6, 1.0, 0.0, 5}, " ab  "},
      {"A the row ends inside", "12 ab", {'A', 4, -1, 0, 6, 1.0, 0.0, 5}, "ab   "},
      {"A beyond the row", "12", {'A', 9, -1, 0, 6, 1.0, 0.0, 3}, "   "},
      {"A up to a zero byte", std::string("a\0bc", 4), {'A', 1, -1, 0, 6, 1.0, 0.0, 4}, "a   "},
      {"A of no width", "abc", {'A', 1}, ""},
      {"A wider than any display", "xy", {'A', 1, -1, 0, 6, 1.0, 0.0, 2147483647}, "xy" + std::string(10237, ' ')},
      {"other letters stay unknown", "T", {'L', 1}, "", "Unknown type L\n"},
  };
  for (const auto& c : cases) {
    const cell_out r = cell(c.row, c.f, true, true);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(cell(c.row, c.f, false, true).err, c.err) << c.name << ", not writing";
  }
}

TEST(AsciiCell, AWideDisplayPadsToTheWidestDisplayAtMost) {
  cell_out r = cell("1.5", {'E', 1, -1, 20000, 6});
  EXPECT_EQ(r.text, "1.5" + std::string(10239 - 3, ' '));
}

class AsciiRows : public testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_table();
    failure::reset();
    failure::set_position("tab.fits", 1);
  }
  void TearDown() override {
    reset_table();
    failure::reset();
  }

  int set_fields(const std::vector<field>& fields) {
    reset_table();
    int n = 0;
    for (const field& f : fields) table[static_cast<std::size_t>(++n)] = column_of(f);
    return n;
  }

  using rows_result = test::rows_result;

  rows_result rows(const std::string& data, std::int32_t naxis1, std::int32_t naxis2, int tfields,
                   bool writing = true) {
    extension_header h;
    h.naxis = 2;
    h.naxis1 = naxis1;
    h.naxis2 = naxis2;
    h.tfields = tfields;
    return test::run_rows(write_ascii_rows, folder_.path(), data, h, writing);
  }

  test::temp_folder folder_;
};

TEST_F(AsciiRows, RowLinesHoldEveryColumnSeparatedByOneBlank) {
  const int tfields = set_fields({{'I', 1}, {'E', 5, 3}});
  rows_result r = rows("  12-1.500E+01   7 2.5E+00  ", 14, 2, tfields);
  EXPECT_EQ(r.file, "12 -15\n7 2.5\n");
  EXPECT_EQ(r.out, "000%\r050%\r");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.fpos, 28);
}

TEST_F(AsciiRows, MyvecDoesNotSelectAsciiColumns) {
  const int tfields = set_fields({{'I', 1}, {'I', 4}});
  myvec = {"NOTHING"};
  rows_result r = rows("  1  2", 6, 1, tfields);
  EXPECT_EQ(r.file, "1 2\n");
}

TEST_F(AsciiRows, AnUnhandledColumnLeavesAnEmptyPlace) {
  const int tfields = set_fields({{'I', 1}, {'A', 4}, {'E', 8}});
  rows_result r = rows("  5 abc 2.5  -6 xyz 0.25", 12, 2, tfields);
  EXPECT_EQ(r.file, "5  2.5\n-6  0.25\n");
  EXPECT_EQ(r.err, "Unknown type A\nUnknown type A\n");
  EXPECT_EQ(r.fpos, 24);
}

TEST_F(AsciiRows, AnUnhandledLastColumnStillFollowsABlank) {
  const int tfields = set_fields({{'I', 1}, {'F', 3}});
  rows_result r = rows("4 1.5", 5, 1, tfields);
  EXPECT_EQ(r.file, "4 \n");
  EXPECT_EQ(r.err, "Unknown type F\n");
}

TEST_F(AsciiRows, Progress150RowsEverySecondRow) {
  const int tfields = set_fields({{'I', 1}});
  std::string data;
  std::string lines;
  for (int i = 0; i < 150; ++i) {
    char row[8];
    std::snprintf(row, sizeof row, "%4d", i);
    data += row;
    lines += std::to_string(i) + "\n";
  }
  rows_result r = rows(data, 4, 150, tfields);
  EXPECT_EQ(r.file, lines);
  std::string want;
  for (int row = 0; row < 150; row += 2) {
    want += (row * 100 / 150 < 10 ? "00" : "0") + std::to_string(row * 100 / 150) + "%\r";
  }
  EXPECT_EQ(r.out, want);
  EXPECT_TRUE(r.out.starts_with("000%\r001%\r002%\r004%\r005%\r"));
  EXPECT_TRUE(r.out.ends_with("098%\r"));
}

TEST_F(AsciiRows, NoRowsAtAll) {
  const int tfields = set_fields({{'I', 1}});
  for (std::int32_t naxis2 : {0, -2}) {
    rows_result r = rows("   1   2", 4, naxis2, tfields);
    EXPECT_EQ(r.file, "") << naxis2;
    EXPECT_EQ(r.out, "") << naxis2;
    EXPECT_EQ(r.fpos, 0) << naxis2;
    EXPECT_EQ(r.done, 0) << naxis2;
  }
}

// Rows of a negative length cannot be read; a part that is written says
// that its declared rows are lost.
TEST_F(AsciiRows, ANegativeRowLengthReadsNoRows) {
  const int tfields = set_fields({{'I', 1}});
  for (bool writing : {true, false}) {
    failure::reset();
    failure::set_position("tab.fits", 1);
    rows_result r = rows("   1   2", -4, 2, tfields, writing);
    EXPECT_EQ(r.file, "") << writing;
    EXPECT_EQ(r.fpos, 0) << writing;
    EXPECT_EQ(r.done, 0) << writing;
    EXPECT_EQ(r.err, writing ? "orvex: tab.fits: part 1: the row length NAXIS1 = -4 is negative: 0 of 2 rows written\n" : "")
        << writing;
    EXPECT_EQ(r.failed, writing) << writing;
  }
}

TEST_F(AsciiRows, ARowLengthOf0ReadsNothingAndEveryFieldIsOutside) {
  const int tfields = set_fields({{'I', 1, -1, 0, 6, 1.0, 3.0}, {'E', 1}});
  rows_result r = rows("   1   2", 0, 2, tfields);
  EXPECT_EQ(r.file, "3 0\n3 0\n");
  EXPECT_EQ(r.fpos, 0);
  EXPECT_EQ(r.done, 2);
}

TEST_F(AsciiRows, AFieldDoesNotReadIntoTheNextRow) {
  const int tfields = set_fields({{'I', 3}});
  rows_result r = rows("  " "12" "34", 3, 2, tfields);  // rows "  1" and "234"
  EXPECT_EQ(r.file, "1\n4\n");
}

TEST_F(AsciiRows, NotWritingReadsEveryRowAndGivesTheMessages) {
  const int tfields = set_fields({{'I', 1}, {'A', 3}});
  rows_result r = rows("1 a2 b3 c", 3, 3, tfields, false);
  EXPECT_EQ(r.out, "000%\r033%\r066%\r");
  EXPECT_EQ(r.err, "Unknown type A\nUnknown type A\nUnknown type A\n");
  EXPECT_EQ(r.fpos, 9);
  EXPECT_EQ(r.done, 3);
}

TEST_F(AsciiRows, ATableWithoutColumnsWritesEmptyLines) {
  rows_result r = rows("abcdef", 2, 3, 0);
  EXPECT_EQ(r.file, "\n\n\n");
  EXPECT_EQ(r.fpos, 6);
}

TEST_F(AsciiRows, AStreamEndingInsideARowStopsTheRowsAndIsReported) {
  const int tfields = set_fields({{'I', 1}});
  rows_result r = rows("  1  2 3", 3, 4, tfields);
  EXPECT_EQ(r.file, "1\n2\n");
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.out, "000%\r025%\r");
  EXPECT_EQ(r.err, "orvex: tab.fits: part 1: the stream ends inside the table: 2 of 4 rows written\n");
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.fpos, 8);
}

TEST_F(AsciiRows, AStreamEndingInsideARowOfAPartNotWrittenStopsSilently) {
  const int tfields = set_fields({{'I', 1}});
  rows_result r = rows("  1  2 3", 3, 4, tfields, false);
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(r.failed);
}

TEST_F(AsciiRows, AHugeDeclaredRowOnAShortStreamIsReportedNotAllocated) {
  const int tfields = set_fields({{'I', 1}});
  rows_result r = rows("  12", INT32_MAX, 3, tfields);
  EXPECT_EQ(r.file, "");
  EXPECT_EQ(r.done, 0);
  EXPECT_EQ(r.err, "orvex: tab.fits: part 1: the stream ends inside the table: 0 of 3 rows written\n");
}

}  // namespace
}  // namespace orvex::decoder
