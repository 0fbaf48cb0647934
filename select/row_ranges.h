// --rows: the rows a list asks for. Row numbers count from 1, as FITS and
// the progress of a table count them; "5", "10-20" and "1000-" (to the
// end) separated by commas, in any order, overlaps and neighbours merged.
// A row that the list names beyond the table is simply not there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::select {

class row_ranges {
 public:
  // The list, or nullopt (with `error` saying what is wrong) for one that
  // is not a list of rows: an empty word, a row number below 1, a range
  // whose end is before its start, anything that is not digits.
  static std::optional<row_ranges> parse(std::string_view list, std::string& error);

  // Whether row `row`, counted from 0, is asked for.
  bool contains(std::int64_t row) const;
  // The first row from `row` on that is asked for; INT64_MAX when none is.
  std::int64_t next_row(std::int64_t row) const;
  // How many of the rows 0 to `rows` - 1 are asked for.
  std::int64_t count_below(std::int64_t rows) const;

  // The spans asked for, counted from 0, first and last row each, in
  // order and apart from each other.
  struct span {
    std::int64_t first;
    std::int64_t last;
  };
  const std::vector<span>& spans() const { return spans_; }

 private:
  std::vector<span> spans_;
};

}  // namespace orvex::select
