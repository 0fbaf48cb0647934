// The run settings: process-wide values that the command line sets while
// the options are parsed and that the driver and the table decoder only read
// afterwards. The one exception is `myvec`, which the decoder refills from
// every table's TTYPEn cards while `flag_all` is set.
//
// Every reader of debug, header, no_comments and quiet tests for zero
// against nonzero only: the values 1, 100, 104 and 113 that different
// spellings of an option store act alike.
#pragma once

#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace orvex {

extern int debug;        // echo of header keywords on standard output
extern int header;       // heading lines above the table rows
extern int no_comments;  // no "!" comment lines in the output files
extern int quiet;        // no "No logfile entry" message, no progress figures
extern int part;         // -1: every part; else the 1-based ordinal to write
extern int flag_all;     // 1: write every column, myvec follows each table
extern int rosat;        // warn on a CHANDRA telescope
extern int chandra;      // warn on a ROSAT telescope
extern int threads;      // threads that format table rows; 0: every core the process may use
extern int full;         // every image and every ASCII-table field (--full)

// Where the parts' text goes: the current folder while output_dir holds
// nothing, else the folder output_dir (-o DIR, which may name none, as an
// empty word does); standard output when to_stdout is set (-o -), which
// also sends the run's messages to standard error.
extern std::optional<std::string> output_dir;
extern int to_stdout;
extern int exact;       // floating values as the shortest text that reads back
extern int csv;         // tables as CSV files; sets no_comments too
// Tables as ECSV files (<stem>.NNN.ecsv), images as CSV ones; sets csv too.
extern int ecsv;
extern int list_parts;  // list each input's parts instead of decoding them
// --null=TEXT: what every null value of a table is written as (nothing:
// as its bytes give it).
extern std::optional<std::string> null_text;

// Column names to write, in output order.
extern std::vector<std::string> myvec;
// The names of myvec that --col-name gave: its last ones (a preset replaces
// the whole list, --col-name appends to it). The names before them are a
// preset's.
extern std::vector<std::string> col_name_list;

extern int no_logfile;  // no line appended to the run log (--no-logfile)
extern int whole_name;  // the output stem is the input's whole file name (--whole-name)

// SIGFPE signals received; counted by MyHandler, read by nobody.
extern volatile std::sig_atomic_t signal_count;

// Puts every setting back to its value at program start (for tests, which
// run many command lines in one process).
void reset_settings();

}  // namespace orvex
