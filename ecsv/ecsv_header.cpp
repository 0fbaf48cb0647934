#include "ecsv/ecsv_header.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>

#include "fits/card_value.h"

namespace orvex::ecsv {
namespace {

constexpr std::size_t card_size = 80;

// Keywords that describe how FITS stores the table, not the table.
bool storage_keyword(std::string_view k) {
  static constexpr std::array<std::string_view, 10> whole{
      "XTENSION", "BITPIX", "PCOUNT", "GCOUNT", "TFIELDS", "THEAP", "CHECKSUM", "DATASUM", "SIMPLE", "EXTEND"};
  for (std::string_view w : whole) {
    if (k == w) return true;
  }
  // NAXIS, NAXISn and the column keywords that the datatype list carries.
  static constexpr std::array<std::string_view, 10> numbered{
      "NAXIS", "TTYPE", "TFORM", "TUNIT", "TNULL", "TSCAL", "TZERO", "TDISP", "TBCOL", "TDIM"};
  for (std::string_view prefix : numbered) {
    if (!k.starts_with(prefix)) continue;
    std::string_view rest = k.substr(prefix.size());
    bool digits = true;
    for (char c : rest) digits = digits && c >= '0' && c <= '9';
    if (digits && (prefix == "NAXIS" || !rest.empty())) return true;
  }
  return false;
}

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// Words that YAML 1.1 reads as something other than a string.
bool special_word(std::string_view s) {
  static constexpr std::array<std::string_view, 9> words{"true", "false", "yes", "no", "on", "off", "null", "y", "n"};
  for (std::string_view w : words) {
    if (s.size() != w.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < s.size(); ++i) same = same && (s[i] | 0x20) == w[i];
    if (same) return true;
  }
  return false;
}

// A YAML float that PyYAML's YAML 1.1 rules read as one: a decimal point
// always, and an exponent with its sign.
std::string yaml_real(double v) {
  if (std::isnan(v)) return ".nan";
  if (std::isinf(v)) return v < 0 ? "-.inf" : ".inf";
  char buffer[40];
  // The shortest digits, in an exponent form once they would need zeros
  // that the value does not hold.
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general);
  std::string text(buffer, r.ptr);
  const std::size_t e = text.find('e');
  const std::string mantissa = text.substr(0, e);
  std::string out = mantissa.find('.') == std::string::npos ? mantissa + ".0" : mantissa;
  if (e != std::string::npos) out += text.substr(e);
  return out;
}

// The comment after a value field's value: what follows the "/" that ends
// it, blanks around it cut.
std::string comment_of(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  if (i < value.size() && value[i] == '\'') {
    for (++i; i < value.size(); ++i) {
      if (value[i] != '\'') continue;
      if (i + 1 < value.size() && value[i + 1] == '\'') {
        ++i;
        continue;
      }
      ++i;
      break;
    }
  }
  const std::size_t slash = value.find('/', i);
  if (slash == std::string_view::npos) return {};
  std::string_view c = value.substr(slash + 1);
  while (!c.empty() && c.front() == ' ') c.remove_prefix(1);
  while (!c.empty() && c.back() == ' ') c.remove_suffix(1);
  return std::string(c);
}

// The axes of a TDIMn value "(a,b,...)", each a positive integer.
std::vector<std::int64_t> axes_of(const std::string& text) {
  std::vector<std::int64_t> axes;
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (s.empty() || s.front() != '(' || s.back() != ')') return {};
  s = s.substr(1, s.size() - 2);
  while (true) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    std::int64_t a = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), a);
    if (r.ec != std::errc() || a < 1) return {};
    axes.push_back(a);
    s.remove_prefix(static_cast<std::size_t>(r.ptr - s.data()));
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (s.empty()) return axes;
    if (s.front() != ',') return {};
    s.remove_prefix(1);
  }
}

