// The file and part driver: turns each input file into one text file per
// header-and-data unit in the current folder, <stem>.000 for the primary
// unit and <stem>.001, <stem>.002, ... for the extensions in file order.
// The files go into another folder under -o DIR, one after the other to
// standard output under -o -, and are CSV files of the tables alone
// (<stem>.NNN.csv) under --csv. The input "-" is standard input.
//
// The driver owns the input stream and the one open output file. It reads
// the primary header and image itself and hands every extension to
// decoder::decode.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fits/stream.h"

namespace orvex::cli {

// The inputs of a run, by identity (device and inode), so that no output
// ever truncates one of them, whatever name it is reached by.
class input_set {
 public:
  // Records the identity of every path that exists now, and the paths of
  // those that do not.
  input_set(char* const* paths, int count);
  // Whether `path` exists and is one of the inputs: one recorded at the
  // start, or one that did not exist then and that the run has created
  // since (an earlier input's output), looked up anew.
  bool contains(const char* path) const;

 private:
  std::vector<std::pair<dev_t, ino_t>> ids_;
  std::vector<std::string> absent_;
};

// The outputs this run has written, by the path the driver opened each
// one under, with the input (as named on the command line) that wrote it.
// Two inputs with the same name stem write the same paths, and the later
// one's files replace the earlier one's.
class output_owners {
 public:
  // Records that `input` has written `output`. Returns the input that wrote
  // it earlier in the run, if one did.
  std::optional<std::string> claim(const std::string& output, const char* input);

 private:
  std::map<std::string, std::string> owners_;
};

// Whether `path` names standard input ("-").
bool is_stdin(const char* path);

// The output name of part `index` of input `path`: the name stem (the last
// path component without its last extension; "stdin" for standard input),
// a dot and the index written with at least three digits.
std::string output_path(const char* path, int index);

// The path the part's file is written to: output_path() with ".csv" after
// it under --csv (".ecsv" for a table under --ecsv), in the folder of -o
// DIR when one is given.
std::string part_file_path(const char* path, int index, bool table = false);

// Opens `path` for reading, or standard input for "-". When it cannot be
// read, reports "cannot open: <reason>" (a folder: "Is a directory") and
// returns false.
bool open_input(fits::stream& in, const char* path);

// Reports that the stream ended inside the current part's data unit, after
// `got` of its `size` bytes.
void report_data_unit_cut(std::int64_t got, std::int64_t size);

// A FITS file begins with the keyword SIMPLE. Anything else is decoded (or
// listed) all the same, but the run says that it was no FITS file. A read
// error before the eighth byte leaves the question open: the read error is
// reported on its own.
void check_fits_signature(fits::stream& in, const char* path);

// Decodes one input file. Returns false when it cannot be opened (the run
// then ends with status 1). Other failures are reported through
// orvex::failure and the run goes on: among them an input that does not
// begin with SIMPLE (decoded all the same), a data unit that the stream
// ends inside, and an output that replaces one of an earlier input
// (recorded in `owners`).
bool process_file(const char* path, const input_set& inputs, output_owners& owners);

// The whole program after the option parse: the run log, then every input
// file from argv[first] on, decoded or (--list) listed. Returns the exit
// status. A folder of -o DIR that does not exist ends the run with status
// 1 before the run log and before any input is read.
int run_files(int argc, char** argv, int first);

}  // namespace orvex::cli
