// What ECSV says of a table's written columns: each one's datatype (the
// type astropy gives a FITS column of its TFORMn, TSCALn and TZEROn), its
// JSON subtype and axes for vector and variable-length array cells, its
// unit and description, and the header that goes before the records.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "decoder/row_format.h"

namespace orvex::decoder {

// The ECSV layout of a binary table whose lines hold the cells of
// `selected` (column numbers of the column table, in output order), or of
// an ASCII table (every column in column order), whose header cards are
// `cards` (whole 80-byte cards after XTENSION, up to END).
std::shared_ptr<const ecsv_layout> binary_ecsv_layout(const std::vector<int>& selected, std::string_view cards);
std::shared_ptr<const ecsv_layout> ascii_ecsv_layout(int tfields, std::string_view cards);

}  // namespace orvex::decoder
