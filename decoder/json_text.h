// JSON arrays of cell elements, as ECSV writes the cells of vector and
// variable-length array columns: "[1,2,3]", nested by the cell's axes,
// "null" for a null element, and the non-finite values as Python's json
// module reads them (NaN, Infinity, -Infinity).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "decoder/text_buffer.h"

namespace orvex::decoder {

// Rewrites the element texts that stand in `text` from `start` on, each
// followed by one blank (as write_cell writes them; "nan", "inf", "-inf"
// become NaN, Infinity, -Infinity), as one JSON array. With `shape` (the
// axes, outermost first) whose product times `group` is the number of
// texts, the array is nested by it, each element a `group` of texts (2:
// the real and imaginary parts of a complex one, as an innermost axis);
// otherwise it is flat. No texts give "[]". A "-0" becomes "-0.0", which
// JSON readers keep as a negative zero.
void elements_as_json(text_buffer& text, std::size_t start, std::span<const std::int64_t> shape, int group = 1);

// Appends `s` as a JSON string token, followed by one blank (so that
// elements_as_json takes it as one text): its quotes and backslashes
// escaped, every other byte outside printable ASCII as \u00XX.
void put_json_string(text_buffer& text, std::string_view s);

}  // namespace orvex::decoder
