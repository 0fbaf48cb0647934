#include "select/row_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "fits/big_endian.h"
#include "fits/card_value.h"
#include "select/column_lookup.h"
#include "util/saturating.h"

namespace orvex::select {

namespace {

// What a column holds, for the filter.
enum class column_kind { number, logical, text, other };

// The most bytes of an ASCII field that are read as its number: more than
// any number's text.
constexpr std::int64_t ascii_number_bytes = 95;

column_kind ascii_kind_of(char letter) {
  switch (letter) {
    case 'B':
    case 'I':
    case 'J':
    case 'E':
    case 'D':
    case 'F':
      return column_kind::number;
    case 'A':
      return column_kind::text;
    default:
      return column_kind::other;
  }
}

column_kind kind_of(char letter) {
  switch (letter) {
    case 'B':
    case 'I':
    case 'J':
    case 'K':
    case 'E':
    case 'D':
      return column_kind::number;
    case 'L':
      return column_kind::logical;
    case 'A':
      return column_kind::text;
    default:
      return column_kind::other;
  }
}

const char* kind_name(column_kind k) {
  switch (k) {
    case column_kind::number:
      return "a number";
    case column_kind::logical:
      return "a logical value (T or F)";
    case column_kind::text:
      return "a text";
    default:
      return "nothing that can be compared";
  }
}

// A column the expression names, found in the table.
struct found_column {
  int number = 0;
  const decoder::column_desc* desc = nullptr;
  std::int64_t offset = 0;  // of its first byte in the row
  column_kind kind = column_kind::other;
};

}  // namespace

class filter_builder {
 public:
  filter_builder(const filter_syntax& s, const fits::header_names& names, int tfields, row_filter& f,
                 std::int64_t ascii_row_width = -1)
      : s_(s), names_(names), tfields_(tfields), f_(f), ascii_(ascii_row_width >= 0), row_width_(ascii_row_width) {}

  row_filter::outcome build(std::string& error) {
    for (const std::string& name : s_.column_names) {
      if (column_named(names_.ttype, tfields_, name) == 0) return row_filter::outcome::not_this_table;
    }
    offsets_.assign(static_cast<std::size_t>(tfields_) + 1, 0);
    std::int64_t at = 0;
    for (int n = 1; n <= tfields_; ++n) {
      const decoder::column_desc& c = decoder::table[static_cast<std::size_t>(n)];
      if (ascii_) {
        // A field outside the row reads nothing: it stands at the row's end.
        offsets_[static_cast<std::size_t>(n)] = c.tbcol >= 1 && c.tbcol <= row_width_ ? c.tbcol - 1 : row_width_;
        continue;
      }
      offsets_[static_cast<std::size_t>(n)] = at;
      at = util::saturated_sum(at, decoder::cell_bytes(c.type, c.count));
    }
    f_.program_.clear();
    condition(s_.root);
    if (!error_.empty()) {
      error = error_;
      f_.program_.clear();
      return row_filter::outcome::unfit;
    }
    return row_filter::outcome::ready;
  }

 private:
  using op = row_filter::op;
  using instruction = row_filter::instruction;

  const filter_node& node(int i) const { return s_.nodes[static_cast<std::size_t>(i)]; }

  void fail(const filter_node& n, const std::string& what) {
    if (error_.empty()) error_ = "at character " + std::to_string(n.position) + ": " + what;
  }

  found_column find(const filter_node& n) const {
    found_column c;
    c.number = column_named(names_.ttype, tfields_, n.text);
    c.desc = &decoder::table[static_cast<std::size_t>(c.number)];
    c.offset = offsets_[static_cast<std::size_t>(c.number)];
    c.kind = ascii_ ? ascii_kind_of(c.desc->type) : kind_of(c.desc->type);
    return c;
  }

  void emit(op code) {
    instruction in;
    in.code = code;
    f_.program_.push_back(in);
  }

