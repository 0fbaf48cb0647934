// Image pixels as text: the stored values of an image (BITPIX 8, 16, 32, 64,
// -32 or -64, big-endian) turned into the texts --full writes for them,
// each followed by one blank. This is the one description of the pixel
// types and their value rules; the row formatter consults it for every
// image line, whatever holds the line's bytes.
//
// The rules, per stored value v of an image with BSCALE, BZERO and BLANK:
// - BITPIX 8 is unsigned (0 to 255), 16, 32 and 64 are signed.
// - An integer v equal to BLANK is written "nan" (before any scaling).
// - Integers with BSCALE 1 and an integral BZERO (0 included, and the
//   unsigned conventions 32768, 2147483648 and 9223372036854775808): the
//   exact integer v + BZERO, of whatever size (BZERO below 2^125 in
//   magnitude; a larger one is scaled like the rest).
// - Floating values with BSCALE 1 and BZERO 0: the value itself (the single
//   widened to double), written as a floating cell without TDISP ("%.16g").
// - Everything else: v x BSCALE + BZERO in double precision, a separate
//   multiply and add, written the same way.
// - A NaN, of either sign, is written "nan"; infinities "inf" and "-inf".
// BLANK plays no part in floating images, whose undefined pixels are NaNs.
// In the exact number form (--exact) every floating text is the shortest
// that reads back to the value: a BITPIX -32 value as stored is the
// shortest text of its float, every other one that of the double.
#pragma once

#include <cstdint>
#include <optional>

#include "decoder/binary_cells.h"
#include "decoder/text_buffer.h"
#include "fits/data_unit.h"

namespace orvex::decoder {

using fits::known_bitpix;

class pixel_rules {
 public:
  // No pixel type: writes nothing. Only for a formatter that is no image's.
  pixel_rules() = default;
  // The rules of an image of type `bitpix` (a known one) with these values.
  pixel_rules(int bitpix, double bscale, double bzero, std::optional<std::int64_t> blank);

  int bitpix() const { return bitpix_; }
  // Bytes of one stored value: |BITPIX| / 8.
  int bytes() const { return bitpix_ < 0 ? -bitpix_ / 8 : bitpix_ / 8; }

  // Appends the texts of the `count` stored values at `values` (count x
  // bytes() bytes) to `text`, each followed by `separator` (no value's
  // text holds a blank or a comma). Room is asked for a run of values at a
  // time, so the text grows only as it is written, however long the line.
  void write(const unsigned char* values, std::int64_t count, text_buffer& text,
             number_form numbers = number_form::printf_like, char separator = ' ') const;

 private:
  enum class form {
    stored,  // integers written as stored, floating values as read
    offset,  // integers: the exact v + BZERO
    scaled,  // v x BSCALE + BZERO in double
  };

  template <int size, bool exact>
  char* integers(const unsigned char* b, std::int64_t count, char separator, char* p) const;
  template <int size, bool exact>
  char* reals(const unsigned char* b, std::int64_t count, char separator, char* p) const;
  template <bool exact>
  char* values(const unsigned char* b, std::int64_t count, char separator, char* p) const;

  int bitpix_ = 0;
  form form_ = form::stored;
  double bscale_ = 1.0;
  double bzero_ = 0.0;
  __int128 offset_ = 0;
  bool has_blank_ = false;
  std::int64_t blank_ = 0;
};

}  // namespace orvex::decoder
