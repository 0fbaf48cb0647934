// The "%.16g" formatter against std::to_chars, per value, on the values of
// the event file.
//
//   format_bench EVENTS.fits [REPEATS]
//
// Reads the 'D' time and the five 'E' values (detx, dety, x, y, energy,
// widened to double) of every row of the event file that make_events
// writes, in row order, and formats all of them into a small buffer that is
// reused (so that the times are of the formatting, not of memory traffic),
// with std::to_chars(general, 16) and with write_g16, in REPEATS pairs of
// passes (default 5). Prints one line: the median nanoseconds per value of each,
// how many times faster write_g16 is, and the share of values that took its
// fast path. The two texts of every value are compared first; a difference
// is reported and ends the program with status 1.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "decoder/g16_format.h"

namespace {

namespace format = orvex::decoder::format;

constexpr std::size_t card_size = 80;
constexpr std::size_t block_size = 2880;
constexpr std::size_t row_bytes = 60;
// Where the time (1D) and the 1E columns start in a row of make_events.
constexpr std::size_t time_offset = 0;
constexpr std::size_t float_offsets[] = {24, 28, 32, 36, 44};

std::uint64_t big_endian(const unsigned char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// Walks the header that starts at `at`: returns the offset of its data, and
// NAXIS1 and NAXIS2 when it has them; 0 when the file ends before END.
std::size_t header_end(const std::vector<unsigned char>& file, std::size_t at, long long& naxis1, long long& naxis2) {
  for (; at + card_size <= file.size(); at += card_size) {
    const std::string_view card(reinterpret_cast<const char*>(file.data() + at), card_size);
    if (card.substr(0, 8) == "END     ") return (at + card_size + block_size - 1) / block_size * block_size;
    if (card.substr(0, 10) == "NAXIS1  = ") naxis1 = std::atoll(std::string(card.substr(10, 20)).c_str());
    if (card.substr(0, 10) == "NAXIS2  = ") naxis2 = std::atoll(std::string(card.substr(10, 20)).c_str());
  }
  return 0;
}

bool read_values(const char* path, std::vector<double>& values) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::vector<unsigned char> file;
  unsigned char block[1 << 16];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) file.insert(file.end(), block, block + n);
  std::fclose(f);
  long long primary_naxis1 = 0;
  long long primary_naxis2 = 0;
  const std::size_t table = header_end(file, 0, primary_naxis1, primary_naxis2);
  long long naxis1 = -1;
  long long rows = -1;
  const std::size_t data = table == 0 ? 0 : header_end(file, table, naxis1, rows);
  if (data == 0 || naxis1 != static_cast<long long>(row_bytes) || rows < 0 ||
      data + static_cast<std::size_t>(rows) * row_bytes > file.size())
    return false;
  for (long long r = 0; r < rows; ++r) {
    const unsigned char* row = file.data() + data + static_cast<std::size_t>(r) * row_bytes;
    const std::uint64_t time_bits = big_endian(row + time_offset, 8);
    double time;
    std::memcpy(&time, &time_bits, sizeof time);
    values.push_back(time);
    for (std::size_t at : float_offsets) {
      const auto bits = static_cast<std::uint32_t>(big_endian(row + at, 4));
      float v;
      std::memcpy(&v, &bits, sizeof v);
      values.push_back(v);
    }
  }
  return true;
}

char* with_to_chars(char* p, double v) { return std::to_chars(p, p + 32, v, std::chars_format::general, 16).ptr; }

// Nanoseconds per value of one pass of `write` over all values.
template <char* (*write)(char*, double)>
double pass_time(const std::vector<double>& values) {
  char buffer[1 << 16];
  const auto start = std::chrono::steady_clock::now();
  char* p = buffer;
  for (double v : values) {
    if (p > buffer + sizeof buffer - 64) p = buffer;
    p = write(p, v);
    *p++ = ' ';
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  return ns / static_cast<double>(values.size());
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc == 3 ? std::atoi(argv[2]) : 5;
  if (argc < 2 || argc > 3 || repeats < 1) {
    std::fputs("usage: format_bench EVENTS.fits [REPEATS]\n", stderr);
    return 2;
  }
  std::vector<double> values;
  if (!read_values(argv[1], values) || values.empty()) {
    std::fprintf(stderr, "format_bench: %s: not an event file of make_events\n", argv[1]);
    return 1;
  }
  std::size_t fast = 0;
  for (double v : values) {
    char mine[32];
    char want[32];
    char* fast_end = format::detail::write_g16_fast(mine, v);
    fast += fast_end != nullptr ? 1 : 0;
    char* mine_end = format::write_g16(mine, v);
    char* want_end = with_to_chars(want, v);
    if (std::string_view(mine, static_cast<std::size_t>(mine_end - mine)) !=
        std::string_view(want, static_cast<std::size_t>(want_end - want))) {
      std::fprintf(stderr, "format_bench: %a: write_g16 \"%.*s\", to_chars \"%.*s\"\n", v,
                   static_cast<int>(mine_end - mine), mine, static_cast<int>(want_end - want), want);
      return 1;
    }
  }
  // The passes of the two alternate, so that a change in the machine's
  // load during the run falls on both alike.
  std::vector<double> slow_times;
  std::vector<double> fast_times;
  for (int r = 0; r < repeats; ++r) {
    slow_times.push_back(pass_time<with_to_chars>(values));
    fast_times.push_back(pass_time<format::write_g16>(values));
  }
  const double slow_ns = median(slow_times);
  const double fast_ns = median(fast_times);
  std::printf("%zu values: to_chars %.1f ns/value, write_g16 %.1f ns/value, %.2f x faster, %.4f%% fast path\n",
              values.size(), slow_ns, fast_ns, slow_ns / fast_ns,
              100.0 * static_cast<double>(fast) / static_cast<double>(values.size()));
  return 0;
}
