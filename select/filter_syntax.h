// --where: the row filter language, read into a tree before any input is
// opened, so that an expression that does not parse is reported at once.
//
//   condition  := or
//   or         := and { ("||" | "or") and }
//   and        := not { ("&&" | "and") not }
//   not        := ("!" | "not") not | compare
//   compare    := sum [ ("<" | "<=" | ">" | ">=" | "==" | "!=") sum ]
//               | sum ("=" | "==") [sum] ":" [sum]        (a range, ends inclusive)
//   sum        := product { ("+" | "-") product }
//   product    := unary { ("*" | "/" | "%") unary }
//   unary      := "-" unary | primary
//   primary    := number | 'text' | "text" | T | F | #row | NAME | NAME "[" k "]"
//               | ("abs" | "sqrt") "(" sum ")" | ("min" | "max") "(" sum "," sum ")"
//               | "(" or ")"
//
// "=" alone is "==". Keywords (and, or, not, #row) are read in any case;
// T and F only in upper case; abs, sqrt, min and max are functions only
// before "(", so a column may bear those names. A NAME is letters, digits
// and "_", not beginning with a digit; which column it names, and so
// whether it is a number, a text or a logical, is settled per table.
//
// Positions count the characters of the expression from 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::select {

enum class node_kind : std::uint8_t {
  number, text, logical, column, row_number,
  negate, add, subtract, multiply, divide, remainder,
  abs, sqrt, min, max,
  less, less_equal, greater, greater_equal, equal, not_equal, range,
  all, any, negation,  // and, or, not
};

// What the place of a node asks of it; a column's kind must fit it.
enum class use : std::uint8_t { number, text, logical, any };

struct filter_node {
  node_kind kind = node_kind::number;
  std::size_t position = 0;
  double number = 0;        // number; logical: 1 for T, 0 for F
  std::string text;         // text; column: its name
  std::int64_t element = 0; // column: k of NAME[k]; 0 when not given
  use wanted = use::any;    // column: what its place asks of it
  int a = -1, b = -1, c = -1;  // operands; a range: value, low end, high end (-1: open)
};

struct filter_syntax {
  std::vector<filter_node> nodes;
  int root = -1;
  // The most values the evaluation holds at once.
  int depth = 0;
  // The column names the expression uses, each once, in order of use.
  std::vector<std::string> column_names;
};

// The deepest evaluation allowed: an expression deeper than this is too
// complex to be a row filter and is refused.
inline constexpr int most_depth = 64;

// Reads `text`. On failure returns nullopt and sets `error` to what is
// wrong and where ("at character 7: ...").
std::optional<filter_syntax> parse_filter(std::string_view text, std::string& error);

}  // namespace orvex::select
