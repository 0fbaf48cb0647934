// What a header names: the part (EXTNAME, EXTVER) and its columns (the
// whole TTYPEn value and TNULLn). These are the names a user picks parts
// and columns by; they are read beside the header's other readers, shown
// every card of one header in turn, by the rules of a FITS value card.
// A card that breaks those rules names nothing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::fits {

struct header_names {
  std::optional<std::string> extname;      // trailing blanks cut
  std::optional<std::int64_t> extver;
  std::map<std::int64_t, std::string> ttype;   // by column number; whole value, trailing blanks cut
  std::map<std::int64_t, std::int64_t> tnull;  // by column number
  // TNULLn given as a string, as ASCII tables give it; trailing blanks cut
  std::map<std::int64_t, std::string> tnull_text;

  // Takes what the card names, if anything; a later card of the same
  // keyword replaces an earlier one.
  void observe(std::string_view card);
};

// The names of the header whose cards follow the XTENSION card in `cards`
// (whole 80-byte cards, as the stream holds them), up to its END card.
// Returns nullopt when `cards` ends before the END card, unless `partial`:
// then the names of the cards there are, which a later card could still
// change.
std::optional<header_names> names_of_header(std::string_view cards, bool partial = false);

}  // namespace orvex::fits
