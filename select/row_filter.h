// --where made ready for the rows of one table: its names resolved to the
// table's columns, its values read straight from each row's bytes, before
// any text is made: in a binary table by the letter description of the
// cells (decoder/binary_cells), in an ASCII table from the field at TBCOLn,
// read as the row decoder reads it (an integer as "%ld" reads it, a real
// as "%lg"; A fields are texts).
//
// Values are doubles: a B, I, J or K element is v * TSCALn + TZEROn, an E
// or D element likewise, a logical 1 for T and 0 for F. A null (an
// integer equal to TNULLn before scaling, a NaN, a logical that is
// neither T nor F) is a NaN, which every arithmetic passes on and which
// makes every comparison false, != included. Texts ('A' columns, up to
// their first zero byte) are compared with == and != with trailing blanks
// ignored on both sides. An ASCII field is null when its text, blanks
// aside, is the TNULLn string.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fits/header_names.h"
#include "select/filter_syntax.h"

namespace orvex::select {

class row_filter {
 public:
  enum class outcome {
    ready,           // the filter applies to the table
    not_this_table,  // the table lacks a column it names: its rows are written as without it
    unfit,           // a column is not of the kind its place asks for: `error` says which
  };

  // Builds the filter of `syntax` for the binary table of the columns 1
  // to `tfields` of decoder::table, whose header named them `names`.
  static outcome build(const filter_syntax& syntax, const fits::header_names& names, int tfields, row_filter& f,
                       std::string& error);
  // The same for an ASCII table of rows `row_width` (NAXIS1) bytes long.
  static outcome build_ascii(const filter_syntax& syntax, const fits::header_names& names, int tfields,
                             std::int64_t row_width, row_filter& f, std::string& error);

  // Whether the condition holds for row `row` (counted from 0) at `bytes`.
  // Allocates nothing; safe on several threads at once.
  bool holds(std::int64_t row, const unsigned char* bytes) const;

 private:
  enum class op : std::uint8_t {
    constant, element, row_number, negate, add, subtract, multiply, divide, remainder, abs, sqrt, min, max,
    less, less_equal, greater, greater_equal, equal, not_equal, range, all, any, negation, truth, text_equal,
    text_not_equal, ascii_field,
  };
  // One side of a text comparison: `length` bytes of the row at `offset`,
  // or the literal.
  struct text_side {
    bool column = false;
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::string literal;
  };
  struct instruction {
    op code = op::constant;
    double value = 0;
    // an element: its letter, its first byte in the row, its scaling and null
    char letter = '\0';
    std::int64_t offset = 0;
    double tscal = 1;
    double tzero = 0;
    bool has_null = false;
    std::int64_t tnull = 0;
    // an ASCII field: the row's bytes from `offset` on that its number may
    // take (`length`), and its null text (with has_null)
    std::int64_t length = 0;
    std::int64_t width = 0;  // of the field itself, for its null text
    std::string null_text;
    // a range: which ends it has
    bool low = false;
    bool high = false;
    text_side left, right;
  };
  friend class filter_builder;
  std::vector<instruction> program_;
};

}  // namespace orvex::select
