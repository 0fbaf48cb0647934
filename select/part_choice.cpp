#include "select/part_choice.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

namespace orvex::select {
namespace {

// A word that is wholly a decimal number, with an optional sign.
std::optional<std::int64_t> number_word(std::string_view word) {
  std::string_view digits = word;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  // Saturated at the 64-bit limits; no part has such a number.
  return std::strtoll(std::string(word).c_str(), nullptr, 10);
}

// Case-insensitive comparison of an EXTNAME with a name of the list.
bool same_name(std::string_view a, std::string_view b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view without_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

part_choice part_choice::parse(std::string_view text) {
  part_choice c;
  c.every_ = false;
  bool after_name = false;  // the word before was a name without EXTVER
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view word = text.substr(at, comma - at);
    at = comma + 1;
    if (word.empty()) {
      after_name = false;  // "EVENTS,,3": the name, then part 3
      continue;
    }
    if (const std::optional<std::int64_t> n = number_word(word)) {
      if (after_name) {
        c.names_.back().extver = *n;
        c.names_.back().text += "," + std::string(word);
      } else {
        c.numbers_.push_back(*n);
      }
      after_name = false;
      continue;
    }
    c.names_.push_back({std::string(without_trailing_blanks(word)), std::nullopt, std::string(word)});
    after_name = true;
  }
  return c;
}

bool part_choice::single_number(std::string_view text) {
  // Blanks before the number, and an empty word, read as they always did.
  const std::size_t start = text.find_first_not_of(" \t\n\v\f\r");
  return start == std::string_view::npos || number_word(text.substr(start)).has_value();
}

bool part_choice::selects_number(int index) const {
  if (every_) return true;
  return std::find(numbers_.begin(), numbers_.end(), std::int64_t{index}) != numbers_.end();
}

bool part_choice::selects_name(const std::optional<std::string>& extname, std::optional<std::int64_t> extver) {
  if (!extname) return false;
  bool selected = false;
  for (name_item& item : names_) {
    if (!same_name(without_trailing_blanks(*extname), item.name)) continue;
    if (item.extver && extver != item.extver) continue;
    item.found = true;
    selected = true;
  }
  return selected;
}

void part_choice::start_input() {
  for (name_item& item : names_) item.found = false;
}

std::vector<std::string> part_choice::names_not_found() const {
  std::vector<std::string> missing;
  for (const name_item& item : names_) {
    if (!item.found) missing.push_back(item.text);
  }
  return missing;
}

}  // namespace orvex::select
