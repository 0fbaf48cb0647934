// Tile-compressed images under --full: a binary table with ZIMAGE = T is
// written as the image it holds, exactly as an IMAGE extension of that
// image is written (decoder/image_lines.h): lines of ZNAXIS1 values, the
// image's BSCALE, BZERO and BLANK applied, undefined pixels "nan".
//
// The tiles are a source of image lines: the table's data unit is held as
// far as the stream delivers it, each band of tiles (image/tile_grid.h) is
// decoded into the big-endian values of its lines, and those lines go
// through the row loop and the image-line formatter like any image's.
#pragma once

#include "decoder/extension_header.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::image {

// Whether the extension is a tile-compressed image: ZIMAGE = T, ZBITPIX
// and ZNAXIS in a binary table (no TBCOL1).
bool is_compressed_image(const decoder::extension_header& h);

// Writes the image of the table whose header is `h` from `in` (at its
// first data byte) into `file` (when not null), with the progress figures
// in image lines. A tile that cannot be decoded is written as "nan" and the
// part's first such tile is reported once; a table that the stream ended
// inside keeps the lines of the bands that arrived whole and is reported
// as a cut image. On return the stream stands after the data unit (or at
// the end of the stream). A part that is not written reads its data
// all the same and writes nothing.
void write_compressed_image(fits::stream& in, util::output_file* file, const decoder::extension_header& h);

}  // namespace orvex::image
