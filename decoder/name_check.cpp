#include "decoder/name_check.h"

#include <algorithm>

#include "decoder/column_table.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

// found[i]: col_name_list[i] is held by a table of the current input.
std::vector<bool> found;

}  // namespace

void start_name_check() { found.assign(col_name_list.size(), false); }

void note_table_names(int tfields) {
  found.resize(col_name_list.size(), false);
  for (std::size_t i = 0; i < col_name_list.size(); ++i) {
    if (!found[i] && column_named(col_name_list[i], tfields) != 0) found[i] = true;
  }
}

std::vector<std::string> names_no_table_has() {
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < col_name_list.size(); ++i) {
    const bool held = i < found.size() && found[i];
    if (!held && std::find(missing.begin(), missing.end(), col_name_list[i]) == missing.end()) {
      missing.push_back(col_name_list[i]);
    }
  }
  return missing;
}

}  // namespace orvex::decoder
