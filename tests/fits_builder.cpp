#include "tests/fits_builder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <bzlib.h>
#include <lzma.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace orvex::test {

namespace {

// The value of a fixed-format logical, integer or real ends in column 30.
constexpr std::size_t fixed_value_end = 30;
constexpr std::size_t value_start = 10;  // column 11, 0-based

std::string int_text(std::int64_t v) { return std::to_string(v); }

// Column number n of a keyword such as TFORM12 with the given stem; 0 when
// the keyword is not stem + a decimal number.
std::int64_t column_number(std::string_view keyword, std::string_view stem) {
  if (!keyword.starts_with(stem) || keyword.size() == stem.size()) return 0;
  std::int64_t n = 0;
  const char* first = keyword.data() + stem.size();
  const char* last = keyword.data() + keyword.size();
  auto [end, ec] = std::from_chars(first, last, n);
  return (ec == std::errc{} && end == last) ? n : 0;
}

}  // namespace

std::string raw_card(std::string_view text) {
  if (text.size() > card_size) {
    throw std::invalid_argument("card longer than 80 characters: " + std::string(text));
  }
  std::string c(text);
  c.resize(card_size, ' ');
  return c;
}

std::string format_card(std::string_view keyword, std::string_view value,
                        std::string_view comment) {
  if (keyword.size() > 8) {
    throw std::invalid_argument("keyword longer than 8 characters: " + std::string(keyword));
  }
  std::string c(keyword);
  c.resize(8, ' ');
  c += "= ";
  if (!value.starts_with('\'') && value.size() < fixed_value_end - value_start) {
    c.append(fixed_value_end - value_start - value.size(), ' ');
  }
  c += value;
  if (!comment.empty()) {
    c += " / ";
    c += comment;
  }
  return raw_card(c);
}

std::string card::keyword() const {
  std::string k = text_.substr(0, 8);
  k.erase(k.find_last_not_of(' ') + 1);
  return k;
}

std::string card::value() const {
  if (text_.compare(8, 2, "= ") != 0) return {};
  std::string_view rest = std::string_view(text_).substr(value_start);
  rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
  std::string v;
  if (rest.starts_with('\'')) {
    // A quote inside a string value is written twice.
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == '\'') {
        if (i + 1 < rest.size() && rest[i + 1] == '\'') {
          v += '\'';
          ++i;
          continue;
        }
        break;
      }
      v += rest[i];
    }
  } else {
    v = rest.substr(0, rest.find('/'));
  }
  v.erase(v.find_last_not_of(' ') + 1);
  return v;
}

big_endian& big_endian::u8(std::uint8_t v) {
  bytes_ += static_cast<char>(v);
  return *this;
}
big_endian& big_endian::i8(std::int8_t v) { return u8(static_cast<std::uint8_t>(v)); }
big_endian& big_endian::u16(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v >> 8));
  return u8(static_cast<std::uint8_t>(v));
}
big_endian& big_endian::i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
big_endian& big_endian::u32(std::uint32_t v) {
  u16(static_cast<std::uint16_t>(v >> 16));
  return u16(static_cast<std::uint16_t>(v));
}
big_endian& big_endian::i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
big_endian& big_endian::f64_bits(std::uint64_t bits) {
  u32(static_cast<std::uint32_t>(bits >> 32));
  return u32(static_cast<std::uint32_t>(bits));
}
big_endian& big_endian::i64(std::int64_t v) { return f64_bits(static_cast<std::uint64_t>(v)); }
big_endian& big_endian::f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
big_endian& big_endian::f64(double v) { return f64_bits(std::bit_cast<std::uint64_t>(v)); }

big_endian& big_endian::chars(std::string_view text, std::size_t width) {
  if (width == 0) width = text.size();
  std::string field(text.substr(0, width));
  field.resize(width, '\0');
  bytes_ += field;
  return *this;
}

big_endian& big_endian::raw(std::string_view bytes) {
  bytes_ += bytes;
  return *this;
}

