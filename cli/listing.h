// --list: what each input holds, one line per part, without decoding it.
//
// A part's line is its output name (obs.fits.001, as the decoder would name
// its file), its kind ("primary", or the XTENSION value: IMAGE, BINTABLE,
// TABLE, ...), EXTNAME=<name> when the header has one, and its size: for a
// table (BINTABLE, TABLE, A3DTABLE) "<NAXIS2> rows x <TFIELDS> columns",
// for anything else BITPIX=<b> and NAXISn=<value> for every axis (NAXIS=0
// when it has none). Fields are separated by two blanks, so that blanks
// inside a name stay readable. Every column of a table follows on an
// indented line of its own: its number and the values of TTYPEn, TFORMn
// and TUNITn as the header writes them, whole (a string value without
// its quotes and trailing blanks; a missing card gives an empty field, and
// empty fields at the end of the line are left out):
//
//   obs.fits.001  BINTABLE  EXTNAME=EVENTS  11243 rows x 2 columns
//       1  TIME  1D  s
//       2  ENERGY  1E  eV
//
// Headers are read card by card; every data unit is skipped by the size its
// header declares, read once and never decoded, so a listing takes about as
// long as reading the file. A data unit whose size the header does not
// define is passed over as the decoder does: card by card, to the next
// XTENSION card. Nothing is written to a file, and the options that choose
// what is decoded and how it is written play no part.
#pragma once

#include "util/output_file.h"

namespace orvex::cli {

// Appends the listing of input `path` ("-": standard input) to `out`.
// Returns false when the input cannot be opened, which ends the run with
// status 1. Reports through orvex::failure, each making the status 1: an
// input that does not begin with SIMPLE (listed all the same), a header or
// a data unit that the stream ends inside, a read error.
bool list_file(const char* path, util::output_file& out);

// Lists every input in order on standard output. Returns the exit status.
int list_files(char* const* paths, int count);

}  // namespace orvex::cli
