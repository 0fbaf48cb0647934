#include "decoder/binary_cells.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decoder/cell_format.h"
#include "fits/card_value.h"

namespace orvex::decoder {
namespace {

using fits::stream;
namespace fmt = format;

// The unsigned 64-bit convention of FITS: a 'K' column with TZEROn =
// 2^63 holds v + 2^63.
constexpr double unsigned_64_offset = 9223372036854775808.0;

// Bytes that a 'P' and a 'Q' array descriptor take per element.
constexpr int p_descriptor_size = 8;
constexpr int q_descriptor_size = 16;

inline double scaled(double v, const column_desc& c) {
  // A separate multiply and add (the build forbids contraction to an FMA),
  // so that every value is rounded exactly as written.
  double product = v * c.tscal;
  return product + c.tzero;
}

inline char* put_real(char* p, char* limit, double v, const column_desc& c) {
  p = c.disp_width != 0 ? fmt::put_g(p, limit, v, c.disp_width, c.disp_decimals) : fmt::put_g16(p, limit, v);
  return fmt::put_char(p, limit, ' ');
}

void unknown_type(stream& in, const column_desc& c) {
  std::fprintf(stderr, "Unknown type %c\n", c.type);
  if (c.count > 0) in.discard(c.count);
}

// 'A': r bytes in one read, written up to the first zero byte, padded to r
// characters, then a blank.
char* string_cell(stream& in, const column_desc& c, char* p, char* limit, bool writing) {
  const std::int64_t r = c.count > 0 ? c.count : 0;
  if (!writing) {
    in.discard(r);
    return p;
  }
  const int take = r < cell_text_limit ? static_cast<int>(r) : cell_text_limit;
  int got = in.read(p, take);
  if (r > take) in.discard(r - take);
  std::size_t len = ::strnlen(p, static_cast<std::size_t>(got));
  char* start = p;
  p += len;
  p = fmt::pad_to(p, limit, start, r);
  return fmt::put_char(p, limit, ' ');
}

// 'K': 64-bit integers, exact where the scaling is the identity or the
// unsigned convention.
char* long_long_cell(stream& in, const column_desc& c, char* p, char* limit, bool writing) {
  const bool identity = c.tscal == 1.0 && c.tzero == 0.0;
  const bool unsigned_form = c.tscal == 1.0 && c.tzero == unsigned_64_offset;
  const std::int64_t missing = in.missing();
  for (std::int32_t i = 0; i < c.count && in.missing() == missing; ++i) {
    std::int64_t v = fits::freadlonglong(in);
    if (!writing) continue;
    if (identity) {
      p = fmt::put_integer(p, limit, v);
    } else if (unsigned_form) {
      p = fmt::put_integer(p, limit, static_cast<std::uint64_t>(v) ^ (std::uint64_t{1} << 63));
    } else {
      double s = scaled(static_cast<double>(v), c);
      // Outside the 64-bit range, and for a NaN, the smallest value, as
      // the 32-bit conversion does.
      std::int64_t t = s >= -9223372036854775808.0 && s < 9223372036854775808.0 ? static_cast<std::int64_t>(s)
                                                                                  : INT64_MIN;
      p = fmt::put_integer(p, limit, t);
    }
    p = fmt::put_char(p, limit, ' ');
  }
  return p;
}

// The eight '0'/'1' characters of every byte value, most significant bit
// first.
struct bit_text_table {
  char text[256][8];
  constexpr bit_text_table() : text{} {
    for (int v = 0; v < 256; ++v) {
      for (int bit = 0; bit < 8; ++bit) text[v][bit] = static_cast<char>('0' + ((v >> (7 - bit)) & 1));
    }
  }
};
constexpr bit_text_table bit_texts;

// 'X': ceil(r / 8) bytes, eight characters each, most significant bit
// first, one blank after the last.
char* bit_cell(stream& in, const column_desc& c, char* p, char* limit, bool writing) {
  const std::int64_t bytes = (std::int64_t{c.count} + 7) / 8;
  if (!writing) {
    in.discard(bytes);
    return p;
  }
  const std::int64_t missing = in.missing();
  for (std::int64_t i = 0; i < bytes && in.missing() == missing; ++i) {
    unsigned char s[1];
    unsigned b = fits::value_bytes(in, s, 1)[0];
    p = fmt::put_text(p, limit, bit_texts.text[b], 8);
  }
  return fmt::put_char(p, limit, ' ');
}

}  // namespace

cell_buffers::cell_buffers(int tfields)
    : text_(std::make_unique<char[]>(static_cast<std::size_t>(tfields + 1) * cell_size)),
      length_(std::make_unique<int[]>(static_cast<std::size_t>(tfields + 1))) {}

char* format_cell(stream& in, const column_desc& c, char* p, char* limit, bool writing) {
  const std::int32_t r = c.count;
  // Once the stream has ended the row is cut and never written: the
  // elements left are not read, which bounds a huge count by the bytes
  // the stream really holds.
  const std::int64_t missing = in.missing();

  switch (c.type) {
    case 'A':
      p = string_cell(in, c, p, limit, writing);
      break;
    case 'B':
    case 'I':
    case 'J':
    case 'E':
    case 'D':
    case 'C':
    case 'M':
    case 'L':
    case 'X':
    case 'K':
    case 'P':
    case 'Q':
      if (r < 1) return p;  // nothing read, the cell not written
      switch (c.type) {
        case 'B':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            unsigned char s[1];
            double v = fits::value_bytes(in, s, 1)[0];
            if (writing) {
              p = fmt::put_ulong(p, limit, static_cast<std::uint32_t>(fits::to_int32(scaled(v, c))));
              p = fmt::put_char(p, limit, ' ');
            }
          }
          break;
        case 'I':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            double v = fits::freadshort(in);
            if (writing) {
              p = fmt::put_long(p, limit, fits::to_int32(scaled(v, c)));
              p = fmt::put_char(p, limit, ' ');
            }
          }
          break;
        case 'J':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            double v = fits::freadlong(in);
            if (writing) {
              p = fmt::put_long(p, limit, fits::to_int32(scaled(v, c)));
              p = fmt::put_char(p, limit, ' ');
            }
          }
          break;
        case 'E':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            double v = fits::freadfloat(in);
            if (writing) p = put_real(p, limit, scaled(v, c), c);
          }
          break;
        case 'D':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            double v = fits::freaddouble(in);
            if (writing) p = put_real(p, limit, scaled(v, c), c);
          }
          break;
        case 'C':
        case 'M':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            double re = c.type == 'C' ? fits::freadfloat(in) : fits::freaddouble(in);
            double im = c.type == 'C' ? fits::freadfloat(in) : fits::freaddouble(in);
            if (writing) {
              p = put_real(p, limit, scaled(re, c), c);
              p = put_real(p, limit, scaled(im, c), c);
            }
          }
          break;
        case 'L':
          for (std::int32_t i = 0; i < r && in.missing() == missing; ++i) {
            unsigned char s[1];
            char v = static_cast<char>(fits::value_bytes(in, s, 1)[0]);
            if (writing) {
              char* element = p;
              p = fmt::put_char(p, limit, v != '\0' ? v : undefined_logical);
              p = fmt::pad_to(p, limit, element, c.disp_width < 0 ? -std::int64_t{c.disp_width} : c.disp_width);
              p = fmt::put_char(p, limit, ' ');
            }
          }
          break;
        case 'X':
          p = bit_cell(in, c, p, limit, writing);
          break;
        case 'K':
          p = long_long_cell(in, c, p, limit, writing);
          break;
        case 'P':
          in.discard(std::int64_t{r} * p_descriptor_size);
          break;
        case 'Q':
          in.discard(std::int64_t{r} * q_descriptor_size);
          break;
      }
      break;
    default:
      unknown_type(in, c);
      break;
  }
  return p;
}

