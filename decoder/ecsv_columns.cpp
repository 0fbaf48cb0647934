#include "decoder/ecsv_columns.h"

#include <string>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "ecsv/ecsv_header.h"
#include "util/saturating.h"

namespace orvex::decoder {
namespace {

// The type of one element of `letter` under the column's scaling: the
// unsigned and signed-byte conventions of TZEROn keep an integer type,
// every other scaling makes the values doubles.
std::string element_type(const column_desc& c, char letter) {
  const bool identity = identity_scaling(c);
  const bool unit_scale = c.tscal == 1.0;
  switch (letter) {
    case 'L':
    case 'X':
      return "bool";
    case 'B':
      if (identity) return "uint8";
      return unit_scale && c.tzero == -128.0 ? "int8" : "float64";
    case 'I':
      if (identity) return "int16";
      return unit_scale && c.tzero == 32768.0 ? "uint16" : "float64";
    case 'J':
      if (identity) return "int32";
      return unit_scale && c.tzero == 2147483648.0 ? "uint32" : "float64";
    case 'K':
      if (identity) return "int64";
      return unit_scale && c.tzero == 9223372036854775808.0 ? "uint64" : "float64";
    case 'E':
      return identity ? "float32" : "float64";
    case 'D':
      return "float64";
    case 'C':
      return identity ? "complex64" : "complex128";
    case 'M':
      return "complex128";
    default:
      return "string";
  }
}

std::string axes_text(const std::vector<std::int64_t>& shape) {
  std::string text;
  for (std::int64_t a : shape) text += (text.empty() ? "" : ",") + std::to_string(a);
  return text;
}

// The cell form and datatype of column `n`, its TDIMn axes `tdim`.
void describe(const column_desc& c, const std::vector<std::int64_t>& tdim, ecsv::column& out, ecsv_cell& cell) {
  const bool array = (c.type == 'P' || c.type == 'Q') && c.count > 0;
  if (array) {
    const char e = c.array_type;
    const bool readable = known_letter(e) && e != 'P' && e != 'Q' && e != 'A' && e != 'C' && e != 'M';
    out.datatype = "string";
    // Strings, complex numbers and unknown letters: the text of the cell.
    if (!readable) return;
    out.subtype = element_type(c, e) + "[null]";
    cell.what = ecsv_cell::kind::json;
    return;
  }
  const char t = c.type;
  if (t == 'A') {
    out.datatype = "string";
    if (c.string_width > 0 && c.string_width < c.count) {
      // Strings of TDIMn's first axis; the others, slowest first, shape them.
      cell.what = ecsv_cell::kind::json;
      cell.string_width = c.string_width;
      for (std::size_t k = tdim.size(); k-- > 1;) cell.shape.push_back(tdim[k]);
      if (cell.shape.empty()) cell.shape.push_back(c.count / c.string_width);
      out.subtype = "string[" + axes_text(cell.shape) + "]";
    }
    return;
  }
  out.datatype = element_type(c, t);
  const bool vector = c.count > 1 || t == 'X';
  if (!known_letter(t) || c.count < 1 || !vector) {
    if (t == 'L') cell.what = ecsv_cell::kind::logical;
    if (t == 'C' || t == 'M') cell.what = ecsv_cell::kind::complex;
    if (!known_letter(t)) out.datatype = "string";
    return;
  }
  // A vector: TDIMn's axes, slowest first, when they hold the count.
  std::int64_t product = 1;
  for (std::int64_t a : tdim) product = util::saturated_product(product, a);
  if (!tdim.empty() && product == c.count) {
    for (std::size_t k = tdim.size(); k-- > 0;) cell.shape.push_back(tdim[k]);
  } else {
    cell.shape.push_back(c.count);
  }
  cell.what = ecsv_cell::kind::json;
  if (t == 'C' || t == 'M') {
    // JSON has no complex numbers: each is its real and imaginary part.
    cell.group = 2;
    out.subtype = std::string(t == 'C' && identity_scaling(c) ? "float32" : "float64") + "[" +
                  axes_text(cell.shape) + ",2]";
  } else {
    out.subtype = out.datatype + "[" + axes_text(cell.shape) + "]";
  }
  out.datatype = "string";
}

// Column `n`'s name, unit and description, and its TDIMn axes.
ecsv::column named_column(int n, std::string_view cards, std::vector<std::int64_t>& tdim) {
  const ecsv::column_cards more = ecsv::cards_of_column(cards, n);
  ecsv::column out;
  out.name = table[static_cast<std::size_t>(n)].name;
  out.unit = more.unit;
  out.description = more.description;
  tdim = more.tdim;
  return out;
}

}  // namespace

std::shared_ptr<const ecsv_layout> binary_ecsv_layout(const std::vector<int>& selected, std::string_view cards) {
  auto layout = std::make_shared<ecsv_layout>();
  std::vector<ecsv::column> columns;
  for (int n : selected) {
    std::vector<std::int64_t> tdim;
    ecsv::column out = named_column(n, cards, tdim);
    ecsv_cell cell;
    describe(table[static_cast<std::size_t>(n)], tdim, out, cell);
    columns.push_back(std::move(out));
    layout->cells.push_back(std::move(cell));
  }
  layout->header = ecsv::header_text(columns, cards);
  return layout;
}

std::shared_ptr<const ecsv_layout> ascii_ecsv_layout(int tfields, std::string_view cards) {
  auto layout = std::make_shared<ecsv_layout>();
  std::vector<ecsv::column> columns;
  for (int n = 1; n <= tfields; ++n) {
    const column_desc& c = table[static_cast<std::size_t>(n)];
    std::vector<std::int64_t> tdim;
    ecsv::column out = named_column(n, cards, tdim);
    // Integer fields are read as 32-bit values; the real ones as doubles.
    switch (c.type) {
      case 'I':
      case 'J':
      case 'B':
        out.datatype = identity_scaling(c) ? "int32" : "float64";
        break;
      case 'E':
      case 'D':
      case 'F':
        out.datatype = "float64";
        break;
      default:
        out.datatype = "string";
        break;
    }
    columns.push_back(std::move(out));
    layout->cells.emplace_back();
  }
  layout->header = ecsv::header_text(columns, cards);
  return layout;
}

}  // namespace orvex::decoder
