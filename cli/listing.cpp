#include "cli/listing.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "cli/driver.h"
#include "fits/data_unit.h"
#include "fits/stream.h"
#include "util/failure.h"

namespace orvex::cli {
namespace {

// FITS allows at most 999 columns; a TFIELDS beyond is listed that far.
constexpr std::int64_t most_columns = 999;

// The value of a card as the header writes it: a string without its
// quotes (a doubled quote read as one) and without trailing blanks, or the
// text before a "/" comment, blanks around it cut.
std::string card_value(std::string_view card) {
  if (card.size() <= 10 || card.substr(8, 2) != "= ") return {};
  std::string_view v = card.substr(10);
  const std::size_t first = v.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  v.remove_prefix(first);
  std::string text;
  if (v.front() == '\'') {
    for (std::size_t i = 1; i < v.size(); ++i) {
      if (v[i] == '\'') {
        if (i + 1 < v.size() && v[i + 1] == '\'') {
          text.push_back('\'');
          ++i;
          continue;
        }
        break;
      }
      text.push_back(v[i]);
    }
  } else {
    text = v.substr(0, v.find('/'));
  }
  const std::size_t last = text.find_last_not_of(' ');
  text.resize(last == std::string::npos ? 0 : last + 1);
  return text;
}

// The keyword of a card: its first eight characters, trailing blanks cut.
std::string_view keyword_of(std::string_view card) {
  std::string_view k = card.substr(0, card.size() < 8 ? card.size() : 8);
  const std::size_t last = k.find_last_not_of(' ');
  return k.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

// n of a keyword `stem`n ("TTYPE12" gives 12); nullopt for other keywords.
std::optional<std::int64_t> index_of(std::string_view keyword, std::string_view stem) {
  if (!keyword.starts_with(stem) || keyword.size() == stem.size()) return std::nullopt;
  std::int64_t n = 0;
  const char* end = keyword.data() + keyword.size();
  const auto [ptr, ec] = std::from_chars(keyword.data() + stem.size(), end, n);
  if (ec != std::errc() || ptr != end || n < 1) return std::nullopt;
  return n;
}

struct column_texts {
  std::string ttype, tform, tunit;
};

// What one header says about its part.
struct part_header {
  std::string kind;
  std::optional<std::string> extname;
  std::string bitpix;
  std::optional<std::string> naxis;
  std::map<std::int64_t, std::string> axes;  // NAXISn by n
  std::int64_t tfields = 0;
  std::map<std::int64_t, column_texts> columns;
  // The image a tile-compressed table holds (ZIMAGE = T).
  bool zimage = false;
  std::string zbitpix, zcmptype;
  std::optional<std::string> znaxis;
  std::map<std::int64_t, std::string> zaxes;
  fits::data_unit unit;
  bool complete = false;

  explicit part_header(fits::data_unit::header_kind k) : unit(k) {}

  bool is_table() const { return kind == "BINTABLE" || kind == "TABLE" || kind == "A3DTABLE"; }

  void observe(std::string_view card) {
    unit.observe(card);
    const std::string_view key = keyword_of(card);
    if (key == "XTENSION") {
      kind = card_value(card);
    } else if (key == "EXTNAME") {
      extname = card_value(card);
    } else if (key == "BITPIX") {
      bitpix = card_value(card);
    } else if (key == "NAXIS") {
      naxis = card_value(card);
    } else if (key == "TFIELDS") {
      const std::string v = card_value(card);
      std::int64_t n = 0;
      if (std::from_chars(v.data(), v.data() + v.size(), n).ec == std::errc()) tfields = n;
    } else if (key == "ZIMAGE") {
      zimage = card_value(card) == "T";
    } else if (key == "ZBITPIX") {
      zbitpix = card_value(card);
    } else if (key == "ZNAXIS") {
      znaxis = card_value(card);
    } else if (key == "ZCMPTYPE") {
      zcmptype = card_value(card);
    } else if (auto n = index_of(key, "ZNAXIS")) {
      zaxes[*n] = card_value(card);
    } else if (auto n = index_of(key, "NAXIS")) {
      axes[*n] = card_value(card);
    } else if (auto n = index_of(key, "TTYPE")) {
      columns[*n].ttype = card_value(card);
    } else if (auto n = index_of(key, "TFORM")) {
      columns[*n].tform = card_value(card);
    } else if (auto n = index_of(key, "TUNIT")) {
      columns[*n].tunit = card_value(card);
    }
  }

  std::string text(const std::string& name) const {
    std::string line = name + "  " + kind;
    if (extname) line += "  EXTNAME=" + *extname;
    if (kind == "BINTABLE" && zimage && !zbitpix.empty() && znaxis) {
      // Its rows are tiles: what it holds is an image.
      return line + "  compressed image" + image_text("BITPIX=" + zbitpix, znaxis, zaxes) + "  ZCMPTYPE=" + zcmptype + "\n";
    }
    if (is_table()) {
      line += "  " + std::to_string(unit.naxis2()) + " rows x " + std::to_string(tfields) + " columns\n";
      const std::int64_t last = tfields < most_columns ? tfields : most_columns;
      for (std::int64_t n = 1; n <= last; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%5d", static_cast<int>(n));
        const auto c = columns.find(n);
        const column_texts none;
        const column_texts& t = c != columns.end() ? c->second : none;
        const std::string* fields[3] = {&t.ttype, &t.tform, &t.tunit};
        int used = 3;
        while (used > 0 && fields[used - 1]->empty()) --used;
        line += number;
        for (int i = 0; i < used; ++i) line += "  " + *fields[i];
        line += '\n';
      }
      return line;
    }
    return line + image_text("BITPIX=" + bitpix, naxis, axes) + "\n";
  }

  // "  BITPIX=b  NAXIS1=n1  NAXIS2=n2 ..." (or "  NAXIS=0" without axes).
  static std::string image_text(const std::string& bitpix_text, const std::optional<std::string>& count_text,
                                const std::map<std::int64_t, std::string>& lengths) {
    std::string line = "  " + bitpix_text;
    std::int64_t count = 0;
    if (count_text) std::from_chars(count_text->data(), count_text->data() + count_text->size(), count);
    if (count <= 0) return line + "  NAXIS=" + (count_text ? *count_text : std::string("0"));
    for (std::int64_t n = 1; n <= count && n <= fits::max_axes; ++n) {
      auto a = lengths.find(n);
      line += "  NAXIS" + std::to_string(n) + "=" + (a != lengths.end() ? a->second : std::string());
    }
    return line;
  }
};

// Reads the cards of one header into `h`, the first one already in `card`
// (an XTENSION card) unless it is empty, up to and with the END card.
void read_header(fits::stream& in, fits::card_buffer& card, part_header& h) {
  if (card[0] != '\0') h.observe(card.data());
  while (fits::read_card(in, card) > 0) {
    if (std::strncmp(card.data(), "END", 3) == 0) {
      h.complete = true;
      return;
    }
    h.observe(card.data());
  }
}

enum class skipped { whole, no_size, cut };

// Skips the data unit after a complete header by the size the header
// declares, with its padding. A cut is reported (a read error has its own
// report); missing padding after a whole data unit is no loss.
skipped skip_data_unit(fits::stream& in, const part_header& h) {
  fits::realign(in);
  const std::optional<std::int64_t> size = h.unit.size();
  if (!size) return skipped::no_size;
  const std::int64_t got = in.discard(*size);
  if (got < *size) {
    if (!in.failed()) report_data_unit_cut(got, *size);
    return skipped::cut;
  }
  fits::realign(in);
  return skipped::whole;
}

}  // namespace

bool list_file(const char* path, util::output_file& out) {
  fits::stream in;
  if (!open_input(in, path)) return false;
  check_fits_signature(in, path);
  fits::card_buffer card;
  card.fill('\0');
  for (int index = 0;; ++index) {
    failure::set_position(path, index);
    part_header h(index == 0 ? fits::data_unit::header_kind::primary : fits::data_unit::header_kind::extension);
    if (index == 0) h.kind = "primary";
    read_header(in, card, h);
    out.write(h.text(output_path(path, index)));
    if (!h.complete) {
      if (!in.failed()) failure::report_cut_in_part("the stream ends inside the header");
      break;
    }
    // A data unit of no declared size is passed over card by card, as the
    // decoder passes over everything after the rows it reads.
    if (skip_data_unit(in, h) == skipped::cut) break;
    if (!fits::next_extension(in, card)) break;
  }
  if (in.failed()) failure::report(path, "read error: " + in.error());
  in.close();
  return true;
}

int list_files(char* const* paths, int count) {
  util::output_file out;
  out.use_stdout();
  for (int i = 0; i < count; ++i) {
    if (!list_file(paths[i], out)) {
      out.close();
      return 1;
    }
  }
  out.close();
  return failure::any() ? 1 : 0;
}

}  // namespace orvex::cli
