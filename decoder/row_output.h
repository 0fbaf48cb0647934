// Binary-table rows as text: the column selection, the heading lines, one
// output line per row holding the selected cells in the order of myvec,
// and the progress figures on standard output.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "decoder/extension_header.h"
#include "decoder/row_format.h"
#include "decoder/row_runs.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::decoder {

// The cells a row line holds, in output order, as column numbers, resolved
// once per table. With myvec empty, every column 1 to tfields in column
// order. With flag_all, the table's named columns in the order of their
// TTYPEn cards, each its own cell also where columns share a name.
// Otherwise the column that column_named() finds for each name of myvec
// (exactly, for a preset's names); a name no column bears yields nothing.
std::vector<int> selected_cells(int tfields);

// Writes the two heading lines (names, then units) for the columns 1 to
// tfields of the table: with myvec not empty, those of selected_cells().
// A name's blanks are written as underscores.
void write_heading_lines(util::output_file& file, int tfields);

// "%03ld%%" and `end` on standard output for `done` of `total` rows (or
// image lines); total is not 0. Nothing under --quiet.
void print_progress(std::int64_t done, std::int64_t total, char end);

// Whether row r is one that shows a progress figure.
constexpr bool progress_due(std::int64_t r, std::int64_t total) { return r % (total / 100 + 1) == 0; }

// The text form the run settings ask for (--exact, --csv): that of images
// and random groups, which --ecsv writes as --csv does.
text_form settings_text_form();
// That of tables: under --ecsv the exact numbers of ECSV (its layout is
// the caller's to add, from the table's header).
text_form settings_table_form();

// Decodes the rows of a binary table from `in` (at the first data byte)
// and writes them to `file` when not null. Stops at the end of the stream:
// a row the stream did not deliver in full is not written, and a written
// part says how many rows it has on standard error. Returns the number of
// rows done, for the final progress figure.
std::int64_t write_binary_rows(fits::stream& in, util::output_file* file, const extension_header& h);

// The row loop shared by both kinds of table: writes f.leading_text()
// when the table declares rows, reads whole rows of f.row_bytes() bytes
// from `in` (at the first data byte), has `f` turn each into its line, written to `file` when not null, its messages on
// standard error, and the progress figures (and, for a binary table whose
// lines hold no cell, the warning) on standard output. Stops at the end of
// the stream: a row the stream did not deliver in full is not written, and
// a written part says how many rows it has. Returns the number of rows
// done.
std::int64_t write_rows(fits::stream& in, util::output_file* file, const extension_header& h,
                        const row_formatter& f);

// The same loop for rows without arrays, `rows` of them as the caller
// counts them: a table's NAXIS2, an image's lines (NAXIS2 x NAXIS3 x ...),
// f.leading_text() before the first row that arrived whole.
// The cut of an image is reported in image lines.
std::int64_t write_rows(fits::stream& in, util::output_file* file, std::int64_t rows, const row_formatter& f);

// Fills `run` with whole rows from row `first` on, about `max_rows` of them
// (more when the source's rows come in larger pieces, never past the last),
// and returns how many it holds, at least 1; a source whose rows end short
// sets cut_available as read_run does.
using row_source = std::function<std::int64_t(std::int64_t first, std::int64_t max_rows, row_run& run)>;

// Makes the bytes of the rows that a source has only counted into a run
// (see write_source_rows); called on a worker, runs in any order.
using row_maker = std::function<void(row_run& run)>;

// The row loop for rows that a source makes rather than reads (the lines
// of a tile-compressed image): `rows` rows of `f` from `source`, formatted
// like read rows, f.leading_text() before the first. With `make`, the
// source only says which rows a run holds and `make` fills in their bytes
// on the workers that format them (on this thread when there are none).
std::int64_t write_source_rows(util::output_file* file, std::int64_t rows, const row_formatter& f,
                               const row_source& source, const row_maker& make = {});

// Report a table, or an image, that the stream ended inside of, when it
// was being written: `done` rows (lines) of `declared` arrived. Unless
// `chosen` (--rows, --where: not every row that arrived was written), that
// is the rows written.
void report_truncated_table(std::int64_t done, std::int64_t declared, bool chosen = false);
void report_truncated_image(std::int64_t done, std::int64_t declared, bool chosen = false);

}  // namespace orvex::decoder
