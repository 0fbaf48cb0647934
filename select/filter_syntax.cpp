#include "select/filter_syntax.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace orvex::select {
namespace {

// What a node stands for, as far as the expression alone tells.
enum class value_type { number, text, logical, column };

struct parsed {
  int node;
  value_type type;
};

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool is_name_char(char c) { return is_name_start(c) || std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool same_word(std::string_view word, std::string_view keyword) {
  return word.size() == keyword.size() &&
         std::equal(word.begin(), word.end(), keyword.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// Nesting beyond this is refused before it could exhaust the stack.
constexpr int most_nesting = 200;
// The most values and operators an expression may hold.
constexpr std::size_t most_nodes = 1000;

class parser {
 public:
  explicit parser(std::string_view text) : text_(text) {}

  std::optional<filter_syntax> run(std::string& error) {
    skip_blanks();
    if (at_ == text_.size()) return fail(error, "the expression is empty");
    std::optional<parsed> top = parse_or();
    if (top && at_ != text_.size()) {
      failure("the expression goes on after its end");
    }
    if (top) demand(*top, use::logical, "a condition");
    if (!error_.empty()) {
      error = error_;
      return std::nullopt;
    }
    syntax_.root = top->node;
    syntax_.depth = depth_of(syntax_.root);
    if (syntax_.depth > most_depth) return fail(error, "the expression is too complex (it holds too many values at once)");
    return std::move(syntax_);
  }

 private:
  std::optional<filter_syntax> fail(std::string& error, std::string what) {
    error = std::move(what);
    return std::nullopt;
  }

  // Records the first error, at the current character.
  void failure(std::string_view what) { failure_at(at_, what); }
  void failure_at(std::size_t at, std::string_view what) {
    if (error_.empty()) error_ = "at character " + std::to_string(at + 1) + ": " + std::string(what);
  }
  bool failed() const { return !error_.empty(); }

  void skip_blanks() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])) != 0) ++at_;
  }

  // Takes `symbol` when it stands next (not as the start of a longer one
  // that `longer` names).
  bool take(std::string_view symbol) {
    if (text_.substr(at_, symbol.size()) != symbol) return false;
    at_ += symbol.size();
    skip_blanks();
    return true;
  }

  // A keyword of letters, taken when the whole word is it.
  bool take_word(std::string_view keyword) {
    std::size_t end = at_;
    while (end < text_.size() && is_name_char(text_[end])) ++end;
    if (end == at_ || !same_word(text_.substr(at_, end - at_), keyword)) return false;
    at_ = end;
    skip_blanks();
    return true;
  }

  int add(filter_node n) {
    // Every walk of the tree recurses: a bound on its size bounds them.
    if (syntax_.nodes.size() == most_nodes) failure_at(n.position - 1, "the expression is too long");
    syntax_.nodes.push_back(std::move(n));
    return static_cast<int>(syntax_.nodes.size()) - 1;
  }

  int add(node_kind kind, std::size_t position, int a, int b = -1, int c = -1) {
    filter_node n;
    n.kind = kind;
    n.position = position + 1;
    n.a = a;
    n.b = b;
    n.c = c;
    return add(std::move(n));
  }

  // Checks that the operand fits where it stands; a column is told what
  // its place asks of it.
  void demand(parsed p, use u, std::string_view what) {
    filter_node& n = syntax_.nodes[static_cast<std::size_t>(p.node)];
    if (p.type == value_type::column) {
      if (n.kind == node_kind::column) n.wanted = u;
      return;
    }
    const bool fits = (u == use::number && p.type == value_type::number) ||
                      (u == use::text && p.type == value_type::text) ||
                      (u == use::logical && p.type == value_type::logical);
    if (!fits) failure_at(n.position - 1, std::string(what) + " is asked for here");
  }

  std::optional<parsed> parse_or() {
    if (++nesting_ > most_nesting) {
      failure("the expression is nested too deeply");
      return std::nullopt;
    }
    std::optional<parsed> left = parse_and();
    while (left && !failed()) {
      const std::size_t where = at_;
      if (!take("||") && !take_word("or")) break;
      std::optional<parsed> right = parse_and();
      if (!right) return std::nullopt;
      demand(*left, use::logical, "a condition");
      demand(*right, use::logical, "a condition");
      left = parsed{add(node_kind::any, where, left->node, right->node), value_type::logical};
    }
    --nesting_;
    return failed() ? std::nullopt : left;
  }

  std::optional<parsed> parse_and() {
    std::optional<parsed> left = parse_not();
    while (left && !failed()) {
      const std::size_t where = at_;
      if (!take("&&") && !take_word("and")) break;
      std::optional<parsed> right = parse_not();
      if (!right) return std::nullopt;
      demand(*left, use::logical, "a condition");
      demand(*right, use::logical, "a condition");
      left = parsed{add(node_kind::all, where, left->node, right->node), value_type::logical};
    }
    return failed() ? std::nullopt : left;
  }

  std::optional<parsed> parse_not() {
    const std::size_t where = at_;
    if ((text_.substr(at_, 1) == "!" && text_.substr(at_, 2) != "!=" && take("!")) || take_word("not")) {
      if (++nesting_ > most_nesting) {
        failure("the expression is nested too deeply");
        return std::nullopt;
      }
      std::optional<parsed> operand = parse_not();
      --nesting_;
      if (!operand) return std::nullopt;
      demand(*operand, use::logical, "a condition");
      return parsed{add(node_kind::negation, where, operand->node), value_type::logical};
    }
    return parse_compare();
  }

  std::optional<parsed> parse_compare() {
    std::optional<parsed> left = parse_sum();
    if (!left) return std::nullopt;
    static constexpr std::pair<std::string_view, node_kind> ops[] = {
        {"<=", node_kind::less_equal}, {">=", node_kind::greater_equal}, {"==", node_kind::equal},
        {"!=", node_kind::not_equal},  {"<", node_kind::less},           {">", node_kind::greater},
        {"=", node_kind::equal},
    };
    const std::size_t where = at_;
    for (const auto& [symbol, kind] : ops) {
      if (!take(symbol)) continue;
      if (kind == node_kind::equal && text_.substr(at_, 1) == ":") return parse_range(*left, where, -1);
      std::optional<parsed> right = parse_sum();
      if (!right) return std::nullopt;
      if (kind == node_kind::equal && text_.substr(at_, 1) == ":") {
        demand(*right, use::number, "a number");
        return parse_range(*left, where, right->node);
      }
      if (kind == node_kind::equal || kind == node_kind::not_equal) {
        compare_alike(*left, *right);
      } else {
        demand(*left, use::number, "a number");
        demand(*right, use::number, "a number");
      }
      if (failed()) return std::nullopt;
      return parsed{add(kind, where, left->node, right->node), value_type::logical};
    }
    return left;
  }

  // The operands of == and != are of one kind: what the one that is no
  // column says is what the column must be.
  void compare_alike(parsed left, parsed right) {
    if (left.type == value_type::column && right.type == value_type::column) return;
    const value_type known = left.type == value_type::column ? right.type : left.type;
    const use u = known == value_type::text ? use::text : known == value_type::logical ? use::logical : use::number;
    const char* what = known == value_type::text ? "a text" : known == value_type::logical ? "a logical value" : "a number";
    demand(left, u, what);
    demand(right, u, what);
  }

  // NAME = lo:hi, after the ":" of which `low` (or -1) stands before.
  std::optional<parsed> parse_range(parsed value, std::size_t where, int low) {
    take(":");
    demand(value, use::number, "a number");
    int high = -1;
    if (at_ < text_.size() && starts_value()) {
      std::optional<parsed> h = parse_sum();
      if (!h) return std::nullopt;
      demand(*h, use::number, "a number");
      high = h->node;
    }
    if (low == -1 && high == -1) failure("a range needs at least one end");
    if (failed()) return std::nullopt;
    return parsed{add(node_kind::range, where, value.node, low, high), value_type::logical};
  }

  // Whether what follows can begin a value (a range's high end is optional).
  bool starts_value() const {
    const char c = text_[at_];
    return is_name_start(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' ||
           c == '(' || c == '#' || c == '\'' || c == '"';
  }

  std::optional<parsed> parse_sum() {
    std::optional<parsed> left = parse_product();
    while (left && !failed()) {
      const std::size_t where = at_;
      node_kind kind;
      if (take("+")) {
        kind = node_kind::add;
      } else if (text_.substr(at_, 1) == "-" && take("-")) {
        kind = node_kind::subtract;
      } else {
        break;
      }
      std::optional<parsed> right = parse_product();
      if (!right) return std::nullopt;
      left = arithmetic(kind, where, *left, *right);
    }
    return failed() ? std::nullopt : left;
  }

  std::optional<parsed> parse_product() {
    std::optional<parsed> left = parse_unary();
    while (left && !failed()) {
      const std::size_t where = at_;
      node_kind kind;
      if (take("*")) {
        kind = node_kind::multiply;
      } else if (take("/")) {
        kind = node_kind::divide;
      } else if (take("%")) {
        kind = node_kind::remainder;
      } else {
        break;
      }
      std::optional<parsed> right = parse_unary();
      if (!right) return std::nullopt;
      left = arithmetic(kind, where, *left, *right);
    }
    return failed() ? std::nullopt : left;
  }

  parsed arithmetic(node_kind kind, std::size_t where, parsed left, parsed right) {
    demand(left, use::number, "a number");
    demand(right, use::number, "a number");
    return {add(kind, where, left.node, right.node), value_type::number};
  }

  std::optional<parsed> parse_unary() {
    const std::size_t where = at_;
    if (take("-")) {
      if (++nesting_ > most_nesting) {
        failure("the expression is nested too deeply");
        return std::nullopt;
      }
      std::optional<parsed> operand = parse_unary();
      --nesting_;
      if (!operand) return std::nullopt;
      demand(*operand, use::number, "a number");
      return parsed{add(node_kind::negate, where, operand->node), value_type::number};
    }
    return parse_primary();
  }

  std::optional<parsed> parse_primary() {
    if (at_ == text_.size()) {
      failure("a value is missing at the end");
      return std::nullopt;
    }
    const std::size_t where = at_;
    const char c = text_[at_];
    if (c == '(') {
      take("(");
      std::optional<parsed> inner = parse_or();
      if (!inner) return std::nullopt;
      if (!take(")")) {
        failure("\")\" is missing");
        return std::nullopt;
      }
      return inner;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.') return parse_number();
    if (c == '\'' || c == '"') return parse_text();
    if (c == '#') {
      ++at_;
      if (!take_word("row")) {
        failure_at(where, "only #row begins with #");
        return std::nullopt;
      }
      return parsed{add(node_kind::row_number, where, -1), value_type::number};
    }
    if (!is_name_start(c)) {
      failure(std::string("a value is missing before \"") + c + "\"");
      return std::nullopt;
    }
    std::size_t end = at_;
    while (end < text_.size() && is_name_char(text_[end])) ++end;
    const std::string_view word = text_.substr(at_, end - at_);
    at_ = end;
    skip_blanks();
    if (word == "T" || word == "F") {
      filter_node n;
      n.kind = node_kind::logical;
      n.position = where + 1;
      n.number = word == "T" ? 1 : 0;
      return parsed{add(std::move(n)), value_type::logical};
    }
    if (same_word(word, "and") || same_word(word, "or") || same_word(word, "not")) {
      failure_at(where, "a value is missing before \"" + std::string(word) + "\"");
      return std::nullopt;
    }
    if (text_.substr(at_, 1) == "(") {
      struct function {
        std::string_view name;
        node_kind kind;
        int operands;
      };
      static constexpr function functions[] = {
          {"abs", node_kind::abs, 1}, {"sqrt", node_kind::sqrt, 1}, {"min", node_kind::min, 2}, {"max", node_kind::max, 2}};
      for (const function& fn : functions) {
        if (same_word(word, fn.name)) return parse_call(fn.kind, fn.operands, where);
      }
      failure_at(where, "no function is called \"" + std::string(word) + "\" (abs, sqrt, min, max)");
      return std::nullopt;
    }
    filter_node n;
    n.kind = node_kind::column;
    n.position = where + 1;
    n.text = std::string(word);
    if (take("[")) {
      const std::size_t index_at = at_;
      std::size_t digits_end = at_;
      while (digits_end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[digits_end])) != 0) ++digits_end;
      std::int64_t k = 0;
      const auto [ptr, ec] = std::from_chars(text_.data() + at_, text_.data() + digits_end, k);
      if (ec != std::errc() || k < 1) {
        failure_at(index_at, "an element number (1 or more) belongs in [ ]");
        return std::nullopt;
      }
      at_ = static_cast<std::size_t>(ptr - text_.data());
      skip_blanks();
      if (!take("]")) {
        failure("\"]\" is missing");
        return std::nullopt;
      }
      n.element = k;
    }
    if (std::find_if(syntax_.column_names.begin(), syntax_.column_names.end(),
                     [&](const std::string& s) { return same_name(s, n.text); }) == syntax_.column_names.end()) {
      syntax_.column_names.push_back(n.text);
    }
    return parsed{add(std::move(n)), value_type::column};
  }

  static bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  }

  std::optional<parsed> parse_call(node_kind kind, int operands, std::size_t where) {
    take("(");
    int args[2] = {-1, -1};
    for (int i = 0; i < operands; ++i) {
      if (i > 0 && !take(",")) {
        failure("\",\" and a second value are missing");
        return std::nullopt;
      }
      std::optional<parsed> arg = parse_sum();
      if (!arg) return std::nullopt;
      demand(*arg, use::number, "a number");
      args[i] = arg->node;
    }
    if (!take(")")) {
      failure("\")\" is missing");
      return std::nullopt;
    }
    if (failed()) return std::nullopt;
    return parsed{add(kind, where, args[0], args[1]), value_type::number};
  }

  std::optional<parsed> parse_number() {
    const std::size_t where = at_;
    std::size_t end = at_;
    while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end])) != 0) ++end;
    if (end < text_.size() && text_[end] == '.') {
      ++end;
      while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end])) != 0) ++end;
    }
    if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
      std::size_t exponent = end + 1;
      if (exponent < text_.size() && (text_[exponent] == '+' || text_[exponent] == '-')) ++exponent;
      if (exponent < text_.size() && std::isdigit(static_cast<unsigned char>(text_[exponent])) != 0) {
        end = exponent;
        while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end])) != 0) ++end;
      }
    }
    filter_node n;
    n.kind = node_kind::number;
    n.position = where + 1;
    const auto [ptr, ec] = std::from_chars(text_.data() + where, text_.data() + end, n.number);
    if (ptr != text_.data() + end || (ec != std::errc() && ec != std::errc::result_out_of_range) ||
        (end < text_.size() && is_name_char(text_[end]))) {
      failure_at(where, "not a number");
      return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
      failure_at(where, "the number is beyond the range of a double");
      return std::nullopt;
    }
    at_ = end;
    skip_blanks();
    return parsed{add(std::move(n)), value_type::number};
  }

  // 'text' or "text"; the quote doubled stands for itself.
  std::optional<parsed> parse_text() {
    const std::size_t where = at_;
    const char quote = text_[at_];
    filter_node n;
    n.kind = node_kind::text;
    n.position = where + 1;
    for (std::size_t i = at_ + 1;; ++i) {
      if (i >= text_.size()) {
        failure_at(where, "the text has no closing quote");
        return std::nullopt;
      }
      if (text_[i] == quote) {
        if (i + 1 < text_.size() && text_[i + 1] == quote) {
          n.text.push_back(quote);
          ++i;
          continue;
        }
        at_ = i + 1;
        break;
      }
      n.text.push_back(text_[i]);
    }
    skip_blanks();
    return parsed{add(std::move(n)), value_type::text};
  }

  // The most values the evaluation of node `i` holds at once. A
  // comparison of texts holds none of them as values.
  int depth_of(int i) const {
    if (i < 0) return 0;
    const filter_node& n = syntax_.nodes[static_cast<std::size_t>(i)];
    if (n.kind == node_kind::range) {
      int d = depth_of(n.a);
      int held = 1;
      for (int end : {n.b, n.c}) {
        if (end < 0) continue;
        d = std::max(d, held + depth_of(end));
        ++held;
      }
      return d;
    }
    if (n.a < 0) return 1;
    return std::max({depth_of(n.a), n.b < 0 ? 0 : 1 + depth_of(n.b), 1});
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int nesting_ = 0;
  std::string error_;
  filter_syntax syntax_;
};

}  // namespace

std::optional<filter_syntax> parse_filter(std::string_view text, std::string& error) {
  return parser(text).run(error);
}

}  // namespace orvex::select
