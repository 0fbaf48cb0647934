// The run log: one line per run that names an input file, appended to
// "logfile" in the current folder: the local time stamp and the command line
// as the option parser left it.
#pragma once

#include <ctime>
#include <string>

namespace orvex::cli {

inline constexpr char log_name[] = "logfile";
inline constexpr int log_open_attempts = 11;

// The line for the argument vector at time `now` (local time), with its
// line end: "YYYY-MM-DD HH:MM:SS" and " word" for every word, a word with a
// blank, a comma or an asterisk written as " \"word\"".
std::string log_line(std::time_t now, int argc, char** argv);

// Appends the run's line to "logfile" with a single write, so that runs
// started side by side in one folder never interleave their lines. When the
// log cannot be opened in eleven attempts, writes "No logfile entry" (no line
// end) on standard error unless quiet is set. Never stops the run. With
// no_logfile set (--no-logfile) it does nothing at all.
void logfile(int argc, char** argv);

}  // namespace orvex::cli
