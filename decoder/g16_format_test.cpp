// write_g16 against std::to_chars(general, 16), whose "%.16g" bytes the cell
// tests hold against printf, on a few million doubles of every kind that
// can trip a 16-digit rounding: random bits, short decimals, every binary
// exponent, powers of ten, near-halfway cases, the ends of the range,
// subnormals and the special values. A sample is held against snprintf too.
#include "decoder/g16_format.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::decoder {
namespace {

// The double nearest to d.ddd...e<exponent>, with `digits` random digits
// (the first not 0) and `tail` after them.
double random_decimal(std::mt19937_64& rng, int digits, int exponent, const char* tail = "") {
  std::string s(1, static_cast<char>('1' + rng() % 9));
  s += '.';
  for (int i = 1; i < digits; ++i) s += static_cast<char>('0' + rng() % 10);
  return std::strtod((s + tail + "e" + std::to_string(exponent)).c_str(), nullptr);
}

int any_exponent(std::mt19937_64& rng) { return static_cast<int>(rng() % 617) - 308; }

// v and the doubles on either side of it.
void with_neighbours(std::vector<double>& v, double x) {
  v.insert(v.end(), {x, std::nextafter(x, 0.0), std::nextafter(x, INFINITY)});
}

struct value_set {
  const char* name;
  std::function<void(std::mt19937_64&, std::vector<double>&)> fill;
};

const value_set value_sets[] = {
    {"random bits", [](auto& rng, auto& v) { for (int i = 0; i < 1'000'000; ++i) v.push_back(std::bit_cast<double>(rng())); }},
    {"widened singles", [](auto& rng, auto& v) {
       for (int i = 0; i < 300'000; ++i) v.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
     }},
    {"short decimals", [](auto& rng, auto& v) {
       for (int i = 0; i < 300'000; ++i) v.push_back(random_decimal(rng, 1 + static_cast<int>(rng() % 17), any_exponent(rng)));
     }},
    {"every binary exponent", [](auto& rng, auto& v) {
       for (int e = -1074; e <= 1023; ++e) {
         with_neighbours(v, std::ldexp(1.0, e));
         for (int i = 0; i < 100; ++i) v.push_back(std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52, e));
       }
     }},
    {"powers of ten", [](auto&, auto& v) {
       for (int e = -324; e <= 308; ++e) with_neighbours(v, std::strtod(("1e" + std::to_string(e)).c_str(), nullptr));
     }},
    // 17-digit decimals ending in 5 lie halfway between two 16-digit texts;
    // the doubles nearest to them and their neighbours are a hair off it.
    {"near halfway", [](auto& rng, auto& v) {
       for (int i = 0; i < 200'000; ++i) with_neighbours(v, random_decimal(rng, 16, any_exponent(rng), "5"));
     }},
    // Exact ties: n + 1/2 for 16-digit n, and m / 2^j with 17 or more digits.
    {"exact ties", [](auto& rng, auto& v) {
       for (int i = 0; i < 200'000; ++i) {
         v.push_back(static_cast<double>(1'000'000'000'000'000 + rng() % 3'503'599'627'370'495) + 0.5);
         v.push_back(std::ldexp(static_cast<double>((rng() >> (11 + rng() % 40)) | 1), -static_cast<int>(rng() % 60)));
       }
     }},
    {"range ends and subnormals", [](auto& rng, auto& v) {
       v.insert(v.end(), {DBL_MAX, DBL_MIN, DBL_TRUE_MIN, std::nextafter(DBL_MIN, 0.0), 0.0, INFINITY, NAN,
                          std::bit_cast<double>(0x7FF0'0000'0000'0001ULL)});
       for (int i = 0; i < 100'000; ++i) v.push_back(std::bit_cast<double>(rng() >> (12 + rng() % 52)));
     }},
};

TEST(G16Format, MatchesToCharsAndPrintf) {
  std::mt19937_64 rng(12);
  for (const value_set& set : value_sets) {
    std::vector<double> values;
    set.fill(rng, values);
    int failures = 0;
    for (std::size_t i = 0; i < 2 * values.size() && failures < 10; ++i) {
      const double v = (i & 1) != 0 ? -values[i / 2] : values[i / 2];  // both signs of every value
      // The 32 bytes that write_g16 may use, then 16 that it must not touch.
      char got[48], want[32], printed[40];
      std::memset(got, '#', sizeof got);
      const std::string g(got, format::write_g16(got, v));
      const bool in_room = std::string_view(got + 32, 16) == std::string(16, '#');
      const std::string w(want, std::to_chars(want, want + sizeof want, v, std::chars_format::general, 16).ptr);
      const std::string p = i % 128 < 2 ? std::string(printed, std::snprintf(printed, sizeof printed, "%.16g", v)) : w;
      if (g != w || p != w || !in_room) {
        ADD_FAILURE() << set.name << ": bits 0x" << std::hex << std::bit_cast<std::uint64_t>(v) << ": write_g16 \""
                      << g << "\", to_chars \"" << w << "\", printf \"" << p << "\""
                      << (in_room ? "" : ", written past 32 bytes");
        ++failures;
      }
    }
  }
}

// A formatter that always fell back would pass the test above; the values
// of an event file (times, positions, energies) must all take the table.
TEST(G16Format, TypicalValuesTakeTheFastPath) {
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> times(2.86e8, 2.87e8), positions(0, 8192), energies(300, 10000);
  constexpr int n = 100'000;
  int fast = 0;
  for (int i = 0; i < n; ++i) {
    const double v = i % 4 == 0 ? times(rng) : static_cast<float>(i % 4 == 1 ? positions(rng) : energies(rng) * (i % 4 == 2 ? 1 : 1e-7));
    char text[32];
    fast += format::detail::write_g16_fast(text, v) != nullptr ? 1 : 0;
  }
  EXPECT_EQ(fast, n);
}

}  // namespace
}  // namespace orvex::decoder
