// The table extension decoder: one call handles one extension, from the card
// after its XTENSION card to the end of its data rows.
#pragma once

#include <string_view>

#include "fits/data_unit.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::decoder {

// Reads the extension header of `in` (positioned just after the XTENSION
// card) into the column table, copies its cards into `file` as "!" comment
// lines, skips to the data, prints the telescope, instrument and object
// reports and writes the heading lines; then decodes the rows of a binary
// or ASCII table into `file`. With a null `file` the extension is read all
// the same, so that the stream moves on, and every message on standard
// output and standard error is printed as usual; nothing is written.
//
// On return the stream stands after the last data row (or at the first byte
// of the data when the table has none), never beyond the end of the
// extension's last block. A stream that ends inside the rows or inside the
// header is reported through orvex::failure (for a part that is written),
// as a cut of the part. A column number above 199 prints "Error: To many
// variables" and ends the process with status 1.
//
// When `span` is not null it receives where the extension's data unit
// starts and the size its header declares (no size when the stream ended
// inside the header), so that the driver can tell at the end of the stream
// whether the data unit arrived whole, and the header's checksum cards with
// the stream's running sum at the data's first byte, for the checks the
// driver makes once the stream has passed the data unit's end.
//
// `xtension` is the extension's XTENSION card. With the run setting `full`,
// an image extension (XTENSION = 'IMAGE') is written as image lines
// (decoder/image_lines.h) instead of the rows of a table without columns.
// Returns 0.
int decode(fits::stream& in, util::output_file* file, fits::data_span* span = nullptr,
           std::string_view xtension = {});

}  // namespace orvex::decoder
