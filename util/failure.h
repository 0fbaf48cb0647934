// The run's record of failures that the system's own messages do not cover:
// an output file that cannot be written, a read error of the input, a stream that
// ends inside an image, a table or any other data unit, an output that would
// overwrite an input.
//
// Every report prints one line on standard error, "orvex: <subject>: <what>",
// and marks the run as failed; main derives the exit status from that mark
// at the end of the run. Nothing below main decides an exit status from a
// report, and no report stops the run (standard_output_failed excepted).
#pragma once

#include <string_view>

namespace orvex::failure {

// Prints "orvex: <subject>: <what>\n" on standard error and marks the run
// as failed. `subject` is the file the failure is about (an input or an
// output path).
void report(std::string_view subject, std::string_view what);

// The line of report() without the mark: a note on what the run leaves
// out on purpose, which is no failure.
void note(std::string_view subject, std::string_view what);

// The input file and the part index (0 for the primary unit, n for the n-th
// extension, as in the output names) being decoded. The driver sets them;
// report_in_part uses them.
void set_position(std::string_view input, int part_index);

// Prints "orvex: <input>: part <index>: <what>\n" for the current position
// and marks the run as failed.
void report_in_part(std::string_view what);

// The line of report_in_part() without the mark (see note()).
void note_in_part(std::string_view what);

// report_in_part for a report that the stream cut the current part short
// (its header, rows, image lines or data unit) or that its rows cannot be
// read: the part has then said what was lost, and cut_in_part() keeps the
// driver from saying it again in other words.
void report_cut_in_part(std::string_view what);

// Standard output carries the parts' text (-o -) and a write to it failed
// with errno `err`: nothing written later could reach the reader, so the
// run ends here, with status 1. A closed pipe (EPIPE: the reader has gone,
// as `orvex -o - obs.fits | head` does) is the reader's choice and is not
// reported; any other reason (a full disk behind a redirection) is,
// as "orvex: standard output: write failed: <reason>". This is the one
// failure that stops the run.
[[noreturn]] void standard_output_failed(int err);

// Whether report_cut_in_part was called since the last set_position.
bool cut_in_part();

// Whether any failure has been reported since the start (or the last reset).
bool any();

// Forgets all reports and the position (for tests).
void reset();

}  // namespace orvex::failure