  // The element the column node names, of a column of kind `want`.
  void element(const filter_node& n, column_kind want) {
    const found_column c = find(n);
    if (c.kind != want) {
      fail(n, n.text + " holds " + kind_name(c.kind) + ", and " + kind_name(want) + " is asked for here");
      return;
    }
    if (ascii_) {
      ascii_field(n, c);
      return;
    }
    const std::int64_t count = c.desc->count;
    if (count < 1) {
      fail(n, n.text + " has no elements");
      return;
    }
    if (n.element == 0 && count > 1) {
      fail(n, n.text + " has " + std::to_string(count) + " elements: name one of them, as " + n.text + "[1]");
      return;
    }
    if (n.element > count) {
      fail(n, n.text + " has " + std::to_string(count) + " elements, not " + std::to_string(n.element));
      return;
    }
    const std::int64_t k = n.element == 0 ? 0 : n.element - 1;
    instruction in;
    in.code = op::element;
    in.letter = c.desc->type;
    in.offset = c.offset + k * decoder::cell_bytes(c.desc->type, 1);
    in.tscal = c.desc->tscal;
    in.tzero = c.desc->tzero;
    if (auto t = names_.tnull.find(c.number); t != names_.tnull.end() && c.desc->type != 'E' && c.desc->type != 'D') {
      in.has_null = true;
      in.tnull = t->second;
    }
    f_.program_.push_back(in);
  }

  // An ASCII field holds one value, read from its text.
  void ascii_field(const filter_node& n, const found_column& c) {
    if (n.element > 1) {
      fail(n, n.text + " is a field of one value: it has no element " + std::to_string(n.element));
      return;
    }
    instruction in;
    in.code = op::ascii_field;
    in.letter = c.desc->type;
    in.offset = c.offset;
    in.length = std::min(row_width_ - c.offset, ascii_number_bytes);
    in.width = std::min<std::int64_t>(std::max(c.desc->count, 0), row_width_ - c.offset);
    in.tscal = c.desc->tscal;
    in.tzero = c.desc->tzero;
    if (auto t = names_.tnull_text.find(c.number); t != names_.tnull_text.end()) {
      in.has_null = true;
      in.null_text = t->second;
    } else if (auto v = names_.tnull.find(c.number); v != names_.tnull.end()) {
      in.has_null = true;
      in.null_text = std::to_string(v->second);
    }
    f_.program_.push_back(std::move(in));
  }

  // A node whose place asks for a condition: a logical column stands for
  // "is T".
  void condition(int i) {
    const filter_node& n = node(i);
    if (n.kind == node_kind::column) {
      element(n, column_kind::logical);
      emit(op::truth);
      return;
    }
    value(i);
  }

  // Whether node `i` is a text: a literal or a text column.
  bool is_text(int i) const {
    const filter_node& n = node(i);
    return n.kind == node_kind::text || (n.kind == node_kind::column && find(n).kind == column_kind::text);
  }

  row_filter::text_side text_side(int i) {
    const filter_node& n = node(i);
    row_filter::text_side side;
    if (n.kind == node_kind::text) {
      side.literal = n.text;
      return side;
    }
    const found_column c = find(n);
    if (c.kind != column_kind::text) {
      fail(n, n.text + " holds " + kind_name(c.kind) + ", and a text is asked for here");
      return side;
    }
    if (n.element != 0) fail(n, n.text + " is a text: it has no elements to name with [ ]");
    side.column = true;
    side.offset = c.offset;
    side.length = c.desc->count < 0 ? 0 : c.desc->count;
    if (ascii_) side.length = std::min(side.length, row_width_ - c.offset);
    return side;
  }

