#include "image/tile_decoder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "fits/big_endian.h"
#include "image/dither.h"
#include "image/gzip_tile.h"

#include "image/hcompress.h"
#include "image/plio.h"
#include "image/rice.h"

namespace orvex::image {
namespace {

// Bytes of one value of a binary-table letter; 0 for the others.
int letter_bytes(char letter) {
  switch (letter) {
    case 'B':
      return 1;
    case 'I':
      return 2;
    case 'J':
    case 'E':
      return 4;
    case 'K':
    case 'D':
      return 8;
    default:
      return 0;
  }
}

// A tile's array in the heap, as its descriptor gives it.
struct array_ref {
  enum class kind { empty, present, outside, cut };
  kind what = kind::empty;
  const std::uint8_t* at = nullptr;
  std::int64_t count = 0;
  std::int64_t bytes = 0;
};

array_ref array_of(const tile_column& c, const std::uint8_t* row, const tile_table& table) {
  array_ref a;
  if (c.what != tile_column::kind::array32 && c.what != tile_column::kind::array64) return a;
  const std::uint8_t* d = row + c.offset;
  std::int64_t count = 0;
  std::int64_t offset = 0;
  if (c.what == tile_column::kind::array32) {
    count = static_cast<std::int32_t>(fits::be32(d));
    offset = static_cast<std::int32_t>(fits::be32(d + 4));
  } else {
    count = static_cast<std::int64_t>(fits::be64(d));
    offset = static_cast<std::int64_t>(fits::be64(d + 8));
  }
  if (count == 0) return a;
  const int size = letter_bytes(c.letter);
  a.count = count;
  if (count < 0 || offset < 0 || size == 0 || count > table.declared / size ||
      offset > table.declared - count * size) {
    a.what = array_ref::kind::outside;
    return a;
  }
  a.bytes = count * size;
  if (offset > table.delivered - a.bytes) {
    a.what = array_ref::kind::cut;
    return a;
  }
  a.what = array_ref::kind::present;
  a.at = table.heap + offset;
  return a;
}

double scalar_of(const tile_column& c, const std::uint8_t* row) {
  const std::uint8_t* b = row + c.offset;
  switch (c.letter) {
    case 'B':
      return b[0];
    case 'I':
      return fits::integer_at<2>(b);
    case 'J':
      return static_cast<double>(fits::integer_at<4>(b));
    case 'K':
      return static_cast<double>(fits::integer_at<8>(b));
    case 'E':
      return fits::float_at(b);
    case 'D':
      return fits::double_at(b);
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

// Room a thread reuses from tile to tile; it grows to the largest tile.
struct scratch {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> shuffled;
  std::vector<std::int64_t> integers;
  std::vector<std::int32_t> narrow;
};
scratch& room() {
  thread_local scratch s;
  return s;
}

template <typename T>
T* grown(std::vector<T>& v, std::int64_t n) {
  if (v.size() < static_cast<std::size_t>(n)) v.resize(static_cast<std::size_t>(n));
  return v.data();
}

tile_outcome bad(const char* why) { return {tile_outcome::kind::bad, why, {}}; }
tile_outcome bad(std::string detail) { return {tile_outcome::kind::bad, nullptr, std::move(detail)}; }

// The `pixels` integers of `size` bytes each at `b`: a byte is unsigned.
void integers_of(const std::uint8_t* b, int size, std::int64_t pixels, std::int64_t* out) {
  switch (size) {
    case 1:
      for (std::int64_t i = 0; i < pixels; ++i) out[i] = b[i];
      break;
    case 2:
      for (std::int64_t i = 0; i < pixels; ++i) out[i] = fits::integer_at<2>(b + 2 * i);
      break;
    case 4:
      for (std::int64_t i = 0; i < pixels; ++i) out[i] = fits::integer_at<4>(b + 4 * i);
      break;
    default:
      for (std::int64_t i = 0; i < pixels; ++i) out[i] = fits::integer_at<8>(b + 8 * i);
      break;
  }
}

void reals_of(const std::uint8_t* b, int size, std::int64_t pixels, double* out) {
  if (size == 4) {
    for (std::int64_t i = 0; i < pixels; ++i) out[i] = fits::float_at(b + 4 * i);
  } else {
    for (std::int64_t i = 0; i < pixels; ++i) out[i] = fits::double_at(b + 8 * i);
  }
}

// What a tile's bytes hold once unpacked: integers (into the scratch
// space) or the image's floating values (as bytes of `size`).
struct unpacked {
  const std::int64_t* integers = nullptr;
  const std::int32_t* narrow = nullptr;  // 32-bit codecs' integers, not yet widened
  const std::uint8_t* real_bytes = nullptr;
  int real_size = 0;
};

// The size of one value in `bytes` bytes of `pixels` values: 1, 2, 4 or 8
// when they divide evenly, else 0.
int value_size(std::int64_t bytes, std::int64_t pixels) {
  if (pixels <= 0 || bytes % pixels != 0) return 0;
  const std::int64_t size = bytes / pixels;
  return size == 1 || size == 2 || size == 4 || size == 8 ? static_cast<int>(size) : 0;
}

std::string no_fit(std::int64_t bytes, std::int64_t pixels) {
  return "its " + std::to_string(bytes) + " bytes do not hold its " + std::to_string(pixels) + " pixels";
}

// The array a tile's bytes come from: COMPRESSED_DATA, else one of the
// fallbacks, in this order; `origin` says which.
enum class from { compressed, gzipped, raw };
array_ref source_of(const tile_columns& c, const std::uint8_t* row, const tile_table& table, from& origin) {
  array_ref source = array_of(c.data, row, table);
  origin = from::compressed;
  if (source.what == array_ref::kind::empty) {
    source = array_of(c.gzip_data, row, table);
    origin = from::gzipped;
    if (source.what == array_ref::kind::empty) {
      source = array_of(c.raw_data, row, table);
      origin = from::raw;
    }
  }
  return source;
}

}  // namespace

bool tile_arrived(const tile_rules& rules, const tile_table& table, std::int64_t number) {
  if (number < 1 || number > table.rows) return false;
  from origin = from::compressed;
  const std::uint8_t* row = table.rows_at + (number - 1) * table.row_bytes;
  return source_of(rules.columns, row, table, origin).what != array_ref::kind::cut;
}

tile_outcome decode_tile(const tile_rules& rules, const tile_table& table, std::int64_t number,
                         std::int64_t pixels, std::int64_t width, std::int64_t height, std::int64_t* integers,
                         double* reals) {
  if (!rules.fault.empty()) return bad(rules.fault);
  const std::uint8_t* row = table.rows_at + (number - 1) * table.row_bytes;
  const tile_columns& c = rules.columns;
  const bool floating = rules.zbitpix < 0;
  scratch& s = room();

  // The tile's bytes: the compressed ones, else a fallback's.
  from origin = from::compressed;
  const array_ref source = source_of(c, row, table, origin);
  switch (source.what) {
    case array_ref::kind::empty:
      return bad("its row holds no data");
    case array_ref::kind::outside:
      return bad("its array of " + std::to_string(source.count) + " elements lies outside the heap of " +
                 std::to_string(table.declared) + " bytes");
    case array_ref::kind::cut:
      return {tile_outcome::kind::cut, nullptr, {}};
    case array_ref::kind::present:
      break;
  }
  const std::span<const std::uint8_t> in(source.at, static_cast<std::size_t>(source.bytes));

  unpacked u;
  // Bytes of big-endian values (NOCOMPRESS, GZIP, the fallbacks).
  auto from_bytes = [&](const std::uint8_t* b, std::int64_t n, bool values_are_reals) -> tile_outcome {
    const int size = value_size(n, pixels);
    if (size == 0) return bad(no_fit(n, pixels));
    if (values_are_reals) {
      // A tile stored as it is may hold singles or doubles, whichever
      // the image's type.
      if (size != 4 && size != 8) return bad(no_fit(n, pixels));
      u.real_bytes = b;
      u.real_size = size;
    } else {
      std::int64_t* q = grown(s.integers, pixels);
      integers_of(b, size, pixels, q);
      u.integers = q;
    }
    return {};
  };
  auto inflated = [&](bool shuffled, const std::uint8_t*& out, std::int64_t& n) -> const char* {
    std::uint8_t* b = grown(s.bytes, pixels * 8);
    std::size_t produced = 0;
    if (const char* why = inflate_tile(in, {b, static_cast<std::size_t>(pixels * 8)}, produced)) return why;
    n = static_cast<std::int64_t>(produced);
    out = b;
    const int size = value_size(n, pixels);
    if (shuffled && size > 1) {
      std::uint8_t* o = grown(s.shuffled, n);
      unshuffle(b, static_cast<std::size_t>(pixels), size, o);
      out = o;
    }
    return nullptr;
  };

  tile_outcome made;
  // Integers that a quantized image restores, or an integer image's.
  const bool reals_stored = floating && (origin != from::compressed || !rules.quantized);
  if (origin == from::raw) {
    made = from_bytes(in.data(), source.bytes, floating);
  } else if (origin == from::gzipped) {
    const std::uint8_t* b = nullptr;
    std::int64_t n = 0;
    if (const char* why = inflated(false, b, n)) return bad(why);
    made = from_bytes(b, n, reals_stored);
  } else {
    switch (rules.algorithm) {
      case codec::gzip1:
      case codec::gzip2: {
        const std::uint8_t* b = nullptr;
        std::int64_t n = 0;
        if (const char* why = inflated(rules.algorithm == codec::gzip2, b, n)) return bad(why);
        made = from_bytes(b, n, reals_stored);
        break;
      }
      case codec::none:
        made = from_bytes(in.data(), source.bytes, reals_stored);
        break;
      case codec::rice: {
        if (rules.bytepix != 1 && rules.bytepix != 2 && rules.bytepix != 4 && rules.bytepix != 8) {
          return bad("BYTEPIX = " + std::to_string(rules.bytepix) + " is not 1, 2, 4 or 8");
        }
        std::int32_t* q = grown(s.narrow, pixels);
        if (const char* why = rice_decode(in, static_cast<int>(rules.bytepix), static_cast<int>(rules.blocksize),
                                          {q, static_cast<std::size_t>(pixels)})) {
          return bad(why);
        }
        u.narrow = q;
        break;
      }
      case codec::plio: {
        std::int32_t* q = grown(s.narrow, pixels);
        if (const char* why = plio_decode(in, {q, static_cast<std::size_t>(pixels)})) return bad(why);
        if (rules.plio_offset != 0) {
          for (std::int64_t i = 0; i < pixels; ++i) q[i] -= rules.plio_offset;
        }
        u.narrow = q;
        break;
      }
      case codec::hcompress: {
        std::int64_t* q = grown(s.integers, pixels);
        if (const char* why = hcompress_decode(in, static_cast<int>(width), static_cast<int>(pixels / width),
                                               static_cast<int>(rules.smooth), {q, static_cast<std::size_t>(pixels)})) {
          return bad(why);
        }
        u.integers = q;
        break;
      }
      default:
        return bad("the compression ZCMPTYPE = '" + rules.algorithm_name + "' is not one this program reads");
    }
  }
  (void)height;
  if (made.what != tile_outcome::kind::decoded) return made;

  // The tile's own ZSCALE, ZZERO and null value, or the keywords'.
  auto value_of = [&](const tile_column& col, std::optional<double> keyword) -> std::optional<double> {
    if (col.what == tile_column::kind::scalar) return scalar_of(col, row);
    return keyword;
  };
  std::optional<std::int64_t> null_value = rules.zblank;
  if (c.zblank.what == tile_column::kind::scalar) {
    const double v = scalar_of(c.zblank, row);
    if (v >= -9.2e18 && v <= 9.2e18) null_value = static_cast<std::int64_t>(v);
  }

  if (!floating) {
    // Undefined pixels: the image's BLANK and the tile's null value; a
    // value that is neither stands for itself.
    const std::int64_t undefined = rules.undefined;
    const bool has_blank = rules.blank.has_value();
    const bool has_null = null_value.has_value();
    const std::int64_t blank = rules.blank.value_or(0);
    const std::int64_t null = null_value.value_or(0);
    std::int64_t marked = 0;
    auto put = [&](const auto* values) {
      for (std::int64_t i = 0; i < pixels; ++i) {
        const std::int64_t v = values[i];
        const bool none = (has_blank && v == blank) || (has_null && v == null);
        marked += none;
        integers[i] = none ? undefined : v;
      }
    };
    if (u.narrow != nullptr) {
      put(u.narrow);
    } else if (u.integers != nullptr) {
      put(u.integers);
    } else {
      return bad("its values are not integers");
    }
    tile_outcome done;
    done.undefined = marked;
    return done;
  }
  if (u.narrow != nullptr) {
    std::int64_t* wide = grown(s.integers, pixels);
    for (std::int64_t i = 0; i < pixels; ++i) wide[i] = u.narrow[i];
    u.integers = wide;
  }
  if (u.real_bytes != nullptr) {
    reals_of(u.real_bytes, u.real_size, pixels, reals);
    return {};
  }
  if (!rules.quantized) {
    for (std::int64_t i = 0; i < pixels; ++i) reals[i] = static_cast<double>(u.integers[i]);
    return {};
  }
  quantized_tile t;
  t.method = rules.method;
  const std::optional<double> zscale = value_of(c.zscale, rules.zscale);
  const std::optional<double> zzero = value_of(c.zzero, rules.zzero);
  t.zscale = zscale.value_or(1.0);
  t.zzero = zzero.value_or(0.0);
  // The convention keeps -2147483647 for undefined pixels; no quantized
  // value is ever that, so a tile without ZBLANK (as some writers leave
  // it) still means a null by it.
  t.has_null = true;
  t.null_value = null_value.value_or(quantized_null);
  restore(u.integers, pixels, t, number, rules.zdither0, reals);
  (void)s;
  return {};
}

}  // namespace orvex::image
