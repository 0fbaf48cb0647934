#include "fits/data_unit.h"

#include <cstdint>

#include "fits/card_value.h"
#include "util/saturating.h"

namespace orvex::fits {
namespace {

using util::saturated_product;
using util::saturated_sum;

// The n of an "NAXISn" keyword (1 to 999, written without leading zeros);
// 0 for any other keyword.
int axis_number(std::string_view keyword) {
  if (!keyword.starts_with("NAXIS") || keyword.size() == 5) return 0;
  std::string_view digits = keyword.substr(5);
  if (digits.front() == '0') return 0;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

void data_unit::observe(std::string_view card) {
  const std::optional<keyword_value> c = value_card(card);
  if (!c) return;
  const std::string_view keyword = c->keyword;
  const std::string_view value = c->value;

  if (keyword == "GROUPS") {
    if (std::optional<bool> v = logical_value(value)) groups_ = *v;
    return;
  }
  const std::optional<std::int64_t> v = integer_value(value);
  if (!v) return;
  if (keyword == "BITPIX") {
    bitpix_ = v;
  } else if (keyword == "NAXIS") {
    naxis_ = v;
  } else if (keyword == "PCOUNT") {
    pcount_ = *v;
  } else if (keyword == "GCOUNT") {
    gcount_ = *v;
  } else if (keyword == "THEAP") {
    theap_ = *v < 0 ? -1 : *v;
  } else if (int n = axis_number(keyword); n > 0) {
    if (axes_.size() < static_cast<std::size_t>(n)) axes_.resize(static_cast<std::size_t>(n));
    axes_[static_cast<std::size_t>(n - 1)] = v;
  }
}

std::optional<std::int64_t> data_unit::axis(int n) const {
  if (n < 1 || static_cast<std::size_t>(n) > axes_.size()) return std::nullopt;
  return axes_[static_cast<std::size_t>(n - 1)];
}

std::int64_t data_unit::naxis(int n) const { return axis(n).value_or(0); }

std::optional<std::int64_t> data_unit::size() const {
  if (!bitpix_ || !naxis_) return std::nullopt;
  const std::int64_t bitpix = *bitpix_;
  if (!known_bitpix(bitpix)) return std::nullopt;
  const std::int64_t axes = *naxis_;
  if (axes < 0 || axes > max_axes) return std::nullopt;
  if (axes == 0) return 0;
  for (std::int64_t n = 1; n <= axes; ++n) {
    if (static_cast<std::size_t>(n) > axes_.size()) return std::nullopt;
    const std::optional<std::int64_t>& length = axes_[static_cast<std::size_t>(n - 1)];
    if (!length || *length < 0) return std::nullopt;
  }

  const bool random_groups = kind_ == header_kind::primary && groups_ && naxis(1) == 0;
  const bool counted = kind_ == header_kind::extension || random_groups;
  const std::int64_t pcount = counted ? pcount_ : 0;
  const std::int64_t gcount = counted ? gcount_ : 1;
  if (pcount < 0 || gcount < 0) return std::nullopt;

  std::int64_t values = 1;
  for (std::int64_t n = random_groups ? 2 : 1; n <= axes; ++n) values = saturated_product(values, naxis(static_cast<int>(n)));
  const std::int64_t bytes_per_value = (bitpix < 0 ? -bitpix : bitpix) / 8;
  return saturated_product(saturated_product(bytes_per_value, gcount), saturated_sum(pcount, values));
}

std::int64_t data_unit::heap_offset() const {
  if (theap_ >= 0) return theap_;
  return saturated_product(naxis1(), naxis2());
}

std::int64_t data_unit::heap_end() const { return saturated_sum(saturated_product(naxis1(), naxis2()), pcount_); }

}  // namespace orvex::fits
