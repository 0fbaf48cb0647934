#include "fits/header_names.h"

#include <charconv>

#include "fits/card_value.h"
#include "fits/stream.h"

namespace orvex::fits {
namespace {

// n of a keyword `stem`n ("TTYPE12" gives 12), or 0.
std::int64_t index_of(std::string_view keyword, std::string_view stem) {
  if (!keyword.starts_with(stem) || keyword.size() == stem.size()) return 0;
  std::int64_t n = 0;
  const char* end = keyword.data() + keyword.size();
  const auto [ptr, ec] = std::from_chars(keyword.data() + stem.size(), end, n);
  return ec == std::errc() && ptr == end && n > 0 ? n : 0;
}

}  // namespace

void header_names::observe(std::string_view card) {
  const std::optional<keyword_value> kv = value_card(card);
  if (!kv) return;
  if (kv->keyword == "EXTNAME") {
    if (auto s = string_value(kv->value)) extname = std::move(*s);
  } else if (kv->keyword == "EXTVER") {
    if (auto v = integer_value(kv->value)) extver = *v;
  } else if (std::int64_t n = index_of(kv->keyword, "TTYPE")) {
    if (auto s = string_value(kv->value)) ttype[n] = std::move(*s);
  } else if (std::int64_t n = index_of(kv->keyword, "TNULL")) {
    if (auto v = integer_value(kv->value)) {
      tnull[n] = *v;
    } else if (auto t = string_value(kv->value)) {
      tnull_text[n] = std::move(*t);
    }
  }
}

std::optional<header_names> names_of_header(std::string_view cards, bool partial) {
  header_names names;
  for (std::size_t at = 0; at + card_size <= cards.size(); at += card_size) {
    std::string_view card = cards.substr(at, card_size);
    // The decoder's rule: a card that begins with END ends the header.
    if (card.substr(0, 3) == "END") return names;
    names.observe(card);
  }
  if (partial) return names;
  return std::nullopt;
}

}  // namespace orvex::fits
