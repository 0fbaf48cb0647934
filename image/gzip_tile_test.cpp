#include "image/gzip_tile.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"

namespace orvex::image {
namespace {

std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(gzip_tile, inflates_within_the_room_it_is_given) {
  const std::string values = "\x01\x02\x03\x04\x05\x06";
  const std::string packed = test::gzip(values);
  const struct {
    const char* name;
    std::string in;
    std::size_t room;
    const char* why;
    std::size_t produced;
  } cases[] = {
      {"whole", packed, 6, nullptr, 6},
      {"room to spare", packed, 64, nullptr, 6},
      {"more than the tile", packed, 4, "the gzip stream holds more bytes than the tile", 4},
      {"cut", packed.substr(0, packed.size() - 9), 64, "the gzip stream is cut short", 6},
      {"not gzip", "plain bytes", 64, "the gzip stream is damaged", 0},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> out(c.room);
    std::size_t produced = 99;
    const char* why = inflate_tile(bytes_of(c.in), out, produced);
    EXPECT_STREQ(why, c.why) << c.name;
    EXPECT_EQ(produced, c.produced) << c.name;
    if (c.why == nullptr) {
      EXPECT_EQ(std::string(out.begin(), out.begin() + 6), values) << c.name;
    }
  }
}

TEST(gzip_tile, unshuffle_puts_each_values_bytes_together) {
  // Three 4-byte values AaBb..: the shuffled form holds every first byte,
  // then every second, ...
  const std::string shuffled = "ABC" "abc" "123" "xyz";
  std::string out(12, '\0');
  unshuffle(reinterpret_cast<const std::uint8_t*>(shuffled.data()), 3, 4, reinterpret_cast<std::uint8_t*>(out.data()));
  EXPECT_EQ(out, "Aa1xBb2yCc3z");
}

}  // namespace
}  // namespace orvex::image
