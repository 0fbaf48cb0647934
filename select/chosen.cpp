#include "select/chosen.h"

#include <limits>
#include <memory>

#include "decoder/extension_header.h"
#include "decoder/row_choice.h"
#include "select/column_lookup.h"
#include "select/row_filter.h"
#include "util/failure.h"

namespace orvex::select {

part_choice parts;
std::optional<row_ranges> rows;
std::optional<filter_syntax> where;

namespace {

// The names of `where` that some table of the input holds.
std::vector<bool> names_seen;

class chosen_rows final : public decoder::row_choice {
 public:
  chosen_rows(const std::optional<row_ranges>& ranges, std::optional<row_filter> filter, bool none)
      : ranges_(ranges), filter_(std::move(filter)), none_(none) {}

  bool wanted(std::int64_t row, const unsigned char* bytes) const override {
    if (none_) return false;
    if (ranges_ && !ranges_->contains(row)) return false;
    return !filter_ || filter_->holds(row, bytes);
  }

  std::int64_t next_wanted(std::int64_t row) const override {
    if (none_) return std::numeric_limits<std::int64_t>::max();
    return ranges_ ? ranges_->next_row(row) : row;
  }

  std::int64_t most_wanted(std::int64_t rows) const override {
    if (none_) return 0;
    return ranges_ ? ranges_->count_below(rows) : rows;
  }

 private:
  std::optional<row_ranges> ranges_;
  std::optional<row_filter> filter_;
  bool none_;
};

std::shared_ptr<const decoder::row_choice> make_choice(decoder::rows_of kind, const decoder::extension_header* h) {
  std::optional<row_filter> filter;
  bool none = false;
  if (where && kind != decoder::rows_of::image && h != nullptr) {
    for (std::size_t i = 0; i < where->column_names.size(); ++i) {
      if (column_named(h->names.ttype, h->tfields, where->column_names[i]) != 0) names_seen[i] = true;
    }
    row_filter f;
    std::string error;
    const row_filter::outcome built = kind == decoder::rows_of::ascii_table
                                          ? row_filter::build_ascii(*where, h->names, h->tfields, h->naxis1, f, error)
                                          : row_filter::build(*where, h->names, h->tfields, f, error);
    switch (built) {
      case row_filter::outcome::ready:
        filter = std::move(f);
        break;
      case row_filter::outcome::not_this_table:
        break;
      case row_filter::outcome::unfit:
        failure::report_in_part("--where: " + error + ": no row is written");
        none = true;
        break;
    }
  }
  if (!rows && !filter && !none) return nullptr;
  return std::make_shared<chosen_rows>(rows, std::move(filter), none);
}

}  // namespace

void reset_chosen() {
  parts = part_choice{};
  rows.reset();
  where.reset();
  decoder::set_row_choice_maker({});
}

void install_row_choice() {
  if (!rows && !where) {
    decoder::set_row_choice_maker({});
    return;
  }
  decoder::set_row_choice_maker(make_choice);
}

void start_input() { names_seen.assign(where ? where->column_names.size() : 0, false); }

std::vector<std::string> where_names_not_seen() {
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < names_seen.size(); ++i) {
    if (!names_seen[i]) missing.push_back(where->column_names[i]);
  }
  return missing;
}

}  // namespace orvex::select
