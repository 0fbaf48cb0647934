#include "decoder/column_table.h"

#include <cstdio>
#include <cstdlib>

#include "util/console.h"

namespace orvex::decoder {

std::array<column_desc, max_columns> table{};

void reset_table() { table.fill(column_desc{}); }

void check_formnr(std::int32_t n) {
  if (n <= last_column) return;
  std::fputs("Error: To many variables\n", console::out());
  std::exit(1);
}

}  // namespace orvex::decoder
