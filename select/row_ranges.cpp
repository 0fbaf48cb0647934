#include "select/row_ranges.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace orvex::select {
namespace {

constexpr std::int64_t no_end = std::numeric_limits<std::int64_t>::max();

// A row number: digits only, 1 or more; beyond the 64-bit range it reads
// as the largest, a row no table has.
std::optional<std::int64_t> row_number(std::string_view digits) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::int64_t n = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec == std::errc::result_out_of_range) n = no_end;
  if (n < 1) return std::nullopt;
  return n;
}

}  // namespace

std::optional<row_ranges> row_ranges::parse(std::string_view list, std::string& error) {
  row_ranges r;
  std::size_t at = 0;
  for (;;) {
    std::size_t comma = list.find(',', at);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view word = list.substr(at, comma - at);
    const std::size_t dash = word.find('-');
    std::optional<std::int64_t> first = row_number(word.substr(0, dash));
    std::optional<std::int64_t> last = first;
    if (dash != std::string_view::npos) {
      last = dash + 1 == word.size() ? std::optional<std::int64_t>(no_end) : row_number(word.substr(dash + 1));
    }
    if (!first || !last) {
      error = "not a row number or range (5, 10-20, 1000-; rows count from 1): \"" + std::string(word) + "\"";
      return std::nullopt;
    }
    if (*last < *first) {
      error = "the range ends before it begins: \"" + std::string(word) + "\"";
      return std::nullopt;
    }
    r.spans_.push_back({*first - 1, *last == no_end ? no_end : *last - 1});
    if (comma == list.size()) break;
    at = comma + 1;
  }
  std::sort(r.spans_.begin(), r.spans_.end(), [](const span& a, const span& b) { return a.first < b.first; });
  std::vector<span> merged;
  for (const span& s : r.spans_) {
    if (!merged.empty() && (merged.back().last == no_end || s.first <= merged.back().last + 1)) {
      merged.back().last = std::max(merged.back().last, s.last);
    } else {
      merged.push_back(s);
    }
  }
  r.spans_ = std::move(merged);
  return r;
}

std::int64_t row_ranges::next_row(std::int64_t row) const {
  auto it = std::lower_bound(spans_.begin(), spans_.end(), row, [](const span& s, std::int64_t r) { return s.last < r; });
  if (it == spans_.end()) return no_end;
  return it->first > row ? it->first : row;
}

std::int64_t row_ranges::count_below(std::int64_t rows) const {
  std::int64_t n = 0;
  for (const span& s : spans_) {
    if (s.first >= rows) break;
    n += (s.last < rows - 1 ? s.last : rows - 1) - s.first + 1;
  }
  return n;
}

bool row_ranges::contains(std::int64_t row) const {
  // The first span that ends at or after the row.
  auto it = std::lower_bound(spans_.begin(), spans_.end(), row, [](const span& s, std::int64_t r) { return s.last < r; });
  return it != spans_.end() && it->first <= row;
}

}  // namespace orvex::select
