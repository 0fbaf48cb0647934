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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/binary_cells.h"
#include "decoder/column_table.h"
#include "decoder/row_choice.h"
#include "decoder/image_pixels.h"
#include "decoder/text_buffer.h"

namespace orvex::decoder {

// The heap of a table with variable-length arrays, as far as the stream
// delivered it: `delivered` bytes at `bytes`, of a heap declared
// `declared` bytes long.
struct heap_view {
  const unsigned char* bytes = nullptr;
  std::int64_t delivered = 0;
  std::int64_t declared = 0;
};

// How a written column's cells are ECSV fields: as CSV writes them
// (numbers, strings), as True and False (a logical), as "(re+imj)" (a
// complex number, as Python writes one), or as a JSON array (vectors,
// bits, variable-length arrays: decoder/json_text.h), nested by `shape`
// (the axes, outermost first; one flat array when it is empty) with
// `strings` of `string_width` characters for an 'A' cell.
struct ecsv_cell {
  enum class kind { plain, logical, complex, json } what = kind::plain;
  std::vector<std::int64_t> shape;
  std::int64_t string_width = 0;
  int group = 1;  // texts per element: 2 for complex elements
};

// What an ECSV part writes beside its records: the YAML header before the
// names record (ecsv/ecsv_header.h), and each written column's cell form
// in output order.
struct ecsv_layout {
  std::string header;
  std::vector<ecsv_cell> cells;
};

// How the row text is written; chosen when the formatter is built, so that
// every reader of rows writes it alike.
struct text_form {
  // Floating values as the shortest text that reads back to them, TDISPn
  // not applied (number_form::exact in binary_cells.h).
  bool exact = false;
  // RFC 4180 records: fields separated by commas, a line feed after each
  // record. A cell is one field: its elements separated by one blank (the
  // blanks a TDISPn width pads with dropped), no blank after the last; an
  // 'A' text without its trailing blanks. A field that holds a comma, a
  // double quote, a blank or a line end is quoted, its quotes doubled, and
  // a record of one empty field is written "" so that it is no blank line.
  // leading_text() gives the header record; a row of no cells gives no
  // record at all. A cell that is one null element (binary_cells.h:
  // null_element; an ASCII field of its TNULLn text) is an empty field; a
  // null element of a cell of several is written "nan", or null_text.
  bool csv = false;
  // --null: outside CSV, every null element is written as this text (and
  // a blank, as every element is) instead of the text of its bytes.
  std::optional<std::string> null_text = std::nullopt;

  // ECSV (with csv and exact set): the header before the names record and
  // the cells as `ecsv` says; a null element is an empty field, and
  // "null" in a JSON array.
  std::shared_ptr<const ecsv_layout> ecsv = nullptr;

  // Whether nulls are written other than as their bytes give them.
  bool marks_nulls() const { return csv || null_text.has_value(); }
};

// The first descriptor of a row whose array lies outside the declared
// heap (or has a negative count or offset); column 0 when there is none.
struct array_fault {
  int column = 0;
  std::int64_t count = 0;
  std::int64_t offset = 0;
};

class row_formatter {
 public:
  // A binary table of the columns 1 to `tfields` of `table`, whose row
  // lines hold the cells of `selected` (column numbers, in output order; a
  // column may stand in it more than once).
  static row_formatter binary_table(int tfields, std::vector<int> selected, text_form form = {});

  // An ASCII table of the columns 1 to `tfields` of `table`, rows of
  // `naxis1` bytes (at least 0); every row line holds every column in
  // column order, separated by one blank.
  static row_formatter ascii_table(int tfields, std::int32_t naxis1, bool every_field = false, text_form form = {});

  // The lines of an image: rows of `per_line` stored values (NAXIS1, at
  // least 1) of the type of `pixels`, each line those values by its rules
  // (decoder/image_pixels.h), each followed by one blank; in CSV one field
  // each, after a header record that numbers the columns 1 to NAXIS1.
  // Reading an image line says nothing on standard error: a NaN is an
  // image's usual mark of an undefined pixel, and its text says so.
  static row_formatter image_lines(const pixel_rules& pixels, std::int64_t per_line, text_form form = {});

