// The run's choice of what is written: parts by number and name (-p),
// rows by number (--rows) and by condition (--where). Set while the
// options are parsed, read by the driver and the table decoder
// afterwards, like the run settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "select/filter_syntax.h"
#include "select/part_choice.h"
#include "select/row_ranges.h"

namespace orvex::select {

// The parts of a -p list (every part for a single number, which the run
// setting `part` holds as it always did).
extern part_choice parts;
// --rows; none: every row.
extern std::optional<row_ranges> rows;
// --where; none: every row.
extern std::optional<filter_syntax> where;

// Puts every choice back to "everything".
void reset_chosen();

// Installs the choice of rows that --rows and --where make into the
// table decoder (decoder/row_choice.h); without them, every row. --rows
// applies to the rows of every table and, under --full, to the lines of
// every image; --where to the rows of the tables (binary and ASCII) that hold every
// column it names. A table that holds them and where a column is not of
// the kind its place asks for writes no row, and its part says why.
void install_row_choice();

// Forgets which --where names the tables of an input have shown (a new
// input begins).
void start_input();
// The --where names that no table decoded since start_input()
// holds.
std::vector<std::string> where_names_not_seen();

}  // namespace orvex::select