std::optional<std::int64_t> tform_width(std::string_view tform) {
  std::int64_t count = 1;
  std::size_t i = 0;
  while (i < tform.size() && tform[i] == ' ') ++i;
  const std::size_t digits = i;
  while (i < tform.size() && tform[i] >= '0' && tform[i] <= '9') ++i;
  if (i > digits) {
    std::from_chars(tform.data() + digits, tform.data() + i, count);
  }
  if (i == tform.size()) return std::nullopt;
  std::int64_t element = 0;
  switch (tform[i]) {
    case 'L': case 'B': case 'A': element = 1; break;
    case 'I': element = 2; break;
    case 'J': case 'E': element = 4; break;
    case 'K': case 'D': case 'C': case 'P': element = 8; break;
    case 'M': case 'Q': element = 16; break;
    case 'X': return (count + 7) / 8;
    default: return std::nullopt;
  }
  // An array descriptor (P, Q) takes one element whatever follows the letter.
  return count * element;
}

std::string pad_to_block(std::string_view data, char fill) {
  std::string unit(data);
  const std::size_t rest = unit.size() % block_size;
  if (rest != 0) unit.append(block_size - rest, fill);
  return unit;
}

std::string header_unit(const std::vector<card>& cards, unit_layout layout) {
  std::string unit;
  for (const card& c : cards) unit += c.text();
  if (layout.end_card) unit += raw_card("END");
  return layout.pad_header ? pad_to_block(unit, ' ') : unit;
}

fits_builder& fits_builder::header(const std::vector<card>& cards, unit_layout layout) {
  bytes_ += header_unit(cards, layout);
  return *this;
}

fits_builder& fits_builder::primary(const std::vector<card>& cards, unit_layout layout) {
  return header(cards, layout);
}

fits_builder& fits_builder::empty_primary(const std::vector<card>& extra) {
  std::vector<card> cards{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}};
  cards.insert(cards.end(), extra.begin(), extra.end());
  return header(cards);
}

fits_builder& fits_builder::data(std::string_view data, unit_layout layout) {
  bytes_ += layout.pad_data ? pad_to_block(data) : std::string(data);
  return *this;
}

fits_builder& fits_builder::image16(std::int64_t width, std::int64_t height,
                                    const std::vector<std::int16_t>& pixels,
                                    const std::vector<card>& extra, unit_layout layout) {
  if (width < 0 || height < 0 || static_cast<std::uint64_t>(width * height) != pixels.size()) {
    throw std::invalid_argument("image16: " + int_text(width) + " x " + int_text(height) +
                                " image given " + int_text(static_cast<std::int64_t>(pixels.size())) +
                                " pixels");
  }
  std::vector<card> cards{{"SIMPLE", "T"},
                          {"BITPIX", "16"},
                          {"NAXIS", "2"},
                          {"NAXIS1", int_text(width)},
                          {"NAXIS2", int_text(height)}};
  cards.insert(cards.end(), extra.begin(), extra.end());
  header(cards, layout);
  big_endian image;
  for (std::int16_t v : pixels) image.i16(v);
  return data(image.bytes(), layout);
}

fits_builder& fits_builder::image_unit(bool extension, std::int64_t bitpix, const std::vector<std::int64_t>& axes,
                                       std::string_view pixels, const std::vector<card>& extra,
                                       unit_layout layout) {
  std::vector<card> cards;
  cards.push_back(extension ? card("XTENSION", "'IMAGE   '") : card("SIMPLE", "T"));
  cards.emplace_back("BITPIX", int_text(bitpix));
  cards.emplace_back("NAXIS", int_text(static_cast<std::int64_t>(axes.size())));
  for (std::size_t n = 0; n < axes.size(); ++n) {
    cards.emplace_back("NAXIS" + std::to_string(n + 1), int_text(axes[n]));
  }
  if (extension) cards.insert(cards.end(), {{"PCOUNT", "0"}, {"GCOUNT", "1"}});
  cards.insert(cards.end(), extra.begin(), extra.end());
  header(cards, layout);
  return data(pixels, layout);
}

