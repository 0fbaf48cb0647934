// Which column of a table a name given by the user means: the column
// whose whole TTYPEn value (trailing blanks aside) is the name, the first
// such column when several are; failing that, the first whose value is
// the name without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace orvex::select {

// The column number (1 to tfields) of `name` among the TTYPEn values
// `ttype` (by column number), or 0 when no column bears it.
int column_named(const std::map<std::int64_t, std::string>& ttype, int tfields, std::string_view name);

}  // namespace orvex::select
