// The row formatter: turns the bytes of one whole table row into the row's
// line of text and the messages that reading the row gives, with no stream
// in sight. Whatever holds the rows feeds it: the streaming reader, a table
// held in memory until its heap has arrived, a worker's run of rows.
//
// It is built once per table from the column table and keeps its own copy
// of what it needs, so it stays valid and unchanged while the rows are
// formatted, also by several threads at once (format() is const and
// touches only what the caller passes in).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/column_table.h"
#include "decoder/text_buffer.h"

namespace orvex::decoder {

class row_formatter {
 public:
  // A binary table of the columns 1 to `tfields` of `table`, whose row
  // lines hold the cells of `selected` (column numbers, in output order; a
  // column may stand in it more than once).
  static row_formatter binary_table(int tfields, std::vector<int> selected);

  // An ASCII table of the columns 1 to `tfields` of `table`, rows of
  // `naxis1` bytes (at least 0); every row line holds every column in
  // column order, separated by one blank.
  static row_formatter ascii_table(int tfields, std::int32_t naxis1);

  // Bytes one row takes in the data unit.
  std::int64_t row_bytes() const { return row_bytes_; }

  // Whether this is a binary table (whose rows warn when no cell is
  // written) rather than an ASCII one.
  bool binary() const { return binary_; }

  // Whether a row line holds no cell at all.
  bool no_cells() const { return binary_ && selected_.empty(); }

  // Formats one whole row (row_bytes() bytes at `row`): appends its line,
  // the cells and a line feed, to `text` unless it is null, and appends to
  // `messages` what reading the row says on standard error ("Not a
  // Number", "Unknown type"), in column order. Messages are the same
  // whether or not a text is asked for.
  void format(const unsigned char* row, text_buffer* text, std::string& messages) const;

  // The messages of a row that the stream ended inside, after `available`
  // bytes of it (fewer than row_bytes()): reading a cut row says what
  // reading its delivered bytes says, the missing bytes reading as zero.
  // Such a row is never written.
  void cut_row_messages(const unsigned char* row, std::int64_t available, std::string& messages) const;

 private:
  struct cell {
    column_desc column;
    std::int64_t offset = 0;  // of its first byte in the row
    std::int64_t bytes = 0;
    bool quiet = true;        // reading it never says anything
  };

  void format_binary(const unsigned char* row, text_buffer* text, std::string& messages) const;
  void format_ascii(const unsigned char* row, text_buffer* text, std::string& messages) const;

  bool binary_ = true;
  std::int64_t row_bytes_ = 0;
  std::vector<cell> cells_;     // by column number - 1
  std::vector<int> selected_;   // indices into cells_, in output order
  std::vector<int> speaking_;   // indices of the cells that may give messages
};

}  // namespace orvex::decoder
