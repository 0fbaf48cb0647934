// The floor of the benchmark: the least work that writing orvex's data lines
// can cost.
//
//   floor [--verify] EVENTS.fits OUT          rows of the event table
//   floor --image [--verify] IMAGE.fits OUT   lines of a primary image
//
// It reads the whole (plain) file into memory and formats every value of
// the event table written by make_events, or of a primary image of BITPIX
// 16, -32 or 64,
// into exactly the text that orvex writes for it, with std::to_chars into
// one large output buffer that is written out when it fills. It knows the
// fixed column layout of the event file and nothing of column selection,
// scaling, display formats or stream handling, so its time is the cost of
// the reading, formatting and writing themselves.
//
// The texts, per value:
//   D, E  printf "%-.16g " of the value (E widened from float to double)
//   I, J  signed decimal and one blank
//   32X   32 characters '0'/'1', most significant bit first, and one blank
// and a "\n" after the last cell of each row. An image value is "%ld " of
// a 16- or 64-bit integer, or "%.16g " of a single widened to double (what
// --full writes for images without scaling), with a "\n" after each image
// row.
//
// --verify formats every row a second time with snprintf and those printf
// formats and stops at the first row whose texts differ, so that the floor's
// own texts are known to be orvex's before its output is compared with
// orvex's.
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::bench {
namespace {

constexpr std::size_t card_size = 80;
constexpr std::size_t block_size = 2880;
constexpr std::size_t output_buffer_size = std::size_t{8} << 20;
// Room for the longest row or image line; the buffer is written out before
// less than this is left. An event row is at most 18 * 25 + 33 bytes and an
// image line of 4096 singles 4096 * 24 + 1.
constexpr std::size_t max_line_size = 128 * 1024;

// The event table's layout, in column order: the type letter and the bytes
// that one cell takes.
struct cell_layout {
  char type;
  std::size_t bytes;
};
constexpr std::array<cell_layout, 18> event_layout{{
    {'D', 8},  // time
    {'I', 2},  // ccd_id
    {'I', 2},  // node_id
    {'J', 4},  // expno
    {'I', 2},  // chipx
    {'I', 2},  // chipy
    {'I', 2},  // tdetx
    {'I', 2},  // tdety
    {'E', 4},  // detx
    {'E', 4},  // dety
    {'E', 4},  // x
    {'E', 4},  // y
    {'J', 4},  // pha
    {'E', 4},  // energy
    {'J', 4},  // pi
    {'I', 2},  // fltgrade
    {'I', 2},  // grade
    {'X', 4},  // status, 32X
}};
constexpr std::array<std::string_view, 18> event_forms{
    "1D", "1I", "1I", "1J", "1I", "1I", "1I", "1I", "1E",
    "1E", "1E", "1E", "1J", "1E", "1J", "1I", "1I", "32X"};

constexpr std::size_t layout_row_bytes() {
  std::size_t n = 0;
  for (const auto& c : event_layout) n += c.bytes;
  return n;
}
constexpr std::size_t event_row_bytes = layout_row_bytes();
static_assert(event_row_bytes == 60);

// The eight '0'/'1' characters of every byte value, most significant first.
constexpr std::array<std::array<char, 8>, 256> make_bit_texts() {
  std::array<std::array<char, 8>, 256> t{};
  for (std::size_t v = 0; v < 256; ++v)
    for (std::size_t b = 0; b < 8; ++b) t[v][b] = ((v >> (7 - b)) & 1U) != 0 ? '1' : '0';
  return t;
}
constexpr auto bit_texts = make_bit_texts();

std::uint16_t get_u16(const unsigned char* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
std::uint32_t get_u32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}
std::int32_t get_i16(const unsigned char* p) { return static_cast<std::int16_t>(get_u16(p)); }
std::int32_t get_i32(const unsigned char* p) { return static_cast<std::int32_t>(get_u32(p)); }
double get_f32(const unsigned char* p) {
  const std::uint32_t bits = get_u32(p);
  float v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
double get_f64(const unsigned char* p) {
  const std::uint64_t bits = (std::uint64_t{get_u32(p)} << 32) | get_u32(p + 4);
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

struct file_bytes {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
};

std::optional<file_bytes> read_file(const char* path) {
  file_handle f(std::fopen(path, "rb"));
  if (!f) return std::nullopt;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(f.get());
  if (end < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return std::nullopt;
  file_bytes b;
  b.size = static_cast<std::size_t>(end);
  b.data = std::make_unique_for_overwrite<unsigned char[]>(b.size);
  if (std::fread(b.data.get(), 1, b.size, f.get()) != b.size) return std::nullopt;
  return b;
}

// One header unit: its keywords with their value texts (quotes and
// comments removed) and the offset of the data that follows it.
struct unit_header {
  std::map<std::string, std::string, std::less<>> values;
  std::size_t data_offset = 0;

  std::optional<long long> integer(std::string_view key) const {
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    long long v = 0;
    const auto& s = it->second;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc{}) return std::nullopt;
    return v;
  }
  std::string text(std::string_view key) const {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  }
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Reads the header that begins at `offset`; nullopt when the file ends
// before its END card.
std::optional<unit_header> read_header(const file_bytes& file, std::size_t offset) {
  unit_header h;
  for (std::size_t at = offset; at + card_size <= file.size; at += card_size) {
    const std::string_view card(reinterpret_cast<const char*>(file.data.get() + at), card_size);
    const std::string_view key = trim(card.substr(0, 8));
    if (key == "END") {
      const std::size_t end = at + card_size;
      h.data_offset = (end + block_size - 1) / block_size * block_size;
      return h;
    }
    if (card.substr(8, 2) != "= ") continue;
    std::string_view value = trim(card.substr(10));
    if (!value.empty() && value.front() == '\'') {
      value.remove_prefix(1);
      value = trim(value.substr(0, value.find('\'')));
    } else {
      value = trim(value.substr(0, value.find('/')));
    }
    h.values.emplace(std::string(key), std::string(value));
  }
  return std::nullopt;
}

// The output file and the one large buffer in front of it.
class line_writer {
 public:
  explicit line_writer(std::FILE* f)
      : file_(f), buffer_(std::make_unique_for_overwrite<char[]>(output_buffer_size)) {}

  // Where the next line is formatted; room for at least max_line_size bytes.
  char* reserve() {
    if (output_buffer_size - used_ < max_line_size) flush();
    return buffer_.get() + used_;
  }
  void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

  bool flush() {
    if (used_ != 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) ok_ = false;
    used_ = 0;
    return ok_;
  }

 private:
  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

char* put_int(char* p, std::int32_t v) {
  p = std::to_chars(p, p + 12, v).ptr;
  *p++ = ' ';
  return p;
}

char* put_real(char* p, double v) {
  p = std::to_chars(p, p + 32, v, std::chars_format::general, 16).ptr;
  *p++ = ' ';
  return p;
}

// Formats one event row at `p`; returns the end of its text.
char* event_row_text(const unsigned char* row, char* p) {
  p = put_real(p, get_f64(row + 0));
  p = put_int(p, get_i16(row + 8));
  p = put_int(p, get_i16(row + 10));
  p = put_int(p, get_i32(row + 12));
  p = put_int(p, get_i16(row + 16));
  p = put_int(p, get_i16(row + 18));
  p = put_int(p, get_i16(row + 20));
  p = put_int(p, get_i16(row + 22));
  p = put_real(p, get_f32(row + 24));
  p = put_real(p, get_f32(row + 28));
  p = put_real(p, get_f32(row + 32));
  p = put_real(p, get_f32(row + 36));
  p = put_int(p, get_i32(row + 40));
  p = put_real(p, get_f32(row + 44));
  p = put_int(p, get_i32(row + 48));
  p = put_int(p, get_i16(row + 52));
  p = put_int(p, get_i16(row + 54));
  for (std::size_t b = 0; b < 4; ++b) {
    std::memcpy(p, bit_texts[row[56 + b]].data(), 8);
    p += 8;
  }
  *p++ = ' ';
  *p++ = '\n';
  return p;
}

// The same row through the printf formats, walking the layout table.
std::string event_row_printf(const unsigned char* row) {
  std::string s;
  std::array<char, 64> cell{};
  for (const auto& c : event_layout) {
    int n = 0;
    switch (c.type) {
      case 'D': n = std::snprintf(cell.data(), cell.size(), "%-.16g ", get_f64(row)); break;
      case 'E': n = std::snprintf(cell.data(), cell.size(), "%-.16g ", get_f32(row)); break;
      case 'I': n = std::snprintf(cell.data(), cell.size(), "%ld ", static_cast<long>(get_i16(row))); break;
      case 'J': n = std::snprintf(cell.data(), cell.size(), "%ld ", static_cast<long>(get_i32(row))); break;
      case 'X':
        for (std::size_t bit = 0; bit < c.bytes * 8; ++bit)
          cell[static_cast<std::size_t>(n++)] = ((row[bit / 8] >> (7 - bit % 8)) & 1) != 0 ? '1' : '0';
        cell[static_cast<std::size_t>(n++)] = ' ';
        break;
      default: break;
    }
    s.append(cell.data(), static_cast<std::size_t>(n));
    row += c.bytes;
  }
  s += '\n';
  return s;
}

std::int64_t get_i64(const unsigned char* p) {
  return static_cast<std::int64_t>((std::uint64_t{get_u32(p)} << 32) | get_u32(p + 4));
}

// The longest text of one image value and its blank.
std::size_t value_text_size(long long bitpix) { return bitpix == 16 ? 7 : bitpix == 64 ? 21 : 24; }

char* image_line_text(long long bitpix, const unsigned char* line, std::size_t width, char* p) {
  for (std::size_t c = 0; c < width; ++c) {
    if (bitpix == 16) {
      p = put_int(p, get_i16(line + 2 * c));
    } else if (bitpix == 64) {
      p = std::to_chars(p, p + 21, get_i64(line + 8 * c)).ptr;
      *p++ = ' ';
    } else {
      p = put_real(p, get_f32(line + 4 * c));
    }
  }
  *p++ = '\n';
  return p;
}

std::string image_line_printf(long long bitpix, const unsigned char* line, std::size_t width) {
  std::string s;
  std::array<char, 32> cell{};
  for (std::size_t c = 0; c < width; ++c) {
    int n = 0;
    if (bitpix == 16) {
      n = std::snprintf(cell.data(), cell.size(), "%ld ", static_cast<long>(get_i16(line + 2 * c)));
    } else if (bitpix == 64) {
      n = std::snprintf(cell.data(), cell.size(), "%lld ", static_cast<long long>(get_i64(line + 8 * c)));
    } else {
      n = std::snprintf(cell.data(), cell.size(), "%.16g ", get_f32(line + 4 * c));
    }
    s.append(cell.data(), static_cast<std::size_t>(n));
  }
  s += '\n';
  return s;
}

bool fail(const char* what, const char* path) {
  std::fprintf(stderr, "floor: %s: %s\n", path, what);
  return false;
}

bool differs(std::size_t line, std::string_view floor_text, std::string_view printf_text) {
  if (floor_text == printf_text) return false;
  std::fprintf(stderr, "floor: line %zu differs from the printf text\n  to_chars: %.*s  printf:   %.*s",
               line + 1, static_cast<int>(floor_text.size()), floor_text.data(),
               static_cast<int>(printf_text.size()), printf_text.data());
  return true;
}

bool write_event_rows(const file_bytes& file, const char* path, line_writer& out, bool verify) {
  const auto primary = read_header(file, 0);
  if (!primary) return fail("no primary header", path);
  const auto table = read_header(file, primary->data_offset);
  if (!table || table->text("XTENSION") != "BINTABLE") return fail("no binary table after the primary unit", path);
  if (table->integer("NAXIS1") != static_cast<long long>(event_row_bytes) ||
      table->integer("TFIELDS") != static_cast<long long>(event_forms.size()))
    return fail("not an event file of make_events (NAXIS1 or TFIELDS)", path);
  for (std::size_t i = 0; i < event_forms.size(); ++i)
    if (table->text("TFORM" + std::to_string(i + 1)) != event_forms[i])
      return fail("not an event file of make_events (TFORMn)", path);
  const long long rows = table->integer("NAXIS2").value_or(-1);
  if (rows < 0 || table->data_offset + static_cast<std::size_t>(rows) * event_row_bytes > file.size)
    return fail("NAXIS2 rows do not fit in the file", path);

  const unsigned char* row = file.data.get() + table->data_offset;
  for (long long r = 0; r < rows; ++r, row += event_row_bytes) {
    char* start = out.reserve();
    char* end = event_row_text(row, start);
    if (verify && differs(static_cast<std::size_t>(r), std::string_view(start, static_cast<std::size_t>(end - start)),
                          event_row_printf(row)))
      return false;
    out.commit(end);
  }
  return true;
}

bool write_image_lines(const file_bytes& file, const char* path, line_writer& out, bool verify) {
  const auto primary = read_header(file, 0);
  if (!primary) return fail("no primary header", path);
  const long long width = primary->integer("NAXIS1").value_or(-1);
  const long long height = primary->integer("NAXIS2").value_or(-1);
  const long long bitpix = primary->integer("BITPIX").value_or(0);
  if ((bitpix != 16 && bitpix != -32 && bitpix != 64) || primary->integer("NAXIS") != 2 || width < 0 ||
      height < 0 || static_cast<std::size_t>(width) * value_text_size(bitpix) + 1 > max_line_size)
    return fail("not a two-dimensional image of BITPIX 16, -32 or 64 of at most 5461 columns", path);
  const auto w = static_cast<std::size_t>(width);
  const std::size_t line_bytes = w * static_cast<std::size_t>(bitpix < 0 ? -bitpix : bitpix) / 8;
  if (primary->data_offset + line_bytes * static_cast<std::size_t>(height) > file.size)
    return fail("the image does not fit in the file", path);

  const unsigned char* line = file.data.get() + primary->data_offset;
  for (long long r = 0; r < height; ++r, line += line_bytes) {
    char* start = out.reserve();
    char* end = image_line_text(bitpix, line, w, start);
    if (verify && differs(static_cast<std::size_t>(r), std::string_view(start, static_cast<std::size_t>(end - start)),
                          image_line_printf(bitpix, line, w)))
      return false;
    out.commit(end);
  }
  return true;
}

int run(int argc, char** argv) {
  bool image = false;
  bool verify = false;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--image") {
      image = true;
    } else if (a == "--verify") {
      verify = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() != 2) {
    std::fputs(
        "usage: floor [--verify] EVENTS.fits OUT\n"
        "       floor --image [--verify] IMAGE.fits OUT\n",
        stderr);
    return 2;
  }
  const auto file = read_file(args[0]);
  if (!file) return fail("cannot read", args[0]) ? 0 : 1;
  file_handle out_file(std::fopen(args[1], "wb"));
  if (!out_file) return fail("cannot create", args[1]) ? 0 : 1;

  line_writer out(out_file.get());
  const bool done = image ? write_image_lines(*file, args[0], out, verify)
                          : write_event_rows(*file, args[0], out, verify);
  const bool written = out.flush() && std::fclose(out_file.release()) == 0;
  if (!written) fail("write failed", args[1]);
  return done && written ? 0 : 1;
}

}  // namespace
}  // namespace orvex::bench

int main(int argc, char** argv) { return orvex::bench::run(argc, argv); }