fits_builder& fits_builder::image(std::int64_t bitpix, const std::vector<std::int64_t>& axes,
                                  std::string_view pixels, const std::vector<card>& extra, unit_layout layout) {
  return image_unit(false, bitpix, axes, pixels, extra, layout);
}

fits_builder& fits_builder::image_extension(std::int64_t bitpix, const std::vector<std::int64_t>& axes,
                                            std::string_view pixels, const std::vector<card>& extra,
                                            unit_layout layout) {
  return image_unit(true, bitpix, axes, pixels, extra, layout);
}

fits_builder& fits_builder::table(std::string_view xtension, const std::vector<card>& cards,
                                  std::string_view rows, std::int64_t naxis1, table_shape shape,
                                  char fill, unit_layout layout) {
  if (shape.naxis1) naxis1 = *shape.naxis1;
  std::int64_t naxis2 = 0;
  if (shape.naxis2) {
    naxis2 = *shape.naxis2;
  } else if (naxis1 > 0) {
    if (rows.size() % static_cast<std::size_t>(naxis1) != 0) {
      throw std::invalid_argument("table: " + int_text(static_cast<std::int64_t>(rows.size())) +
                                  " bytes of rows are no whole number of " + int_text(naxis1) +
                                  "-byte rows; give NAXIS2");
    }
    naxis2 = static_cast<std::int64_t>(rows.size()) / naxis1;
  } else if (!rows.empty()) {
    throw std::invalid_argument("table: rows given but NAXIS1 is 0; give NAXIS2");
  }
  std::int64_t tfields = 0;
  for (const card& c : cards) {
    const std::string k = c.keyword();
    for (std::string_view stem : {"TFORM", "TTYPE", "TBCOL"}) {
      tfields = std::max(tfields, column_number(k, stem));
    }
  }
  if (shape.tfields) tfields = *shape.tfields;

  std::vector<card> all{{"XTENSION", "'" + std::string(xtension) + "'"},
                        {"BITPIX", "8"},
                        {"NAXIS", "2"},
                        {"NAXIS1", int_text(naxis1)},
                        {"NAXIS2", int_text(naxis2)},
                        {"PCOUNT", int_text(shape.pcount.value_or(0))},
                        {"GCOUNT", "1"},
                        {"TFIELDS", int_text(tfields)}};
  all.insert(all.end(), cards.begin(), cards.end());
  header(all, layout);
  bytes_ += layout.pad_data ? pad_to_block(rows, fill) : std::string(rows);
  return *this;
}

fits_builder& fits_builder::bintable(const std::vector<card>& cards, std::string_view rows,
                                     table_shape shape, unit_layout layout) {
  std::int64_t naxis1 = 0;
  if (!shape.naxis1) {
    for (const card& c : cards) {
      if (column_number(c.keyword(), "TFORM") == 0) continue;
      const auto width = tform_width(c.value());
      if (!width) {
        throw std::invalid_argument("bintable: no row width for " + c.text() + "; give NAXIS1");
      }
      naxis1 += *width;
    }
  }
  return table("BINTABLE", cards, rows, naxis1, shape, '\0', layout);
}

fits_builder& fits_builder::ascii_table(const std::vector<card>& cards,
                                        const std::vector<std::string>& rows, table_shape shape,
                                        unit_layout layout) {
  std::size_t width = 0;
  for (const std::string& r : rows) width = std::max(width, r.size());
  if (shape.naxis1) width = static_cast<std::size_t>(std::max<std::int64_t>(*shape.naxis1, 0));
  std::string text;
  for (std::string r : rows) {
    if (r.size() < width) r.resize(width, ' ');
    text += r;
  }
  if (!shape.naxis2) shape.naxis2 = static_cast<std::int64_t>(rows.size());
  return table("TABLE", cards, text, static_cast<std::int64_t>(width), shape, ' ', layout);
}

