// The ECSV header: YAML scalars that read back as the strings they are,
// the header keywords as typed YAML values, and what a column's own cards
// add to the column table.
#include "ecsv/ecsv_header.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"

namespace orvex::ecsv {
namespace {

std::string cards_of(const std::vector<test::card>& cards) {
  std::string all;
  for (const test::card& c : cards) all += c.text();
  return all + test::card("END").text();
}

TEST(yaml_string, quotes_what_yaml_would_read_otherwise) {
  struct yaml_case {
    const char* text;
    const char* yaml;
  };
  const yaml_case cases[] = {
      {"ENERGY", "ENERGY"},           {"DATE-OBS", "DATE-OBS"},   {"x_1.5", "x_1.5"},
      {"12345", "'12345'"},           {"NO", "'NO'"},             {"y", "'y'"},
      {"Off", "'Off'"},               {"null", "'null'"},         {"", "''"},
      {"erg/cm**2/s", "'erg/cm**2/s'"}, {"it's", "'it''s'"},      {"a: b", "'a: b'"},
      {"#x", "'#x'"},                 {" lead", "' lead'"},       {"[1]", "'[1]'"},
      {"tab\there", "\"tab\\x09here\""}, {"q\"\\", "'q\"\\'"},
  };
  for (const yaml_case& c : cases) EXPECT_EQ(yaml_string(c.text), c.yaml) << c.text;
}

TEST(header_text, keeps_every_value_card_but_the_storage_ones) {
  struct meta_case {
    std::vector<test::card> cards;
    const char* meta;  // the lines after "# meta: !!omap", or "" for none
  };
  const meta_case cases[] = {
      {{{"NAXIS1", "8"}, {"TFORM1", "'1D'"}, {"TTYPE1", "'X'"}, {"TLMIN1", "0"}, {"CHECKSUM", "'abc'"}},
       "# - {TLMIN1: 0}\n"},
      {{{"EXPOSURE", "1000.5"}, {"TSTART", "3.2768D+04"}, {"BIG", "1E300"}, {"ONE", "1."}, {"HALF", "-.5"}},
       "# - {EXPOSURE: 1000.5}\n# - {TSTART: 32768.0}\n# - {BIG: 1.0e+300}\n# - {ONE: 1.0}\n# - {HALF: -0.5}\n"},
      {{{"CLOCKAPP", "T"}, {"SIMPLE", "T"}, {"FLAG", "F"}, {"NO", "0042"}, {"HUGE", "123456789012345678901"}},
       "# - {CLOCKAPP: true}\n# - {FLAG: false}\n# - {'NO': 42}\n# - {HUGE: 1.2345678901234568e+20}\n"},
      // The first of two values, strings as YAML strings, an undefined
      // value as null, a long string joined across its CONTINUE cards.
      {{{"OBJECT", "'M31'"}, {"OBJECT", "'M33'"}, {"OBS_ID", "'0123'"}, {"EMPTY", "''"}, "UNDEF   =", 
        {"LONG", "'abc&'"}, "CONTINUE  'def&'", "CONTINUE  'ghi'", {"AFTER", "'x'"}},
       "# - {OBJECT: M31}\n# - {OBS_ID: '0123'}\n# - {EMPTY: ''}\n# - {UNDEF: null}\n# - {LONG: abcdefghi}\n"
       "# - {AFTER: x}\n"},
      {{"COMMENT a comment", "HISTORY step 1", {"TTYPE2", "'Y'"}}, ""},
  };
  const std::vector<column> columns{{"TIME", "float64", "", "s", "time of arrival"},
                                    {"VEC", "string", "float32[3]", "", ""}};
  const std::string lead =
      "# %ECSV 1.0\n# ---\n# datatype:\n"
      "# - {name: TIME, unit: s, datatype: float64, description: 'time of arrival'}\n"
      "# - {name: VEC, datatype: string, subtype: 'float32[3]'}\n# delimiter: ','\n";
  for (const meta_case& c : cases) {
    const std::string meta = c.meta;
    EXPECT_EQ(header_text(columns, cards_of(c.cards)), lead + (meta.empty() ? "" : "# meta: !!omap\n" + meta))
        << meta;
  }
}

TEST(cards_of_column, whole_unit_ttype_comment_and_tdim_axes) {
  const std::string cards = cards_of({{"TTYPE1", "'RATE'", "count rate"},
                                      {"TUNIT1", "'counts/s/keV'"},
                                      {"TDIM1", "'(3, 2)'"},
                                      {"TTYPE12", "'X'"},
                                      {"TDIM12", "'(0,2)'"},
                                      {"TUNIT2", "'it''s'"}});
  const column_cards one = cards_of_column(cards, 1);
  EXPECT_EQ(one.unit, "counts/s/keV");
  EXPECT_EQ(one.description, "count rate");
  EXPECT_EQ(one.tdim, (std::vector<std::int64_t>{3, 2}));
  // TDIM12 is not column 1's, and an axis of 0 makes no shape.
  EXPECT_TRUE(cards_of_column(cards, 12).tdim.empty());
  EXPECT_EQ(cards_of_column(cards, 2).unit, "it's");
  EXPECT_EQ(cards_of_column(cards, 3).description, "");
}

}  // namespace
}  // namespace orvex::ecsv
