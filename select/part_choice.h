// Which parts of each input are written: -p with one part number (as it
// always was), or a comma list of part numbers and extension names.
//
// A part number N is the one in the output name (obs.00N): 0 the primary
// unit, 1 the first extension. A name selects every extension whose
// EXTNAME is that name, compared without regard to case and with trailing
// blanks ignored; a number directly after a name is that name's EXTVER
// ("EVENTS,2": EXTNAME EVENTS and EXTVER 2; "EVENTS,,2": EVENTS and part
// 2, as is "2,EVENTS"). A word that is not wholly a
// decimal number ("1x") is a name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::select {

class part_choice {
 public:
  // Every part.
  part_choice() = default;

  // Whether a -p argument is a single number (with an optional sign,
  // after optional white space) or empty, which keeps its old reading as
  // the one part number.
  static bool single_number(std::string_view text);

  // The choice of any other -p argument: its comma-separated words, empty
  // words passed over.
  static part_choice parse(std::string_view text);

  bool every() const { return every_; }
  bool has_names() const { return !names_.empty(); }

  // Whether part `index` is selected by its number.
  bool selects_number(int index) const;

  // Whether an extension of this EXTNAME and EXTVER is selected by a name
  // of the list; marks the names that select it as found.
  bool selects_name(const std::optional<std::string>& extname, std::optional<std::int64_t> extver);

  // Forgets which names were found (a new input begins).
  void start_input();
  // The names, as the list gives them ("EVENTS", "EVENTS,2"), that no part
  // of the input has selected since start_input().
  std::vector<std::string> names_not_found() const;

 private:
  struct name_item {
    std::string name;
    std::optional<std::int64_t> extver;
    std::string text;  // as given
    bool found = false;
  };
  bool every_ = true;
  std::vector<std::int64_t> numbers_;
  std::vector<name_item> names_;
};

}  // namespace orvex::select
