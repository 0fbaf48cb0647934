// Runs one of the row decoders (binary or ASCII) over a data unit held in a
// file, as decode would after the header, and collects everything it
// produced: the row lines, standard output and error, the rows done, the
// bytes taken from the stream and whether a failure was reported.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "decoder/extension_header.h"
#include "fits/stream.h"
#include "tests/fits_builder.h"
#include "util/failure.h"
#include "util/output_file.h"

namespace orvex::test {

struct rows_result {
  std::string file;       // the row lines
  std::string out;        // standard output
  std::string err;        // standard error
  std::int64_t done = 0;  // rows done, as returned
  std::int64_t fpos = 0;  // bytes taken from the stream
  bool failed = false;    // a failure was reported
};

using row_decoder = std::int64_t (*)(fits::stream&, util::output_file*, const decoder::extension_header&);

// Writes `data` to rows.fits in `folder` and decodes it with `decode_rows`
// into rows.001 there (or into no file when not `writing`).
inline rows_result run_rows(row_decoder decode_rows, const std::filesystem::path& folder, const std::string& data,
                            const decoder::extension_header& h, bool writing) {
  const auto input = folder / "rows.fits";
  const auto output = folder / "rows.001";
  write_file(input, data);
  fits::stream in;
  EXPECT_TRUE(in.open(input.c_str()));
  util::output_file file;
  if (writing) {
    EXPECT_TRUE(file.create(output.c_str()));
  }
  rows_result r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  r.done = decode_rows(in, writing ? &file : nullptr, h);
  r.err = testing::internal::GetCapturedStderr();
  r.out = testing::internal::GetCapturedStdout();
  r.fpos = fits::_fpos;
  r.failed = failure::any();
  if (writing) {
    EXPECT_EQ(file.close(), 0);
    r.file = read_file(output);
  }
  return r;
}

}  // namespace orvex::test
