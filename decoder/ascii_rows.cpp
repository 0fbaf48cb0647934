#include "decoder/ascii_rows.h"

#include <cstdio>
#include <string>
#include <vector>

#include "decoder/binary_cells.h"
#include "decoder/cell_format.h"
#include "decoder/row_output.h"
#include "fits/card_value.h"
#include "util/failure.h"

namespace orvex::decoder {
namespace {

namespace fmt = format;

// Largest piece read at a time while a row arrives, so that a huge NAXIS1
// costs memory only for bytes that the stream really holds.
constexpr std::size_t row_chunk = 1 << 20;

// Reads one row of `width` bytes into `row`, followed by a NUL. Returns
// the count delivered.
std::int64_t read_row(fits::stream& in, std::vector<char>& row, std::int32_t width) {
  const std::size_t want = static_cast<std::size_t>(width);
  std::size_t have = 0;
  while (have < want) {
    std::size_t chunk = want - have < row_chunk ? want - have : row_chunk;
    if (row.size() < have + chunk + 1) row.resize(have + chunk + 1);
    int got = in.read(row.data() + have, static_cast<int>(chunk));
    have += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < chunk) break;
  }
  if (row.size() < have + 1) row.resize(have + 1);
  row[have] = '\0';
  return static_cast<std::int64_t>(have);
}

}  // namespace

char* ascii_cell(std::string_view row, const column_desc& c, char* p, char* limit, bool writing) {
  // The field runs from its first byte to the NUL after the row at the
  // latest, so a number may run on into the next field.
  const bool inside = c.tbcol >= 1 && static_cast<std::size_t>(c.tbcol) <= row.size();
  const char* field = inside ? row.data() + (c.tbcol - 1) : nullptr;
  switch (c.type) {
    case 'B':
    case 'I':
    case 'J': {
      std::int32_t v = 0;
      if (field != nullptr) fits::scan_long_or_min(field, v);
      if (writing) {
        double s = static_cast<double>(v) * c.tscal;
        p = fmt::put_long(p, limit, fits::to_int32(s + c.tzero));
      }
      return p;
    }
    case 'D':
    case 'E': {
      double x = 0.0;
      if (field != nullptr) fits::scan_double(field, x);
      if (writing) {
        double product = x * c.tscal;
        double y = product + c.tzero;
        std::int32_t precision = c.decimals != -1 ? c.decimals : c.disp_decimals;
        p = c.disp_width != 0 ? fmt::put_g(p, limit, y, c.disp_width, precision) : fmt::put_g16(p, limit, y);
      }
      return p;
    }
    default:
      std::fprintf(stderr, "Unknown type %c\n", c.type);
      return p;
  }
}

std::int64_t write_ascii_rows(fits::stream& in, util::output_file* file, const extension_header& h) {
  const bool writing = file != nullptr;
  if (h.naxis1 < 0) {
    // No row of a negative length can be read: the declared rows are lost.
    if (writing && h.naxis2 > 0) {
      failure::report_cut_in_part("the row length NAXIS1 = " + std::to_string(h.naxis1) + " is negative: 0 of " +
                              std::to_string(h.naxis2) + " rows written");
    }
    return 0;
  }
  std::vector<char> row;
  std::vector<char> cell(cell_size);
  char* const start = cell.data();
  char* const limit = start + cell_text_limit;

  std::int64_t done = 0;
  for (std::int64_t r = 0; r < h.naxis2; ++r) {
    if (read_row(in, row, h.naxis1) < h.naxis1) {
      if (writing) report_truncated_table(done, h.naxis2);
      break;
    }
    const std::string_view text(row.data(), static_cast<std::size_t>(h.naxis1));
    for (int n = 1; n <= h.tfields; ++n) {
      char* end = ascii_cell(text, table[static_cast<std::size_t>(n)], start, limit, writing);
      if (writing) {
        file->write(start, static_cast<std::size_t>(end - start));
        if (n != h.tfields) file->put(' ');
      }
    }
    if (progress_due(r, h.naxis2)) print_progress(r, h.naxis2, '\r');
    if (writing) file->put('\n');
    ++done;
  }
  return done;
}

}  // namespace orvex::decoder
