#include "decoder/extension_header.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "decoder/column_table.h"
#include "fits/card_value.h"
#include "util/console.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

using fits::card_size;

// A card is recognised when it starts with the keyword, the column number
// (for the numbered keywords) and a run of blanks and equals signs (and
// quotes, for TFORM and TTYPE). The run is kept so TTYPE can tell an empty
// string value from a missing one.
struct match {
  bool recognised = false;
  long number = 0;
  char run[card_size + 1] = {};
  int offset = -1;  // where the value starts; -1 when not recorded
};

match numbered(const char* card, const char* pattern) {
  match m;
  m.recognised = std::sscanf(card, pattern, &m.number, m.run, &m.offset) >= 2;
  return m;
}

match plain(const char* card, const char* pattern) {
  match m;
  m.recognised = std::sscanf(card, pattern, m.run, &m.offset) >= 1;
  return m;
}

std::int32_t saturated(long v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

void echo(const char* word) {
  if (debug != 0) std::fputs(word, console::out());
}

// The column slot a numbered card describes, or null when the card is to
// be ignored (a negative column number). A number above 199 ends the run.
column_desc* slot_for(long number) {
  std::int32_t n = saturated(number);
  check_formnr(n);
  if (n < 0) return nullptr;
  return &table[static_cast<std::size_t>(n)];
}

// The element letter of a variable-length array form ('1PE(81)', 'QD'):
// the letter right after the P or Q at `letter`; none when a quote, a
// blank or a parenthesis follows.
void set_array_type(const char* letter, column_desc& c) {
  const bool array = (c.type == 'P' || c.type == 'Q') && letter[0] != '\0';
  c.array_type = array && std::isalpha(static_cast<unsigned char>(letter[1])) ? letter[1] : '\0';
}

void apply_tform(const char* value, column_desc& c) {
  long count = 0;
  char type = '\0';
  int end = -1;
  int got = std::sscanf(value, "%ld%c%n", &count, &type, &end);
  if (got >= 1) c.count = saturated(count);
  if (got == 2) {
    c.type = type;
    set_array_type(value + end - 1, c);
    return;
  }
  long width = 0, decimals = 0;
  got = std::sscanf(value, "%c%ld.%ld", &type, &width, &decimals);
  if (got >= 1) {
    c.type = type;
    set_array_type(value, c);
  }
  if (got >= 2) c.count = saturated(width);
  if (got >= 3) c.decimals = saturated(decimals);
  // A form that starts with its letter ('E', 'J', 'PE(100)') has the
  // repeat count 1, as FITS reads it, whatever an earlier card of the
  // column said.
  if (got == 1 && std::isalpha(static_cast<unsigned char>(type))) c.count = 1;
}

// A quoted value from `at` on, as FITS writes strings: up to the closing
// quote (or the end of the card), a doubled quote standing for one, trailing
// blanks cut.
void read_quoted(const char* at, char (&field)[name_size]) {
  std::size_t n = 0;
  for (; *at != '\0' && n + 1 < sizeof field; ++at) {
    if (*at == '\'') {
      if (at[1] != '\'') break;
      ++at;
    }
    field[n++] = *at;
  }
  while (n != 0 && field[n - 1] == ' ') --n;
  field[n] = '\0';
}

void apply_ttype(const match& m, const char* card, column_desc& c) {
  // Two quotes in the run: the value was an empty or all-blank string. No
  // quote and a '/' next: the card has no value, only a comment.
  const bool quoted = std::strchr(m.run, '\'') != nullptr;
  bool empty_string = std::count(m.run, m.run + std::strlen(m.run), '\'') >= 2;
  bool no_value = !quoted && card[m.offset] == '/';
  if (empty_string || no_value) {
    c.name[0] = '\0';
  } else if (quoted) {
    // The name is the whole value: names that differ only after their
    // first blank or far into the value are different columns.
    read_quoted(card + m.offset, c.name);
  } else {
    // No string at all: the word that stands there.
    char scratch[card_size + 1] = {};
    if (std::sscanf(card + m.offset, "%80[^' ]", scratch) != 1) scratch[0] = '\0';
    std::snprintf(c.name, sizeof c.name, "%s", scratch);
  }
  if (flag_all != 0) myvec.emplace_back(c.name);
}

// TDIMn = '(w, n, ...)': a string column of n strings of w characters.
// A form of one axis, or one that does not read, leaves the cell one string.
void apply_tdim(const char* value, column_desc& c) {
  long width = 0, strings = 0;
  if (std::sscanf(value, " (%ld , %ld", &width, &strings) == 2 && width >= 1 && strings >= 1) {
    c.string_width = saturated(width);
  }
}

void read_string(const match& m, const char* card, char (&field)[9]) {
  if (m.offset >= 0) std::sscanf(card + m.offset, "%8[^']", field);
}

}  // namespace