  void value(int i) {
    const filter_node& n = node(i);
    static constexpr std::pair<node_kind, op> binary[] = {
        {node_kind::add, op::add},          {node_kind::subtract, op::subtract},
        {node_kind::multiply, op::multiply}, {node_kind::divide, op::divide},
        {node_kind::remainder, op::remainder}, {node_kind::min, op::min},
        {node_kind::max, op::max},          {node_kind::less, op::less},
        {node_kind::less_equal, op::less_equal}, {node_kind::greater, op::greater},
        {node_kind::greater_equal, op::greater_equal},
    };
    for (const auto& [kind, code] : binary) {
      if (n.kind != kind) continue;
      value(n.a);
      value(n.b);
      emit(code);
      return;
    }
    switch (n.kind) {
      case node_kind::number:
      case node_kind::logical: {
        instruction in;
        in.code = op::constant;
        in.value = n.number;
        f_.program_.push_back(in);
        return;
      }
      case node_kind::text:
        fail(n, "a text is compared only with == or !=");
        return;
      case node_kind::column:
        element(n, n.wanted == use::logical ? column_kind::logical : column_kind::number);
        return;
      case node_kind::row_number:
        emit(op::row_number);
        return;
      case node_kind::negate:
      case node_kind::abs:
      case node_kind::sqrt:
        value(n.a);
        emit(n.kind == node_kind::negate ? op::negate : n.kind == node_kind::abs ? op::abs : op::sqrt);
        return;
      case node_kind::equal:
      case node_kind::not_equal:
        if (is_text(n.a) || is_text(n.b)) {
          instruction in;
          in.code = n.kind == node_kind::equal ? op::text_equal : op::text_not_equal;
          in.left = text_side(n.a);
          in.right = text_side(n.b);
          f_.program_.push_back(std::move(in));
          return;
        }
        equal_operands(n.a, n.b);
        emit(n.kind == node_kind::equal ? op::equal : op::not_equal);
        return;
      case node_kind::range: {
        value(n.a);
        instruction in;
        in.code = op::range;
        in.low = n.b >= 0;
        in.high = n.c >= 0;
        if (in.low) value(n.b);
        if (in.high) value(n.c);
        f_.program_.push_back(in);
        return;
      }
      case node_kind::all:
      case node_kind::any:
        condition(n.a);
        condition(n.b);
        emit(n.kind == node_kind::all ? op::all : op::any);
        return;
      case node_kind::negation:
        condition(n.a);
        emit(op::negation);
        return;
      default:
        return;
    }
  }

  // The operands of a numeric or logical == or !=: two columns must be of
  // one kind.
  void equal_operands(int a, int b) {
    const filter_node& x = node(a);
    const filter_node& y = node(b);
    if (x.kind == node_kind::column && y.kind == node_kind::column) {
      const column_kind k = find(x).kind;
      if (k == column_kind::number || k == column_kind::logical) {
        element(x, k);
        element(y, k);
      } else {
        element(x, column_kind::number);
      }
      return;
    }
    value(a);
    value(b);
  }

