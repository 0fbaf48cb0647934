// Builds FITS inputs for tests, in memory, so that a test shows the file it
// feeds to the decoder:
//
//   auto fits = fits_builder{}
//       .primary({"SIMPLE  =                    T", "BITPIX  =                    8",
//                 "NAXIS   =                    0"})
//       .bintable({{"TTYPE1", "'TIME'"}, {"TFORM1", "'1D'"}}, big_endian{}.f64(1.5).bytes())
//       .bytes();
//
// The FITS layout rules the builder follows: a header is a run of 80-character
// cards closed by an END card and padded with blank cards to a multiple of
// 2880 bytes; a data unit is padded to a multiple of 2880 bytes (zero bytes,
// or blanks for an ASCII table); binary values are big-endian. Every rule can
// be broken on purpose (unit_layout, raw(), cut()) to build truncated and
// damaged files.
//
// Bytes are held in std::string: any byte value, NULs included, and easy to
// compare and print in a failing test. Mistakes in building an input (a card
// longer than 80 characters, a TFORM whose width cannot be computed) throw
// std::invalid_argument, which fails the test that made them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::test {

inline constexpr std::size_t card_size = 80;
inline constexpr std::size_t block_size = 2880;
inline constexpr std::size_t cards_per_block = block_size / card_size;

// Formats one card as a FITS writer does: the keyword left-aligned in columns
// 1-8, "= " in columns 9-10, then the value. A value that begins with a quote
// (a string) starts in column 11 as given; any other value (logical, integer,
// real) is right-aligned to column 30, the fixed format. A non-empty comment
// follows as " / comment". The result is padded with blanks to 80 characters.
// Throws std::invalid_argument for a keyword longer than 8 characters or a
// card longer than 80.
std::string format_card(std::string_view keyword, std::string_view value,
                        std::string_view comment = {});

// Pads `text` with blanks to 80 characters, unchanged otherwise (a raw card:
// "END", a COMMENT card, a card with odd spacing). Throws
// std::invalid_argument when `text` is longer than 80 characters.
std::string raw_card(std::string_view text);

// One header card, always exactly 80 characters. Built implicitly from a raw
// text ("NAXIS   =                    0") or from {keyword, value[, comment]}
// ({"TFORM1", "'1D'"}), so lists of cards read naturally in a test.
class card {
 public:
  card(const char* raw) : text_(raw_card(raw)) {}
  card(std::string_view raw) : text_(raw_card(raw)) {}
  card(std::string_view keyword, std::string_view value, std::string_view comment = {})
      : text_(format_card(keyword, value, comment)) {}

  // The 80 characters of the card.
  const std::string& text() const { return text_; }
  // Columns 1-8 with trailing blanks removed.
  std::string keyword() const;
  // For a "KEYWORD = value" card: the value without the comment, a string
  // value without its quotes and trailing blanks; empty for other cards.
  std::string value() const;

 private:
  std::string text_;
};