bool apply_card(const char* card, extension_header& h) {
  if (match m = numbered(card, "TFORM%ld%80[ =']%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      apply_tform(card + m.offset, *c);
      echo("TFORM,");
    }
    return true;
  }
  if (match m = numbered(card, "TTYPE%ld%80[ =']%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      apply_ttype(m, card, *c);
      echo("TTYPE,");
    }
    return true;
  }
  if (match m = numbered(card, "TUNIT%ld%80[ =]'%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      read_string(m, card, c->unit);
      echo("TUNIT,");
    }
    return true;
  }
  if (match m = numbered(card, "TDISP%ld%80[ =]'%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      c->disp_decimals = 6;
      if (m.offset >= 0) {
        char type = '\0';
        long width = 0, decimals = 0;
        int got = std::sscanf(card + m.offset, "%c%ld.%ld", &type, &width, &decimals);
        if (got >= 1) c->disp_type = type;
        if (got >= 2) c->disp_width = saturated(width);
        if (got >= 3) c->disp_decimals = saturated(decimals);
      }
      echo("TDISP,");
    }
    return true;
  }
  if (match m = numbered(card, "TDIM%ld%80[ =]'%n"); m.recognised) {
    // Not one of the keywords whose column number is checked: a TDIMn
    // outside the table is passed over.
    if (m.number >= 1 && m.number <= last_column && m.offset >= 0) {
      apply_tdim(card + m.offset, table[static_cast<std::size_t>(m.number)]);
    }
    return true;
  }
  if (match m = numbered(card, "TSCAL%ld%80[ =]%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      fits::scan_double(card + m.offset, c->tscal);
      echo("TSCALE,");
    }
    return true;
  }
  if (match m = numbered(card, "TZERO%ld%80[ =]%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      // A value that is not a number gives 0, never an undefined offset.
      if (!fits::scan_double(card + m.offset, c->tzero)) c->tzero = 0.0;
      echo("TZERO,");
    }
    return true;
  }
  if (match m = numbered(card, "TBCOL%ld%80[ =]%n"); m.recognised) {
    if (column_desc* c = slot_for(m.number)) {
      fits::scan_long(card + m.offset, c->tbcol);
      echo("TBCOL,");
    }
    return true;
  }
  struct numeric_keyword {
    const char* pattern;
    std::int32_t extension_header::*field;
    const char* word;
  };
  static constexpr numeric_keyword numeric[] = {
      {"NAXIS%80[ =]%n", &extension_header::naxis, "NAXIS,"},
      {"NAXIS1%80[ =]%n", &extension_header::naxis1, "NAXIS1,"},
      {"NAXIS2%80[ =]%n", &extension_header::naxis2, "NAXIS2,"},
      {"TFIELDS%80[ =]%n", &extension_header::tfields, "TFIELDS,"},
  };
  for (const numeric_keyword& k : numeric) {
    if (match m = plain(card, k.pattern); m.recognised) {
      fits::scan_long(card + m.offset, h.*k.field);
      echo(k.word);
      return true;
    }
  }
  struct text_keyword {
    const char* pattern;
    char (extension_header::*field)[9];
  };
  static constexpr text_keyword texts[] = {
      {"TELESCOP%80[ =]'%n", &extension_header::telescope},
      {"OBJECT%80[ =]'%n", &extension_header::object},
      {"INSTRUME%80[ =]'%n", &extension_header::instrument},
  };
  for (const text_keyword& k : texts) {
    if (match m = plain(card, k.pattern); m.recognised) {
      read_string(m, card, h.*k.field);
      return true;
    }
  }
  return false;
}

extension_header read_extension_header(fits::stream& in, util::output_file* file) {
  extension_header h;
  if (flag_all != 0) myvec.clear();
  reset_table();
  if (debug != 0) std::fputs("\nFound BINTABLE,", console::out());

  fits::card_buffer card;
  while (fits::read_card(in, card) > 0) {
    if (file != nullptr && no_comments == 0) file->write_comment(card.data());
    if (debug != 0) std::fprintf(console::out(), "%s\n", card.data());
    h.unit.observe(card.data());
    h.image.observe(card.data());
    h.names.observe(card.data());
    h.tiles.observe(card.data());
    h.sums.observe(card.data());
    if (ecsv != 0) {
      // The card at its 80 bytes again: the read trimmed its trailing blanks.
      const std::size_t n = std::min<std::size_t>(std::strlen(card.data()), fits::card_size);
      h.cards.append(card.data(), n).append(fits::card_size - n, ' ');
    }
    if (apply_card(card.data(), h)) continue;
    if (std::strncmp(card.data(), "END", 3) == 0) {
      if (debug != 0) std::fputs("END\n", console::out());
      h.complete = true;
      break;
    }
  }
  h.data_start = fits::next_boundary(fits::_fpos);
  fits::realign(in);
  for (const auto& [n, v] : h.names.tnull) {
    if (n < 1 || n > last_column) continue;
    column_desc& c = table[static_cast<std::size_t>(n)];
    c.has_tnull = true;
    c.tnull = v;
    std::snprintf(c.tnull_text, sizeof c.tnull_text, "%lld", static_cast<long long>(v));
  }
  for (const auto& [n, text] : h.names.tnull_text) {
    if (n < 1 || n > last_column) continue;
    std::snprintf(table[static_cast<std::size_t>(n)].tnull_text, sizeof table[0].tnull_text, "%s", text.c_str());
  }

  if (h.tfields > last_column) h.tfields = last_column;
  if (h.tfields < 0) h.tfields = 0;
  return h;
}

}  // namespace orvex::decoder
