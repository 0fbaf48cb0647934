// The running sum against the FITS routine word by word, over inputs in
// pieces of every alignment; the stream's notes at block boundaries; the
// reading of DATASUM cards.
#include "fits/checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fits/stream.h"

namespace orvex::fits {
namespace {

std::string random_bytes(std::mt19937_64& g, std::size_t n, bool ones) {
  std::string s(n, '\0');
  // Runs of 0xFF make the end-around carries that a plain sum gets wrong.
  for (char& c : s) c = static_cast<char>(ones && g() % 3 != 0 ? 0xFF : g());
  return s;
}

const unsigned char* bytes_of(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

TEST(running_sum, equals_the_word_by_word_sum_in_pieces_of_any_length) {
  std::mt19937_64 g(11);
  for (int trial = 0; trial < 400; ++trial) {
    const std::string data = random_bytes(g, 4 * (g() % 3000), trial % 2 == 0);
    const std::size_t start = 4 * (g() % 100);  // where the stretch begins in the input
    running_sum sum;
    for (std::size_t at = 0; at < data.size();) {
      const std::size_t piece = std::min<std::size_t>(data.size() - at, g() % 5 == 0 ? g() % 7 : g() % 300);
      sum.add(static_cast<std::int64_t>(start + at), bytes_of(data) + at, piece);
      at += piece;
    }
    const std::uint32_t plain = ones_complement_sum(bytes_of(data), data.size());
    EXPECT_EQ(sum.residue(), plain % ones_modulus) << "trial " << trial;
  }
}

TEST(running_sum, repeated_bytes_sum_as_the_bytes_themselves) {
  for (std::int64_t pos : {0, 1, 2, 3, 2878}) {
    for (std::int64_t n : {0, 1, 3, 4, 5, 2879}) {
      running_sum repeated, written;
      repeated.add_repeated(pos, ' ', n);
      const std::string blanks(static_cast<std::size_t>(n), ' ');
      written.add(pos, bytes_of(blanks), blanks.size());
      EXPECT_EQ(repeated.residue(), written.residue()) << pos << " " << n;
    }
  }
}

TEST(stream_sums, boundaries_hold_the_sum_before_them_and_watched_ones_last) {
  std::mt19937_64 g(5);
  const int blocks = 400;  // well past the notes kept
  const std::string data = random_bytes(g, blocks * 2880, true);
  stream in;
  in.open_memory(data);
  in.watch_sum(100 * 2880);
  in.watch_sum(2880 + 7);  // not a boundary: passed over
  std::string sink(5000, '\0');
  while (in.read(sink.data(), static_cast<int>(sink.size())) > 0) {
  }
  // Kept: the last notes, the watched one, and the end of the input.
  for (int b : {100, blocks - stream::kept_sums + 1, 399, 400}) {
    const std::uint32_t want = ones_complement_sum(bytes_of(data), static_cast<std::size_t>(b) * 2880);
    ASSERT_TRUE(in.sum_at(b * 2880).has_value()) << b;
    EXPECT_EQ(*in.sum_at(b * 2880), want % ones_modulus) << b;
  }
  EXPECT_FALSE(in.sum_at(0).has_value());
  EXPECT_FALSE(in.sum_at(200 * 2880).has_value());
  EXPECT_FALSE(in.sum_at(2880 + 7).has_value());
  EXPECT_FALSE(in.sum_at(401 * 2880).has_value());
}

TEST(checksum_cards, read_datasum_as_written) {
  struct row {
    const char* card;
    std::optional<std::uint32_t> datasum;
  };
  const row rows[] = {
      {"DATASUM = '2503531142'         / data unit checksum updated 2021-01-01", 2503531142U},
      {"DATASUM = '         0'", 0U},
      {"DATASUM =           4294967295", 4294967295U},
      {"DATASUM = '4294967296'", std::nullopt},
      {"DATASUM = '-1'", std::nullopt},
      {"DATASUM = 'unknown'", std::nullopt},
      {"DATASUM  = '12'", std::nullopt},  // no "=" in column 9: not a value card
  };
  for (const row& r : rows) {
    checksum_cards cards;
    cards.observe(r.card);
    EXPECT_EQ(cards.datasum, r.datasum) << r.card;
    EXPECT_FALSE(cards.checksum);
  }
  checksum_cards cards;
  cards.observe("CHECKSUM= 'hcHjjc9ghcEghc9g'   / HDU checksum");
  EXPECT_TRUE(cards.checksum);
}

}  // namespace
}  // namespace orvex::fits
