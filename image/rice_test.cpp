#include "image/rice.h"

#include <gtest/gtest.h>

#include <random>

#include "image/bit_reader.h"
#include "image/tile_judge_test.h"

namespace orvex::image {
namespace {

using test::pattern;

// Every tile fpack writes decodes to the pixels that went in: flat blocks,
// split codes, blocks stored whole, partial blocks and tiles.
TEST(RiceDecode, MatchesTheImageFpackCompressed) {
  const struct {
    int bitpix;
    std::int64_t width, height;
    pattern kind;
    const char* options;
  } cases[] = {
      {8, 100, 7, pattern::noise, "-r"},           {8, 50, 10, pattern::full_range, "-r -t 7,3"},
      {8, 61, 9, pattern::mixed, "-r -t 61,9"},    {16, 300, 5, pattern::noise, "-r"},
      {16, 64, 4, pattern::extremes, "-r"},        {16, 100, 12, pattern::full_range, "-r -t 33,5"},
      {16, 45, 3, pattern::flat, "-r"},            {16, 512, 2, pattern::ramp, "-r"},
      {32, 37, 23, pattern::full_range, "-r -t 10,10"}, {32, 70, 2, pattern::extremes, "-r"},
      {32, 400, 3, pattern::mixed, "-r -t 400,3"},
  };
  unsigned seed = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitpix) + "-bit, fpack " + c.options + ", case " + std::to_string(seed));
    const auto pixels = test::make_pixels(c.kind, c.bitpix, c.width * c.height, seed++);
    const auto fz = test::compress("fpack", c.bitpix, c.width, c.height, pixels, c.options);
    if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
    ASSERT_EQ(fz->tiles.size(), fz->boxes.size());
    for (std::size_t k = 0; k < fz->tiles.size(); ++k) {
      const auto want = test::box_pixels(pixels, c.width, fz->boxes[k]);
      std::vector<std::int32_t> got(want.size());
      ASSERT_EQ(rice_decode(fz->tiles[k], c.bitpix / 8, 32, got), nullptr) << "tile " << k + 1;
      ASSERT_EQ(std::vector<std::int64_t>(got.begin(), got.end()), want) << "tile " << k + 1;
    }
  }
}

// Every cut of a real stream is reported; damaged bytes anywhere may give
// any pixels or a reason, but are never read past (the sanitizer builds).
TEST(RiceDecode, CutAndDamagedStreamsStopWithAReason) {
  const auto pixels = test::make_pixels(pattern::mixed, 16, 300, 7);
  const auto fz = test::compress("fpack", 16, 300, 1, pixels, "-r");
  if (!fz) GTEST_SKIP() << "fpack or astropy is not available";
  const std::vector<std::uint8_t>& tile = fz->tiles.at(0);
  std::vector<std::int32_t> out(300);
  for (std::size_t size = 0; size < tile.size(); ++size)
    EXPECT_STREQ(rice_decode(std::span(tile).first(size), 2, 32, out),
                 "the compressed bytes end before the tile is full") << size << " bytes";
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> damaged = tile;
    damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    rice_decode(damaged, 2, 32, out);
  }
}

// What fpack never writes: other block sizes, wrapping sums, bad parameters.
TEST(RiceDecode, HandMadeStreams) {
  // 10 10 12 11 in blocks of 2: first pixel 10; code 000 (all zero); code
  // 010 (1 low bit): +2 folds to 4 = 001 0, -1 to 1 = 1 1.
  // 255 0: code 010, 0 = 1 0, +1 (wrapping to 0) folds to 2 = 01 0.
  // -32768 32767: code 1111 (whole), 0 in 16 bits, -1 folded to 1 in 16 bits.
  const struct {
    std::vector<std::uint8_t> in;
    int bytepix, blocksize;
    std::vector<std::int32_t> want;  // empty: decoding fails with `why`
    const char* why;
  } rows[] = {
      {{0x0a, 0x08, 0xb0}, 1, 2, {10, 10, 12, 11}, nullptr},
      {{0xff, 0x52}, 1, 32, {255, 0}, nullptr},
      {{0x80, 0x00, 0xf0, 0x00, 0x00, 0x00, 0x10}, 2, 32, {-32768, 32767}, nullptr},
      {{}, 4, 32, {}, "the compressed bytes end before the tile is full"},
      {{0, 0, 0, 5}, 4, 32, {}, "the compressed bytes end before the tile is full"},
      {{0, 0, 0, 0}, 3, 32, {}, "the Rice pixel size is not 1, 2 or 4 bytes"},
      {{0, 0}, 1, 0, {}, "the Rice block size is not a positive number"},
  };
  for (const auto& r : rows) {
    std::vector<std::int32_t> out(r.want.empty() ? 4 : r.want.size());
    EXPECT_STREQ(rice_decode(r.in, r.bytepix, r.blocksize, out), r.why) << "row " << &r - rows;
    if (!r.want.empty()) {
      EXPECT_EQ(out, r.want) << "row " << &r - rows;
    }
  }
}

// read_rice, the one-step read of a split code, against read_unary and read
// on random streams of every low-bit count, the long zero runs and the
// stream's end included.
TEST(BitReader, ReadRiceIsReadUnaryThenRead) {
  std::mt19937 rng(2026);
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::uint8_t> bytes(1 + rng() % 64);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
    bit_reader fast(bytes), plain(bytes);
    for (int code = 0;; ++code) {
      const int low_bits = static_cast<int>(rng() % 33);
      std::uint32_t got = 0;
      std::uint64_t high = 0;
      std::uint32_t low = 0;
      const bool fast_ok = fast.read_rice(low_bits, got);
      const bool plain_ok = plain.read_unary(high) && plain.read(low_bits, low);
      ASSERT_EQ(fast_ok, plain_ok) << "trial " << trial << ", code " << code;
      if (!plain_ok) break;
      ASSERT_EQ(got, static_cast<std::uint32_t>(high << low_bits) | low) << "trial " << trial << ", code " << code;
    }
  }
  // Runs of codes of one low-bit count, read as one, against read_rice.
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::uint8_t> bytes(1 + rng() % 200);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 5 == 0 ? 0 : rng());
    bit_reader run(bytes), one(bytes);
    for (int k = 0;; ++k) {
      const int low_bits = static_cast<int>(rng() % 17);
      const std::size_t count = 1 + rng() % 40;
      std::vector<std::uint32_t> got, want;
      const bool run_ok = run.read_rice_run(low_bits, count, [&](std::uint32_t v) { got.push_back(v); });
      bool one_ok = true;
      for (std::size_t i = 0; i < count && one_ok; ++i) {
        std::uint32_t v = 0;
        one_ok = one.read_rice(low_bits, v);
        if (one_ok) want.push_back(v);
      }
      ASSERT_EQ(run_ok, one_ok) << "trial " << trial << ", run " << k;
      ASSERT_EQ(got, want) << "trial " << trial << ", run " << k;
      if (!one_ok) break;
    }
  }
}

}  // namespace
}  // namespace orvex::image
