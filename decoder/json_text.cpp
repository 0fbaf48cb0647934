#include "decoder/json_text.h"

#include <string>
#include <vector>

#include "util/saturating.h"

namespace orvex::decoder {
namespace {

// A text and where it ends: JSON strings hold blanks, so the texts are cut
// at a blank outside quotes.
void split_texts(std::string_view all, std::vector<std::string_view>& texts) {
  texts.clear();
  std::size_t begin = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const char c = all[i];
    if (quoted) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ' ') {
      if (i != begin) texts.push_back(all.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  if (begin < all.size()) texts.push_back(all.substr(begin));
}

std::string_view json_number(std::string_view t) {
  if (t == "nan" || t == "-nan") return "NaN";
  if (t == "inf") return "Infinity";
  if (t == "-inf") return "-Infinity";
  // JSON reads "-0" as the integer 0: a negative zero must look real.
  if (t == "-0") return "-0.0";
  return t;
}

struct writer {
  text_buffer& text;
  const std::vector<std::string_view>& texts;
  std::span<const std::int64_t> shape;
  int group;
  std::size_t next = 0;

  void axis(std::size_t level) {
    text.put('[');
    const std::int64_t n = level < shape.size() ? shape[level] : group;
    for (std::int64_t k = 0; k < n; ++k) {
      if (k != 0) text.put(',');
      if (level + 1 < shape.size() || (level + 1 == shape.size() && group > 1)) {
        axis(level + 1);
      } else {
        text.append(json_number(texts[next++]));
      }
    }
    text.put(']');
  }
};

}  // namespace

void elements_as_json(text_buffer& text, std::size_t start, std::span<const std::int64_t> shape, int group) {
  thread_local std::string copy;
  thread_local std::vector<std::string_view> texts;
  copy.assign(text.data() + start, text.size() - start);
  split_texts(copy, texts);
  text.resize_down(start);
  std::int64_t product = group;
  for (std::int64_t a : shape) product = util::saturated_product(product, a);
  if (shape.empty() || product != static_cast<std::int64_t>(texts.size())) {
    // Flat: one element per text, or per group of them.
    if (group > 1 && texts.size() % static_cast<std::size_t>(group) != 0) group = 1;
    const std::int64_t flat[] = {static_cast<std::int64_t>(texts.size()) / group};
    writer w{text, texts, std::span<const std::int64_t>(flat, 1), group};
    if (texts.empty()) {
      text.append("[]");
      return;
    }
    w.axis(0);
    return;
  }
  writer w{text, texts, shape, group};
  w.axis(0);
}

void put_json_string(text_buffer& text, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  text.put('"');
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text.put('\\');
      text.put(c);
    } else if (u < 0x20 || u > 0x7e) {
      text.append("\\u00");
      text.put(hex[u >> 4]);
      text.put(hex[u & 15]);
    } else {
      text.put(c);
    }
  }
  text.append("\" ");
}

}  // namespace orvex::decoder
