// The byte sources behind open_source (fits/byte_source.h), one file each.
// Each takes over the input's buffer, whose first bytes were only looked at.
#pragma once

#include <cstddef>
#include <memory>

#include "fits/byte_source.h"
#include "fits/input_buffer.h"

namespace orvex::fits {

std::unique_ptr<byte_source> plain_source(std::unique_ptr<input_buffer> in);
std::unique_ptr<byte_source> gzip_source(std::unique_ptr<input_buffer> in, inflater which);
std::unique_ptr<byte_source> bzip2_source(std::unique_ptr<input_buffer> in);
std::unique_ptr<byte_source> xz_source(std::unique_ptr<input_buffer> in);
// `history`: the decoded bytes kept to copy strings from (fewer only in
// tests, which reach the strings written before them).
std::unique_ptr<byte_source> lzw_source(std::unique_ptr<input_buffer> in, std::size_t history = 4 << 20);

// The reason given when a compressed stream ends before its end mark.
inline constexpr const char* cut_stream = "unexpected end of file";

}  // namespace orvex::fits
