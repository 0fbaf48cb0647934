// ASCII-table rows: each column a text field at the byte position its TBCOLn
// gives, read as a number, scaled and written; every row line holds all
// columns 1 to TFIELDS in column order, separated by one blank.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "decoder/extension_header.h"
#include "decoder/text_buffer.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::decoder {

// Appends the text of column `c`'s field of `row` to `text` (unless it is
// null); `row` must be followed by a NUL, where every field read ends at
// the latest. An unhandled type writes nothing and appends "Unknown type
// %c\n" to `messages`. A field position outside the row reads nothing and
// yields the value 0.
//
// The types handled are I, J and B (integers), E and D (floating), and,
// with `every_field` (--full), F (floating, like E and D) and A: the w
// characters of the field as they stand in the row, up to a zero byte,
// padded with blanks to w where the row ends first (padding stops at
// format::widest_display characters, as a display width's does). In the
// exact number form a floating field is the shortest text of its value
// (itself under the identity scaling, else v * TSCAL + TZERO), TDISPn not
// applied; a scaled integer field is written as integer_scaling writes it.
void ascii_cell(std::string_view row, const column_desc& c, text_buffer* text, std::string& messages,
                bool every_field = false, number_form form = number_form::printf_like);

// Decodes the rows of an ASCII table from `in` (at the first data byte) and
// writes them to `file` when not null; with the run setting `full`, its A
// and F fields too. Stops at the end of the stream: a
// row the stream did not deliver in full is not written. Returns the
// number of rows done, for the final progress figure.
std::int64_t write_ascii_rows(fits::stream& in, util::output_file* file, const extension_header& h);

}  // namespace orvex::decoder
