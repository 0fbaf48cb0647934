// The header of one extension: the cards after XTENSION up to END, read
// into the column table and a few header values, each copied into the
// output file as a "!" comment line.
#pragma once

#include <cstdint>
#include <string>

#include "fits/data_unit.h"
#include "fits/header_names.h"
#include "fits/image_values.h"
#include "fits/stream.h"
#include "image/tile_keywords.h"
#include "util/output_file.h"

namespace orvex::decoder {

// The header values of one extension; all 0 and empty when no card sets them.
struct extension_header {
  std::int32_t naxis = 0;
  std::int32_t naxis1 = 0;   // bytes per row
  std::int32_t naxis2 = 0;   // rows
  std::int32_t tfields = 0;  // columns; kept within 0 to 199
  char telescope[9] = {};
  char instrument[9] = {};
  char object[9] = {};
  // Whether the header ended with its END card; false when the stream
  // ended inside it, and the table's data is then missing altogether.
  bool complete = false;
  // The data unit as its cards declare it, read as 64-bit values beside the
  // 32-bit fields above (which keep what the recognisers make of them):
  // its size, PCOUNT, THEAP and the heap offset.
  fits::data_unit unit{fits::data_unit::header_kind::extension};
  // BSCALE, BZERO and BLANK, for an image extension under --full.
  fits::image_values image;
  // EXTNAME, EXTVER and the columns' whole TTYPEn values and TNULLn.
  fits::header_names names;
  // The Z keywords of a tile-compressed image (ZIMAGE = T), for --full.
  image::tile_keywords tiles;
  // CHECKSUM and DATASUM.
  fits::checksum_cards sums;
  // Under --ecsv, the header's whole cards after XTENSION, END included,
  // for the ECSV header; empty otherwise.
  std::string cards;
  // The _fpos of the data's first byte: the block boundary after the END
  // card (or after the last card, when the stream ended inside the header),
  // also when the stream ended before it.
  std::int64_t data_start = 0;
};

// Reads the header cards of `in` into `table` (reset first) and the values
// it returns, up to the END card or the end of the stream, and skips to the
// block boundary where the data begins. Copies each card into `file` (when
// not null and no_comments is clear), echoes cards and keywords on standard
// output when debug is set, and refills myvec from the TTYPEn cards when
// flag_all is set. A column number above 199 ends the process through
// check_formnr; a negative one makes its card count for nothing.
extension_header read_extension_header(fits::stream& in, util::output_file* file);

// Applies one header card (already trimmed) to `table` and `h`. Returns
// true when a recogniser took the card; false for END and every other card.
bool apply_card(const char* card, extension_header& h);

}  // namespace orvex::decoder
