#include "decoder/image_pixels.h"

#include <cmath>
#include <cstring>

#include "decoder/cell_format.h"
#include "fits/big_endian.h"

namespace orvex::decoder {
namespace {

namespace fmt = format;

// Room for one value's text and its blank: a 128-bit integer has at most 39
// digits and a sign, and put_g16 asks for 32 bytes.
constexpr std::size_t value_room = 48;
// Values formatted per request for room.
constexpr std::int64_t run_values = 4096;

// BZERO values whose sum with any stored 64-bit integer stays well inside
// the 128-bit range.
constexpr double exact_bzero_limit = 0x1p125;

template <int size>
inline double stored_real(const unsigned char* b) {
  if constexpr (size == 4) return fits::float_at(b);
  return fits::double_at(b);
}

inline char* put_nan(char* p) {
  std::memcpy(p, "nan", 3);
  return p + 3;
}

// A floating value as a floating cell without TDISP writes it, but "nan"
// for every NaN: numpy reads that as a missing value, and the sign of a
// NaN means nothing.
// Exact: the shortest text of the double, or of the float a BITPIX -32
// value is.
template <bool exact>
inline char* put_real(char* p, double v) {
  if (std::isnan(v)) return put_nan(p);
  if constexpr (exact) return fmt::put_shortest(p, v);
  return fmt::put_g16(p, v);
}
template <bool exact>
inline char* put_single(char* p, double v) {
  if constexpr (exact) return std::isnan(v) ? put_nan(p) : fmt::put_shortest(p, static_cast<float>(v));
  return put_real<false>(p, v);
}

// The decimal text of a 128-bit integer (at most 2^126 in magnitude).
char* put_wide(char* p, __int128 v) {
  if (v >= INT64_MIN && v <= INT64_MAX) return fmt::put_integer(p, static_cast<std::int64_t>(v));
  if (v > 0 && v <= static_cast<__int128>(UINT64_MAX)) return fmt::put_integer(p, static_cast<std::uint64_t>(v));
  if (v < 0) *p++ = '-';
  const unsigned __int128 magnitude = v < 0 ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  constexpr std::uint64_t ten19 = 10'000'000'000'000'000'000ULL;
  const auto high = static_cast<std::uint64_t>(magnitude / ten19);
  const auto low = static_cast<std::uint64_t>(magnitude % ten19);
  p = fmt::put_integer(p, high);
  char digits[fmt::short_text];
  const char* end = fmt::put_integer(digits, low);
  const std::size_t n = static_cast<std::size_t>(end - digits);
  std::memset(p, '0', 19 - n);
  std::memcpy(p + 19 - n, digits, n);
  return p + 19;
}

}  // namespace

pixel_rules::pixel_rules(int bitpix, double bscale, double bzero, std::optional<std::int64_t> blank)
    : bitpix_(bitpix), bscale_(bscale), bzero_(bzero) {
  const bool integer = bitpix > 0;
  if (integer && blank) {
    has_blank_ = true;
    blank_ = *blank;
  }
  if (bscale == 1.0 && bzero == 0.0) {
    form_ = form::stored;
  } else if (integer && bscale == 1.0 && std::trunc(bzero) == bzero && std::fabs(bzero) < exact_bzero_limit) {
    form_ = form::offset;
    offset_ = static_cast<__int128>(bzero);
  } else {
    form_ = form::scaled;
  }
}

template <int size, bool exact>
char* pixel_rules::integers(const unsigned char* b, std::int64_t count, char separator, char* p) const {
  switch (form_) {
    case form::stored:
      for (std::int64_t i = 0; i < count; ++i, b += size) {
        const std::int64_t v = fits::integer_at<size>(b);
        p = has_blank_ && v == blank_ ? put_nan(p) : fmt::put_integer(p, v);
        *p++ = separator;
      }
      break;
    case form::offset:
      for (std::int64_t i = 0; i < count; ++i, b += size) {
        const std::int64_t v = fits::integer_at<size>(b);
        p = has_blank_ && v == blank_ ? put_nan(p) : put_wide(p, v + offset_);
        *p++ = separator;
      }
      break;
    case form::scaled:
      for (std::int64_t i = 0; i < count; ++i, b += size) {
        const std::int64_t v = fits::integer_at<size>(b);
        if (has_blank_ && v == blank_) {
          p = put_nan(p);
        } else {
          // A separate multiply and add, rounded as written (the build
          // forbids contracting them to an FMA).
          const double product = static_cast<double>(v) * bscale_;
          p = put_real<exact>(p, product + bzero_);
        }
        *p++ = separator;
      }
      break;
  }
  return p;
}

template <int size, bool exact>
char* pixel_rules::reals(const unsigned char* b, std::int64_t count, char separator, char* p) const {
  if (form_ == form::stored) {
    for (std::int64_t i = 0; i < count; ++i, b += size) {
      p = size == 4 ? put_single<exact>(p, stored_real<size>(b)) : put_real<exact>(p, stored_real<size>(b));
      *p++ = separator;
    }
  } else {
    for (std::int64_t i = 0; i < count; ++i, b += size) {
      const double product = stored_real<size>(b) * bscale_;
      p = put_real<exact>(p, product + bzero_);
      *p++ = separator;
    }
  }
  return p;
}

template <bool exact>
char* pixel_rules::values(const unsigned char* b, std::int64_t n, char separator, char* p) const {
  switch (bitpix_) {
    case 8:
      return integers<1, exact>(b, n, separator, p);
    case 16:
      return integers<2, exact>(b, n, separator, p);
    case 32:
      return integers<4, exact>(b, n, separator, p);
    case 64:
      return integers<8, exact>(b, n, separator, p);
    case -32:
      return reals<4, exact>(b, n, separator, p);
    case -64:
      return reals<8, exact>(b, n, separator, p);
    default:
      return p;
  }
}

void pixel_rules::write(const unsigned char* values_at, std::int64_t count, text_buffer& text,
                        number_form numbers, char separator) const {
  if (!known_bitpix(bitpix_)) return;
  const int size = bytes();
  for (std::int64_t done = 0; done < count;) {
    const std::int64_t n = count - done < run_values ? count - done : run_values;
    const unsigned char* b = values_at + done * size;
    char* p = text.room(static_cast<std::size_t>(n) * value_room);
    p = numbers == number_form::exact ? values<true>(b, n, separator, p) : values<false>(b, n, separator, p);
    text.commit(p);
    done += n;
  }
}

}  // namespace orvex::decoder
