// Writes the bundled sample FITS file: an 8 x 6 16-bit primary image of a
// small source, followed by a binary-table extension EVENTS holding ten
// X-ray events with columns of most binary-table types.
//
//   make_sample examples/sample.fits
//
// Standalone on purpose (the standard library only), so that the sample can
// be rebuilt without the rest of the project. The output is the same on
// every host: all values are written big-endian byte by byte, and the
// floating-point values are exact in binary, so that they print exactly.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t card_size = 80;
constexpr std::size_t block_size = 2880;

// "KEYWORD = value": a string value from column 11, any other value
// right-aligned to column 30, as FITS writers lay out fixed-format cards.
std::string card(std::string_view keyword, std::string_view value,
                 std::string_view comment = {}) {
  std::string c(keyword);
  c.resize(8, ' ');
  c += "= ";
  if (!value.starts_with('\'') && value.size() < 20) c.append(20 - value.size(), ' ');
  c += value;
  if (!comment.empty()) {
    c += " / ";
    c += comment;
  }
  c.resize(card_size, ' ');
  return c;
}

std::string raw_card(std::string_view text) {
  std::string c(text);
  c.resize(card_size, ' ');
  return c;
}

// The cards, END, and blank cards up to the block boundary.
std::string header(const std::vector<std::string>& cards) {
  std::string unit;
  for (const std::string& c : cards) unit += c;
  unit += raw_card("END");
  unit.resize((unit.size() + block_size - 1) / block_size * block_size, ' ');
  return unit;
}

// Data padded with zero bytes to the block boundary.
std::string data(std::string bytes) {
  bytes.resize((bytes.size() + block_size - 1) / block_size * block_size, '\0');
  return bytes;
}

void put_u8(std::string& out, std::uint8_t v) { out += static_cast<char>(v); }
void put_u16(std::string& out, std::uint16_t v) {
  put_u8(out, static_cast<std::uint8_t>(v >> 8));
  put_u8(out, static_cast<std::uint8_t>(v));
}
void put_u32(std::string& out, std::uint32_t v) {
  put_u16(out, static_cast<std::uint16_t>(v >> 16));
  put_u16(out, static_cast<std::uint16_t>(v));
}
void put_u64(std::string& out, std::uint64_t v) {
  put_u32(out, static_cast<std::uint32_t>(v >> 32));
  put_u32(out, static_cast<std::uint32_t>(v));
}
void put_i16(std::string& out, std::int16_t v) { put_u16(out, static_cast<std::uint16_t>(v)); }
void put_i32(std::string& out, std::int32_t v) { put_u32(out, static_cast<std::uint32_t>(v)); }
void put_f32(std::string& out, float v) { put_u32(out, std::bit_cast<std::uint32_t>(v)); }
void put_f64(std::string& out, double v) { put_u64(out, std::bit_cast<std::uint64_t>(v)); }

constexpr int image_width = 8;
constexpr int image_height = 6;

std::string primary_unit() {
  std::string unit = header({
      card("SIMPLE", "T", "file conforms to FITS standard"),
      card("BITPIX", "16", "16-bit signed integers"),
      card("NAXIS", "2", "two-dimensional image"),
      card("NAXIS1", std::to_string(image_width)),
      card("NAXIS2", std::to_string(image_height)),
      card("EXTEND", "T", "extensions follow"),
      card("OBJECT", "'M31     '", "target of the observation"),
      card("TELESCOP", "'CHANDRA '"),
      card("INSTRUME", "'ACIS    '"),
      card("DATE-OBS", "'2001-10-05T14:11:35'"),
      card("BUNIT", "'counts  '"),
      raw_card("COMMENT   Counts binned from the EVENTS extension, 8 x 6 pixels."),
  });
  // A source near the middle of the field over a flat background.
  std::string pixels;
  for (int y = 0; y < image_height; ++y) {
    for (int x = 0; x < image_width; ++x) {
      const int dx = 2 * x - 7;
      const int dy = 2 * y - 5;
      put_i16(pixels, static_cast<std::int16_t>(20 + 1600 / (4 + dx * dx + dy * dy)));
    }
  }
  return unit + data(pixels);
}

