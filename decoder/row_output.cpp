#include "decoder/row_output.h"

#include "decoder/ecsv_columns.h"

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "decoder/column_table.h"
#include "decoder/row_pipeline.h"
#include "decoder/row_runs.h"
#include "util/console.h"
#include "util/failure.h"
#include "util/saturating.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

// Orders column names byte by byte; equal length and bytes is one key.
struct ltstr {
  bool operator()(std::string_view a, std::string_view b) const { return a < b; }
};

// Name to the columns bearing it, in column order.
using column_map = std::map<std::string_view, std::vector<int>, ltstr>;

column_map map_columns(int tfields) {
  column_map map;
  for (int n = 1; n <= tfields; ++n) map[table[static_cast<std::size_t>(n)].name].push_back(n);
  return map;
}

// A heading field holds no blank, so that the fields of the line can be
// told apart: a name's blanks are written as underscores.
void put_heading_name(util::output_file& file, std::string_view name) {
  for (char c : name) file.put(c == ' ' ? '_' : c);
}

// "%-*.*s " with width and precision both `width`: the text cut to the
// width, padded to it, and a blank. printf reads a negative width as a
// left-justified field of its absolute value, a negative precision as none.
void put_heading_field(util::output_file& file, const char* text, std::int32_t width) {
  std::size_t len = std::strlen(text);
  if (width >= 0 && len > static_cast<std::size_t>(width)) len = static_cast<std::size_t>(width);
  put_heading_name(file, std::string_view(text, len));
  std::int64_t field = width < 0 ? -std::int64_t{width} : width;
  for (std::int64_t i = static_cast<std::int64_t>(len); i < field; ++i) file.put(' ');
  file.put(' ');
}

// Standard error gets a row's messages in one write, before its line.
void put_messages(std::string& messages) {
  if (messages.empty()) return;
  std::fwrite(messages.data(), 1, messages.size(), stderr);
  messages.clear();
}

}  // namespace

std::vector<int> selected_cells(int tfields) {
  std::vector<int> cells;
  if (myvec.empty()) {
    for (int n = 1; n <= tfields; ++n) cells.push_back(n);
    return cells;
  }
  if (flag_all != 0) {
    // The table's own names in the order of their TTYPEn cards: a name that
    // several columns bear stands for the next of them each time, so that
    // every column keeps its own cell.
    const column_map map = map_columns(tfields);
    std::map<std::string_view, std::size_t, ltstr> taken;
    for (const std::string& name : myvec) {
      auto it = map.find(name);
      if (it == map.end()) continue;
      std::size_t& k = taken[it->first];
      if (k < it->second.size()) cells.push_back(it->second[k++]);
    }
    return cells;
  }
  // A preset's names are matched exactly, those of --col-name also without
  // regard to letter case.
  const std::size_t listed = col_name_list.size() < myvec.size() ? col_name_list.size() : myvec.size();
  const std::size_t preset = myvec.size() - listed;
  for (std::size_t i = 0; i < myvec.size(); ++i) {
    if (int n = column_named(myvec[i], tfields, i < preset)) cells.push_back(n);
  }
  return cells;
}

void write_heading_lines(util::output_file& file, int tfields) {
  auto width_of = [](const column_desc& c) {
    if (c.count != 0) return c.count;
    if (c.disp_width != 0) return c.disp_width;
    return std::int32_t{8};
  };
  if (!myvec.empty()) {
    const std::vector<int> cells = selected_cells(tfields);
    file.put('!');
    for (int n : cells) {
      put_heading_name(file, table[static_cast<std::size_t>(n)].name);
      file.put(' ');
    }
    file.write("\n!");
    for (int n : cells) {
      file.write(std::string_view(table[static_cast<std::size_t>(n)].unit));
      file.put(' ');
    }
    file.put('\n');
    return;
  }
  file.put('!');
  for (int n = 1; n <= tfields; ++n) {
    const column_desc& c = table[static_cast<std::size_t>(n)];
    put_heading_field(file, c.name, width_of(c));
  }
  file.write("\n!");
  for (int n = 1; n <= tfields; ++n) {
    const column_desc& c = table[static_cast<std::size_t>(n)];
    put_heading_field(file, c.unit, width_of(c));
  }
  file.put('\n');
}

