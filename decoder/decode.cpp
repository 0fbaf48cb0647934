#include "decoder/decode.h"

#include <cstdio>
#include <cstring>

#include "decoder/ascii_rows.h"
#include "decoder/column_table.h"
#include "decoder/extension_header.h"
#include "decoder/image_lines.h"
#include "decoder/name_check.h"
#include "decoder/row_output.h"
#include "image/compressed_image.h"
#include "util/console.h"
#include "util/failure.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

void print_reports(const extension_header& h) {
  if (debug != 0) {
    std::fprintf(console::out(), "Reading DATA %ld lines\n", static_cast<long>(h.naxis2));
    if (h.telescope[0] != '\0') std::fprintf(console::out(), "Telescope = %s\n", h.telescope);
  }
  if (chandra != 0 && std::strncmp(h.telescope, "ROSAT", 5) == 0) std::fputs("Warning: Wrong telescope selected\n", console::out());
  if (rosat != 0 && std::strncmp(h.telescope, "CHANDRA", 7) == 0) std::fputs("Warning: Wrong telescope selected\n", console::out());
  if (debug != 0 && h.instrument[0] != '\0') std::fprintf(console::out(), "Instrument = %s\n", h.instrument);
  if (h.object[0] != '\0') std::fprintf(console::out(), "Object = %s\n", h.object);
}

}  // namespace

int decode(fits::stream& in, util::output_file* file, fits::data_span* span, std::string_view xtension) {
  const extension_header h = read_extension_header(in, file);
  note_table_names(h.tfields);
  if (span != nullptr) {
    span->start = h.data_start;
    span->size = h.complete ? h.unit.size() : std::nullopt;
    span->cards = h.sums;
    fits::watch_data_unit(in, *span, file != nullptr);
  }
  print_reports(h);
  if (file != nullptr && header != 0 && no_comments == 0) write_heading_lines(*file, h.tfields);
  // A header that the stream ended inside has lost cards, and not one row
  // of its table has arrived, whatever its columns would take. A read
  // error has a message of its own.
  if (!h.complete && file != nullptr && !in.failed()) failure::report_cut_in_part("the stream ends inside the header");
  if (full != 0 && fits::is_image_extension(xtension)) {
    if (file != nullptr) file->mark_image();
    const image_layout image = layout_of(h.unit, h.image);
    if (h.complete) {
      write_image(in, file, image);
    } else if (image.what == image_layout::kind::image) {
      // Not one line of it has arrived.
      print_progress(0, image.lines, '\n');
    }
    return 0;
  }
  if (full == 0 && file != nullptr && fits::is_image_extension(xtension)) {
    note_image_left_out(layout_of(h.unit, h.image), h.unit);
  }
  if (full != 0 && image::is_compressed_image(h)) {
    if (file != nullptr) file->mark_image();
    if (h.complete) image::write_compressed_image(in, file, h);
    return 0;
  }
  if (h.naxis == 0) return 0;
  // The choice rests on TBCOL1 alone: an image extension, without TBCOL1
  // and TFIELDS, goes to the binary rows with no columns.
  std::int64_t done = 0;
  if (h.complete) done = table[1].tbcol == -1 ? write_binary_rows(in, file, h) : write_ascii_rows(in, file, h);
  if (h.naxis2 != 0) print_progress(done, h.naxis2, '\n');
  return 0;
}

}  // namespace orvex::decoder
