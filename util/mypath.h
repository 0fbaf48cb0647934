// Splitting a path into drive, directory, name and extension, and joining
// such parts back into a path. The driver uses them to take the stem of an
// input file (its name without the last extension) and to name the output
// text files after it.
//
// Paths are plain bytes. The separators are '/', '\\' and ':', all three on
// every platform; letter case plays no role. The four parts of a path are:
//   extension  from the last '.' to the end, dot included, when no separator
//              follows that dot; otherwise empty. A dot at the start of the
//              path or of the name counts too (".profile" is an extension).
//   name       between the last separator before the extension (or the start
//              of the path) and the extension.
//   drive      of the text in front of the name, the prefix up to and
//              including its last ':'; empty when that text has no ':'.
//   directory  between the drive and the name; when not empty it ends with
//              the separator in front of the name, and a leading separator
//              belongs to it.
// Joining the four parts again gives back the path they came from, as long
// as nothing was cut on the way.
//
// Every buffer size counts the terminating NUL, and every non-null output
// buffer must have a size of at least 1.
#pragma once

#include <cstddef>

namespace orvex::util {

// Result codes; the same numbers on every platform.
inline constexpr int path_ok = 0;
inline constexpr int path_out_of_memory = 12;
inline constexpr int path_buffer_too_small = 38;

// Buffer sizes used by the fixed-size forms. The drive has room for one
// letter and its ':'.
inline constexpr std::size_t drive_buffer_size = 3;
inline constexpr std::size_t directory_buffer_size = 256;
inline constexpr std::size_t name_buffer_size = 256;
inline constexpr std::size_t extension_buffer_size = 256;
inline constexpr std::size_t combined_buffer_size = 260;

// Splits `path` into its drive, directory, name and extension. Each output
// is a buffer followed by its size; a null buffer skips that part (and
// cannot fail). Every non-null output is first set to the empty string.
//
// Returns path_ok on success and for a null path (all outputs empty);
// path_out_of_memory when the private copy of the path cannot be made (all
// outputs empty); path_buffer_too_small when a part does not fit. The parts
// are filled in the order extension, name, directory, drive: the one that
// did not fit holds its first size - 1 characters, those filled before it
// are complete and those after it stay empty. `path` is never changed.
int explode_path_n(const char* path,
                   char* drive, std::size_t drive_size,
                   char* dir, std::size_t dir_size,
                   char* name, std::size_t name_size,
                   char* ext, std::size_t ext_size) noexcept;

// explode_path_n with buffers of drive_buffer_size, directory_buffer_size,
// name_buffer_size and extension_buffer_size bytes.
int explode_path(const char* path, char* drive, char* dir, char* name,
                 char* ext) noexcept;

// Joins drive, directory, name and extension into `dest`, a buffer of
// `size` bytes. Any part may be null or empty, and then adds nothing, not
// even its separator. A drive gets a ':' after it unless it ends with one;
// a directory gets a '/' unless it ends with '/' or '\\'; an extension gets
// a '.' in front unless it begins with one.
//
// Returns path_ok, and also for a null `dest` (nothing is written). When the
// result does not fit (its length is `size` or more), `dest` holds its first
// size - 1 characters and path_buffer_too_small is returned.
int combine_path_n(char* dest, std::size_t size, const char* drive,
                   const char* dir, const char* name, const char* ext) noexcept;

// combine_path_n with a buffer of combined_buffer_size bytes.
int combine_path(char* dest, const char* drive, const char* dir,
                 const char* name, const char* ext) noexcept;

}  // namespace orvex::util
