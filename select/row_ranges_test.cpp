// Row lists: which rows of the first twelve each list asks for, and the
// row the readers may pass over to.
#include "select/row_ranges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace orvex::select {
namespace {

TEST(row_ranges, lists_ask_for_their_rows) {
  struct list_case {
    const char* list;
    const char* rows;  // rows 1 to 12: '1' asked for
    std::int64_t next_from_4;  // the first row from row 4 on asked for; -1: none
  };
  const list_case cases[] = {
      {"5", "000010000000", 5},
      {"10-12,1", "100000000111", 10},
      {"3-", "001111111111", 4},
      {"7-8,2-4,3,4-5", "011110110000", 4},
      {"2,1,3,9-9", "111000001000", 9},
      {"1-2", "110000000000", -1},
      {"99999999999999999999", "000000000000", std::numeric_limits<std::int64_t>::max()},
  };
  for (const list_case& c : cases) {
    std::string error;
    const std::optional<row_ranges> r = row_ranges::parse(c.list, error);
    ASSERT_TRUE(r) << c.list << ": " << error;
    std::string rows;
    for (int row = 0; row < 12; ++row) rows += r->contains(row) ? '1' : '0';
    EXPECT_EQ(rows, c.rows) << c.list;
    EXPECT_EQ(r->count_below(12), std::count(rows.begin(), rows.end(), '1')) << c.list;
    const std::int64_t next = r->next_row(3);
    EXPECT_EQ(next == std::numeric_limits<std::int64_t>::max() ? -1 : next + 1, c.next_from_4) << c.list;
  }
  for (const char* bad : {"", "0", "1,", "-5", "5-3", "a", "1-2-3", " 1", "+1"}) {
    std::string error;
    EXPECT_FALSE(row_ranges::parse(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace orvex::select
