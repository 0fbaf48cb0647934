#include "decoder/ascii_rows.h"

#include <cstring>
#include <string>

#include "decoder/cell_format.h"
#include "decoder/ecsv_columns.h"
#include "decoder/row_format.h"
#include "decoder/row_output.h"
#include "fits/card_value.h"
#include "util/failure.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

namespace fmt = format;

// An A field: its characters in the row (at most w, up to a zero byte),
// then blanks up to w, as a binary 'A' cell pads its bytes. The field is
// the `left` bytes of the row from `field` on (none when it lies outside).
void put_characters(const char* field, std::size_t left, const column_desc& c, text_buffer& text) {
  if (c.count < 1) return;
  const std::size_t width = static_cast<std::size_t>(c.count);
  const std::size_t len = left == 0 ? 0 : ::strnlen(field, width < left ? width : left);
  const std::size_t padded = width < static_cast<std::size_t>(fmt::widest_display) ? width : fmt::widest_display;
  const std::size_t total = len > padded ? len : padded;
  char* p = text.room(total);
  if (len != 0) std::memcpy(p, field, len);
  std::memset(p + len, ' ', total - len);
  text.commit(p + total);
}

}  // namespace

void ascii_cell(std::string_view row, const column_desc& c, text_buffer* text, std::string& messages,
                bool every_field, number_form form) {
  const bool exact = form == number_form::exact;
  const bool identity = identity_scaling(c);
  // The field runs from its first byte to the NUL after the row at the
  // latest, so a number may run on into the next field.
  const bool inside = c.tbcol >= 1 && static_cast<std::size_t>(c.tbcol) <= row.size();
  const char* field = inside ? row.data() + (c.tbcol - 1) : nullptr;
  char type = c.type;
  if (every_field && type == 'A') {
    const std::size_t left = inside ? row.size() - static_cast<std::size_t>(c.tbcol - 1) : 0;
    if (text != nullptr) put_characters(field, left, c, *text);
    return;
  }
  // Fw.d is a floating field written without an exponent; it reads as
  // E and D fields do.
  if (every_field && type == 'F') type = 'E';
  switch (type) {
    case 'B':
    case 'I':
    case 'J': {
      std::int32_t v = 0;
      if (field != nullptr) fits::scan_long_or_min(field, v);
      if (text != nullptr) {
        char* p = text->room(fmt::short_text);
        text->commit(identity ? fmt::put_long(p, v) : integer_scaling(c).put(p, v, c, form));
      }
      return;
    }
    case 'D':
    case 'E': {
      double x = 0.0;
      if (field != nullptr) fits::scan_double(field, x);
      if (text != nullptr) {
        double product = x * c.tscal;
        double y = product + c.tzero;
        if (exact) {
          text->commit(fmt::put_shortest(text->room(fmt::short_text), identity ? x : y));
        } else if (c.disp_width != 0) {
          std::int32_t precision = c.decimals != -1 ? c.decimals : c.disp_decimals;
          char* p = text->room(static_cast<std::size_t>(fmt::g_text_room(c.disp_width)));
          text->commit(fmt::put_g(p, y, c.disp_width, precision));
        } else {
          text->commit(fmt::put_g16(text->room(fmt::short_text), y));
        }
      }
      return;
    }
    default:
      messages.append("Unknown type ").push_back(c.type);
      messages.push_back('\n');
      return;
  }
}

std::int64_t write_ascii_rows(fits::stream& in, util::output_file* file, const extension_header& h) {
  if (h.naxis1 < 0) {
    // No row of a negative length can be read: the declared rows are lost.
    if (file != nullptr && h.naxis2 > 0) {
      failure::report_cut_in_part("the row length NAXIS1 = " + std::to_string(h.naxis1) + " is negative: 0 of " +
                              std::to_string(h.naxis2) + " rows written");
    }
    return 0;
  }
  // An ECSV table holds every field: its header names them all.
  text_form form = settings_table_form();
  if (ecsv != 0) form.ecsv = ascii_ecsv_layout(h.tfields, h.cards);
  row_formatter f = row_formatter::ascii_table(h.tfields, h.naxis1, full != 0 || ecsv != 0, form);
  f.choose(choose_rows(rows_of::ascii_table, &h));
  return write_rows(in, file, h, f);
}

}  // namespace orvex::decoder
