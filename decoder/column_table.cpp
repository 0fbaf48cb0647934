#include "decoder/column_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/console.h"

namespace orvex::decoder {

std::array<column_desc, max_columns> table{};

void reset_table() { table.fill(column_desc{}); }

bool column_desc::integral_scaling() const {
  return std::isfinite(tscal) && std::isfinite(tzero) && std::trunc(tscal) == tscal && std::trunc(tzero) == tzero;
}

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

int column_named(std::string_view name, int tfields, bool exact_only) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (tfields > last_column) tfields = last_column;
  for (int n = 1; n <= tfields; ++n) {
    if (name == table[static_cast<std::size_t>(n)].name) return n;
  }
  if (exact_only) return 0;
  for (int n = 1; n <= tfields; ++n) {
    if (same_ignoring_case(name, table[static_cast<std::size_t>(n)].name)) return n;
  }
  return 0;
}

void check_formnr(std::int32_t n) {
  if (n <= last_column) return;
  std::fputs("Error: To many variables\n", console::out());
  std::exit(1);
}

}  // namespace orvex::decoder