// The value of a header card as YAML, nullopt for a card without one.
// A string whose last character is "&" goes on in the string of the
// CONTINUE cards after it (the long-string convention).
std::optional<std::string> yaml_value(std::string_view value, std::string_view rest_of_cards) {
  if (std::optional<bool> l = fits::logical_value(value)) return *l ? "true" : "false";
  // An integer beyond 64 bits (the reader saturates it) is read as a real.
  if (std::optional<std::int64_t> i = fits::integer_value(value); i && *i != INT64_MAX && *i != INT64_MIN) {
    return std::to_string(*i);
  }
  if (std::optional<double> r = fits::real_value(value)) return yaml_real(*r);
  if (std::optional<std::string> s = fits::string_value(value)) {
    std::string whole = *s;
    for (std::size_t at = 0; !whole.empty() && whole.back() == '&' && at + card_size <= rest_of_cards.size();
         at += card_size) {
      const std::string_view next = rest_of_cards.substr(at, card_size);
      if (!next.starts_with("CONTINUE  ")) break;
      const std::optional<std::string> more = fits::string_value(next.substr(10));
      if (!more) break;
      whole.pop_back();
      whole += *more;
    }
    return yaml_string(whole);
  }
  // A value field of blanks (or only a comment) is an undefined value.
  std::string_view v = value.substr(0, value.find('/'));
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  if (v.empty()) return "null";
  // A complex value, or one that breaks the rules: its text.
  return yaml_string(v);
}

void entry(std::string& out, std::string_view key, const std::string& value) {
  if (value.empty()) return;
  out += ", ";
  out += key;
  out += ": ";
  out += value;
}

}  // namespace

std::string yaml_string(std::string_view text) {
  bool printable = true;
  for (char c : text) printable = printable && c >= ' ' && c <= '~';
  if (!printable) {
    // Only the double-quoted style carries other bytes, as escapes.
    std::string out = "\"";
    for (char c : text) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (u < 0x20 || u > 0x7e) {
        static constexpr char hex[] = "0123456789abcdef";
        out += "\\x";
        out += hex[u >> 4];
        out += hex[u & 15];
      } else {
        out += c;
      }
    }
    return out + "\"";
  }
  bool plain = !text.empty() && (letter(text[0]) || text[0] == '_') && !special_word(text);
  for (char c : text) plain = plain && (letter(c) || digit(c) || c == '_' || c == '-' || c == '.');
  if (plain) return std::string(text);
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string header_text(const std::vector<column>& columns, std::string_view cards) {
  std::string out = "# %ECSV 1.0\n# ---\n# datatype:\n";
  for (const column& c : columns) {
    out += "# - {name: " + yaml_string(c.name);
    entry(out, "unit", c.unit.empty() ? std::string() : yaml_string(c.unit));
    entry(out, "datatype", c.datatype);
    entry(out, "subtype", c.subtype.empty() ? std::string() : yaml_string(c.subtype));
    entry(out, "description", c.description.empty() ? std::string() : yaml_string(c.description));
    out += "}\n";
  }
  out += "# delimiter: ','\n";
  std::string meta;
  std::set<std::string, std::less<>> seen;
  for (std::size_t at = 0; at + card_size <= cards.size(); at += card_size) {
    const std::string_view card = cards.substr(at, card_size);
    if (card.starts_with("END ")) break;
    const std::optional<fits::keyword_value> kv = fits::value_card(card);
    if (!kv || kv->keyword.empty() || storage_keyword(kv->keyword)) continue;
    if (!seen.insert(std::string(kv->keyword)).second) continue;
    const std::optional<std::string> value = yaml_value(kv->value, cards.substr(at + card_size));
    if (!value) continue;
    meta += "# - {" + yaml_string(kv->keyword) + ": " + *value + "}\n";
  }
  if (!meta.empty()) out += "# meta: !!omap\n" + meta;
  return out;
}

column_cards cards_of_column(std::string_view cards, int n) {
  column_cards result;
  const std::string number = std::to_string(n);
  for (std::size_t at = 0; at + card_size <= cards.size(); at += card_size) {
    const std::string_view card = cards.substr(at, card_size);
    if (card.starts_with("END ")) break;
    const std::optional<fits::keyword_value> kv = fits::value_card(card);
    if (!kv) continue;
    if (kv->keyword == "TTYPE" + number) {
      result.description = comment_of(kv->value);
    } else if (kv->keyword == "TUNIT" + number) {
      result.unit = fits::string_value(kv->value).value_or("");
    } else if (kv->keyword == "TDIM" + number) {
      result.tdim = axes_of(fits::string_value(kv->value).value_or(""));
    }
  }
  return result;
}

}  // namespace orvex::ecsv
