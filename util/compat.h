// Bounded copies of NUL-terminated byte strings into fixed-size buffers.
//
// Both functions take the size of the whole destination buffer, its NUL
// included, and return the length of the string they tried to build, so a
// caller sees a cut result by comparing that length with the size.
//
// Some C libraries declare ::strlcpy and ::strlcat of their own with the same
// parameters. Ours live only in orvex::util and are always called qualified
// (util::strlcpy) or from inside orvex::util, where they hide the global
// ones; a `using namespace orvex::util` in a scope that also sees <string.h>
// would make an unqualified call ambiguous, so do not write one.
#pragma once

#include <cstddef>

namespace orvex::util {

// Copies `src` into `dst`, a buffer of `size` bytes. With a size of 0
// nothing is written; otherwise the first min(strlen(src), size - 1)
// characters are copied and a NUL is written after them. Returns
// strlen(src) in every case: a result of `size` or more means the copy was
// cut. `src` must not be null and must not overlap `dst`.
std::size_t strlcpy(char* dst, const char* src, std::size_t size) noexcept;

// Appends `src` to the string in `dst`, a buffer of `size` bytes. When the
// destination's length is below size - 1, the first
// min(strlen(src), size - strlen(dst) - 1) characters of `src` are written
// at its end and a NUL after them; otherwise `dst` is left unchanged.
// Returns strlen(dst) + strlen(src), both taken before the append.
//
// A size of 0, or a destination whose NUL lies beyond `size`, is outside
// the contract; for those the destination is left unchanged, is never read
// past `size` bytes, and the result counts its length as `size`.
std::size_t strlcat(char* dst, const char* src, std::size_t size) noexcept;

}  // namespace orvex::util
