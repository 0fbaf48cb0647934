#include "decoder/g16_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace orvex::decoder::format {
namespace {

__extension__ using uint128 = unsigned __int128;

constexpr std::uint64_t ten_to_15 = 1'000'000'000'000'000;
constexpr std::uint64_t ten_to_16 = 10 * ten_to_15;

// ------------------------------------------------------- powers of ten

// A value v > 0 with floor(log2 v) = e2 is scaled by 10^q, q = 15 - k and
// k = floor(e2 * log10 2), to between 10^15 and 10^17. e2 runs from -1074
// (the smallest subnormal) to 1023, so k from -324 to 307.
constexpr int min_q = 15 - 307;
constexpr int max_q = 15 + 324;

// 10^q = (hi * 2^64 + lo + d) * 2^binary_exponent, hi's top bit set,
// 0 <= d < 1: the leading 128 bits of 10^q, cut rather than rounded so that
// a product with them is never above the exact one. d is 0 exactly for q
// from 0 to 55, where 5^q fits in 128 bits.
struct power_of_ten {
  std::uint64_t hi;
  std::uint64_t lo;
  int binary_exponent;
};
constexpr int min_exact_q = 0;
constexpr int max_exact_q = 55;

// A natural number big enough for 2^832 and 5^339 (787 bits), to build the
// table at compile time with exact integer steps only, few enough for any
// compiler's limit on constant evaluation.
struct big_number {
  static constexpr int capacity = 14;
  std::uint64_t limb[capacity] = {};  // least significant first
  int size = 0;                       // limbs in use; the top one is not 0

  constexpr std::uint64_t limb_at(int i) const { return i >= 0 && i < size ? limb[i] : 0; }
  constexpr int bit_length() const { return size == 0 ? 0 : 64 * (size - 1) + std::bit_width(limb[size - 1]); }

  // The 64 bits from bit `from` upwards; bits below 0 read as zeros.
  constexpr std::uint64_t bits_from(int from) const {
    const int i = from >= 0 ? from / 64 : -((63 - from) / 64);
    const int s = from - 64 * i;
    return s == 0 ? limb_at(i) : (limb_at(i) >> s) | (limb_at(i + 1) << (64 - s));
  }

  constexpr void multiply(std::uint64_t factor) {
    uint128 carry = 0;
    for (int i = 0; i < size; ++i) {
      const uint128 t = uint128{limb[i]} * factor + carry;
      limb[i] = static_cast<std::uint64_t>(t);
      carry = t >> 64;
    }
    if (carry != 0) limb[size++] = static_cast<std::uint64_t>(carry);
  }

