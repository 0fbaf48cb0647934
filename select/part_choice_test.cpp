// Part lists: which parts a -p list selects by number and by EXTNAME and
// EXTVER, and the names it reports as not found.
#include "select/part_choice.h"

#include <gtest/gtest.h>

namespace orvex::select {
namespace {

TEST(part_choice, lists_select_numbers_and_names) {
  struct header {
    std::optional<std::string> extname;
    std::optional<std::int64_t> extver;
  };
  // Parts 1 to 4 of an input: EVENTS, GTI version 1, GTI version 2, no name.
  const header parts[] = {{"EVENTS", std::nullopt}, {"GTI  ", 1}, {"gti", 2}, {std::nullopt, std::nullopt}};
  struct list_case {
    const char* list;
    const char* selected;  // parts 0 to 4
    std::vector<std::string> not_found;
  };
  const list_case cases[] = {
      {"0,EVENTS", "11000", {}},
      {"events,,4", "01001", {}},
      {"GTI", "00110", {}},
      {"GTI,2", "00010", {}},
      {"3,GTI,1,EVENTS,,7", "01110", {}},
      {"1x,EVENTS,3", "00000", {"1x", "EVENTS,3"}},
      {"  GTI", "00000", {"  GTI"}},
  };
  for (const list_case& c : cases) {
    part_choice choice = part_choice::parse(c.list);
    choice.start_input();
    std::string selected;
    for (int index = 0; index <= 4; ++index) {
      bool by_name = index > 0 && choice.selects_name(parts[index - 1].extname, parts[index - 1].extver);
      selected += choice.selects_number(index) || by_name ? '1' : '0';
    }
    EXPECT_EQ(selected, c.selected) << c.list;
    EXPECT_EQ(choice.names_not_found(), c.not_found) << c.list;
  }
  for (const char* one : {"3", "-1", "+2", " 7", ""}) EXPECT_TRUE(part_choice::single_number(one)) << one;
  for (const char* list : {"3x", "1,2", "x", "--"}) EXPECT_FALSE(part_choice::single_number(list)) << list;
}

}  // namespace
}  // namespace orvex::select
