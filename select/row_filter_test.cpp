// Conditions on rows held in memory: nulls, vectors, texts, logicals and
// scaled values, and the tables a filter does not fit. (The astropy
// comparison on a large table is tests/where_oracle_e2e_test.cpp.)
#include "select/row_filter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "decoder/column_table.h"
#include "tests/fits_builder.h"

namespace orvex::select {
namespace {

using test::big_endian;

// The columns N 1J (TNULL 99, TSCAL 0.5, TZERO 1), E 1E, V 2I, S 4A, L 1L.
fits::header_names table_of_five() {
  decoder::reset_table();
  const std::pair<char, int> forms[] = {{'J', 1}, {'E', 1}, {'I', 2}, {'A', 4}, {'L', 1}};
  fits::header_names names;
  const char* ttype[] = {"N", "E", "V", "S", "L"};
  for (int n = 1; n <= 5; ++n) {
    decoder::column_desc& c = decoder::table[static_cast<std::size_t>(n)];
    c.type = forms[n - 1].first;
    c.count = forms[n - 1].second;
    names.ttype[n] = ttype[n - 1];
  }
  decoder::table[1].tscal = 0.5;
  decoder::table[1].tzero = 1;
  names.tnull[1] = 99;
  return names;
}

TEST(row_filter, conditions_on_row_bytes) {
  const fits::header_names names = table_of_five();
  // Row 1: N 4 (2 + 1 = 3), E 1.5, V (1, 2), S "ab", L T; row 2: N null,
  // E NaN, V (3, -4), S "c" then a zero byte, L undefined; row 3: N 10
  // (6), E -2, V (0, 0), S "ab  ", L F.
  const std::string rows[] = {
      big_endian{}.i32(4).f32(1.5f).i16(1).i16(2).chars("ab", 4).u8('T').bytes(),
      big_endian{}.i32(99).f32(NAN).i16(3).i16(-4).raw(std::string("c\0zz", 4)).u8(0).bytes(),
      big_endian{}.i32(10).f32(-2).i16(0).i16(0).chars("ab  ", 4).u8('F').bytes(),
  };
  struct condition_case {
    const char* where;
    const char* holds;  // rows 1 to 3
  };
  const condition_case cases[] = {
      {"N == 3", "100"},        {"n != 3", "001"},           {"!(N == 3)", "011"},
      {"N = 2:6", "101"},       {"N = 4:", "001"},           {"N = :3 or E < 0", "101"},
      {"E != 1.5", "001"},      {"E*2 == 3", "100"},         {"V[2] < 0 || V[1] == 0", "011"},
      {"S == 'ab'", "101"},     {"S != \"ab\"", "010"},      {"S == 'c'", "010"},
      {"L", "100"},             {"L == F", "001"},           {"!L", "011"},
      {"#row >= 2 and not L", "011"}, {"abs(V[2]) == 4", "010"}, {"max(N, E) > 2.9", "101"},
      {"N % 4 == 2", "001"},    {"sqrt(E) > 1", "100"},      {"min(V[1], V[2]) = -4:-4", "010"},
      {"N - N == 0", "101"},
  };
  for (const condition_case& c : cases) {
    std::string error;
    const std::optional<filter_syntax> syntax = parse_filter(c.where, error);
    ASSERT_TRUE(syntax) << c.where << ": " << error;
    row_filter f;
    ASSERT_EQ(row_filter::build(*syntax, names, 5, f, error), row_filter::outcome::ready) << c.where << ": " << error;
    std::string holds;
    for (int r = 0; r < 3; ++r) holds += f.holds(r, reinterpret_cast<const unsigned char*>(rows[r].data())) ? '1' : '0';
    EXPECT_EQ(holds, c.holds) << c.where;
  }
  const std::pair<const char*, row_filter::outcome> fits_cases[] = {
      {"X > 1", row_filter::outcome::not_this_table},      {"N > 1 and X > 1", row_filter::outcome::not_this_table},
      {"V > 1", row_filter::outcome::unfit},               {"V[3] > 1", row_filter::outcome::unfit},
      {"S > 1", row_filter::outcome::unfit},               {"N == 'a'", row_filter::outcome::unfit},
      {"L > 1", row_filter::outcome::unfit},               {"S[1] == 'a'", row_filter::outcome::unfit},
      {"N", row_filter::outcome::unfit},                   {"S == N", row_filter::outcome::unfit},
  };
  for (const auto& [where, outcome] : fits_cases) {
    std::string error;
    const std::optional<filter_syntax> syntax = parse_filter(where, error);
    ASSERT_TRUE(syntax) << where << ": " << error;
    row_filter f;
    error.clear();
    EXPECT_EQ(row_filter::build(*syntax, names, 5, f, error), outcome) << where;
    EXPECT_EQ(error.empty(), outcome != row_filter::outcome::unfit) << where << ": " << error;
  }
}

// ASCII fields are read from their text as the row decoder reads it: N I5
// (TSCAL 2, TNULL '-99'), X E8.2, S A4, a field past the row's end.
TEST(row_filter, conditions_on_ascii_fields) {
  decoder::reset_table();
  fits::header_names names;
  const struct {
    char type;
    int width, tbcol;
    const char* name;
  } fields[] = {{'I', 5, 1, "N"}, {'E', 8, 7, "X"}, {'A', 4, 17, "S"}, {'I', 3, 40, "FAR"}};
  for (int n = 1; n <= 4; ++n) {
    decoder::column_desc& c = decoder::table[static_cast<std::size_t>(n)];
    c.type = fields[n - 1].type;
    c.count = fields[n - 1].width;
    c.tbcol = fields[n - 1].tbcol;
    names.ttype[n] = fields[n - 1].name;
  }
  decoder::table[1].tscal = 2;
  names.tnull_text[1] = "-99";
  // N in bytes 0-4, X in 6-13, S in 16-19.
  const std::string rows[] = {"   12 1.50E+00  ab  ", "  -99    -2.25  c   ", "    3      nan  abcd"};
  const std::pair<const char*, const char*> cases[] = {
      {"N == 24", "100"},  {"N < 100", "101"}, {"!(N > 0)", "010"}, {"X > 0", "100"},
      {"X = -3:0", "010"}, {"X != X", "000"}, {"S == 'ab'", "100"}, {"S != 'c'", "101"},
      {"FAR == 0", "111"}, {"#row == 2 && N == 6", "000"}, {"#row == 3 && N == 6", "001"},
  };
  for (const auto& [where, want] : cases) {
    std::string error;
    const std::optional<filter_syntax> syntax = parse_filter(where, error);
    ASSERT_TRUE(syntax) << where << ": " << error;
    row_filter f;
    ASSERT_EQ(row_filter::build_ascii(*syntax, names, 4, 20, f, error), row_filter::outcome::ready) << where << error;
    std::string holds;
    for (int r = 0; r < 3; ++r) holds += f.holds(r, reinterpret_cast<const unsigned char*>(rows[r].data())) ? '1' : '0';
    EXPECT_EQ(holds, want) << where;
  }
  std::string error;
  row_filter f;
  EXPECT_EQ(row_filter::build_ascii(*parse_filter("N[2] > 1", error), names, 4, 20, f, error),
            row_filter::outcome::unfit);
  EXPECT_NE(error.find("N is a field of one value"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvex::select
