#include "decoder/row_output.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "decoder/column_table.h"
#include "util/failure.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

// Orders column names byte by byte; equal length and bytes is one key.
struct ltstr {
  bool operator()(std::string_view a, std::string_view b) const { return a < b; }
};

// Name to column number, the last column bearing a name winning.
using column_map = std::map<std::string_view, int, ltstr>;

column_map map_columns(int tfields) {
  column_map map;
  for (int n = 1; n <= tfields; ++n) map[table[static_cast<std::size_t>(n)].name] = n;
  return map;
}

// The first column 1 to tfields whose name is `name`, or 0.
int first_column_named(std::string_view name, int tfields) {
  for (int n = 1; n <= tfields; ++n) {
    if (name == table[static_cast<std::size_t>(n)].name) return n;
  }
  return 0;
}

// "%-*.*s " with width and precision both `width`: the text cut to the
// width, padded to it, and a blank. printf reads a negative width as a
// left-justified field of its absolute value, a negative precision as none.
void put_heading_field(util::output_file& file, const char* text, std::int32_t width) {
  std::size_t len = std::strlen(text);
  if (width >= 0 && len > static_cast<std::size_t>(width)) len = static_cast<std::size_t>(width);
  file.write(text, len);
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
  const column_map map = map_columns(tfields);
  std::vector<int> cells;
  auto add = [&](std::string_view name) {
    if (auto it = map.find(name); it != map.end()) cells.push_back(it->second);
  };
  if (!myvec.empty()) {
    for (const std::string& name : myvec) add(name);
  } else {
    for (int n = 1; n <= tfields; ++n) add(table[static_cast<std::size_t>(n)].name);
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
    file.put('!');
    for (const std::string& name : myvec) {
      if (int n = first_column_named(name, tfields)) {
        file.write(std::string_view(table[static_cast<std::size_t>(n)].name));
        file.put(' ');
      }
    }
    file.write("\n!");
    for (const std::string& name : myvec) {
      if (int n = first_column_named(name, tfields)) {
        file.write(std::string_view(table[static_cast<std::size_t>(n)].unit));
        file.put(' ');
      }
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
  // A 64-bit product: 100 * done cannot overflow.
  std::printf("%03ld%%%c", static_cast<long>(100 * done / total), end);
  // On a terminal each figure overwrites the one before; it has to be seen
  // when it is printed, not at the next line end.
  static const bool terminal = ::isatty(STDOUT_FILENO) != 0;
  if (terminal) std::fflush(stdout);
}

void report_truncated_table(std::int64_t done, std::int64_t declared) {
  failure::report_cut_in_part("the stream ends inside the table: " + std::to_string(done) + " of " +
                          std::to_string(declared) + " rows written");
}

void report_truncated_image(std::int64_t done, std::int64_t declared) {
  failure::report_cut_in_part("the stream ends inside the image: " + std::to_string(done) + " of " +
                              std::to_string(declared) + " image lines written");
}

namespace {

// Product that stops at the largest value instead of overflowing.
std::int64_t saturated_product(std::int64_t a, std::int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  return a > INT64_MAX / b ? INT64_MAX : a * b;
}

// What every row passes through once its bytes have arrived: its messages
// on standard error, its line into the file, the warning and the progress
// figures on standard output, and the report of the first array that
// lies outside the heap.
class row_sink {
 public:
  // `rows`: the rows the header declares (or the image's lines).
  row_sink(util::output_file* file, std::int64_t rows, const row_formatter& f)
      : file_(file), rows_(rows), f_(f), warn_first_row_(f.binary() && (file == nullptr || f.no_cells())) {}

  // Formats row `r` and passes it on. Returns false when the rows left
  // need not be visited one by one (see the end).
  bool take(std::int64_t r, const unsigned char* row, const heap_view& heap) {
    array_fault fault;
    f_.format(row, heap, file_ != nullptr ? &line_ : nullptr, messages_, fault_reported_ ? nullptr : &fault);
    put_messages(messages_);
    if (fault.column != 0) report_fault(r, fault, heap);
    if (file_ != nullptr) {
      file_->write(line_.data(), line_.size());
      line_.clear();
    }
    if (r == 0 && warn_first_row_) std::puts("Warning: No colums written");
    if (progress_due(r, rows_)) print_progress(r, rows_, '\r');
    if (file_ != nullptr && f_.row_bytes() == 0 && file_->error() != 0) {
      // The file takes nothing more and the rows take no bytes: nothing
      // is left to do for the other rows but their progress figures.
      const std::int64_t step = rows_ / 100 + 1;
      for (std::int64_t due = (r / step + 1) * step; due < rows_; due += step) print_progress(due, rows_, '\r');
      return false;
    }
    return true;
  }

  // The row after the `done` whole ones, which the stream ended inside
  // after `available` bytes: its messages, and the report of the cut.
  void cut(std::int64_t done, const unsigned char* row, std::int64_t available) {
    f_.cut_row_messages(row, available, messages_);
    put_messages(messages_);
    if (file_ == nullptr) return;
    if (f_.image()) {
      report_truncated_image(done, rows_);
    } else {
      report_truncated_table(done, rows_);
    }
  }

 private:
  void report_fault(std::int64_t r, const array_fault& fault, const heap_view& heap) {
    fault_reported_ = true;
    failure::report_in_part("row " + std::to_string(r + 1) + ", column " + std::to_string(fault.column) + " (" +
                            f_.column(fault.column).name + "): the array of " + std::to_string(fault.count) +
                            " elements at heap byte " + std::to_string(fault.offset) +
                            " lies outside the heap of " + std::to_string(heap.declared) + " bytes");
  }

  util::output_file* file_;
  const std::int64_t rows_;
  const row_formatter& f_;
  const bool warn_first_row_;
  bool fault_reported_ = false;
  text_buffer line_;
  std::string messages_;
};

// A table whose arrays lie in the heap after its rows: the whole data
// unit is held in memory, as far as the stream delivers it, and the rows
// are formatted once it has arrived.
std::int64_t write_held_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                             const row_formatter& f, std::int64_t heap_offset, std::int64_t data_size) {
  const std::int64_t rows = h.naxis2 > 0 ? h.naxis2 : 0;
  const std::int64_t rows_bytes = saturated_product(f.row_bytes(), rows);
  const std::int64_t wanted = rows_bytes > data_size ? rows_bytes : data_size;
  // The bytes stay where read_piece leaves them (the stream's buffer or
  // `spill`) until the stream is read again, after the last row.
  std::vector<unsigned char> spill;
  std::int64_t got = 0;
  const unsigned char* data = in.read_piece(wanted, got, spill);

  heap_view heap;
  if (heap_offset < got) {
    heap.bytes = data + heap_offset;
    heap.delivered = got - heap_offset;
  }
  heap.declared = data_size > heap_offset ? data_size - heap_offset : 0;

  row_sink sink(file, h.naxis2, f);
  const std::int64_t whole = f.row_bytes() > 0 ? got / f.row_bytes() : rows;
  const std::int64_t done = whole < rows ? whole : rows;
  for (std::int64_t r = 0; r < done; ++r) {
    if (!sink.take(r, data + r * f.row_bytes(), heap)) return rows;
  }
  if (done < rows) sink.cut(done, data + done * f.row_bytes(), got - done * f.row_bytes());
  return done;
}

}  // namespace

std::int64_t write_binary_rows(fits::stream& in, util::output_file* file, const extension_header& h) {
  return write_rows(in, file, h, row_formatter::binary_table(h.tfields, selected_cells(h.tfields)));
}

std::int64_t write_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                        const row_formatter& f) {
  if (f.has_arrays()) {
    // The heap ends where the data unit does: NAXIS1 x NAXIS2 + PCOUNT
    // bytes for a table, whatever its header says of BITPIX and GCOUNT.
    const std::int64_t rows_bytes = saturated_product(h.unit.naxis1(), h.unit.naxis2());
    const std::int64_t pcount = h.unit.pcount() > 0 ? h.unit.pcount() : 0;
    const std::int64_t data_size = rows_bytes > INT64_MAX - pcount ? INT64_MAX : rows_bytes + pcount;
    return write_held_rows(in, file, h, f, h.unit.heap_offset(), data_size);
  }
  return write_rows(in, file, h.naxis2, f);
}

std::int64_t write_rows(fits::stream& in, util::output_file* file, std::int64_t rows, const row_formatter& f) {
  const std::int64_t width = f.row_bytes();
  row_sink sink(file, rows, f);
  std::vector<unsigned char> spill;
  for (std::int64_t r = 0; r < rows; ++r) {
    std::int64_t got = 0;
    const unsigned char* row = in.read_piece(width, got, spill);
    if (got < width) {
      sink.cut(r, row, got);
      return r;
    }
    if (!sink.take(r, row, heap_view{})) return rows;
  }
  return rows > 0 ? rows : 0;
}

}  // namespace orvex::decoder