fits_builder& fits_builder::raw(std::string_view bytes) {
  bytes_ += bytes;
  return *this;
}

fits_builder& fits_builder::cut(std::size_t size) {
  if (size < bytes_.size()) bytes_.resize(size);
  return *this;
}

std::string fits_builder::gzip() const { return test::gzip(bytes_); }

std::string gzip(std::string_view data, int level) {
  z_stream z{};
  // 15 + 16: the largest window, with a gzip header and trailer instead of
  // the zlib ones.
  if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return out;
}

std::string bzip2(std::string_view data) {
  unsigned size = static_cast<unsigned>(data.size() + data.size() / 100 + 601);
  std::string out(size, '\0');
  if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(data.data()), static_cast<unsigned>(data.size()),
                               9, 0, 0) != BZ_OK) {
    throw std::runtime_error("bzip2 compression failed");
  }
  out.resize(size);
  return out;
}

std::string xz(std::string_view data) {
  std::string out(lzma_stream_buffer_bound(data.size()), '\0');
  std::size_t size = 0;
  if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const std::uint8_t*>(data.data()),
                              data.size(), reinterpret_cast<std::uint8_t*>(out.data()), &size,
                              out.size()) != LZMA_OK) {
    throw std::runtime_error("xz compression failed");
  }
  out.resize(size);
  return out;
}

std::optional<std::string> filter_through(const std::string& command, std::string_view input, int& status) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  std::string in_path = (dir / "orvex-filter-XXXXXX").string();
  const int fd = mkstemp(in_path.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  ::close(fd);
  const std::string out_path = in_path + ".out";
  write_file(in_path, input);
  const int rc = std::system((command + " < '" + in_path + "' > '" + out_path + "' 2>/dev/null").c_str());
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::ifstream f(out_path, std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::filesystem::remove(in_path);
  std::filesystem::remove(out_path);
  if (status == 127) return std::nullopt;
  return out;
}

std::optional<std::string> unix_compress(std::string_view data, const std::string& flags) {
  int status = 0;
  std::optional<std::string> out = filter_through("compress -c " + flags, data, status);
  // compress says 2 when the output is no smaller than the input; the
  // output is written all the same.
  if (out && status != 0 && status != 2) throw std::runtime_error("compress failed");
  return out;
}

const char* packing_name(packing p) {
  switch (p) {
    case packing::plain: return "plain";
    case packing::gzip: return "gzip";
    case packing::bzip2: return "bzip2";
    case packing::xz: return "xz";
    case packing::compress: return "compress";
  }
  return "?";
}

std::optional<std::string> packed(std::string_view data, packing p) {
  switch (p) {
    case packing::plain: return std::string(data);
    case packing::gzip: return gzip(data);
    case packing::bzip2: return bzip2(data);
    case packing::xz: return xz(data);
    case packing::compress: return unix_compress(data);
  }
  return std::nullopt;
}

std::string gunzip(std::string_view data) {
  std::string out;
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) throw std::runtime_error("inflateInit2 failed");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  char chunk[16384];
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
    if (rc == Z_STREAM_END) {
      if (z.avail_in == 0) break;
      inflateReset(&z);  // the next member follows
      continue;
    }
    if (rc != Z_OK) {
      inflateEnd(&z);
      throw std::runtime_error("gunzip: damaged or cut gzip stream");
    }
  }
  inflateEnd(&z);
  return out;
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string comment_lines(const std::vector<card>& cards, bool end) {
  std::string text;
  for (const card& c : cards) {
    std::string line = c.text();
    const auto last = line.find_last_not_of(' ');
    if (last != std::string::npos) line.erase(last + 1);
    text += "!" + line + "\n";
  }
  if (end) text += "!END\n";
  return text;
}

}  // namespace orvex::test
