// What the header of a tile-compressed image says about the image it holds
// (the FITS tiled image convention): a binary table with ZIMAGE = T whose
// rows are the image's tiles, each compressed on its own.
//
// Like the data-unit collector (fits/data_unit.h), this is an observer that
// is shown every card of one extension header and changes nothing the
// table's recognisers do. It reads cards written by the FITS rules only
// (fits/card_value.h); a card that breaks them, or whose value is not of
// the keyword's kind, counts for nothing and the default stands. A keyword
// given twice counts with its last value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::image {

// The convention's compression algorithms (ZCMPTYPE).
enum class codec { unknown, rice, gzip1, gzip2, plio, hcompress, none };

// How floating values were turned into integers before compression
// (ZQUANTIZ): not at all (NONE, lossless floats), or by ZSCALE and ZZERO
// without or with one of the two subtractive dithers.
enum class quantizing { none, no_dither, dither1, dither2 };

class tile_keywords {
 public:
  // Takes note of one header card (trimmed or not).
  void observe(std::string_view card);

  // ZIMAGE = T.
  bool compressed_image() const { return zimage_; }

  // ZBITPIX and ZNAXIS as given; std::nullopt without their cards.
  std::optional<std::int64_t> zbitpix() const { return zbitpix_; }
  std::optional<std::int64_t> znaxis() const { return znaxis_; }
  // ZNAXISn (n from 1); std::nullopt without its card.
  std::optional<std::int64_t> znaxis_n(int n) const;
  // ZTILEn with its default: ZTILE1 = ZNAXIS1 and every other axis 1.
  std::optional<std::int64_t> ztile_n(int n) const;

  // ZCMPTYPE: the algorithm, and its name as the card gives it (for
  // reports and the listing).
  codec algorithm() const;
  const std::string& algorithm_name() const { return zcmptype_; }

  // ZVALi of the ZNAMEi that names `parameter` (BLOCKSIZE, BYTEPIX,
  // SMOOTH, SCALE); std::nullopt when no pair gives it as an integer.
  std::optional<std::int64_t> parameter(std::string_view name) const;

  // ZQUANTIZ; without the card a quantized image was not dithered.
  quantizing quantize_method() const;
  const std::string& quantize_name() const { return zquantiz_; }
  // Whether ZQUANTIZ names a method this reader does not know.
  bool unknown_quantize_method() const;
  // ZDITHER0, 1 when absent (the first offset of the sequence).
  std::int64_t zdither0() const { return zdither0_.value_or(1); }

  // The keyword forms of the tile values; a column of the same name, when
  // the table has one, gives a value per tile instead.
  std::optional<double> zscale() const { return zscale_; }
  std::optional<double> zzero() const { return zzero_; }
  std::optional<std::int64_t> zblank() const { return zblank_; }

 private:
  bool zimage_ = false;
  std::optional<std::int64_t> zbitpix_;
  std::optional<std::int64_t> znaxis_;
  std::vector<std::optional<std::int64_t>> znaxes_;  // [n - 1]
  std::vector<std::optional<std::int64_t>> ztiles_;  // [n - 1]
  std::string zcmptype_;
  std::string zquantiz_;
  std::vector<std::string> znames_;                   // [i - 1]
  std::vector<std::optional<std::int64_t>> zvals_;    // [i - 1]
  std::optional<std::int64_t> zdither0_;
  std::optional<double> zscale_;
  std::optional<double> zzero_;
  std::optional<std::int64_t> zblank_;
};

// The text of a FITS string value ('...' with '' for a quote), its
// trailing blanks dropped; std::nullopt when the value is no string.
std::optional<std::string> string_value(std::string_view value);

}  // namespace orvex::image
