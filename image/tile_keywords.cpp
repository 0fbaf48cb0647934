#include "image/tile_keywords.h"

#include <charconv>

#include "fits/card_value.h"

namespace orvex::image {
namespace {

// The number n of a keyword `prefix`n (n from 1 to 999), or 0.
int index_of(std::string_view keyword, std::string_view prefix) {
  if (keyword.size() <= prefix.size() || keyword.substr(0, prefix.size()) != prefix) return 0;
  const std::string_view digits = keyword.substr(prefix.size());
  if (digits.size() > 3 || digits.front() == '0') return 0;
  int n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return 0;
  return n;
}

template <typename T>
void store(std::vector<T>& values, int n, T value) {
  if (values.size() < static_cast<std::size_t>(n)) values.resize(static_cast<std::size_t>(n));
  values[static_cast<std::size_t>(n - 1)] = std::move(value);
}

template <typename T>
T at(const std::vector<T>& values, int n) {
  if (n < 1 || values.size() < static_cast<std::size_t>(n)) return T{};
  return values[static_cast<std::size_t>(n - 1)];
}

}  // namespace

std::optional<std::string> string_value(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  if (value.empty() || value.front() != '\'') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] != '\'') {
      text += value[i];
      continue;
    }
    if (i + 1 < value.size() && value[i + 1] == '\'') {
      text += '\'';
      ++i;
      continue;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  return std::nullopt;
}

void tile_keywords::observe(std::string_view card) {
  const std::optional<fits::keyword_value> c = fits::value_card(card);
  if (!c) return;
  const std::string_view k = c->keyword;
  if (k.empty() || k.front() != 'Z') return;
  auto integer = [&] { return fits::integer_value(c->value); };
  if (k == "ZIMAGE") {
    if (std::optional<bool> v = fits::logical_value(c->value)) zimage_ = *v;
  } else if (k == "ZBITPIX") {
    if (auto v = integer()) zbitpix_ = v;
  } else if (k == "ZNAXIS") {
    if (auto v = integer()) znaxis_ = v;
  } else if (k == "ZCMPTYPE") {
    if (auto v = string_value(c->value)) zcmptype_ = *v;
  } else if (k == "ZQUANTIZ") {
    if (auto v = string_value(c->value)) zquantiz_ = *v;
  } else if (k == "ZDITHER0") {
    if (auto v = integer()) zdither0_ = v;
  } else if (k == "ZSCALE") {
    if (auto v = fits::real_value(c->value)) zscale_ = v;
  } else if (k == "ZZERO") {
    if (auto v = fits::real_value(c->value)) zzero_ = v;
  } else if (k == "ZBLANK") {
    if (auto v = integer()) zblank_ = v;
  } else if (int n = index_of(k, "ZNAXIS")) {
    if (auto v = integer()) store(znaxes_, n, v);
  } else if (int n = index_of(k, "ZTILE")) {
    if (auto v = integer()) store(ztiles_, n, v);
  } else if (int n = index_of(k, "ZNAME")) {
    if (auto v = string_value(c->value)) store(znames_, n, *v);
  } else if (int n = index_of(k, "ZVAL")) {
    // A real value (SCALE may be one) counts with its integer part.
    if (auto v = integer()) {
      store(zvals_, n, v);
    } else if (auto r = fits::real_value(c->value); r && *r > -9.2e18 && *r < 9.2e18) {
      store(zvals_, n, std::optional<std::int64_t>(static_cast<std::int64_t>(*r)));
    }
  }
}

std::optional<std::int64_t> tile_keywords::znaxis_n(int n) const { return at(znaxes_, n); }

std::optional<std::int64_t> tile_keywords::ztile_n(int n) const {
  if (std::optional<std::int64_t> t = at(ztiles_, n)) return t;
  if (n == 1) return znaxis_n(1);
  return 1;
}

codec tile_keywords::algorithm() const {
  if (zcmptype_ == "RICE_1" || zcmptype_ == "RICE_ONE") return codec::rice;
  if (zcmptype_ == "GZIP_1") return codec::gzip1;
  if (zcmptype_ == "GZIP_2") return codec::gzip2;
  if (zcmptype_ == "PLIO_1") return codec::plio;
  if (zcmptype_ == "HCOMPRESS_1") return codec::hcompress;
  if (zcmptype_ == "NOCOMPRESS") return codec::none;
  return codec::unknown;
}

std::optional<std::int64_t> tile_keywords::parameter(std::string_view name) const {
  for (std::size_t i = 0; i < znames_.size(); ++i) {
    if (znames_[i] == name) return at(zvals_, static_cast<int>(i + 1));
  }
  return std::nullopt;
}

quantizing tile_keywords::quantize_method() const {
  if (zquantiz_ == "NONE") return quantizing::none;
  if (zquantiz_ == "SUBTRACTIVE_DITHER_1") return quantizing::dither1;
  if (zquantiz_ == "SUBTRACTIVE_DITHER_2") return quantizing::dither2;
  return quantizing::no_dither;
}

bool tile_keywords::unknown_quantize_method() const {
  return !zquantiz_.empty() && zquantiz_ != "NONE" && zquantiz_ != "NO_DITHER" &&
         zquantiz_ != "SUBTRACTIVE_DITHER_1" && zquantiz_ != "SUBTRACTIVE_DITHER_2";
}

}  // namespace orvex::image
