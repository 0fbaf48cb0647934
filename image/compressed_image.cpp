#include "image/compressed_image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "decoder/image_pixels.h"
#include "decoder/row_format.h"
#include "decoder/row_output.h"
#include "fits/byte_buffer.h"
#include "image/tile_decoder.h"
#include "image/tile_grid.h"
#include "util/failure.h"
#include "util/saturating.h"

namespace orvex::image {
namespace {

using decoder::table;
using util::saturated_product;
using util::saturated_sum;

// Bytes a band may take beyond those of the data unit that arrived: a
// band of tiles of a constant image compresses to almost nothing, and a
// hostile header declares bands of any size.
constexpr std::int64_t free_band_bytes = 64 << 20;
constexpr std::int64_t band_bytes_per_byte = 1 << 14;

tile_column column_named(const char* name, int tfields) {
  tile_column c;
  std::int64_t offset = 0;
  for (int n = 1; n <= tfields; ++n) {
    const decoder::column_desc& d = table[static_cast<std::size_t>(n)];
    if (std::strcmp(d.name, name) == 0 && c.what == tile_column::kind::absent && d.count >= 1) {
      c.offset = offset;
      if (d.type == 'P' || d.type == 'Q') {
        c.what = d.type == 'P' ? tile_column::kind::array32 : tile_column::kind::array64;
        c.letter = d.array_type;
      } else {
        c.what = tile_column::kind::scalar;
        c.letter = d.type;
      }
    }
    offset = saturated_sum(offset, decoder::cell_bytes(d.type, d.count));
  }
  return c;
}

// The first fault of the header's description of the image, or empty.
std::string shape_fault(const tile_keywords& k, std::vector<std::int64_t>& axes, std::vector<std::int64_t>& tiles) {
  const std::optional<std::int64_t> bitpix = k.zbitpix();
  if (!bitpix || !fits::known_bitpix(*bitpix)) {
    return "ZBITPIX = " + (bitpix ? std::to_string(*bitpix) : std::string("(none)")) +
           " is not a FITS pixel type: the image is not written";
  }
  const std::optional<std::int64_t> n = k.znaxis();
  if (!n || *n < 1 || *n > fits::max_axes) return "";
  for (int i = 1; i <= *n; ++i) {
    const std::optional<std::int64_t> length = k.znaxis_n(i);
    if (!length || *length < 1) {
      axes.clear();
      return "";
    }
    const std::optional<std::int64_t> tile = k.ztile_n(i);
    if (!tile || *tile < 1) {
      axes.clear();
      return "ZTILE" + std::to_string(i) + " = " + (tile ? std::to_string(*tile) : std::string("(none)")) +
             " is not a tile size: the image is not written";
    }
    axes.push_back(*length);
    tiles.push_back(*tile);
  }
  return "";
}

tile_rules rules_of(const decoder::extension_header& h) {
  const tile_keywords& k = h.tiles;
  tile_rules r;
  r.algorithm = k.algorithm();
  r.algorithm_name = k.algorithm_name();
  r.zbitpix = static_cast<int>(*k.zbitpix());
  r.columns.data = column_named("COMPRESSED_DATA", h.tfields);
  r.columns.gzip_data = column_named("GZIP_COMPRESSED_DATA", h.tfields);
  r.columns.raw_data = column_named("UNCOMPRESSED_DATA", h.tfields);
  r.columns.zscale = column_named("ZSCALE", h.tfields);
  r.columns.zzero = column_named("ZZERO", h.tfields);
  r.columns.zblank = column_named("ZBLANK", h.tfields);
  r.zscale = k.zscale();
  r.zzero = k.zzero();
  r.zblank = k.zblank();
  r.blank = h.image.blank();
  if (r.algorithm == codec::plio && r.zbitpix == 16 && h.image.bscale() == 1.0 && h.image.bzero() == 32768.0) {
    r.plio_offset = 32768;
  }
  r.method = k.quantize_method();
  r.zdither0 = k.zdither0();
  // A floating image is quantized when its tiles have a scale: a ZSCALE
  // column or keyword, and no ZQUANTIZ = 'NONE'.
  r.quantized = r.zbitpix < 0 && r.method != quantizing::none &&
                (r.columns.zscale.what == tile_column::kind::scalar || r.zscale.has_value());
  r.blocksize = k.parameter("BLOCKSIZE").value_or(32);
  r.bytepix = k.parameter("BYTEPIX").value_or(4);
  r.smooth = k.parameter("SMOOTH").value_or(0);
  if (r.zbitpix < 0 && k.unknown_quantize_method()) {
    r.fault = "ZQUANTIZ = '" + k.quantize_name() + "' is not a quantizing method";
  }
  return r;
}

// The values a band's lines hold, big-endian: 8-byte integers for an
// integer image (whose undefined pixels are one value no 8-, 16- or 32-bit
// pixel has), the image's own floating type for a floating one.
int line_value_bytes(int zbitpix) { return zbitpix > 0 ? 8 : -zbitpix / 8; }

void put_value(std::uint8_t* b, std::int64_t v) {
  std::uint64_t u = static_cast<std::uint64_t>(v);
  if constexpr (std::endian::native == std::endian::little) u = __builtin_bswap64(u);
  std::memcpy(b, &u, 8);
}
void put_value(std::uint8_t* b, double v, int size) {
  if (size == 4) {
    const float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(bits >> (24 - 8 * i));
    return;
  }
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
}

// The first tile of the image that could not be decoded, and why.
struct first_bad_tile {
  std::int64_t number = 0;
  std::string why;
  void note(std::int64_t tile, const tile_outcome& o) {
    if (number != 0 && number <= tile) return;
    number = tile;
    why = o.why != nullptr ? o.why : o.detail;
  }
};

// Decodes band `b`, whose tiles have arrived, into `out` (its lines'
// values).
void decode_band(const tile_grid& grid, const tile_rules& rules, const tile_table& t, std::int64_t b,
                 std::uint8_t* out, first_bad_tile& bad) {
  thread_local tile_place place;
  thread_local std::vector<std::int64_t> integers;
  thread_local std::vector<double> reals;
  const int size = line_value_bytes(rules.zbitpix);
  for (std::int64_t i = 0; i < grid.tiles_per_band(); ++i) {
    grid.place(b, i, place);
    const auto pixels = static_cast<std::size_t>(place.pixels);
    if (rules.zbitpix > 0 && integers.size() < pixels) integers.resize(pixels);
    if (rules.zbitpix < 0 && reals.size() < pixels) reals.resize(pixels);
    const tile_outcome o = decode_tile(rules, t, place.number, place.pixels, place.width, place.height,
                                       integers.data(), reals.data());
    if (o.what != tile_outcome::kind::decoded) {
      bad.note(place.number, o.what == tile_outcome::kind::cut ? tile_outcome{tile_outcome::kind::bad, "its bytes did not arrive", {}} : o);
      if (rules.zbitpix > 0) {
        std::fill_n(integers.begin(), pixels, rules.undefined);
      } else {
        std::fill_n(reals.begin(), pixels, std::numeric_limits<double>::quiet_NaN());
      }
    }
    grid.runs(place, [&](std::int64_t from, std::int64_t to, std::int64_t count) {
      std::uint8_t* p = out + to * size;
      if (rules.zbitpix > 0) {
        for (std::int64_t k = 0; k < count; ++k, p += size) put_value(p, integers[static_cast<std::size_t>(from + k)]);
      } else {
        for (std::int64_t k = 0; k < count; ++k, p += size) put_value(p, reals[static_cast<std::size_t>(from + k)], size);
      }
    });
  }
}

// The stand-in for the undefined pixels of a 64-bit image, set in
// `rules` and returned, or none when no pixel of the bands before `bands`
// is undefined. A 64-bit image may hold every value, INT64_MIN too (the 0
// of an unsigned image), so the stand-in must be one that no pixel is:
// the image's BLANK where it has one (its pixels are undefined anyway);
// otherwise its tiles are decoded beforehand, once for each value tried.
// Only when every value tried is a pixel's does the last one stand for
// both (no writer is known to make 64-bit tiles at all).
std::optional<std::int64_t> undefined_of_64bit(const tile_grid& grid, tile_rules& rules, const tile_table& t,
                                               std::int64_t bands) {
  if (rules.blank) {
    rules.undefined = *rules.blank;
    return rules.undefined;
  }
  constexpr std::int64_t tried[] = {INT64_MIN, INT64_MAX, INT64_MIN + 1, INT64_MAX - 1};
  std::vector<std::int64_t> integers;
  tile_place place;
  for (const std::int64_t candidate : tried) {
    rules.undefined = candidate;
    bool some_undefined = false;
    bool taken = false;
    for (std::int64_t b = 0; b < bands && !(some_undefined && taken); ++b) {
      for (std::int64_t i = 0; i < grid.tiles_per_band(); ++i) {
        grid.place(b, i, place);
        if (!tile_arrived(rules, t, place.number)) continue;
        if (integers.size() < static_cast<std::size_t>(place.pixels)) {
          integers.resize(static_cast<std::size_t>(place.pixels));
        }
        const tile_outcome o = decode_tile(rules, t, place.number, place.pixels, place.width, place.height,
                                           integers.data(), nullptr);
        if (o.what != tile_outcome::kind::decoded) {
          some_undefined = true;
          continue;
        }
        some_undefined = some_undefined || o.undefined > 0;
        taken = taken || std::count(integers.begin(), integers.begin() + place.pixels, candidate) > o.undefined;
      }
    }
    if (!some_undefined) return std::nullopt;
    if (!taken) return candidate;
  }
  return rules.undefined;
}

}  // namespace

bool is_compressed_image(const decoder::extension_header& h) {
  // Without ZBITPIX and ZNAXIS a table that says ZIMAGE = T describes no
  // image: it is written as the table it is, and nothing of it is lost.
  return h.tiles.compressed_image() && h.tiles.zbitpix() && h.tiles.znaxis() && table[1].tbcol == -1;
}

void write_compressed_image(fits::stream& in, util::output_file* file, const decoder::extension_header& h) {
  std::vector<std::int64_t> axes;
  std::vector<std::int64_t> tile_sizes;
  if (const std::string fault = shape_fault(h.tiles, axes, tile_sizes); !fault.empty()) {
    if (file != nullptr) failure::report_in_part(fault);
    return;
  }
  // No axis, or one without a pixel: no line, as for any image.
  if (axes.empty()) return;
  const tile_grid grid(axes, tile_sizes);
  tile_rules rules = rules_of(h);

  // The table's rows and heap, as far as the stream delivers them.
  const std::int64_t row_bytes = h.naxis1 > 0 ? h.naxis1 : 0;
  const std::int64_t rows = h.naxis2 > 0 ? h.naxis2 : 0;
  const std::int64_t rows_bytes = saturated_product(row_bytes, rows);
  const std::int64_t heap_end = h.unit.heap_end();
  const std::int64_t wanted = rows_bytes > heap_end ? rows_bytes : heap_end;
  fits::byte_buffer spill;
  std::int64_t got = 0;
  const unsigned char* data = in.read_piece(wanted, got, spill);
  tile_table t;
  t.rows_at = data;
  t.row_bytes = row_bytes;
  t.rows = row_bytes > 0 ? (got / row_bytes < rows ? got / row_bytes : rows) : 0;
  const std::int64_t heap_offset = h.unit.heap_offset();
  if (heap_offset < got) {
    t.heap = data + heap_offset;
    t.delivered = got - heap_offset;
  }
  t.declared = heap_end > heap_offset ? heap_end - heap_offset : 0;
  const int size = line_value_bytes(rules.zbitpix);

  // The bands that have a row for every tile: a table of fewer rows than
  // tiles ends its image at the first tile without one. The last tile of
  // a band has its highest number.
  thread_local tile_place last;
  std::int64_t whole_bands = grid.band_count();
  std::int64_t rowless_tile = 0;
  if (grid.tile_count() > rows) {
    std::int64_t lo = 0;
    std::int64_t hi = grid.band_count();
    while (lo < hi) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      grid.place(mid, grid.tiles_per_band() - 1, last);
      if (last.number <= rows) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    whole_bands = lo;
    rowless_tile = rows + 1;
  }
  // A band may hold no more than the bytes that arrived justify.
  const std::int64_t band_limit = saturated_sum(free_band_bytes, saturated_product(got, band_bytes_per_byte));
  const std::int64_t widest = saturated_product(saturated_product(grid.band_lines(0), grid.per_line()), size);
  if (widest > band_limit) {
    whole_bands = 0;
    if (file != nullptr) {
      failure::report_in_part("tile 1: its band of " + std::to_string(grid.band_lines(0)) + " lines of " +
                              std::to_string(grid.per_line()) + " pixels is more than the " + std::to_string(got) +
                              " bytes that arrived can hold: the image is not written");
    }
    rowless_tile = 0;
  }
  const std::int64_t lines = whole_bands < grid.band_count() ? grid.band_first_line(whole_bands) : grid.lines();

  std::optional<std::int64_t> line_blank = rules.undefined;
  if (rules.zbitpix == 64 && file != nullptr) line_blank = undefined_of_64bit(grid, rules, t, whole_bands);
  const decoder::pixel_rules pixels =
      rules.zbitpix > 0 ? decoder::pixel_rules(64, h.image.bscale(), h.image.bzero(), line_blank)
                        : decoder::pixel_rules(rules.zbitpix, h.image.bscale(), h.image.bzero(), std::nullopt);
  const decoder::row_formatter f =
      decoder::row_formatter::image_lines(pixels, grid.per_line(), decoder::settings_text_form());

  first_bad_tile bad;
  std::mutex bad_mutex;
  std::int64_t next_band = 0;
  // On this thread: which bands a run holds, whole bands whose tiles have
  // all arrived, up to about max_rows lines; the first band that has not
  // arrived is the stream's cut.
  auto source = [&](std::int64_t first, std::int64_t max_rows, decoder::row_run& run) -> std::int64_t {
    run.first = first;
    run.cut_available = -1;
    run.made_first = next_band;
    run.made_count = 0;
    std::int64_t held = 0;
    while (next_band < whole_bands && (held == 0 || held + grid.band_lines(next_band) <= max_rows)) {
      bool arrived = true;
      for (std::int64_t i = 0; i < grid.tiles_per_band() && arrived; ++i) {
        grid.place(next_band, i, last);
        arrived = tile_arrived(rules, t, last.number);
      }
      if (!arrived) {
        run.cut_available = 0;
        next_band = whole_bands;
        break;
      }
      held += grid.band_lines(next_band);
      ++next_band;
      ++run.made_count;
    }
    run.count = held;
    // Until the worker has made them, the rows lie nowhere.
    run.rows = nullptr;
    return held;
  };
  // On a worker: the run's bands decoded into its lines' values.
  auto make = [&](decoder::row_run& run) {
    const std::int64_t line_bytes = grid.per_line() * size;
    run.bytes.resize(static_cast<std::size_t>(run.count * line_bytes));
    run.rows = run.bytes.data();
    // A part that is not written formats no line: its tiles need no
    // decoding.
    if (file == nullptr) return;
    first_bad_tile found;
    std::int64_t at = 0;
    for (std::int64_t b = run.made_first; b < run.made_first + run.made_count; ++b) {
      decode_band(grid, rules, t, b, run.bytes.data() + at * line_bytes, found);
      at += grid.band_lines(b);
    }
    if (found.number != 0) {
      const std::lock_guard<std::mutex> lock(bad_mutex);
      bad.note(found.number, {tile_outcome::kind::bad, nullptr, found.why});
    }
  };
  const std::int64_t done = decoder::write_source_rows(file, lines, f, source, make);
  if (file != nullptr && bad.number != 0) failure::report_in_part("tile " + std::to_string(bad.number) + ": " + bad.why);
  if (file != nullptr && rowless_tile != 0 && done == lines) {
    failure::report_in_part("tile " + std::to_string(rowless_tile) + ": the table has no row for it: " +
                            std::to_string(lines) + " of " + std::to_string(grid.lines()) + " image lines written");
  }
  decoder::print_progress(done, grid.lines(), '\n');
}

}  // namespace orvex::image