  // *this = floor(*this / divisor).
  constexpr void divide(std::uint64_t divisor) {
    uint128 remainder = 0;
    for (int i = size - 1; i >= 0; --i) {
      const uint128 t = remainder << 64 | limb[i];
      limb[i] = static_cast<std::uint64_t>(t / divisor);
      remainder = t % divisor;
    }
    while (size > 0 && limb[size - 1] == 0) --size;
  }
};

constexpr big_number power_of_two(int n) {
  big_number b;
  b.size = n / 64 + 1;
  b.limb[n / 64] = std::uint64_t{1} << (n % 64);
  return b;
}

// The entry for b * 2^exponent: b's leading 128 bits, cut.
constexpr power_of_ten leading_bits(const big_number& b, int exponent) {
  const int bits = b.bit_length();
  return {b.bits_from(bits - 64), b.bits_from(bits - 128), exponent + bits - 128};
}

// 10^q = 5^q * 2^q for q >= 0. For q = -n, 10^q = (2^832 / 5^n) * 2^(-832 - n),
// and floor(2^832 / 5^n) is floor(2^832 / 5^(n - 1)) divided by 5 with the
// remainder dropped (floor(floor(a / b) / c) = floor(a / (b * c))); its
// leading 128 bits cut are those of the exact quotient, and for n up to 292
// it still has 154 bits.
constexpr int reciprocal_bits = 832;

constexpr std::array<power_of_ten, max_q - min_q + 1> make_powers_of_ten() {
  std::array<power_of_ten, max_q - min_q + 1> table{};
  big_number five_to_j = power_of_two(0);
  big_number reciprocal = power_of_two(reciprocal_bits);  // floor(2^832 / 5^j)
  for (int j = 0; j <= max_q; ++j) {
    if (j > 0) five_to_j.multiply(5);
    table[j - min_q] = leading_bits(five_to_j, j);
    if (j > 0 && -j >= min_q) {
      reciprocal.divide(5);
      table[-j - min_q] = leading_bits(reciprocal, -reciprocal_bits - j);
    }
  }
  return table;
}

constexpr auto powers_of_ten = make_powers_of_ten();
static_assert(powers_of_ten[0 - min_q].hi == std::uint64_t{1} << 63 && powers_of_ten[0 - min_q].lo == 0);
static_assert(powers_of_ten[1 - min_q].hi == std::uint64_t{10} << 60 && powers_of_ten[1 - min_q].binary_exponent == -124);
// 10^-1 = 0.1 = 0xCCCC...CCCC.CC... * 2^-131, cut after 128 bits.
static_assert(powers_of_ten[-1 - min_q].hi == 0xCCCC'CCCC'CCCC'CCCC && powers_of_ten[-1 - min_q].lo == 0xCCCC'CCCC'CCCC'CCCC &&
              powers_of_ten[-1 - min_q].binary_exponent == -131);

// ----------------------------------------------------------- rounding

// v rounded to 16 significant digits: digits * 10^(exponent - 15), with
// 10^15 <= digits < 10^16.
struct sixteen_digits {
  std::uint64_t digits;
  int exponent;
};

// Rounds the positive finite value of `bits` (sign clear, not zero); false
// when the table's error leaves the rounding open.
[[gnu::always_inline]] inline bool round_to_16_digits(std::uint64_t bits, sixteen_digits& out) {
  // v = m * 2^(e2 - 63), m with its top bit set, e2 = floor(log2 v).
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>(bits >> 52);
  int e2;
  if (biased != 0) {
    m = (m | std::uint64_t{1} << 52) << 11;
    e2 = biased - 1023;
  } else {
    const int lead = std::countl_zero(m);
    m <<= lead;
    e2 = -1074 + 63 - lead;
  }
  // floor(e2 * log10 2), exact for |e2| <= 2620; then 10^k <= v < 10^(k+2).
  const int k = (e2 * 315653) >> 20;
  const int q = 15 - k;
  const power_of_ten& t = powers_of_ten[static_cast<std::size_t>(q - min_q)];

  // The 192-bit product hi:mid:lo = m * (t.hi:t.lo) is v * 10^q * 2^shift
  // less m * d < 2^64 (one unit of mid). It lies in [2^190, 2^192) and
  // v * 10^q in [10^15, 10^17), so shift is in [134, 142] and the whole
  // part sits in the top 50 to 58 bits of hi.
  uint128 top = uint128{m} * t.hi;
  std::uint64_t lo = 0;
  if (t.lo != 0) {  // 0 for q up to 27, where 5^q fits in hi: the common values
    const uint128 low = uint128{m} * t.lo;
    top += low >> 64;
    lo = static_cast<std::uint64_t>(low);
  }
  const auto mid = static_cast<std::uint64_t>(top);
  const auto hi = static_cast<std::uint64_t>(top >> 64);
  const int f = 63 - e2 - t.binary_exponent - 128;  // fraction bits in hi

  std::uint64_t whole = hi >> f;
  // What rounding cuts off, against its halfway point, both as the top
  // 128 bits of a fixed-point number whose last 64 bits are `lo`.
  std::uint64_t cut = hi & ((std::uint64_t{1} << f) - 1);
  std::uint64_t half = std::uint64_t{1} << (f - 1);
  int exponent = k;
  if (whole >= ten_to_16) {
    // v >= 10^(k+1): the 17th digit is cut off too.
    cut |= (whole % 10) << f;
    half = std::uint64_t{5} << f;
    whole /= 10;
    exponent = k + 1;
  }
  // Cannot happen by the bounds above; kept so that a fault in them costs
  // speed rather than a wrong digit.
  if (whole < ten_to_15) return false;

  const uint128 cut_bits = (uint128{cut} << 64) | mid;
  const uint128 halfway = uint128{half} << 64;
  bool up;
  if (q >= min_exact_q && q <= max_exact_q) {
    // The product is exact: a tie is a tie, and goes to the even digit.
    // Adding 1 when lo is not 0 or the digit is odd turns "above, or at it
    // and (lo or odd)" into one comparison, without a branch on the digits.
    up = cut_bits + ((lo | (whole & 1)) != 0 ? 1 : 0) > halfway;
  } else {
    // The exact cut is above the product's by more than 0 (10^q is not a
    // binary fraction) and less than two units of mid (lo and m * d).
    if (cut_bits < halfway && halfway - cut_bits < 2) return false;
    up = cut_bits >= halfway;
  }
  whole += up ? 1 : 0;
  if (whole == ten_to_16) {
    whole = ten_to_15;
    ++exponent;
  }
  out = {whole, exponent};
  return true;
}

// -------------------------------------------------------------- text

// The eight decimal digits of v < 10^8 as the bytes of a word, the first
// digit in the lowest byte, each byte the digit's value (not yet '0'-based).
// Lanes of one word are split in two at each step, 4 digits into 2 and 2,
// then 2 into 1 and 1, by multiplications that stand in for / 100 and / 10
// (exact for x < 10^4 and x < 10^2) and cannot carry into the next lane.
std::uint64_t eight_digit_values(std::uint32_t v) {
  const std::uint64_t abcd_efgh = std::uint64_t{v / 10000} | std::uint64_t{v % 10000} << 32;
  const std::uint64_t ab_ef = ((abcd_efgh * 10486) >> 20) & 0x0000'007F'0000'007F;
  const std::uint64_t ab_cd_ef_gh = ab_ef | (abcd_efgh - ab_ef * 100) << 16;
  const std::uint64_t a_c_e_g = ((ab_cd_ef_gh * 103) >> 10) & 0x000F'000F'000F'000F;
  return a_c_e_g | (ab_cd_ef_gh - a_c_e_g * 10) << 8;
}

// Stores w at p lowest byte first.
void store_bytes(char* p, std::uint64_t w) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &w, sizeof w);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(w >> (8 * i));
  }
}

