// One tile of a tile-compressed image turned back into its pixel values,
// from the cells of its table row and the arrays they point at in the heap.
//
// A tile's bytes are in COMPRESSED_DATA, compressed by ZCMPTYPE; a tile
// the writer could not compress (a floating tile that would not quantize)
// is in GZIP_COMPRESSED_DATA (its values gzipped) or UNCOMPRESSED_DATA
// (its values as they are) instead. A quantized floating image restores
// its integers with the tile's ZSCALE, ZZERO and null value (columns, or
// keywords for every tile) by ZQUANTIZ (image/dither.h).
//
// Nothing here allocates per tile once a thread's scratch space has grown
// to the largest tile, and nothing reads outside the tile's own arrays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/tile_keywords.h"

namespace orvex::image {

// Where one of the convention's columns is in a table row.
struct tile_column {
  enum class kind { absent, array32, array64, scalar };
  kind what = kind::absent;
  std::int64_t offset = 0;  // of its cell in the row
  char letter = '\0';       // an array's element letter, or a scalar's type letter (B I J K E D)
};

struct tile_columns {
  tile_column data;          // COMPRESSED_DATA
  tile_column gzip_data;     // GZIP_COMPRESSED_DATA
  tile_column raw_data;      // UNCOMPRESSED_DATA
  tile_column zscale;
  tile_column zzero;
  tile_column zblank;
};

// The table as far as the stream delivered it: `rows` rows of `row_bytes`
// at `rows_at` (fewer than the table declares when it was cut), and the
// heap: `delivered` of `declared` bytes at `heap`.
struct tile_table {
  const std::uint8_t* rows_at = nullptr;
  std::int64_t rows = 0;
  std::int64_t row_bytes = 0;
  const std::uint8_t* heap = nullptr;
  std::int64_t delivered = 0;
  std::int64_t declared = 0;
};

// The undefined pixel of decoded integer tiles unless a 64-bit image needs
// another (tile_rules::undefined).
inline constexpr std::int64_t undefined_integer = INT64_MIN;

// What decoding every tile of one image needs, built once from its header.
struct tile_rules {
  codec algorithm = codec::unknown;
  std::string algorithm_name;
  int zbitpix = 0;              // 8, 16, 32, 64, -32 or -64
  bool quantized = false;       // a floating image stored as integers
  quantizing method = quantizing::no_dither;
  std::int64_t zdither0 = 1;
  std::optional<double> zscale;       // the keywords
  std::optional<double> zzero;
  std::optional<std::int64_t> zblank;
  std::optional<std::int64_t> blank;  // the image's BLANK (integer images)
  std::int64_t blocksize = 32;        // RICE_1
  std::int64_t bytepix = 4;           // RICE_1
  std::int64_t smooth = 0;            // HCOMPRESS_1
  // PLIO_1 codes only values from 0 up, and the tiles of an unsigned
  // 16-bit image (BZERO = 32768) hold the unsigned values themselves, not
  // the stored ones: this much is taken off them before BZERO is added.
  std::int32_t plio_offset = 0;
  // The stored integer that stands for an undefined pixel of an integer
  // image in decoded tiles (the image's BLANK, the tile's null value, a
  // tile that could not be decoded). INT64_MIN is no value of an 8-, 16-
  // or 32-bit image; a 64-bit image may hold any value, so its writer
  // chooses one its tiles do not hold (image/compressed_image.cpp).
  std::int64_t undefined = undefined_integer;
  tile_columns columns;
  // A fault of the header that makes every tile undecodable, or empty.
  std::string fault;
};


// How decoding one tile ended.
struct tile_outcome {
  enum class kind { decoded, bad, cut };
  kind what = kind::decoded;
  const char* why = nullptr;  // bad: a static reason
  std::string detail;         // bad: a reason with numbers, when `why` is null
  std::int64_t undefined = 0;  // decoded integer tiles: pixels made rules.undefined
};

// Decodes tile number `number` (from 1; its row is number - 1, which the
// caller has made sure arrived) of `pixels` values, `width` x `height` as
// a 2-D array, into `integers` (integer images: values, undefined pixels
// as rules.undefined) or `reals` (floating images: values, undefined
// pixels as NaN); the other pointer is unused. `cut`: an array inside the
// heap that the stream did not deliver.
// Whether tile `number`'s row and the array its bytes are taken from have
// arrived (an array outside the heap counts as arrived: it is a fault of
// the tile, not a cut).
bool tile_arrived(const tile_rules& rules, const tile_table& table, std::int64_t number);

tile_outcome decode_tile(const tile_rules& rules, const tile_table& table, std::int64_t number,
                         std::int64_t pixels, std::int64_t width, std::int64_t height, std::int64_t* integers,
                         double* reals);

}  // namespace orvex::image
