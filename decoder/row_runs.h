// Runs of whole table rows: the unit in which rows are read, formatted and
// passed on. One thread may do all three in turn, or the reader fills runs
// while workers format them and a writer passes them on in row order; the
// bytes of every output are the same either way, because a run carries
// each row's line and messages apart until they are passed on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/row_format.h"
#include "decoder/text_buffer.h"
#include "fits/byte_buffer.h"
#include "fits/stream.h"

namespace orvex::decoder {

struct row_run {
  // Where the rows are: `count` whole rows of the table's row_bytes() each,
  // the first of them row number `first`.
  std::int64_t first = 0;
  std::int64_t count = 0;
  const unsigned char* rows = nullptr;
  // When the stream ended inside the row after these, the bytes of it that
  // arrived (at rows + count * row_bytes()), else -1.
  std::int64_t cut_available = -1;
  // The rows were passed over without being read (none of them is
  // wanted): `rows` holds no bytes of them.
  bool skipped = false;

  // For rows that a source makes on the workers (row_output.h's `make`):
  // which of its pieces the run holds, the first and how many.
  std::int64_t made_first = 0;
  std::int64_t made_count = 0;

  // The run's own copy of rows read from a stream; unused when the rows
  // lie in a table held in memory.
  fits::byte_buffer bytes;

  // What format_run makes of the rows: their lines one after another in
  // `text`; their messages and each row's end in `messages` (they go out
  // between the rows' progress figures); the first array outside the heap
  // and its row.
  text_buffer text;
  std::string messages;
  std::vector<std::size_t> message_ends;
  array_fault fault;
  std::int64_t fault_row = -1;
};

// Reads up to `max_rows` whole rows of `width` bytes (at least 1) from `in`
// into `run`'s own bytes, numbering them from `first`. When the stream ends
// first, the run holds the whole rows that arrived and says how much of
// the next one did (cut_available). Returns the number of whole rows.
std::int64_t read_run(fits::stream& in, std::int64_t width, std::int64_t first, std::int64_t max_rows, row_run& run);

// Passes over up to `max_rows` whole rows of `width` bytes (at least 1) of
// `in` without keeping them, as the run of rows from `first` on that
// nobody wants. Returns the number of whole rows, as read_run does.
std::int64_t skip_run(fits::stream& in, std::int64_t width, std::int64_t first, std::int64_t max_rows, row_run& run);

// Formats every row of the run that `f` wants: their lines (when
// `with_text`) and messages, kept apart by row, and the run's first array
// fault. A row not wanted has no line, no message and no fault.
void format_run(const row_formatter& f, const heap_view& heap, bool with_text, row_run& run);

}  // namespace orvex::decoder
