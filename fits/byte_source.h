// The decoded bytes of one input, whatever its compression: the stream
// reads through one byte_source, chosen by the input's first bytes (not by
// its name):
//
//   1f 8b              gzip (ISA-L's inflate where the build has it, else zlib)
//   "BZh"              bzip2 (libbz2)
//   1f 9d              Unix compress, LZW (decoded here)
//   fd 37 7a 58 5a 00  xz (liblzma)
//   anything else      the bytes as they stand
//
// Several gzip, bzip2 or xz streams one after the other read as one input.
// After the last gzip member, bytes that do not begin another member are
// ignored, as zlib's gzread ignores them.
//
// Faults: a source delivers its bytes and then nothing; error() then tells a
// fault (its reason) from a plain end (empty). A stream that is cut short
// delivers every byte it decoded and then reports "unexpected end of file";
// a fault in the data itself (a bad code, a failed check) drops the bytes of
// the read in which it was found, as gzread does, so that a read never
// hands on bytes that a check has just condemned (LZW, which has no check,
// delivers the bytes before a bad code).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "fits/raw_input.h"

namespace orvex::fits {

class byte_source {
 public:
  virtual ~byte_source() = default;
  // Delivers up to `n` decoded bytes into `dst` and returns the count; fewer
  // than `n` only at the end or at a fault, 0 once nothing more comes.
  virtual std::size_t read(unsigned char* dst, std::size_t n) = 0;
  // The reason of the fault that ended the input; empty after a plain end.
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

// Which inflater decodes gzip input: the fastest the build has, or zlib's
// (which tests hold against the fastest).
enum class inflater { fastest, zlib };

// Whether this build inflates gzip with ISA-L.
bool have_isal();

// Reads the first bytes of `in` and returns the source for them. Blocks
// until six bytes or the end of the input have arrived.
std::unique_ptr<byte_source> open_source(std::unique_ptr<raw_input> in, inflater gzip = inflater::fastest);

}  // namespace orvex::fits
