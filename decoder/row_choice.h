// Which rows of a part are written. The row formatter asks a choice of
// every row, with the row's bytes, before it makes any text: a row that is
// not wanted is read and passed over, and writes and says nothing.
//
// The choices themselves (row ranges, row filters) are made above the
// decoder; the command line installs the maker once, and every table and
// image asks it for the choice of its rows when its formatter is built.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace orvex::decoder {

struct extension_header;

class row_choice {
 public:
  virtual ~row_choice() = default;
  // Whether row `row` (counted from 0; an image's line), whose bytes are
  // at `bytes`, is written. Called by several threads at once: it changes
  // nothing, and it reads nothing but the row and what it was built with.
  virtual bool wanted(std::int64_t row, const unsigned char* bytes) const = 0;
  // A row at or after `row` before which no row is wanted, whatever its
  // bytes (INT64_MAX: none from `row` on), so that a reader may pass over
  // those rows without reading them into memory. `row` itself is a safe
  // answer.
  virtual std::int64_t next_wanted(std::int64_t row) const { return row; }
  // At most how many of the rows 0 to `rows` - 1 are wanted (`rows`
  // itself when nothing tells): few rows are formatted without workers.
  virtual std::int64_t most_wanted(std::int64_t rows) const { return rows; }
};

// What a choice is made for: a binary table (of the column table and the
// header `h`), an ASCII table, or an image's lines (no header: null).
enum class rows_of { binary_table, ascii_table, image };

// Gives the choice of a part's rows, or null for every row.
using row_choice_maker =
    std::function<std::shared_ptr<const row_choice>(rows_of kind, const extension_header* h)>;

// Installs the run's maker (an empty one: every row, the default).
void set_row_choice_maker(row_choice_maker maker);

// The choice for the part whose formatter is being built.
std::shared_ptr<const row_choice> choose_rows(rows_of kind, const extension_header* h);

}  // namespace orvex::decoder