  // Lets only the rows that `choice` wants be formatted (null: every row).
  void choose(std::shared_ptr<const row_choice> choice) { choice_ = std::move(choice); }
  // Whether a choice leaves rows out (rows not wanted are not written).
  bool chooses() const { return choice_ != nullptr; }
  // Whether row `row` (counted from 0), of bytes `bytes`, is formatted:
  // the readers of rows ask before they call format(), and pass over a row
  // that is not wanted without a line or a message.
  bool wanted(std::int64_t row, const unsigned char* bytes) const {
    return choice_ == nullptr || choice_->wanted(row, bytes);
  }
  // The first row from `row` on that may be wanted (row_choice::next_wanted).
  std::int64_t next_wanted(std::int64_t row) const { return choice_ == nullptr ? row : choice_->next_wanted(row); }
  // At most how many of rows 0 to `rows` - 1 are wanted (row_choice::most_wanted).
  std::int64_t most_wanted(std::int64_t rows) const { return choice_ == nullptr ? rows : choice_->most_wanted(rows); }
  // The lines of random groups: one per group, its parameters first, each
  // by its own rules (PSCALn, PZEROn), then its `per_line` data values by
  // `pixels`, as image_lines writes them; in CSV the header record names
  // the parameters (`names`, their PTYPEn) before the values' positions.
  static row_formatter group_lines(const pixel_rules& pixels, std::int64_t per_line, std::vector<pixel_rules> params,
                                   std::vector<std::string> names, text_form form = {});

  // Bytes one row takes in the data unit.
  std::int64_t row_bytes() const { return row_bytes_; }

  // Whether this is a binary table (whose rows warn when no cell is
  // written) rather than an ASCII one or an image.
  bool binary() const { return kind_ == kind::binary; }
  // Whether its rows are an image's lines (whose cut is reported in lines).
  bool image() const { return kind_ == kind::image; }

  // Whether some column holds variable-length arrays (P or Q descriptors
  // of a count of 1 or more), whose elements lie in the heap after the
  // rows: such a table is formatted only once its heap has arrived.
  bool has_arrays() const { return has_arrays_; }

  // The description of column `n` (1 to the table's TFIELDS).
  const column_desc& column(int n) const { return cells_[static_cast<std::size_t>(n - 1)].column; }

  // Whether rows are written as ECSV records (whose header goes before
  // them also when the table has no row).
  bool ecsv() const { return form_.ecsv != nullptr; }

  // Whether a row line holds no cell at all.
  bool no_cells() const { return binary() && selected_.empty(); }

  // Appends what goes before the first row of the table: in CSV the
  // header record, the names of the written columns in output order (none
  // when no column is written; an image's column numbers); nothing
  // otherwise.
  void leading_text(text_buffer& text) const;

  // Formats one whole row (row_bytes() bytes at `row`): appends its line,
  // the cells and a line feed, to `text` unless it is null, and appends to
  // `messages` what reading the row says on standard error ("Not a
  // Number", "Unknown type"), in column order. Messages are the same
  // whether or not a text is asked for.
  //
  // The arrays of P and Q cells are read from `heap`: each is written as
  // a fixed cell of its count and letter would be, an empty one writes
  // nothing. An array outside the declared heap writes nothing and is
  // named in `fault` (the row's first one, when `fault` is not null and
  // names none yet); an array inside it that the stream did not deliver
  // writes nothing either, the cut being the stream's.
  void format(const unsigned char* row, const heap_view& heap, text_buffer* text, std::string& messages,
              array_fault* fault) const;
  void format(const unsigned char* row, text_buffer* text, std::string& messages) const {
    format(row, heap_view{}, text, messages, nullptr);
  }

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
    bool array = false;       // P or Q descriptors
    char element = '\0';      // the arrays' letter when it is one that can be read
    bool looked_at = false;   // read before the line: it may speak, or hold arrays
  };

