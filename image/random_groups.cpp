#include "image/random_groups.h"

#include <charconv>

#include "decoder/image_pixels.h"
#include "decoder/row_format.h"
#include "decoder/row_output.h"
#include "fits/card_value.h"
#include "image/tile_keywords.h"
#include "util/saturating.h"

namespace orvex::image {
namespace {

// The n of a keyword `prefix`n (1 to 999), or 0.
std::int64_t index_of(std::string_view keyword, std::string_view prefix) {
  if (!keyword.starts_with(prefix) || keyword.size() == prefix.size() || keyword.size() > prefix.size() + 3) return 0;
  std::int64_t n = 0;
  const char* end = keyword.data() + keyword.size();
  const auto [p, ec] = std::from_chars(keyword.data() + prefix.size(), end, n);
  return ec == std::errc{} && p == end && n >= 1 ? n : 0;
}

// Parameters beyond those any header can name are never stored.
constexpr std::int64_t most_parameters = 999;

}  // namespace

group_keywords::parameter& group_keywords::at(std::int64_t n) {
  if (parameters_.size() < static_cast<std::size_t>(n)) parameters_.resize(static_cast<std::size_t>(n));
  return parameters_[static_cast<std::size_t>(n - 1)];
}

const group_keywords::parameter* group_keywords::find(std::int64_t n) const {
  if (n < 1 || static_cast<std::size_t>(n) > parameters_.size()) return nullptr;
  return &parameters_[static_cast<std::size_t>(n - 1)];
}

void group_keywords::observe(std::string_view card) {
  const std::optional<fits::keyword_value> c = fits::value_card(card);
  if (!c) return;
  if (c->keyword == "GROUPS") {
    if (std::optional<bool> v = fits::logical_value(c->value)) groups_ = *v;
  } else if (std::int64_t n = index_of(c->keyword, "PTYPE"); n != 0 && n <= most_parameters) {
    if (std::optional<std::string> v = string_value(c->value)) at(n).name = *v;
  } else if (std::int64_t n = index_of(c->keyword, "PSCAL"); n != 0 && n <= most_parameters) {
    if (std::optional<double> v = fits::real_value(c->value)) at(n).scale = *v;
  } else if (std::int64_t n = index_of(c->keyword, "PZERO"); n != 0 && n <= most_parameters) {
    if (std::optional<double> v = fits::real_value(c->value)) at(n).zero = *v;
  }
}

std::string group_keywords::name(std::int64_t n) const {
  const parameter* p = find(n);
  return p != nullptr ? p->name : std::string();
}
double group_keywords::scale(std::int64_t n) const {
  const parameter* p = find(n);
  return p != nullptr ? p->scale : 1.0;
}
double group_keywords::zero(std::int64_t n) const {
  const parameter* p = find(n);
  return p != nullptr ? p->zero : 0.0;
}

bool writable_groups(const fits::data_unit& unit, const group_keywords& keywords) {
  const std::optional<std::int64_t> bitpix = unit.bitpix();
  const std::optional<std::int64_t> axes = unit.axis_count();
  if (!keywords.groups() || !bitpix || !fits::known_bitpix(*bitpix) || !axes || *axes < 1 || *axes > fits::max_axes) {
    return false;
  }
  if (unit.axis(1) != 0) return false;
  for (int n = 2; n <= *axes; ++n) {
    const std::optional<std::int64_t> length = unit.axis(n);
    if (!length || *length < 0) return false;
  }
  // A header that names more parameters than any can is no header of
  // groups this program writes.
  return unit.pcount() >= 0 && unit.pcount() <= most_parameters && unit.gcount() >= 0;
}

void write_groups(fits::stream& in, util::output_file* file, const fits::data_unit& unit,
                  const fits::image_values& values, const group_keywords& keywords) {
  const int bitpix = static_cast<int>(*unit.bitpix());
  std::int64_t per_group = 1;
  for (int n = 2; n <= *unit.axis_count(); ++n) per_group = util::saturated_product(per_group, *unit.axis(n));
  std::vector<decoder::pixel_rules> params;
  std::vector<std::string> names;
  for (std::int64_t n = 1; n <= unit.pcount(); ++n) {
    params.emplace_back(bitpix, keywords.scale(n), keywords.zero(n), std::nullopt);
    names.push_back(keywords.name(n));
  }
  const decoder::pixel_rules data(bitpix, values.bscale(), values.bzero(), values.blank());
  const decoder::row_formatter f = decoder::row_formatter::group_lines(data, per_group, std::move(params),
                                                                       std::move(names), decoder::settings_text_form());
  const std::int64_t groups = unit.gcount();
  const std::int64_t done = decoder::write_rows(in, file, groups, f);
  if (groups != 0) decoder::print_progress(done, groups, '\n');
}

}  // namespace orvex::image
