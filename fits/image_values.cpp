#include "fits/image_values.h"

#include "fits/card_value.h"

namespace orvex::fits {

void image_values::observe(std::string_view card) {
  const std::optional<keyword_value> c = value_card(card);
  if (!c) return;
  if (c->keyword == "BSCALE") {
    if (std::optional<double> v = real_value(c->value)) bscale_ = *v;
  } else if (c->keyword == "BZERO") {
    if (std::optional<double> v = real_value(c->value)) bzero_ = *v;
  } else if (c->keyword == "BLANK") {
    if (std::optional<std::int64_t> v = integer_value(c->value)) blank_ = v;
  }
}

bool is_image_extension(std::string_view xtension_card) {
  const std::optional<keyword_value> c = value_card(xtension_card);
  if (!c || c->keyword != "XTENSION") return false;
  std::string_view value = c->value;
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  if (value.empty() || value.front() != '\'') return false;
  value.remove_prefix(1);
  const std::size_t quote = value.find('\'');
  if (quote == std::string_view::npos) return false;
  value = value.substr(0, quote);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return value == "IMAGE";
}

}  // namespace orvex::fits
