// The size of a header's data unit, worked out from its cards by the FITS
// rules, so that the driver can tell a data unit that the stream cut short
// from one that arrived whole, and the table decoder can find a heap.
//
// The collector is an extra observer: it is shown every card of one header
// (primary or extension) next to the recognisers that fill the column table
// and the image values, and it changes nothing they do. It reads its own
// values, as 64-bit integers, from cards written by the FITS rules
// (fits/card_value.h: value_card, integer_value, logical_value): the
// keyword in columns 1-8, "=" in column 9, an integer (or for GROUPS a
// logical) value after it, then blanks or a "/" comment. A card that breaks
// these rules, or whose value is no integer, counts for nothing here. The
// images of --full take their shape from the same values.
//
// Hostile headers hold any numbers. Values beyond the 64-bit range read as
// its limit, and every product and sum saturates at INT64_MAX: a size never
// overflows, it only becomes too large for any stream to hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fits/checksum.h"

namespace orvex::fits {

// The most axes a header may give: NAXIS is 0 to 999.
inline constexpr std::int64_t max_axes = 999;

// Whether `bitpix` is one of the FITS pixel types 8, 16, 32, 64, -32, -64.
constexpr bool known_bitpix(std::int64_t bitpix) {
  return bitpix == 8 || bitpix == 16 || bitpix == 32 || bitpix == 64 || bitpix == -32 || bitpix == -64;
}

class data_unit {
 public:
  enum class header_kind { primary, extension };

  explicit data_unit(header_kind kind = header_kind::extension) : kind_(kind) {}

  // Takes note of one header card (trimmed or not, at most 80 characters).
  // Cards other than BITPIX, NAXIS, NAXISn, PCOUNT, GCOUNT, THEAP and GROUPS
  // are passed over, END included. A keyword given twice counts with its
  // last value, as it does for the recognisers.
  void observe(std::string_view card);

  // The declared size of the data unit in bytes, without its padding:
  // |BITPIX| / 8 x GCOUNT x (PCOUNT + NAXIS1 x ... x NAXISm), GCOUNT 1 and
  // PCOUNT 0 when absent; 0 when NAXIS is 0. In a primary header PCOUNT and
  // GCOUNT count only for random groups (GROUPS = T and NAXIS1 = 0), whose
  // product leaves NAXIS1 out; a plain primary array is |BITPIX| / 8 x
  // NAXIS1 x ... x NAXISm. Saturated at INT64_MAX.
  //
  // std::nullopt when the header defines no size: no BITPIX card or one
  // other than 8, 16, 32, 64, -32, -64; no NAXIS card or one outside 0 to
  // 999; an axis of 1 to NAXIS without its card, or a negative one; a
  // negative PCOUNT or GCOUNT where they count. Nobody can tell where
  // such a data unit ends.
  std::optional<std::int64_t> size() const;

  // The heap's offset from the first byte of the data: THEAP when the header
  // gives one, else NAXIS1 x NAXIS2 (a negative axis counting as 0),
  // saturated at INT64_MAX.
  std::int64_t heap_offset() const;

  // Where a binary table's heap ends, from the first byte of the data: the
  // end of its data unit, NAXIS1 x NAXIS2 + PCOUNT (the gap before THEAP
  // is part of PCOUNT), whatever BITPIX and GCOUNT say; negative values
  // count as 0, and the sum saturates at INT64_MAX.
  std::int64_t heap_end() const;

  // The values as read, saturated to the 64-bit range.
  std::int64_t pcount() const { return pcount_; }  // 0 when absent
  std::int64_t gcount() const { return gcount_; }  // 1 when absent
  // THEAP; -1 when absent. A negative THEAP cannot place a heap and reads
  // as absent, so that the default applies.
  std::int64_t theap() const { return theap_; }
  // NAXISn, 0 when absent (as the table decoder reads NAXIS1 and NAXIS2).
  std::int64_t naxis(int n) const;
  // BITPIX, NAXIS and NAXISn as read; std::nullopt where no card gave them.
  std::optional<std::int64_t> bitpix() const { return bitpix_; }
  std::optional<std::int64_t> axis_count() const { return naxis_; }
  std::optional<std::int64_t> axis(int n) const;
  std::int64_t naxis1() const { return naxis(1); }
  std::int64_t naxis2() const { return naxis(2); }

 private:
  header_kind kind_;
  std::optional<std::int64_t> bitpix_;
  std::optional<std::int64_t> naxis_;
  // axes_[n - 1] holds NAXISn; std::nullopt for an axis without a card.
  std::vector<std::optional<std::int64_t>> axes_;
  std::int64_t pcount_ = 0;
  std::int64_t gcount_ = 1;
  std::int64_t theap_ = -1;
  bool groups_ = false;
};

// Where one part's data unit stands in its stream: the _fpos of its first
// byte, and its declared size; no size when the header defines none or when
// the stream ended inside the header. For the checksums, the header's
// CHECKSUM and DATASUM cards and the stream's running sum at the first
// byte (none when it could not be taken).
struct data_span {
  std::int64_t start = 0;
  std::optional<std::int64_t> size;
  checksum_cards cards;
  std::optional<std::uint32_t> start_sum;

  // The _fpos after the data unit's padding; none without a size, or for
  // a size that no stream can hold.
  std::optional<std::int64_t> end() const {
    constexpr std::int64_t block = 2880;
    if (!size || *size > INT64_MAX - block - start) return std::nullopt;
    return start + (*size + block - 1) / block * block;
  }
};

// The bytes of a data unit of `size` bytes whose first byte stands at
// `start` (in _fpos terms) that a stream of `end` bytes delivered: from 0
// (the stream ended before it) to `size` (it arrived whole).
constexpr std::int64_t delivered_bytes(std::int64_t start, std::int64_t size, std::int64_t end) {
  if (end <= start) return 0;
  return end - start < size ? end - start : size;
}

}  // namespace orvex::fits
