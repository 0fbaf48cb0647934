// The command line: the option table, the parse into the run settings, the
// usage and help texts, and the SIGFPE counter.
//
// Options take effect in command-line order, a later one overwriting an
// earlier one. Any option error, -? and --help print the full help and end
// the process with status 0, before anything is read or written on disk;
// --version does the same with the version banner alone.
#pragma once

#include <getopt.h>

#include <string>

namespace orvex::cli {

// The long options in getopt_long's form; the last entry is all zeros.
extern const option long_opts[];
// What the parser gives getopt_long: long_opts and entries for the
// prefixes of the first ten that later options made ambiguous (--no for
// --no-comments), which select those options as before.
const option* parser_opts();
// The short options: D, H, d, h alone; P, p and o with an argument; ?.
inline constexpr char short_opts[] = "DHP:dho:p:?";

// The column lists of the two presets, in output order.
inline constexpr const char* rosat_columns[] = {"X", "Y", "PHA", "PI", "TIME", "DETX", "DETY"};
inline constexpr const char* chandra_columns[] = {"x", "y", "pha", "pi", "time", "detx", "dety"};

// Parses the options of argv into the run settings with getopt_long, which
// moves the file names behind the options. Returns the index of the first
// file name (optind); argc when there is none. Calls usage(argv[0], 1, 0) for
// --help and -?, usage(argv[0], 1, 1) for every option error, so it
// returns only on success.
int parse_options(int argc, char** argv);

// Appends the names of a --col-name list to myvec and col_name_list: split
// at commas, runs of commas and commas at either end yield no name. Clears
// flag_all.
void add_column_list(const char* list);

// The --threads argument: a whole number from 0 (every core the process
// may use) to 1024. Returns false, leaving `count` alone, for anything else.
bool thread_count(const char* text, int& count);

// The program name that the usage line shows: the text after the last
// backslash of the path, or else after its last slash, cut at its first dot.
std::string program_name(const char* path);

// Prints the usage line and either the short hint (full_help == 0) or the full
// help on standard output, then ends the process with `status`.
[[noreturn]] void usage(char* program, int full_help, int status = 0);

// Prints the version banner on standard output and ends the process with
// status 0 (--version).
[[noreturn]] void version();

// SIGFPE handler: counts the signal in signal_count and returns. The
// program contains no integer division that can trap, so returning never
// re-executes a faulting instruction.
extern "C" void MyHandler(int signal_number);

}  // namespace orvex::cli