// Stores the 16 bytes of t at p, lowest first.
void store_text(char* p, uint128 t) {
  store_bytes(p, static_cast<std::uint64_t>(t));
  store_bytes(p + 8, static_cast<std::uint64_t>(t >> 64));
}

// %g's text of d at p: fixed form for exponents -4 to 15, else d.ddde+XX.
// The text is put together in registers and stored in whole words (a byte
// copy through memory would stall on the words just stored). It writes
// within the 31 bytes from p, so that the caller's 32 take a sign too.
[[gnu::always_inline]] inline char* put_sixteen_digits(char* p, sixteen_digits d) {
  constexpr std::uint64_t zeros = 0x3030'3030'3030'3030;       // "00000000"
  constexpr std::uint64_t zero_point = 0x3030'3030'3030'2E30;  // "0.000000"
  const std::uint64_t high = eight_digit_values(static_cast<std::uint32_t>(d.digits / 100'000'000));
  const std::uint64_t low = eight_digit_values(static_cast<std::uint32_t>(d.digits % 100'000'000));
  // Trailing 0 digits are a word's top zero bytes; the first digit is not 0.
  const auto zero_bytes = [](std::uint64_t w) { return static_cast<unsigned>(std::countl_zero(w)) / 8; };
  const int n = 16 - static_cast<int>(zero_bytes(low) + (low == 0 ? zero_bytes(high) : 0));
  // Byte i is the character of digit i.
  const uint128 digits = uint128{low + zeros} << 64 | (high + zeros);
  const int x = d.exponent;

  if (x >= 0 && x < 16) {
    // The whole part, then (x <= 14) the point and the digits after it
    // over what followed: digit x's place takes the point, and the word
    // ends within the 31 bytes from p.
    store_text(p, digits);
    if (n <= x + 1) return p + x + 1;
    store_text(p + x + 1, ((digits >> (8 * x)) & ~uint128{0xFF}) | '.');
    return p + n + 1;
  }
  if (x < 0 && x >= -4) {
    store_bytes(p, zero_point);
    store_text(p + 1 - x, digits);
    return p + 1 - x + n;
  }
  store_text(p + 1, digits);
  p[0] = static_cast<char>(digits);
  p[1] = '.';
  p += n == 1 ? 1 : n + 1;
  *p++ = 'e';
  *p++ = x < 0 ? '-' : '+';
  auto e = static_cast<std::uint32_t>(x < 0 ? -x : x);
  if (e >= 100) {
    *p++ = static_cast<char>('0' + e / 100);
    e %= 100;
  }
  p[0] = static_cast<char>('0' + e / 10);
  p[1] = static_cast<char>('0' + e % 10);
  return p + 2;
}

// The whole fast path, inlined into both of its callers below so that
// write_g16 makes no second call on its way.
[[gnu::always_inline]] inline char* fast_text(char* p, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  constexpr std::uint64_t sign = std::uint64_t{1} << 63;
  constexpr std::uint64_t infinity = 0x7FF0'0000'0000'0000;
  if ((bits & sign) != 0) *p++ = '-';
  bits &= ~sign;
  if (bits >= infinity) {
    std::memcpy(p, bits == infinity ? "inf" : "nan", 3);
    return p + 3;
  }
  if (bits == 0) {
    *p = '0';
    return p + 1;
  }
  sixteen_digits d;
  if (!round_to_16_digits(bits, d)) return nullptr;
  return put_sixteen_digits(p, d);
}

}  // namespace

char* detail::write_g16_fast(char* p, double v) { return fast_text(p, v); }

char* write_g16(char* p, double v) {
  if (char* end = fast_text(p, v)) return end;
  return std::to_chars(p, p + 32, v, std::chars_format::general, 16).ptr;
}

}  // namespace orvex::decoder::format