void print_progress(std::int64_t done, std::int64_t total, char end) {
  // --quiet: a pipeline's streams then hold only reports and errors.
  if (quiet != 0) return;
  // A 64-bit product: 100 * done cannot overflow.
  std::fprintf(console::out(), "%03ld%%%c", static_cast<long>(100 * done / total), end);
  // On a terminal each figure overwrites the one before; it has to be seen
  // when it is printed, not at the next line end.
  if (console::is_terminal()) std::fflush(console::out());
}

void report_truncated_table(std::int64_t done, std::int64_t declared, bool chosen) {
  failure::report_cut_in_part("the stream ends inside the table: " + std::to_string(done) + " of " +
                              std::to_string(declared) + (chosen ? " rows arrived" : " rows written"));
}

void report_truncated_image(std::int64_t done, std::int64_t declared, bool chosen) {
  failure::report_cut_in_part("the stream ends inside the image: " + std::to_string(done) + " of " +
                              std::to_string(declared) + (chosen ? " image lines arrived" : " image lines written"));
}

namespace {

using util::saturated_product;

// The bytes of rows that one run holds, about: large enough that passing a
// run between threads costs little against formatting it, small enough
// that the runs in flight take a few megabytes.
constexpr std::int64_t run_bytes = 128 * 1024;
constexpr std::int64_t max_run_rows = 65536;

// Tables with fewer bytes of rows than this are formatted by the reading
// thread alone: starting workers would cost more than they save.
constexpr std::int64_t parallel_bytes = 1 << 20;

// What every formatted run passes through, in row order: each row's
// messages on standard error, the report of the first array outside the
// heap, the lines into the file, the warning and the progress figures on
// standard output, and at the end the cut of a row the stream ended inside.
class row_sink {
 public:
  // `rows`: the rows the header declares (or the image's lines). With
  // `lead`, f.leading_text() goes into the file before the first row.
  row_sink(util::output_file* file, std::int64_t rows, const row_formatter& f, std::int64_t heap_declared,
           bool lead = false)
      : file_(file), rows_(rows), f_(f), heap_declared_(heap_declared),
        warn_first_row_(f.binary() && (file == nullptr || f.no_cells())), lead_(lead && file != nullptr) {}

  // Passes the run's rows on. Returns false when the rows left need not be
  // visited (see the end).
  bool emit(row_run& run) {
    std::size_t message_start = 0;
    for (std::int64_t i = 0; i < run.count; ++i) {
      const std::int64_t r = run.first + i;
      const std::size_t message_end = run.message_ends[static_cast<std::size_t>(i)];
      if (message_end != message_start) {
        std::fwrite(run.messages.data() + message_start, 1, message_end - message_start, stderr);
        message_start = message_end;
      }
      if (r == run.fault_row && !fault_reported_) report_fault(r, run.fault);
      if (r == 0 && warn_first_row_) std::fputs("Warning: No colums written\n", console::out());
      if (progress_due(r, rows_)) print_progress(r, rows_, '\r');
    }
    if (lead_ && run.count > 0) {
      lead_ = false;
      text_buffer leading;
      f_.leading_text(leading);
      file_->write(leading.data(), leading.size());
    }
    if (file_ != nullptr && !run.text.empty()) file_->write(run.text.data(), run.text.size());
    if (run.cut_available >= 0) {
      std::string messages;
      if (!run.skipped) f_.cut_row_messages(run.rows + run.count * f_.row_bytes(), run.cut_available, messages);
      put_messages(messages);
      if (file_ != nullptr && f_.image()) report_truncated_image(run.first + run.count, rows_, f_.chooses());
      if (file_ != nullptr && !f_.image()) report_truncated_table(run.first + run.count, rows_, f_.chooses());
      return true;
    }
    if (file_ != nullptr && f_.row_bytes() == 0 && file_->error() != 0 && run.count > 0) {
      // The file takes nothing more and the rows take no bytes: nothing
      // is left to do for the other rows but their progress figures.
      const std::int64_t r = run.first + run.count - 1;
      const std::int64_t step = rows_ / 100 + 1;
      for (std::int64_t due = (r / step + 1) * step; due < rows_; due += step) print_progress(due, rows_, '\r');
      return false;
    }
    return true;
  }