  const filter_syntax& s_;
  const fits::header_names& names_;
  const int tfields_;
  row_filter& f_;
  const bool ascii_;
  const std::int64_t row_width_;
  std::vector<std::int64_t> offsets_;
  std::string error_;
};

row_filter::outcome row_filter::build(const filter_syntax& syntax, const fits::header_names& names, int tfields,
                                      row_filter& f, std::string& error) {
  return filter_builder(syntax, names, tfields, f).build(error);
}

row_filter::outcome row_filter::build_ascii(const filter_syntax& syntax, const fits::header_names& names, int tfields,
                                            std::int64_t row_width, row_filter& f, std::string& error) {
  return filter_builder(syntax, names, tfields, f, row_width < 0 ? 0 : row_width).build(error);
}

namespace {

double element_value(char letter, const unsigned char* p, double tscal, double tzero, bool has_null,
                     std::int64_t tnull) {
  std::int64_t stored = 0;
  switch (letter) {
    case 'B':
      stored = fits::integer_at<1>(p);
      break;
    case 'I':
      stored = fits::integer_at<2>(p);
      break;
    case 'J':
      stored = fits::integer_at<4>(p);
      break;
    case 'K':
      stored = fits::integer_at<8>(p);
      break;
    case 'E':
      return static_cast<double>(fits::float_at(p)) * tscal + tzero;
    case 'D':
      return fits::double_at(p) * tscal + tzero;
    case 'L':
      return *p == 'T' ? 1.0 : *p == 'F' ? 0.0 : NAN;
    default:
      return NAN;
  }
  if (has_null && stored == tnull) return NAN;
  return static_cast<double>(stored) * tscal + tzero;
}

// A text of up to `length` bytes up to its first zero byte, trailing
// blanks ignored.
std::string_view trimmed(std::string_view s) {
  s = s.substr(0, s.find('\0'));
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool both_numbers(double a, double b) { return !std::isnan(a) && !std::isnan(b); }

std::string_view blanks_cut(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The value of an ASCII field as the row decoder reads it: the number at
// the field's first byte, which may run on to the row's end.
double ascii_value(const unsigned char* bytes, std::int64_t length, std::int64_t width, char letter, double tscal,
                   double tzero, bool has_null, const std::string& null_text) {
  char text[ascii_number_bytes + 1];
  const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
  std::memcpy(text, bytes, n);
  text[n] = '\0';
  if (has_null) {
    const std::string_view field(reinterpret_cast<const char*>(bytes),
                                 ::strnlen(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(width)));
    if (blanks_cut(field) == blanks_cut(null_text)) return NAN;
  }
  if (letter == 'E' || letter == 'D' || letter == 'F') {
    double x = 0.0;
    fits::scan_double(text, x);
    return x * tscal + tzero;
  }
  std::int32_t v = 0;
  fits::scan_long_or_min(text, v);
  return static_cast<double>(v) * tscal + tzero;
}

}  // namespace

bool row_filter::holds(std::int64_t row, const unsigned char* bytes) const {
  double stack[most_depth + 1];
  int sp = 0;
  auto text_of = [bytes](const text_side& side) {
    if (!side.column) return trimmed(side.literal);
    return trimmed(std::string_view(reinterpret_cast<const char*>(bytes + side.offset), static_cast<std::size_t>(side.length)));
  };
  for (const instruction& in : program_) {
    switch (in.code) {
      case op::constant:
        stack[sp++] = in.value;
        break;
      case op::element:
        stack[sp++] = element_value(in.letter, bytes + in.offset, in.tscal, in.tzero, in.has_null, in.tnull);
        break;
      case op::row_number:
        stack[sp++] = static_cast<double>(row + 1);
        break;
      case op::ascii_field:
        stack[sp++] = ascii_value(bytes + in.offset, in.length, in.width, in.letter, in.tscal, in.tzero, in.has_null,
                                  in.null_text);
        break;
      case op::negate:
        stack[sp - 1] = -stack[sp - 1];
        break;
      case op::abs:
        stack[sp - 1] = std::fabs(stack[sp - 1]);
        break;
      case op::sqrt:
        stack[sp - 1] = std::sqrt(stack[sp - 1]);
        break;
      case op::truth:
        stack[sp - 1] = stack[sp - 1] == 1.0 ? 1.0 : 0.0;
        break;
      case op::negation:
        stack[sp - 1] = stack[sp - 1] == 0.0 ? 1.0 : 0.0;
        break;
      case op::text_equal:
      case op::text_not_equal:
        stack[sp++] = (text_of(in.left) == text_of(in.right)) == (in.code == op::text_equal) ? 1.0 : 0.0;
        break;
      case op::range: {
        const double hi = in.high ? stack[--sp] : INFINITY;
        const double lo = in.low ? stack[--sp] : -INFINITY;
        const double v = stack[sp - 1];
        stack[sp - 1] = both_numbers(v, lo) && !std::isnan(hi) && lo <= v && v <= hi ? 1.0 : 0.0;
        break;
      }
      default: {
        const double b = stack[--sp];
        const double a = stack[sp - 1];
        double r = 0;
        switch (in.code) {
          case op::add: r = a + b; break;
          case op::subtract: r = a - b; break;
          case op::multiply: r = a * b; break;
          case op::divide: r = a / b; break;
          case op::remainder: r = std::fmod(a, b); break;
          case op::min: r = both_numbers(a, b) ? (b < a ? b : a) : NAN; break;
          case op::max: r = both_numbers(a, b) ? (b > a ? b : a) : NAN; break;
          case op::less: r = both_numbers(a, b) && a < b; break;
          case op::less_equal: r = both_numbers(a, b) && a <= b; break;
          case op::greater: r = both_numbers(a, b) && a > b; break;
          case op::greater_equal: r = both_numbers(a, b) && a >= b; break;
          case op::equal: r = both_numbers(a, b) && a == b; break;
          case op::not_equal: r = both_numbers(a, b) && a != b; break;
          case op::all: r = a != 0 && b != 0; break;
          case op::any: r = a != 0 || b != 0; break;
          default: break;
        }
        stack[sp - 1] = r;
      }
    }
  }
  return sp > 0 && stack[sp - 1] != 0;
}

}  // namespace orvex::select
