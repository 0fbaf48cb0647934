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

void print_progress(std::int64_t done, std::int32_t total, char end) {
  // A 64-bit product: 100 * done cannot overflow.
  std::printf("%03ld%%%c", static_cast<long>(100 * done / total), end);
  // On a terminal each figure overwrites the one before; it has to be seen
  // when it is printed, not at the next line end.
  static const bool terminal = ::isatty(STDOUT_FILENO) != 0;
  if (terminal) std::fflush(stdout);
}

void report_truncated_table(std::int64_t done, std::int32_t declared) {
  failure::report_cut_in_part("the stream ends inside the table: " + std::to_string(done) + " of " +
                          std::to_string(declared) + " rows written");
}

std::int64_t write_binary_rows(fits::stream& in, util::output_file* file, const extension_header& h) {
  return write_rows(in, file, h, row_formatter::binary_table(h.tfields, selected_cells(h.tfields)));
}

std::int64_t write_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                        const row_formatter& f) {
  const bool writing = file != nullptr;
  // No cell is written in any row when none is selected or nothing is
  // written at all: the warning then belongs to the first row.
  const bool warn_first_row = f.binary() && (!writing || f.no_cells());
  const std::int64_t width = f.row_bytes();
  text_buffer line;
  std::string messages;
  std::vector<unsigned char> spill;

  std::int64_t done = 0;
  for (std::int64_t r = 0; r < h.naxis2; ++r) {
    std::int64_t got = 0;
    const unsigned char* row = in.read_piece(width, got, spill);
    if (got < width) {
      f.cut_row_messages(row, got, messages);
      put_messages(messages);
      if (writing) report_truncated_table(done, h.naxis2);
      break;
    }
    f.format(row, writing ? &line : nullptr, messages);
    put_messages(messages);
    if (writing) {
      file->write(line.data(), line.size());
      line.clear();
    }
    if (r == 0 && warn_first_row) std::puts("Warning: No colums written");
    if (progress_due(r, h.naxis2)) print_progress(r, h.naxis2, '\r');
    ++done;
    if (writing && width == 0 && file->error() != 0) {
      // The file takes nothing more and the rows take no bytes: nothing
      // is left to do for the other rows but their progress figures.
      const std::int64_t step = h.naxis2 / 100 + 1;
      for (std::int64_t due = (r / step + 1) * step; due < h.naxis2; due += step) print_progress(due, h.naxis2, '\r');
      return h.naxis2;
    }
  }
  return done;
}

}  // namespace orvex::decoder