 private:
  void report_fault(std::int64_t r, const array_fault& fault) {
    fault_reported_ = true;
    failure::report_in_part("row " + std::to_string(r + 1) + ", column " + std::to_string(fault.column) + " (" +
                            f_.column(fault.column).name + "): the array of " + std::to_string(fault.count) +
                            " elements at heap byte " + std::to_string(fault.offset) +
                            " lies outside the heap of " + std::to_string(heap_declared_) + " bytes");
  }

  util::output_file* file_;
  const std::int64_t rows_;
  const row_formatter& f_;
  const std::int64_t heap_declared_;
  const bool warn_first_row_;
  bool lead_;
  bool fault_reported_ = false;
};

// The threads that format rows: the run setting, or every core the process
// may use.
int formatting_threads() {
  if (threads > 0) return threads;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
  return 1;
}

// Passes `rows` rows of `f` from `source` through `sink`: one thread reads,
// formats and passes on each run in turn, or, for a table large enough to
// pay for them, workers format runs while this thread reads the next ones.
// Returns the number of rows done.
std::int64_t pass_rows(std::int64_t rows, const row_formatter& f, const heap_view& heap, bool with_text,
                       const row_source& source, row_sink& sink, const row_maker& make = {}) {
  const std::int64_t width = f.row_bytes();
  // A run holds about run_bytes of input, the arrays of its rows counted
  // too: a row of a held table may point at megabytes of heap, whose text
  // would otherwise make each run in flight that much larger.
  const std::int64_t weight = width + (rows > 0 ? heap.delivered / rows : 0);
  std::int64_t per_run = weight > 0 ? run_bytes / weight : max_run_rows;
  per_run = per_run < 1 ? 1 : (per_run > max_run_rows ? max_run_rows : per_run);
  const int workers = formatting_threads();
  // Rows passed over unformatted (--rows) cost their reading only.
  const bool parallel = workers > 1 && width > 0 && saturated_product(f.most_wanted(rows), weight) >= parallel_bytes;

  std::int64_t done = 0;
  if (!parallel) {
    row_run run;
    while (done < rows) {
      const std::int64_t n = source(done, rows - done < per_run ? rows - done : per_run, run);
      if (make) make(run);
      format_run(f, heap, with_text, run);
      if (!sink.emit(run)) return rows;
      done += n;
      if (run.cut_available >= 0) break;
    }
    return done;
  }
  row_pipeline pipeline(workers, f, heap, with_text, [&sink](row_run& run) { sink.emit(run); }, make);
  while (done < rows) {
    row_run& run = pipeline.free_run();
    const std::int64_t n = source(done, rows - done < per_run ? rows - done : per_run, run);
    pipeline.submit(run);
    done += n;
    if (run.cut_available >= 0) break;
  }
  pipeline.finish();
  return done;
}

// Rows read from the stream as they come, `rows` of them. `stored_width`
// is the row length the header declares (NAXIS1): where the cells take no
// bytes of a row that has some (an IMAGE extension without --full, a table
// of no columns), those bytes are passed over unread, and a row is there
// only when they arrived.
std::int64_t stream_rows(fits::stream& in, util::output_file* file, std::int64_t rows, const row_formatter& f,
                         bool lead = false, std::int64_t stored_width = 0) {
  const std::int64_t width = f.row_bytes();
  row_sink sink(file, rows, f, 0, lead);
  auto source = [&](std::int64_t first, std::int64_t max_rows, row_run& run) {
    if (width > 0) {
      // Rows nobody wants are passed over at the speed of reading.
      const std::int64_t wanted = f.next_wanted(first);
      if (wanted > first) {
        return skip_run(in, width, first, wanted - first < max_rows ? wanted - first : max_rows, run);
      }
      return read_run(in, width, first, max_rows, run);
    }
    // Rows of no bytes: a place that holds none (not null: a cell of no
    // bytes is still read from its row).
    static constexpr unsigned char no_bytes[1] = {0};
    run.first = first;
    run.count = max_rows;
    run.rows = no_bytes;
    run.cut_available = -1;
    if (stored_width > 0) {
      const std::int64_t want = saturated_product(stored_width, max_rows);
      const std::int64_t got = in.discard(want);
      if (got < want) {
        run.count = got / stored_width;
        run.cut_available = got - run.count * stored_width;
      }
    }
    return run.count;
  };
  return pass_rows(rows > 0 ? rows : 0, f, heap_view{}, file != nullptr, source, sink);
}

// A table whose arrays lie in the heap after its rows: the whole data
// unit is held in memory, as far as the stream delivers it, and the rows
// are formatted once it has arrived.
std::int64_t held_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                       const row_formatter& f, std::int64_t heap_offset, std::int64_t data_size) {
  const std::int64_t rows = h.naxis2 > 0 ? h.naxis2 : 0;
  const std::int64_t width = f.row_bytes();
  const std::int64_t rows_bytes = saturated_product(width, rows);
  const std::int64_t wanted = rows_bytes > data_size ? rows_bytes : data_size;
  // The bytes stay where read_piece leaves them (the stream's buffer or
  // `spill`) until the stream is read again, after the last row.
  fits::byte_buffer spill;
  std::int64_t got = 0;
  const unsigned char* data = in.read_piece(wanted, got, spill);

  heap_view heap;
  if (heap_offset < got) {
    heap.bytes = data + heap_offset;
    heap.delivered = got - heap_offset;
  }
  heap.declared = data_size > heap_offset ? data_size - heap_offset : 0;

  // Tables with arrays have descriptors: their rows are never empty.
  const std::int64_t arrived = got / width < rows ? got / width : rows;
  row_sink sink(file, h.naxis2, f, heap.declared);
  auto source = [&](std::int64_t first, std::int64_t max_rows, row_run& run) {
    run.first = first;
    run.rows = data + first * width;
    run.count = arrived - first < max_rows ? arrived - first : max_rows;
    run.cut_available = first + run.count == arrived && arrived < rows ? got - arrived * width : -1;
    return run.count;
  };
  return pass_rows(rows, f, heap, file != nullptr, source, sink);
}

}  // namespace

