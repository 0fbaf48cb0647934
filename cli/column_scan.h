// Before an input is decoded under --where: do its tables hold the
// columns the expression names? Its headers are read in a pass of their
// own, every data unit skipped by its declared size, so that a name that
// no table holds is reported before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

// The names of `names` that no table (XTENSION = 'BINTABLE' or 'TABLE') of
// the input `path` holds, compared as select/column_lookup compares
// them. Stops as soon as every name has been found. The pass says
// nothing, and where it cannot tell (an input that cannot be opened or
// that is cut short, a data unit of no declared size, a read error) it
// returns nullopt: the decoding that follows reports what is wrong.
// Opens a stream of its own, and so sets fits::_fpos: it must not run
// while another stream is being read.
std::optional<std::vector<std::string>> names_in_no_table(const char* path, const std::vector<std::string>& names);

}  // namespace orvex::cli