std::int64_t cell_text_bound(const column_desc& c) {
  const std::int64_t r = c.count;
  auto real_text = [&c]() -> std::int64_t {
    if (c.disp_width == 0) return fmt::short_text;
    std::int64_t w = c.disp_width < 0 ? -std::int64_t{c.disp_width} : c.disp_width;
    return std::max<std::int64_t>(w, fmt::longest_g_text) + 1;
  };
  std::int64_t bound = 0;
  switch (c.type) {
    case 'A':
      bound = std::max<std::int64_t>(r, 0) + 1;
      break;
    case 'B':
    case 'I':
    case 'J':
    case 'K':
      bound = r * fmt::short_text;
      break;
    case 'E':
    case 'D':
      bound = r * real_text();
      break;
    case 'C':
    case 'M':
      bound = 2 * r * real_text();
      break;
    case 'L':
      bound = r * (std::max<std::int64_t>(c.disp_width < 0 ? -std::int64_t{c.disp_width} : c.disp_width, 1) + 1);
      break;
    case 'X':
      bound = (r + 7) / 8 * 8 + 1;
      break;
    default:
      bound = 0;
  }
  if (bound < 0) bound = 0;
  return std::min<std::int64_t>(bound, cell_text_limit);
}

namespace {

// Writers of one type each, for columns whose text always fits its room;
// see writer_for.
template <typename Int, Int (*read)(stream&)>
char* identity_integer_cell(stream& in, const column_desc& c, char* p, char*) {
  // With tscal 1 and tzero 0 the scaled value is the integer itself.
  for (std::int32_t i = 0; i < c.count; ++i) {
    p = std::to_chars(p, p + fmt::short_text, read(in)).ptr;
    *p++ = ' ';
  }
  return p;
}

std::int32_t read_short(stream& in) { return fits::freadshort(in); }
std::int32_t read_long(stream& in) { return fits::freadlong(in); }
std::uint32_t read_byte(stream& in) {
  unsigned char s[1];
  return fits::value_bytes(in, s, 1)[0];
}

template <double (*read)(stream&)>
char* real_cell(stream& in, const column_desc& c, char* p, char*) {
  for (std::int32_t i = 0; i < c.count; ++i) {
    double v = read(in);
    p = fmt::write_g16(p, scaled(v, c));
    *p++ = ' ';
  }
  return p;
}

char* any_cell(stream& in, const column_desc& c, char* p, char* limit) { return format_cell(in, c, p, limit, true); }

}  // namespace

cell_writer writer_for(const column_desc& c) {
  // A bound below the cut means every element had its full room.
  if (c.count < 1 || cell_text_bound(c) >= cell_text_limit) return any_cell;
  const bool identity = c.tscal == 1.0 && c.tzero == 0.0;
  switch (c.type) {
    case 'I':
      return identity ? identity_integer_cell<std::int32_t, read_short> : any_cell;
    case 'J':
      return identity ? identity_integer_cell<std::int32_t, read_long> : any_cell;
    case 'B':
      return identity ? identity_integer_cell<std::uint32_t, read_byte> : any_cell;
    case 'E':
      return c.disp_width == 0 ? real_cell<fits::freadfloat> : any_cell;
    case 'D':
      return c.disp_width == 0 ? real_cell<fits::freaddouble> : any_cell;
    default:
      return any_cell;
  }
}

void read_cell(stream& in, const column_desc& c, int n, cell_buffers& cells, bool writing) {
  char* const start = cells.data(n);
  char* const end = format_cell(in, c, start, start + cell_text_limit, writing);
  // A cell that no step writes keeps its cleared, empty text.
  if (writing && end != start) {
    *end = '\0';
    cells.set_length(n, static_cast<int>(end - start));
  }
}

}  // namespace orvex::decoder
