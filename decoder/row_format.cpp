#include "decoder/row_format.h"

#include <cstring>
#include <string_view>

#include "decoder/ascii_rows.h"
#include "decoder/binary_cells.h"

namespace orvex::decoder {
namespace {

// Sum that stops at the largest value instead of overflowing: a hostile
// header may declare columns of any width.
std::int64_t saturated_sum(std::int64_t a, std::int64_t b) { return a > INT64_MAX - b ? INT64_MAX : a + b; }

bool speaks(const column_desc& c) {
  switch (c.type) {
    case 'E':
    case 'C':
    case 'D':
    case 'M':
      return c.count > 0;
    default:
      return !known_letter(c.type);
  }
}

}  // namespace

row_formatter row_formatter::binary_table(int tfields, std::vector<int> selected) {
  row_formatter f;
  f.binary_ = true;
  for (int n = 1; n <= tfields; ++n) {
    cell c;
    c.column = table[static_cast<std::size_t>(n)];
    c.offset = f.row_bytes_;
    c.bytes = cell_bytes(c.column.type, c.column.count);
    c.quiet = !speaks(c.column);
    if (!c.quiet) f.speaking_.push_back(n - 1);
    f.row_bytes_ = saturated_sum(f.row_bytes_, c.bytes);
    f.cells_.push_back(c);
  }
  for (int n : selected) f.selected_.push_back(n - 1);
  return f;
}

row_formatter row_formatter::ascii_table(int tfields, std::int32_t naxis1) {
  row_formatter f;
  f.binary_ = false;
  f.row_bytes_ = naxis1 > 0 ? naxis1 : 0;
  for (int n = 1; n <= tfields; ++n) {
    cell c;
    c.column = table[static_cast<std::size_t>(n)];
    f.cells_.push_back(c);
    f.selected_.push_back(n - 1);
  }
  return f;
}

void row_formatter::format(const unsigned char* row, text_buffer* text, std::string& messages) const {
  if (binary_) {
    format_binary(row, text, messages);
  } else {
    format_ascii(row, text, messages);
  }
}

void row_formatter::format_binary(const unsigned char* row, text_buffer* text, std::string& messages) const {
  // Messages come from reading every column in column order, whichever
  // cells the line holds.
  for (int i : speaking_) {
    const cell& c = cells_[static_cast<std::size_t>(i)];
    cell_messages(c.column.type, row + c.offset, c.column.count, c.bytes, messages);
  }
  if (text == nullptr) return;
  for (int i : selected_) {
    const cell& c = cells_[static_cast<std::size_t>(i)];
    write_cell(c.column, c.column.type, row + c.offset, c.column.count, *text);
  }
  text->put('\n');
}

void row_formatter::format_ascii(const unsigned char* row, text_buffer* text, std::string& messages) const {
  // The field reads stop at the NUL after the row, so a number may run on
  // into the next field but never past the row.
  thread_local std::vector<char> copy;
  const std::size_t width = static_cast<std::size_t>(row_bytes_);
  copy.resize(width + 1);
  if (width != 0) std::memcpy(copy.data(), row, width);
  copy[width] = '\0';
  const std::string_view line(copy.data(), width);
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    ascii_cell(line, cells_[i].column, text, messages);
    if (text != nullptr && i + 1 != cells_.size()) text->put(' ');
  }
  if (text != nullptr) text->put('\n');
}

void row_formatter::cut_row_messages(const unsigned char* row, std::int64_t available, std::string& messages) const {
  // An ASCII row is read in one piece: a cut one is never looked at.
  if (!binary_) return;
  for (int i : speaking_) {
    const cell& c = cells_[static_cast<std::size_t>(i)];
    const std::int64_t have = available > c.offset ? available - c.offset : 0;
    cell_messages(c.column.type, row + (have > 0 ? c.offset : 0), c.column.count, have < c.bytes ? have : c.bytes,
                  messages);
  }
}

}  // namespace orvex::decoder