// Appends big-endian values, the byte order of FITS binary data, to build the
// rows of a binary table or the pixels of an image.
//   big_endian{}.f64(12.5).f32(1.0f).i32(-7).chars("AB", 4).bytes()
class big_endian {
 public:
  big_endian& u8(std::uint8_t v);
  big_endian& i8(std::int8_t v);
  big_endian& i16(std::int16_t v);
  big_endian& u16(std::uint16_t v);
  big_endian& i32(std::int32_t v);
  big_endian& u32(std::uint32_t v);
  big_endian& i64(std::int64_t v);
  big_endian& f32(float v);
  big_endian& f64(double v);
  // The IEEE bit patterns themselves, for NaNs and infinities of a chosen form.
  big_endian& f32_bits(std::uint32_t bits) { return u32(bits); }
  big_endian& f64_bits(std::uint64_t bits);
  // `text` padded with NUL bytes to `width` (cut when longer); width 0 means
  // text.size(). An 'A' column of width w is chars(text, w).
  big_endian& chars(std::string_view text, std::size_t width = 0);
  // Bytes appended unchanged.
  big_endian& raw(std::string_view bytes);

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// How a unit is closed. The defaults follow the FITS rules; switch one off
// to build a file that breaks them.
struct unit_layout {
  bool end_card = true;     // close the header with an END card
  bool pad_header = true;   // blank cards up to the next block boundary
  bool pad_data = true;     // fill bytes up to the next block boundary
};

// Header values of a table that the builder otherwise computes: NAXIS1 from
// the TFORMn cards (binary) or the longest row (ASCII), NAXIS2 from the data
// and NAXIS1, TFIELDS from the highest column number of the TFORMn, TTYPEn
// and TBCOLn cards, PCOUNT 0. Set one to write a value that disagrees with
// the data. A table with a heap gives NAXIS2 and PCOUNT, and its rows
// followed by the heap as its data.
struct table_shape {
  std::optional<std::int64_t> naxis1{};
  std::optional<std::int64_t> naxis2{};
  std::optional<std::int64_t> tfields{};
  std::optional<std::int64_t> pcount{};
};

// Row width in bytes of one binary-table column form such as '1D', '8X',
// '4A' or '1PE(100)' (the FITS sizes: L, X (bits), B, A 1; I 2; J, E 4;
// K, D, C, P 8; M, Q 16; a missing count is 1). std::nullopt for a form that
// is not a binary-table form.
std::optional<std::int64_t> tform_width(std::string_view tform);

// Concatenates FITS units, each starting where the previous one ended (on a
// block boundary unless padding was switched off).
class fits_builder {
 public:
  // A header unit of the given cards, verbatim and in order, closed by
  // END and blank cards as `layout` says. primary() and header() are the
  // same; the name tells the reader which unit the test means.
  fits_builder& primary(const std::vector<card>& cards, unit_layout layout = {});
  fits_builder& header(const std::vector<card>& cards, unit_layout layout = {});

  // A minimal primary header without data: SIMPLE = T, BITPIX = 8,
  // NAXIS = 0, then `extra` cards.
  fits_builder& empty_primary(const std::vector<card>& extra = {});

  // A primary unit holding a 16-bit 2-D image: SIMPLE, BITPIX = 16,
  // NAXIS = 2, NAXIS1 = width, NAXIS2 = height, the `extra` cards, END; then
  // the pixels, row after row, big-endian, padded with zero bytes. `pixels`
  // must hold width * height values (else std::invalid_argument).
  fits_builder& image16(std::int64_t width, std::int64_t height,
                        const std::vector<std::int16_t>& pixels,
                        const std::vector<card>& extra = {}, unit_layout layout = {});

  // An image of any pixel type: a primary unit (SIMPLE = T) or an IMAGE
  // extension (XTENSION = 'IMAGE', with PCOUNT = 0 and GCOUNT = 1 after
  // the axes), BITPIX = `bitpix`, NAXIS and NAXISn from `axes`, the `extra`
  // cards, END; then `pixels` (big-endian bytes, see big_endian) as the
  // data unit, padded with zero bytes. The pixels are not checked against
  // the axes, so that a test can declare more than it gives.
  fits_builder& image(std::int64_t bitpix, const std::vector<std::int64_t>& axes, std::string_view pixels,
                      const std::vector<card>& extra = {}, unit_layout layout = {});
  fits_builder& image_extension(std::int64_t bitpix, const std::vector<std::int64_t>& axes,
                                std::string_view pixels, const std::vector<card>& extra = {},
                                unit_layout layout = {});

  // A data unit: `data` padded with zero bytes as `layout.pad_data` says.
  fits_builder& data(std::string_view data, unit_layout layout = {});

  // A binary-table extension: XTENSION = 'BINTABLE', BITPIX = 8, NAXIS = 2,
  // NAXIS1, NAXIS2, PCOUNT = 0, GCOUNT = 1, TFIELDS (computed unless `shape`
  // gives them), then `cards` in order (column cards, EXTNAME, TELESCOP, ...),
  // END; then `rows` as the data unit, padded with zero bytes.
  fits_builder& bintable(const std::vector<card>& cards, std::string_view rows,
                         table_shape shape = {}, unit_layout layout = {});

