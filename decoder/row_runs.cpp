#include "decoder/row_runs.h"

namespace orvex::decoder {

std::int64_t read_run(fits::stream& in, std::int64_t width, std::int64_t first, std::int64_t max_rows, row_run& run) {
  run.first = first;
  run.count = 0;
  run.cut_available = -1;
  run.skipped = false;
  const std::int64_t want = width * max_rows;
  std::int64_t got = 0;
  // In parts, so that a huge declared row costs memory only for the bytes
  // that arrive.
  constexpr std::int64_t chunk = 1 << 20;
  while (got < want) {
    const std::int64_t part = want - got < chunk ? want - got : chunk;
    run.bytes.resize(static_cast<std::size_t>(got + part));
    const int delivered = in.read(run.bytes.data() + got, static_cast<int>(part));
    got += delivered;
    if (delivered < part) break;
  }
  run.rows = run.bytes.data();
  run.count = got / width;
  if (got < want) run.cut_available = got - run.count * width;
  return run.count;
}

std::int64_t skip_run(fits::stream& in, std::int64_t width, std::int64_t first, std::int64_t max_rows, row_run& run) {
  const std::int64_t want = width * max_rows;
  const std::int64_t got = in.discard(want);
  run.first = first;
  run.rows = nullptr;
  run.skipped = true;
  run.count = got / width;
  run.cut_available = got < want ? got - run.count * width : -1;
  return run.count;
}

void format_run(const row_formatter& f, const heap_view& heap, bool with_text, row_run& run) {
  run.text.clear();
  run.messages.clear();
  run.message_ends.clear();
  run.fault = array_fault{};
  run.fault_row = -1;
  const std::int64_t width = f.row_bytes();
  if (run.skipped) {
    run.message_ends.assign(static_cast<std::size_t>(run.count), 0);
    return;
  }
  for (std::int64_t i = 0; i < run.count; ++i) {
    if (!f.wanted(run.first + i, run.rows + i * width)) {
      run.message_ends.push_back(run.messages.size());
      continue;
    }
    const bool looking = run.fault_row < 0;
    f.format(run.rows + i * width, heap, with_text ? &run.text : nullptr, run.messages,
             looking ? &run.fault : nullptr);
    if (looking && run.fault.column != 0) run.fault_row = run.first + i;
    run.message_ends.push_back(run.messages.size());
  }
}

}  // namespace orvex::decoder
