#include "select/column_lookup.h"

#include <algorithm>
#include <cctype>

namespace orvex::select {

int column_named(const std::map<std::int64_t, std::string>& ttype, int tfields, std::string_view name) {
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  int folded = 0;
  for (const auto& [n, value] : ttype) {
    if (n > tfields) break;
    if (value == name) return static_cast<int>(n);
    if (folded == 0 && value.size() == name.size() &&
        std::equal(value.begin(), value.end(), name.begin(), [&](char a, char b) { return lower(a) == lower(b); })) {
      folded = static_cast<int>(n);
    }
  }
  return folded;
}

}  // namespace orvex::select
