// The header of an ECSV 1.0 file (astropy's Enhanced CSV): the "# %ECSV 1.0"
// line and the YAML that names each column's type, unit and description
// and carries the part's header keywords, so that a table read back into
// astropy, pandas or TOPCAT keeps what its FITS header said of it.
//
// The module knows YAML and the FITS header cards, not how rows are
// written: the caller says what each written column is (decoder/ecsv_columns
// builds that from the column table) and writes the records after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::ecsv {

// One written column, as the `datatype:` list describes it.
struct column {
  std::string name;
  std::string datatype;     // bool, int8 ... uint64, float32, float64, complex64/128, string
  std::string subtype;      // "" or the type of the JSON cells: "float32[3]", "int16[null]"
  std::string unit;         // "" when the column has none
  std::string description;  // "" when the column has none
};

// The header, each line a "# " comment and a line feed: "# %ECSV 1.0",
// "# ---", the `datatype:` list of `columns` in output order, "delimiter:
// ','", and `meta:`, an ordered map of the keywords of `cards` (whole
// 80-byte cards of one header, up to its END card) that hold a value,
// save those that describe the FITS storage (XTENSION, BITPIX, NAXISn,
// PCOUNT, GCOUNT, TFIELDS, THEAP, the column keywords TTYPEn ... TDIMn
// that `datatype:` already carries, CHECKSUM, DATASUM): logicals as true
// and false, integers and reals as YAML numbers, strings (a CONTINUE'd long
// string joined) as YAML strings. A keyword given twice keeps its first
// value. The names record is not part of it.
std::string header_text(const std::vector<column>& columns, std::string_view cards);

// What the cards of column `n` say beyond what the row formatter reads:
// its whole TUNITn, the comment of its TTYPEn card and the axes of its
// TDIMn (in the order TDIMn lists them, the fastest first; empty when
// there is no valid TDIMn).
struct column_cards {
  std::string unit;
  std::string description;
  std::vector<std::int64_t> tdim;
};
column_cards cards_of_column(std::string_view cards, int n);

// `text` as a YAML scalar of a flow map: as it stands when YAML reads it
// back as that very string, else quoted.
std::string yaml_string(std::string_view text);

}  // namespace orvex::ecsv
