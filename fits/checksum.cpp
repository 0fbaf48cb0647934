#include "fits/checksum.h"

#include <string>

#include "fits/card_value.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvex::fits {
namespace {

// The bytes that sixteen at a time leave over, and the lead-in to a word
// boundary, one by one.
void add_bytes(std::uint64_t lanes[4], unsigned lane, const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    lanes[lane] += p[i];
    lane = (lane + 1) & 3;
  }
}

}  // namespace

void running_sum::add(std::int64_t pos, const unsigned char* p, std::size_t n) {
  const unsigned lead = static_cast<unsigned>((4 - (pos & 3)) & 3);
  if (n <= lead) {
    add_bytes(lanes_, static_cast<unsigned>(pos & 3), p, n);
    return;
  }
  add_bytes(lanes_, static_cast<unsigned>(pos & 3), p, lead);
  p += lead;
  n -= lead;
  // From here p is the first byte of a word.
#if defined(__SSE2__)
  if (n >= 16) {
    // Each mask keeps one place of the four words in a vector (memory
    // order is register order, low byte first); the sum of absolute
    // differences against zero adds up the kept bytes eight at a time.
    const __m128i zero = _mm_setzero_si128();
    const __m128i m0 = _mm_set1_epi32(0x000000FF);
    const __m128i m1 = _mm_set1_epi32(0x0000FF00);
    const __m128i m2 = _mm_set1_epi32(0x00FF0000);
    const __m128i m3 = _mm_set1_epi32(static_cast<int>(0xFF000000U));
    __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
    for (; n >= 16; n -= 16, p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      s0 = _mm_add_epi64(s0, _mm_sad_epu8(_mm_and_si128(v, m0), zero));
      s1 = _mm_add_epi64(s1, _mm_sad_epu8(_mm_and_si128(v, m1), zero));
      s2 = _mm_add_epi64(s2, _mm_sad_epu8(_mm_and_si128(v, m2), zero));
      s3 = _mm_add_epi64(s3, _mm_sad_epu8(_mm_and_si128(v, m3), zero));
    }
    const auto total = [](__m128i s) {
      return static_cast<std::uint64_t>(_mm_cvtsi128_si64(s)) +
             static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
    };
    lanes_[0] += total(s0);
    lanes_[1] += total(s1);
    lanes_[2] += total(s2);
    lanes_[3] += total(s3);
  }
#endif
  for (; n >= 4; n -= 4, p += 4) {
    lanes_[0] += p[0];
    lanes_[1] += p[1];
    lanes_[2] += p[2];
    lanes_[3] += p[3];
  }
  add_bytes(lanes_, 0, p, n);
}

void running_sum::add_repeated(std::int64_t pos, unsigned char byte, std::int64_t n) {
  if (n <= 0) return;
  for (int k = 0; k < 4; ++k) {
    // The bytes of [pos, pos + n) that stand in place k of their word.
    const std::int64_t first = pos + ((k - pos % 4) + 4) % 4;
    const std::int64_t count = first >= pos + n ? 0 : (pos + n - 1 - first) / 4 + 1;
    lanes_[k] += static_cast<std::uint64_t>(count) * byte;
  }
}

std::uint32_t running_sum::residue() const {
  // 2^32 is 1 modulo 2^32 - 1, so each place's weight is a plain shift.
  std::uint64_t r = 0;
  for (int k = 0; k < 4; ++k) r += (lanes_[k] % ones_modulus) << (8 * (3 - k));
  return static_cast<std::uint32_t>(r % ones_modulus);
}

std::uint32_t ones_complement_sum(const unsigned char* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 4 <= n; i += 4) {
    const std::uint32_t word = static_cast<std::uint32_t>(p[i]) << 24 | static_cast<std::uint32_t>(p[i + 1]) << 16 |
                               static_cast<std::uint32_t>(p[i + 2]) << 8 | p[i + 3];
    const std::uint64_t s = std::uint64_t{sum} + word;
    sum = static_cast<std::uint32_t>(s) + static_cast<std::uint32_t>(s >> 32);
  }
  return sum;
}

void checksum_cards::observe(std::string_view card) {
  const std::optional<keyword_value> kv = value_card(card);
  if (!kv) return;
  if (kv->keyword == "CHECKSUM") {
    checksum = true;
    return;
  }
  if (kv->keyword != "DATASUM") return;
  // The standard writes the number as a string; some writers leave the
  // quotes out.
  std::optional<std::int64_t> n = integer_value(kv->value);
  if (!n) {
    if (std::optional<std::string> text = string_value(kv->value)) {
      std::size_t start = text->find_first_not_of(' ');
      n = start == std::string::npos ? std::nullopt : integer_value(std::string_view(*text).substr(start));
    }
  }
  if (n && *n >= 0 && *n <= static_cast<std::int64_t>(ones_modulus)) {
    datasum = static_cast<std::uint32_t>(*n);
  } else {
    datasum.reset();
  }
}

}  // namespace orvex::fits
