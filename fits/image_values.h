// What a header says about the values of its image: BSCALE, BZERO and
// BLANK, and whether an extension is an image at all (XTENSION = 'IMAGE').
// Read for --full, which writes the images of every kind.
//
// Like the data-unit collector (fits/data_unit.h), this is an extra
// observer that is shown every card of one header next to the recognisers
// and changes nothing they do. It reads cards written by the FITS rules
// only (fits/card_value.h); a card that breaks them, or whose value is not
// a number of the right kind, counts for nothing, and the default stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvex::fits {

class image_values {
 public:
  // Takes note of one header card (trimmed or not). Cards other than
  // BSCALE, BZERO and BLANK are passed over; a keyword given twice counts
  // with its last value.
  void observe(std::string_view card);

  // A physical value is the stored value x BSCALE + BZERO; 1 and 0 when
  // the header gives none (a real or an integer value).
  double bscale() const { return bscale_; }
  double bzero() const { return bzero_; }
  // The stored integer that marks an undefined pixel of an integer image;
  // std::nullopt without a BLANK card (an integer value), saturated at the
  // 64-bit limits.
  std::optional<std::int64_t> blank() const { return blank_; }

 private:
  double bscale_ = 1.0;
  double bzero_ = 0.0;
  std::optional<std::int64_t> blank_;
};

// Whether the XTENSION card (trimmed or not) names an image extension: the
// string value 'IMAGE', trailing blanks aside, after "=" in column 9.
bool is_image_extension(std::string_view xtension_card);

}  // namespace orvex::fits