  // Where the i-th array of cell `c` lies in the heap, or null when it
  // has no bytes there (outside the heap, or not delivered); `fault`
  // names the first one outside the heap.
  static const unsigned char* array_at(const cell& c, int column, std::int64_t i, const unsigned char* row,
                                       const heap_view& heap, std::int64_t& count, array_fault* fault);
  void format_binary(const unsigned char* row, const heap_view& heap, text_buffer* text, std::string& messages,
                     array_fault* fault) const;
  void format_ascii(const unsigned char* row, text_buffer* text, std::string& messages) const;
  void format_image(const unsigned char* row, text_buffer& text) const;
  // The CSV record of `row`.
  void write_csv_record(const unsigned char* row, const heap_view& heap, text_buffer& text) const;
  // CSV: the separator before field `k` of a record.
  void start_field(text_buffer& text, std::size_t k) const;
  // The end of a row's line that began at `line_start` of `text`.
  void end_record(text_buffer& text, std::size_t line_start) const;

  // A selected cell of a line that is no CSV record: its text written by
  // `write` into room asked for once per row, or, when `write` is null
  // (arrays, logicals, printf-form TDISPn widths, very long cells), by
  // write_cell with room of its own, after which `room_after` is asked for
  // the cells that follow.
  struct plain_cell {
    cell_writer write = nullptr;
    int index = 0;  // into cells_
    std::size_t room_after = 0;
  };
  // The text of cell cells_[i] through write_cell, in the number form of
  // the table.
  void write_cell_text(int i, const unsigned char* row, const heap_view& heap, text_buffer& text) const;
  // write_cell of `count` elements of `letter` of column `c`, their nulls
  // written as the text form asks.
  void write_values(const column_desc& c, char letter, const unsigned char* bytes, std::int64_t count,
                    text_buffer& text, bool json = false) const;
  // ECSV: the field of the n-th written cell.
  void write_ecsv_field(std::size_t n, const unsigned char* row, const heap_view& heap, text_buffer& text) const;
  // The elements of cell cells_[i] as texts for a JSON array.
  void write_json_elements(int i, const ecsv_cell& e, const unsigned char* row, const heap_view& heap,
                           text_buffer& text) const;
  // Whether ASCII field `c` of `line` holds its TNULLn text.
  bool null_field(std::string_view line, const column_desc& c) const;
  number_form numbers() const { return form_.exact ? number_form::exact : number_form::printf_like; }

  enum class kind { binary, ascii, image };
  kind kind_ = kind::binary;
  text_form form_;
  bool every_field_ = false;  // ASCII: A and F fields too
  pixel_rules pixels_;        // image
  std::int64_t per_line_ = 0; // image: stored values per line
  std::vector<pixel_rules> params_;       // random groups: each parameter's rules
  std::vector<std::string> param_names_;  // and its name
  bool has_arrays_ = false;
  std::int64_t row_bytes_ = 0;
  std::vector<cell> cells_;     // by column number - 1
  std::vector<int> selected_;   // indices into cells_, in output order
  std::vector<int> looked_at_;  // indices of the cells read before the line, in column order
  std::vector<plain_cell> plain_;  // the line (not CSV): selected_, each with its writer
  std::size_t plain_room_ = 0;     // room for the line's bounded cells and its line feed

  // A field of a CSV or ECSV record. The fields whose quotes are known
  // before their bytes are seen (a number of one element and bits: none;
  // an ECSV logical: none; an ECSV bit array: always) are written straight
  // into room asked for once per record, as the line's bounded cells are; the others through write_cell_text and
  // finish_field, or write_ecsv_field, after which `room_after` is asked
  // for the fields that follow. Each field is followed by its comma, the
  // last one replaced by the line feed.
  struct record_cell {
    enum class way { general, number, logical, bits } how = way::general;
    cell_writer write = nullptr;  // number: the writer of its text and one blank
    bool nullable = false;        // number: a null element makes it an empty field
    int index = 0;                // into cells_
    std::size_t room_after = 0;
  };
  void build_record();
  std::vector<record_cell> record_;
  std::size_t record_room_ = 0;
  std::shared_ptr<const row_choice> choice_;
};

}  // namespace orvex::decoder
