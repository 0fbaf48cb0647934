// Images as text lines, for --full: the primary data unit or an IMAGE
// extension written after its comment lines as one line per NAXIS1 stored
// values, every line of every plane in file order (NAXIS = 3 gives NAXIS2 x
// NAXIS3 lines, with nothing between the planes), so that any image reads
// back as a NAXIS1-wide array.
//
// The shape comes from the header values as the data-unit collector reads
// them (fits/data_unit.h) and the values from BSCALE, BZERO and BLANK
// (fits/image_values.h); the lines are rows of the row loop
// (decoder/row_output.h) formatted by an image line formatter
// (decoder/row_format.h), one line at a time.
#pragma once

#include <cstdint>

#include "decoder/image_pixels.h"
#include "fits/data_unit.h"
#include "fits/image_values.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::decoder {

struct image_layout {
  enum class kind {
    none,            // no image lines: NAXIS missing or 0, no BITPIX, an
                     // axis missing, negative or 0 (no pixel at all)
    image,           // lines of values
    unknown_bitpix,  // a BITPIX that is no FITS pixel type
  };
  kind what = kind::none;
  std::int64_t bitpix = 0;    // as the header gives it
  std::int64_t per_line = 0;  // NAXIS1
  // NAXIS2 x ... x NAXISm (1 for NAXIS = 1), at most INT64_MAX: a
  // product that overflows declares more lines than any stream holds.
  std::int64_t lines = 0;
  pixel_rules pixels;
};

// What the header of an image (its data-unit values and image values)
// declares. Random groups are no image: their NAXIS1 is 0.
image_layout layout_of(const fits::data_unit& unit, const fits::image_values& values);

// Writes the image's lines from `in` (at its first data byte) into `file`
// (when not null) and the progress figures, counted in lines, on standard
// output; a written image that the stream ends inside keeps its complete
// lines and is reported as cut. An unknown BITPIX reads nothing and is
// reported for a written part (its data is then passed over by the scan);
// no image reads nothing and says nothing. A part that is not written
// reads its lines all the same and writes none.
void write_image(fits::stream& in, util::output_file* file, const image_layout& image);

// Without --full an image is written only when it is a 16-bit
// two-dimensional primary image; for a written part whose image of lines
// (`image`, of the header `unit`) is left out, prints the note "an image of
// BITPIX b and NAXIS k is written only with --full" for the current part
// on standard error. A note marks no failure: the run did what it was
// asked to do.
void note_image_left_out(const image_layout& image, const fits::data_unit& unit);

}  // namespace orvex::decoder
