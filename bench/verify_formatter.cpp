// The exhaustive check of the "%.16g" formatter on single-precision values.
//
//   verify_formatter [THREADS]
//
// An 'E' cell is a float widened to double, so the formatter meets at most
// 2^32 distinct values there: this program formats every one of them, all
// 2^32 bit patterns (NaNs, infinities, zeros and subnormals included), with
// write_g16 and with std::to_chars(general, 16) and compares the bytes. It
// prints the count checked, the count that went the slow way (to_chars
// inside write_g16), the number of differences and the first few differing
// values, and exits with status 1 when any differ. THREADS defaults to the
// machine's cores; the run takes about five minutes on two cores.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoder/g16_format.h"

namespace {

namespace format = orvex::decoder::format;

constexpr std::uint64_t all_patterns = std::uint64_t{1} << 32;
// Patterns per unit of work, small enough to spread evenly over the threads.
constexpr std::uint64_t chunk = std::uint64_t{1} << 22;
constexpr std::size_t differences_shown = 10;

struct totals {
  std::atomic<std::uint64_t> next_chunk{0};
  std::atomic<std::uint64_t> checked{0};
  std::atomic<std::uint64_t> slow{0};
  std::atomic<std::uint64_t> differing{0};
  std::mutex shown_lock;
  std::vector<std::string> shown;
};

void check_chunks(totals& t) {
  for (;;) {
    const std::uint64_t first = t.next_chunk.fetch_add(chunk);
    if (first >= all_patterns) return;
    std::uint64_t slow = 0;
    std::uint64_t differing = 0;
    for (std::uint64_t bits = first; bits < first + chunk; ++bits) {
      const auto pattern = static_cast<std::uint32_t>(bits);
      float f;
      std::memcpy(&f, &pattern, sizeof f);
      const double v = f;
      char mine[32];
      char want[32];
      char* mine_end = format::detail::write_g16_fast(mine, v);
      if (mine_end == nullptr) {
        ++slow;
        mine_end = format::write_g16(mine, v);
      }
      char* want_end = std::to_chars(want, want + sizeof want, v, std::chars_format::general, 16).ptr;
      const auto mine_size = static_cast<std::size_t>(mine_end - mine);
      if (mine_size == static_cast<std::size_t>(want_end - want) && std::memcmp(mine, want, mine_size) == 0)
        continue;
      ++differing;
      std::lock_guard<std::mutex> hold(t.shown_lock);
      if (t.shown.size() < differences_shown) {
        char line[128];
        std::snprintf(line, sizeof line, "  0x%08x: write_g16 \"%.*s\", to_chars \"%.*s\"", pattern,
                      static_cast<int>(mine_size), mine, static_cast<int>(want_end - want), want);
        t.shown.emplace_back(line);
      }
    }
    t.slow += slow;
    t.differing += differing;
    // The sum after this chunk's own addition: each sixteenth is shown once.
    const std::uint64_t done = t.checked += chunk;
    if (done % (all_patterns / 16) == 0)
      std::fprintf(stderr, "verify_formatter: %llu of %llu patterns checked\n", static_cast<unsigned long long>(done),
                   static_cast<unsigned long long>(all_patterns));
  }
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = std::max(1U, std::thread::hardware_concurrency());
  if (argc > 2 || (argc == 2 && (threads = static_cast<unsigned>(std::atoi(argv[1]))) < 1)) {
    std::fputs("usage: verify_formatter [THREADS]\n", stderr);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  totals t;
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < threads; ++i) workers.emplace_back(check_chunks, std::ref(t));
  for (std::thread& w : workers) w.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("verify_formatter: every float bit pattern widened to double, write_g16 against to_chars(general, 16)\n");
  std::printf("  checked      %llu\n", static_cast<unsigned long long>(t.checked.load()));
  std::printf("  slow path    %llu\n", static_cast<unsigned long long>(t.slow.load()));
  std::printf("  differences  %llu\n", static_cast<unsigned long long>(t.differing.load()));
  for (const std::string& line : t.shown) std::printf("%s\n", line.c_str());
  std::printf("  %u threads, %.0f s\n", threads, seconds);
  return t.differing.load() == 0 && t.checked.load() == all_patterns ? 0 : 1;
}
