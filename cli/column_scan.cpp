#include "cli/column_scan.h"

#include <cstring>

#include "fits/card_value.h"
#include "fits/data_unit.h"
#include "fits/header_names.h"
#include "fits/stream.h"
#include "select/column_lookup.h"

namespace orvex::cli {

std::optional<std::vector<std::string>> names_in_no_table(const char* path, const std::vector<std::string>& names) {
  std::vector<std::string> missing = names;
  fits::stream in;
  if (!in.open(path)) return std::nullopt;
  fits::card_buffer card;
  bool table = false;
  for (int index = 0;; ++index) {
    fits::data_unit unit(index == 0 ? fits::data_unit::header_kind::primary : fits::data_unit::header_kind::extension);
    fits::header_names header;
    std::int64_t tfields = 0;
    bool complete = false;
    while (fits::read_card(in, card) > 0) {
      if (std::strncmp(card.data(), "END", 3) == 0) {
        complete = true;
        break;
      }
      unit.observe(card.data());
      header.observe(card.data());
      if (auto kv = fits::value_card(card.data()); kv && kv->keyword == "TFIELDS") {
        tfields = fits::integer_value(kv->value).value_or(0);
      }
    }
    if (table) {
      const int columns = tfields > 999 ? 999 : static_cast<int>(tfields);
      std::erase_if(missing, [&](const std::string& name) { return select::column_named(header.ttype, columns, name) != 0; });
    }
    const std::optional<std::int64_t> size = unit.size();
    if (missing.empty()) break;
    // Where the pass cannot tell, the decoding will.
    if (!complete || !size) return std::nullopt;
    fits::realign(in);
    if (in.discard(*size) < *size) return std::nullopt;
    fits::realign(in);
    if (!fits::next_extension(in, card)) break;
    const std::optional<fits::keyword_value> kv = fits::value_card(card.data());
    const std::optional<std::string> xtension = kv ? fits::string_value(kv->value) : std::nullopt;
    table = xtension == "BINTABLE" || xtension == "TABLE";
  }
  const bool failed = in.failed();
  in.close();
  if (failed) return std::nullopt;
  return missing;
}

}  // namespace orvex::cli