text_form settings_text_form() { return {.exact = exact != 0, .csv = csv != 0, .null_text = null_text}; }

text_form settings_table_form() {
  text_form form = settings_text_form();
  // ECSV promises values that read back bit for bit.
  if (ecsv != 0) form.exact = true;
  return form;
}

std::int64_t write_binary_rows(fits::stream& in, util::output_file* file, const extension_header& h) {
  const std::vector<int> selected = selected_cells(h.tfields);
  text_form form = settings_table_form();
  if (ecsv != 0) form.ecsv = binary_ecsv_layout(selected, h.cards);
  row_formatter f = row_formatter::binary_table(h.tfields, selected, form);
  f.choose(choose_rows(rows_of::binary_table, &h));
  return write_rows(in, file, h, f);
}

namespace {

// The CSV header record, before the first row of a part that has rows.
void write_leading_text(util::output_file* file, std::int64_t rows, const row_formatter& f) {
  // An ECSV table of no rows is still a table: its header says so.
  if (file == nullptr || (rows <= 0 && !f.ecsv())) return;
  text_buffer leading;
  f.leading_text(leading);
  file->write(leading.data(), leading.size());
}

}  // namespace

std::int64_t write_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                        const row_formatter& f) {
  write_leading_text(file, h.naxis2, f);
  if (f.has_arrays()) {
    return held_rows(in, file, h, f, h.unit.heap_offset(), h.unit.heap_end());
  }
  return stream_rows(in, file, h.naxis2, f, false, f.row_bytes() == 0 ? h.naxis1 : 0);
}

std::int64_t write_rows(fits::stream& in, util::output_file* file, std::int64_t rows, const row_formatter& f) {
  // An image's header record numbers its NAXIS1 columns: it waits for the
  // first whole line, so that a header that declares a line of a trillion
  // pixels on a short file costs nothing.
  return stream_rows(in, file, rows, f, true);
}

std::int64_t write_source_rows(util::output_file* file, std::int64_t rows, const row_formatter& f,
                               const row_source& source, const row_maker& make) {
  row_sink sink(file, rows, f, 0, true);
  return pass_rows(rows > 0 ? rows : 0, f, heap_view{}, file != nullptr, source, sink, make);
}

}  // namespace orvex::decoder