  // An ASCII-table extension: XTENSION = 'TABLE' and the same structural
  // cards as bintable(); the caller's `cards` carry TBCOLn, TFORMn, TTYPEn.
  // Each row is padded with blanks to NAXIS1 (the longest row unless `shape`
  // says otherwise; a longer row is written whole), and the data unit is
  // padded with blanks, as FITS requires for ASCII tables.
  fits_builder& ascii_table(const std::vector<card>& cards, const std::vector<std::string>& rows,
                            table_shape shape = {}, unit_layout layout = {});

  // Appends `bytes` unchanged: junk between units, a unit built by hand.
  fits_builder& raw(std::string_view bytes);

  // Cuts what has been built so far to its first `size` bytes (a truncated
  // file); a size beyond the end changes nothing.
  fits_builder& cut(std::size_t size);

  // Everything built, as the file's bytes.
  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

  // The file's bytes as one gzip member (see gzip()).
  std::string gzip() const;

 private:
  fits_builder& image_unit(bool extension, std::int64_t bitpix, const std::vector<std::int64_t>& axes,
                           std::string_view pixels, const std::vector<card>& extra, unit_layout layout);
  fits_builder& table(std::string_view xtension, const std::vector<card>& cards,
                      std::string_view rows, std::int64_t naxis1, table_shape shape,
                      char fill, unit_layout layout);

  std::string bytes_;
};

// One header unit's bytes: the cards, then END and blank cards as `layout`
// says.
std::string header_unit(const std::vector<card>& cards, unit_layout layout = {});

// The comment lines that orvex writes for a header: "!" and the card
// without its trailing blanks (a card of 80 blanks stays as it is) for every
// card, closed by "!END" unless `end` is false.
std::string comment_lines(const std::vector<card>& cards, bool end = true);

// `data` followed by `fill` bytes up to a multiple of 2880 (nothing is added
// to an empty or already whole unit).
std::string pad_to_block(std::string_view data, char fill = '\0');

// Compresses `data` into one gzip member with zlib (in memory). Two members
// written one after the other, gzip(a) + gzip(b), form a valid gzip file that
// zlib reads as a + b.
std::string gzip(std::string_view data, int level = 6);

// One bzip2 stream (libbz2) and one xz stream (liblzma) of `data`, in
// memory; like gzip members, streams written one after the other read as
// one input.
std::string bzip2(std::string_view data);
std::string xz(std::string_view data);

// What `command` (a shell command) writes on standard output when it reads
// `input` on standard input, and its exit status in `status`; std::nullopt
// when the shell cannot run it (status 127: not installed).
std::optional<std::string> filter_through(const std::string& command, std::string_view input, int& status);

// `data` through the compress program (Debian ncompress) with `flags`, as
// a .Z file; std::nullopt when compress is not installed.
std::optional<std::string> unix_compress(std::string_view data, const std::string& flags = "");

// The ways the tests store an input, and `data` stored that way
// (std::nullopt: compress is not installed).
enum class packing { plain, gzip, bzip2, xz, compress };
inline constexpr packing every_packing[] = {packing::plain, packing::gzip, packing::bzip2, packing::xz,
                                            packing::compress};
const char* packing_name(packing p);
std::optional<std::string> packed(std::string_view data, packing p);

// Decompresses every member of a gzip file in memory (for checking the
// builder itself). Throws std::runtime_error on a damaged stream.
std::string gunzip(std::string_view data);

// Writes `bytes` to `path`, replacing the file, creating missing parent
// directories. Throws std::runtime_error when the file cannot be written.
void write_file(const std::filesystem::path& path, std::string_view bytes);

// Reads the whole file at `path`. Throws std::runtime_error when it cannot.
std::string read_file(const std::filesystem::path& path);

}  // namespace orvex::test
