// The column table: what an extension header says about each column, by
// FITS column number (TFORMn, TTYPEn, ... describe column n).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace orvex::decoder {

// Slots 0 to 199; column n of a table lives in slot n, so slots 1 to 199
// hold columns. Slot 0 takes cards numbered 0 and is read by no row decoder.
inline constexpr int max_columns = 200;
inline constexpr int last_column = max_columns - 1;
// A TTYPEn value is at most 68 characters (columns 11 to 80 less its
// quotes); the name keeps all of it.
inline constexpr int name_size = 72;
inline constexpr int unit_size = 9;   // 8 characters and a NUL

struct column_desc {
  std::int32_t count = 0;          // repeat count r of rT, or width w of Tw.d
  std::int32_t decimals = -1;      // d of Tw.d; -1: none
  char type = '\0';                // TFORM letter
  char name[name_size] = {};       // TTYPEn: the whole string value, trailing blanks cut
  char unit[unit_size] = {};       // TUNITn, cut to 8 characters
  char disp_type = '\0';           // TDISPn letter
  std::int32_t disp_width = 0;     // TDISPn width; 0: none
  std::int32_t disp_decimals = -1; // TDISPn decimals; -1: none (6 once TDISPn is seen)
  double tscal = 1.0;
  double tzero = 0.0;
  std::int32_t tbcol = -1;         // TBCOLn, first byte counted from 1; -1: no ASCII field
  char array_type = '\0';          // element letter of a descriptor form rPt(max) or rQt(max)
  // 'A' with TDIMn = (w, n, ...): the cell holds strings of w characters;
  // 0 when no TDIMn of two axes or more gives w.
  std::int32_t string_width = 0;
  // TNULLn: an integer element of this stored value is null (binary
  // tables); an ASCII field of this text, blanks aside, is null.
  bool has_tnull = false;
  std::int64_t tnull = 0;
  char tnull_text[name_size] = {};
  // TSCALn and TZEROn are both whole numbers (an integer column's values
  // then stay integers).
  bool integral_scaling() const;
};

// Whether TSCALn and TZEROn leave every value as it is stored.
inline bool identity_scaling(const column_desc& c) { return c.tscal == 1.0 && c.tzero == 0.0; }

// The column of columns 1 to tfields of `table` that `name` identifies: the
// first whose whole name equals it, else (unless `exact_only`) the first
// whose name equals it when letter case is ignored, as FITS names are
// compared. 0 when none does. Trailing blanks of `name` count for nothing,
// as they do in a TTYPEn value.
int column_named(std::string_view name, int tfields, bool exact_only = false);

// The table of the extension being decoded. Reset at the start of every
// decode call, so nothing carries over from one extension to the next.
extern std::array<column_desc, max_columns> table;

// Puts every slot back to its defaults.
void reset_table();

// Returns when n is at most 199; otherwise prints "Error: To many
// variables" on standard output and ends the process with status 1.
void check_formnr(std::int32_t n);

}  // namespace orvex::decoder
