// The names of a --col-name list that no table of an input holds: a
// mistyped name would otherwise leave its column out of every file without
// a word. The names of a preset are not checked: their lists name columns
// that some missions' files lack.
#pragma once

#include <string>
#include <vector>

namespace orvex::decoder {

// Starts the check for a new input: no table seen yet.
void start_name_check();

// Records which names of col_name_list the columns 1 to `tfields` of
// `table` hold, as column_named() finds them.
void note_table_names(int tfields);

// The names of col_name_list that no table noted since start_name_check()
// holds, in list order, each once.
std::vector<std::string> names_no_table_has();

}  // namespace orvex::decoder
