// The FITS checksums: DATASUM, the 32-bit ones' complement sum of a data
// unit's bytes (its padding included) taken as big-endian 32-bit words,
// written as an unsigned decimal string; and CHECKSUM, 16 characters chosen
// so that the same sum over the whole part, header and data, is all ones
// (ones' complement's negative zero).
//
// A ones' complement sum of 32-bit words is the sum modulo 2^32 - 1, with
// 0 and 2^32 - 1 both standing for zero. The stream keeps one running sum
// over every byte of the input and notes it at block boundaries; the sum of
// a stretch between two boundaries is then the difference of the two
// notes. Both zeros are the residue 0 here: a DATASUM of 4294967295 and one
// of 0 match the same data, which only an all-zero data unit could tell
// apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvex::fits {

// 2^32 - 1: ones' complement sums of 32-bit words are residues modulo it.
inline constexpr std::uint64_t ones_modulus = 0xFFFFFFFFULL;

// A sum over bytes that are placed by their position in the input: byte p
// is byte p mod 4 of its big-endian word (parts begin on block boundaries,
// which are multiples of 4, so the words of every part line up). The bytes
// may come in pieces of any length and alignment.
class running_sum {
 public:
  // Adds the `n` bytes at `bytes`, the first of which is input byte `pos`.
  void add(std::int64_t pos, const unsigned char* bytes, std::size_t n);
  // Adds `n` bytes of the value `byte` from input byte `pos` on (the
  // padding that a stream ended without).
  void add_repeated(std::int64_t pos, unsigned char byte, std::int64_t n);
  // The sum of everything added, as a residue modulo 2^32 - 1.
  std::uint32_t residue() const;

 private:
  // The plain sums of the bytes in each of the four places of a word; the
  // word sum is their sum weighted by 2^24, 2^16, 2^8 and 1.
  std::uint64_t lanes_[4] = {};
};

// The ones' complement sum of the bytes between two running-sum notes,
// `before` taken at the first byte and `after` after the last: a residue.
constexpr std::uint32_t sum_between(std::uint32_t before, std::uint32_t after) {
  return static_cast<std::uint32_t>((after + ones_modulus - before) % ones_modulus);
}

// The FITS checksum routine word by word, with the end-around carry: the
// plain form that running_sum is held against. `n` is a multiple of 4.
std::uint32_t ones_complement_sum(const unsigned char* bytes, std::size_t n);

// The checksum cards of one header. CHECKSUM counts whatever its value (the
// sum over the part decides); DATASUM counts when its value (quoted, as the
// standard writes it, or not) is a whole number of 0 to 4294967295.
struct checksum_cards {
  // Takes note of one header card (trimmed or not).
  void observe(std::string_view card);

  bool checksum = false;
  std::optional<std::uint32_t> datasum;
};

}  // namespace orvex::fits