struct event {
  double time;
  float x, y;
  std::int32_t pha;
  std::int16_t ccd_id;
  std::uint8_t status;  // 8X: eight flag bits
  std::uint8_t grade;
  char flag;            // 1L: 'T' or 'F'
  const char* name;     // 4A
};

// Times and positions are multiples of 1/8 and 1/4: exact in binary.
constexpr event events[] = {
    {84245040.125, 4096.50f, 4101.25f, 1234, 7, 0x00, 0, 'T', "src1"},
    {84245041.250, 4097.25f, 4100.75f, 2310, 7, 0x00, 2, 'T', "src1"},
    {84245043.500, 4096.75f, 4101.50f, 987, 7, 0x10, 0, 'T', "src1"},
    {84245046.875, 3990.75f, 4210.00f, 412, 6, 0x00, 6, 'F', "bkg"},
    {84245047.000, 4096.00f, 4100.50f, 3051, 7, 0x00, 0, 'T', "src1"},
    {84245049.625, 4201.50f, 3987.25f, 156, 6, 0x81, 4, 'F', "bkg"},
    {84245052.375, 4097.50f, 4101.00f, 1788, 7, 0x00, 2, 'T', "src1"},
    {84245053.750, 4095.75f, 4099.75f, 2645, 7, 0x02, 0, 'T', "src1"},
    {84245058.000, 4012.25f, 4155.50f, 640, 6, 0x00, 3, 'F', "bkg"},
    {84245060.500, 4096.25f, 4100.25f, 1420, 7, 0x00, 0, 'T', "src1"},
};

constexpr int event_row_size = 8 + 4 + 4 + 4 + 2 + 1 + 1 + 1 + 4;

std::string events_unit() {
  constexpr int rows = static_cast<int>(std::size(events));
  std::string unit = header({
      card("XTENSION", "'BINTABLE'", "binary table extension"),
      card("BITPIX", "8"),
      card("NAXIS", "2"),
      card("NAXIS1", std::to_string(event_row_size), "bytes per row"),
      card("NAXIS2", std::to_string(rows), "events"),
      card("PCOUNT", "0"),
      card("GCOUNT", "1"),
      card("TFIELDS", "9"),
      card("EXTNAME", "'EVENTS  '"),
      card("TELESCOP", "'CHANDRA '"),
      card("INSTRUME", "'ACIS    '"),
      card("OBJECT", "'M31     '"),
      card("TTYPE1", "'time    '", "arrival time"),
      card("TFORM1", "'1D      '"),
      card("TUNIT1", "'s       '"),
      card("TTYPE2", "'x       '", "sky position"),
      card("TFORM2", "'1E      '"),
      card("TUNIT2", "'pixel   '"),
      card("TTYPE3", "'y       '"),
      card("TFORM3", "'1E      '"),
      card("TUNIT3", "'pixel   '"),
      card("TTYPE4", "'pha     '", "pulse height"),
      card("TFORM4", "'1J      '"),
      card("TUNIT4", "'adu     '"),
      card("TTYPE5", "'ccd_id  '"),
      card("TFORM5", "'1I      '"),
      card("TTYPE6", "'status  '", "event flags"),
      card("TFORM6", "'8X      '"),
      card("TTYPE7", "'grade   '"),
      card("TFORM7", "'1B      '"),
      card("TTYPE8", "'flag    '"),
      card("TFORM8", "'1L      '"),
      card("TTYPE9", "'name    '", "region"),
      card("TFORM9", "'4A      '"),
  });
  std::string table;
  for (const event& e : events) {
    put_f64(table, e.time);
    put_f32(table, e.x);
    put_f32(table, e.y);
    put_i32(table, e.pha);
    put_i16(table, e.ccd_id);
    put_u8(table, e.status);
    put_u8(table, e.grade);
    put_u8(table, static_cast<std::uint8_t>(e.flag));
    std::string name(e.name);
    name.resize(4, '\0');
    table += name;
  }
  return unit + data(table);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.fits\n", argc > 0 ? argv[0] : "make_sample");
    return 2;
  }
  const std::string fits = primary_unit() + events_unit();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(fits.data(), static_cast<std::streamsize>(fits.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
