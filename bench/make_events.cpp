// Writes the inputs of the benchmark: a Chandra-like event file and large
// primary images.
//
//   make_events [--no-gzip] OUTPUT [ROWS]   event file OUTPUT and OUTPUT.gz
//   make_events --image OUTPUT [BITPIX]     4096 x 4096 image of BITPIX 16
//                                           (default), -32 or 64
//   make_events --response OUTPUT [MB]      response matrix, heap of MB MB
//
// The event file is an empty primary unit followed by one binary table,
// EVENTS, of ROWS rows (default 1,000,000) of 60 bytes in the 18 columns of
// an ACIS event list. The values come from a fixed-seed generator that uses
// only integer steps and exact IEEE arithmetic, so every run on every
// machine writes the same bytes. Values are kept away from -0.0 and from
// NaN and infinity: their texts depend on details that are not what the
// benchmark measures.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <zlib.h>

namespace orvex::bench {
namespace {

constexpr std::size_t card_size = 80;
constexpr std::size_t block_size = 2880;
constexpr std::int64_t default_rows = 1'000'000;
constexpr std::size_t row_bytes = 60;
constexpr std::size_t rows_per_chunk = 65'536;
constexpr int image_side = 4096;
constexpr std::uint64_t event_seed = 0x0c4a'0d1e'5eed'0001ULL;
constexpr std::uint64_t image_seed = 0x0c4a'0d1e'5eed'0002ULL;

// Mission time of the first event and the ACIS frame time, in seconds.
constexpr double start_time = 286'000'000.0;
constexpr double frame_time = 3.24104;

struct column {
  std::string_view name;
  std::string_view form;
  std::string_view unit;
};

// The order of the columns is the order of the bytes in each row.
constexpr std::array<column, 18> event_columns{{
    {"time", "1D", "s"},
    {"ccd_id", "1I", ""},
    {"node_id", "1I", ""},
    {"expno", "1J", ""},
    {"chipx", "1I", "pixel"},
    {"chipy", "1I", "pixel"},
    {"tdetx", "1I", "pixel"},
    {"tdety", "1I", "pixel"},
    {"detx", "1E", "pixel"},
    {"dety", "1E", "pixel"},
    {"x", "1E", "pixel"},
    {"y", "1E", "pixel"},
    {"pha", "1J", "adu"},
    {"energy", "1E", "eV"},
    {"pi", "1J", "chan"},
    {"fltgrade", "1I", ""},
    {"grade", "1I", ""},
    {"status", "32X", ""},
}};

// splitmix64: small, fast, and fully defined by its integer steps.
class random_source {
 public:
  explicit random_source(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e37'79b9'7f4a'7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58'476d'1ce4'e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d0'49bb'1331'11ebULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1), from the top 53 bits.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  // Uniform integer in [lo, hi].
  std::int32_t between(std::int32_t lo, std::int32_t hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int32_t>(next() % span);
  }

  // Roughly normal with mean 0 and standard deviation 1: the sum of four
  // uniforms (Irwin-Hall), which needs no library function whose last bit
  // could differ between machines.
  double bell() {
    const double sum = uniform() + uniform() + uniform() + uniform();
    return (sum - 2.0) * 1.7320508075688772;
  }

 private:
  std::uint64_t state_;
};

void put_u16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

void put_u32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

void put_i16(unsigned char* p, std::int32_t v) {
  put_u16(p, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
}

void put_i32(unsigned char* p, std::int32_t v) {
  put_u32(p, static_cast<std::uint32_t>(v));
}

void put_f32(unsigned char* p, float v) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  put_u32(p, bits);
}

void put_u64(unsigned char* p, std::uint64_t v) {
  put_u32(p, static_cast<std::uint32_t>(v >> 32));
  put_u32(p + 4, static_cast<std::uint32_t>(v));
}

void put_f64(unsigned char* p, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  put_u64(p, bits);
}

// A header being built card by card in the fixed format: keyword in columns
// 1-8, "= " in 9-10, numbers and logicals right-aligned to column 30,
// strings quoted from column 11 and padded to at least 8 characters.
class header {
 public:
  header& logical(std::string_view key, bool v) {
    return value(key, v ? "T" : "F");
  }

  header& integer(std::string_view key, std::int64_t v) {
    std::array<char, 24> text{};
    const auto res = std::to_chars(text.data(), text.data() + text.size(), v);
    return value(key, std::string_view(text.data(), static_cast<std::size_t>(res.ptr - text.data())));
  }

  header& string(std::string_view key, std::string_view v) {
    std::string quoted = "'";
    quoted += v;
    while (quoted.size() < 9) quoted += ' ';
    quoted += '\'';
    std::string card = keyword(key);
    card += "= ";
    card += quoted;
    return add(card);
  }

  // Ends the header with END and pads it with blank cards to a whole block.
  std::string finish() {
    add("END");
    while (text_.size() % block_size != 0) text_.append(card_size, ' ');
    return std::move(text_);
  }

 private:
  static std::string keyword(std::string_view key) {
    std::string k(key);
    k.resize(8, ' ');
    return k;
  }

  header& value(std::string_view key, std::string_view v) {
    std::string card = keyword(key);
    card += "= ";
    card.append(v.size() < 20 ? 20 - v.size() : 0, ' ');
    card += v;
    return add(card);
  }

  header& add(std::string card) {
    card.resize(card_size, ' ');
    text_ += card;
    return *this;
  }

  std::string text_;
};

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// The outputs of one run: a plain file and, when asked for, its gzip twin,
// written side by side from the same bytes.
class output_pair {
 public:
  bool open(const std::string& path, bool with_gzip) {
    plain_.reset(std::fopen(path.c_str(), "wb"));
    if (!plain_) {
      std::fprintf(stderr, "make_events: cannot create %s\n", path.c_str());
      return false;
    }
    if (with_gzip) {
      gz_path_ = path + ".gz";
      gz_ = gzopen(gz_path_.c_str(), "wb6");
      if (gz_ == nullptr) {
        std::fprintf(stderr, "make_events: cannot create %s\n", gz_path_.c_str());
        return false;
      }
      gzbuffer(gz_, 1 << 20);
    }
    path_ = path;
    return true;
  }

  void write(const void* data, std::size_t n) {
    if (std::fwrite(data, 1, n, plain_.get()) != n) ok_ = false;
    if (gz_ != nullptr) {
      const auto* bytes = static_cast<const char*>(data);
      while (n > 0) {
        const unsigned part = n > (1U << 30) ? (1U << 30) : static_cast<unsigned>(n);
        if (gzwrite(gz_, bytes, part) != static_cast<int>(part)) {
          ok_ = false;
          break;
        }
        bytes += part;
        n -= part;
      }
    }
  }

  // Closes both files; false, with a message, when anything failed.
  bool close() {
    if (std::fclose(plain_.release()) != 0) ok_ = false;
    if (gz_ != nullptr && gzclose(std::exchange(gz_, nullptr)) != Z_OK) ok_ = false;
    if (!ok_) std::fprintf(stderr, "make_events: writing %s failed\n", path_.c_str());
    return ok_;
  }

  ~output_pair() {
    if (gz_ != nullptr) gzclose(gz_);
  }

  output_pair() = default;
  output_pair(const output_pair&) = delete;
  output_pair& operator=(const output_pair&) = delete;

 private:
  file_handle plain_;
  gzFile gz_ = nullptr;
  std::string path_;
  std::string gz_path_;
  bool ok_ = true;
};

// Pads a data unit of `bytes` bytes with zeros to a whole block.
void pad_data(output_pair& out, std::uint64_t bytes) {
  const std::array<unsigned char, block_size> zeros{};
  const std::size_t rest = bytes % block_size;
  if (rest != 0) out.write(zeros.data(), block_size - rest);
}

// One event row of 60 bytes at `p`. `clock` carries the arrival time from
// one event to the next.
void fill_event(random_source& rnd, double& clock, unsigned char* p) {
  // Arrivals at about 100 counts per second.
  clock += 0.02 * rnd.uniform() + 1.0e-6;
  const auto expno = static_cast<std::int32_t>((clock - start_time) / frame_time);

  static constexpr std::array<std::int32_t, 6> acis_i_and_s{0, 1, 2, 3, 6, 7};
  const std::int32_t ccd_id = acis_i_and_s[static_cast<std::size_t>(rnd.between(0, 5))];
  const std::int32_t chipx = rnd.between(1, 1024);
  const std::int32_t chipy = rnd.between(1, 1024);
  const std::int32_t node_id = (chipx - 1) / 256;
  const std::int32_t tdetx = 2000 + (ccd_id % 2) * 1030 + chipx + (ccd_id / 4) * 2100;
  const std::int32_t tdety = 2300 + ((ccd_id % 4) / 2) * 1030 + chipy;
  const float detx = static_cast<float>(tdetx + rnd.uniform() - 0.5);
  const float dety = static_cast<float>(tdety + rnd.uniform() - 0.5);
  // Sky positions: a diffuse source centred on the aim point.
  const float x = static_cast<float>(4096.5 + 180.0 * rnd.bell());
  const float y = static_cast<float>(4096.5 + 180.0 * rnd.bell());
  // Energies from 300 eV to 10 keV, more of them at the soft end.
  const double u = rnd.uniform();
  const double ev = 300.0 + 9700.0 * u * u;
  const float energy = static_cast<float>(ev);
  const std::int32_t pha = std::min<std::int32_t>(4095, static_cast<std::int32_t>(ev / 3.1) + rnd.between(-20, 20));
  const std::int32_t pi = std::min<std::int32_t>(1024, static_cast<std::int32_t>(ev / 14.6) + 1);
  static constexpr std::array<std::int32_t, 8> fltgrades{0, 2, 8, 16, 64, 10, 72, 255};
  static constexpr std::array<std::int32_t, 8> grades{0, 2, 3, 4, 6, 2, 6, 7};
  const auto g = static_cast<std::size_t>(rnd.between(0, 7));
  // Most events are clean; a few carry afterglow or bad-pixel bits.
  std::uint32_t status = 0;
  if (rnd.between(0, 19) == 0) status = 1U << rnd.between(0, 31);

  put_f64(p + 0, clock);
  put_i16(p + 8, ccd_id);
  put_i16(p + 10, node_id);
  put_i32(p + 12, expno);
  put_i16(p + 16, chipx);
  put_i16(p + 18, chipy);
  put_i16(p + 20, tdetx);
  put_i16(p + 22, tdety);
  put_f32(p + 24, detx);
  put_f32(p + 28, dety);
  put_f32(p + 32, x);
  put_f32(p + 36, y);
  put_i32(p + 40, pha);
  put_f32(p + 44, energy);
  put_i32(p + 48, pi);
  put_i16(p + 52, fltgrades[g]);
  put_i16(p + 54, grades[g]);
  put_u32(p + 56, status);
}

bool write_events(const std::string& path, std::int64_t rows, bool with_gzip) {
  output_pair out;
  if (!out.open(path, with_gzip)) return false;

  const std::string primary = header{}
                                  .logical("SIMPLE", true)
                                  .integer("BITPIX", 8)
                                  .integer("NAXIS", 0)
                                  .logical("EXTEND", true)
                                  .finish();
  out.write(primary.data(), primary.size());

  header ext;
  ext.string("XTENSION", "BINTABLE")
      .integer("BITPIX", 8)
      .integer("NAXIS", 2)
      .integer("NAXIS1", static_cast<std::int64_t>(row_bytes))
      .integer("NAXIS2", rows)
      .integer("PCOUNT", 0)
      .integer("GCOUNT", 1)
      .integer("TFIELDS", static_cast<std::int64_t>(event_columns.size()))
      .string("EXTNAME", "EVENTS")
      .string("TELESCOP", "CHANDRA")
      .string("INSTRUME", "ACIS")
      .string("OBJECT", "CAS A");
  for (std::size_t i = 0; i < event_columns.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    ext.string("TTYPE" + n, event_columns[i].name).string("TFORM" + n, event_columns[i].form);
    if (!event_columns[i].unit.empty()) ext.string("TUNIT" + n, event_columns[i].unit);
  }
  const std::string table_header = ext.finish();
  out.write(table_header.data(), table_header.size());

  random_source rnd(event_seed);
  double clock = start_time;
  std::vector<unsigned char> chunk(rows_per_chunk * row_bytes);
  for (std::int64_t done = 0; done < rows;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(rows - done, rows_per_chunk));
    for (std::size_t r = 0; r < n; ++r) fill_event(rnd, clock, chunk.data() + r * row_bytes);
    out.write(chunk.data(), n * row_bytes);
    done += static_cast<std::int64_t>(n);
  }
  pad_data(out, static_cast<std::uint64_t>(rows) * row_bytes);
  return out.close();
}

// A bias-subtracted sky image: a faint gradient, noise around it (so some
// pixels are negative) and a sprinkling of bright and saturated pixels.
// BITPIX 16 stores the counts; -32 the same sky calibrated to a flux in
// singles, with the 8 columns at either edge undefined (NaN), as a
// mosaic's border is; 64 a deep sum of many exposures, counts in the
// billions.
bool write_image(const std::string& path, int bitpix) {
  output_pair out;
  if (!out.open(path, false)) return false;
  const std::string primary = header{}
                                  .logical("SIMPLE", true)
                                  .integer("BITPIX", bitpix)
                                  .integer("NAXIS", 2)
                                  .integer("NAXIS1", image_side)
                                  .integer("NAXIS2", image_side)
                                  .string("OBJECT", "CAS A")
                                  .finish();
  out.write(primary.data(), primary.size());

  const std::size_t value_bytes = static_cast<std::size_t>(bitpix < 0 ? -bitpix : bitpix) / 8;
  random_source rnd(image_seed);
  std::vector<unsigned char> line(static_cast<std::size_t>(image_side) * value_bytes);
  for (int r = 0; r < image_side; ++r) {
    for (int c = 0; c < image_side; ++c) {
      const double noise = rnd.bell();
      std::int32_t v = 12 + (r + c) / 512 + static_cast<std::int32_t>(25.0 * noise);
      if (rnd.between(0, 9999) == 0) v = rnd.between(1000, 32767);
      unsigned char* p = line.data() + value_bytes * static_cast<std::size_t>(c);
      if (bitpix == 16) {
        put_i16(p, v);
      } else if (bitpix == -32) {
        const bool border = c < 8 || c >= image_side - 8;
        put_f32(p, border ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(v * 0.0137 + 0.01 * noise));
      } else {
        put_u64(p, static_cast<std::uint64_t>(std::int64_t{v} * 40'000'003 + rnd.between(0, 999'999)));
      }
    }
    out.write(line.data(), line.size());
  }
  pad_data(out, static_cast<std::uint64_t>(image_side) * image_side * value_bytes);
  return out.close();
}

// A response matrix like those of X-ray missions: a MATRIX table whose
// F_CHAN, N_CHAN and MATRIX columns are variable-length arrays in the heap,
// one row per energy bin, each with one group of response_channels values,
// so that the heap is about `megabytes` MB.
constexpr std::int64_t response_channels = 1024;
constexpr std::uint64_t response_seed = 0x0c4a'0d1e'5eed'0003ULL;

bool write_response(const std::string& path, std::int64_t megabytes) {
  output_pair out;
  if (!out.open(path, false)) return false;
  const std::int64_t heap_per_row = 4 + 4 + 4 * response_channels;
  const std::int64_t rows = std::max<std::int64_t>(1, megabytes * 1'000'000 / heap_per_row);
  const std::int64_t row_size = 4 + 4 + 2 + 8 + 8 + 8;
  const std::string primary = header{}.logical("SIMPLE", true).integer("BITPIX", 8).integer("NAXIS", 0).finish();
  out.write(primary.data(), primary.size());
  header ext;
  ext.string("XTENSION", "BINTABLE")
      .integer("BITPIX", 8)
      .integer("NAXIS", 2)
      .integer("NAXIS1", row_size)
      .integer("NAXIS2", rows)
      .integer("PCOUNT", rows * heap_per_row)
      .integer("GCOUNT", 1)
      .integer("TFIELDS", 6)
      .string("EXTNAME", "MATRIX")
      .string("TTYPE1", "ENERG_LO").string("TFORM1", "1E").string("TUNIT1", "keV")
      .string("TTYPE2", "ENERG_HI").string("TFORM2", "1E").string("TUNIT2", "keV")
      .string("TTYPE3", "N_GRP").string("TFORM3", "1I")
      .string("TTYPE4", "F_CHAN").string("TFORM4", "1PJ(1)")
      .string("TTYPE5", "N_CHAN").string("TFORM5", "1PJ(1)")
      .string("TTYPE6", "MATRIX").string("TFORM6", "1PE(1024)");
  const std::string table_header = ext.finish();
  out.write(table_header.data(), table_header.size());

  std::vector<unsigned char> row(static_cast<std::size_t>(row_size));
  for (std::int64_t r = 0; r < rows; ++r) {
    const double lo = 0.1 + 0.01 * static_cast<double>(r);
    const std::int64_t at = r * heap_per_row;
    put_f32(row.data() + 0, lo);
    put_f32(row.data() + 4, lo + 0.01);
    put_i16(row.data() + 8, 1);
    put_i32(row.data() + 10, 1);
    put_i32(row.data() + 14, static_cast<std::int32_t>(at));
    put_i32(row.data() + 18, 1);
    put_i32(row.data() + 22, static_cast<std::int32_t>(at + 4));
    put_i32(row.data() + 26, static_cast<std::int32_t>(response_channels));
    put_i32(row.data() + 30, static_cast<std::int32_t>(at + 8));
    out.write(row.data(), row.size());
  }
  random_source rnd(response_seed);
  std::vector<unsigned char> arrays(static_cast<std::size_t>(heap_per_row));
  for (std::int64_t r = 0; r < rows; ++r) {
    put_i32(arrays.data(), 1);
    put_i32(arrays.data() + 4, static_cast<std::int32_t>(response_channels));
    for (std::int64_t c = 0; c < response_channels; ++c) {
      put_f32(arrays.data() + 8 + 4 * c, 1e-3 * rnd.bell() * rnd.bell());
    }
    out.write(arrays.data(), arrays.size());
  }
  pad_data(out, static_cast<std::uint64_t>(rows * (row_size + heap_per_row)));
  return out.close();
}

void usage() {
  std::fputs(
      "usage: make_events [--no-gzip] OUTPUT [ROWS]   event file OUTPUT and OUTPUT.gz\n"
      "       make_events --image OUTPUT [BITPIX]     4096 x 4096 image, BITPIX 16, -32 or 64\n"
      "       make_events --response OUTPUT [MB]      response matrix, heap of MB MB\n",
      stderr);
}

int run(int argc, char** argv) {
  bool image = false;
  bool response = false;
  bool with_gzip = true;
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--image") {
      image = true;
    } else if (a == "--response") {
      response = true;
    } else if (a == "--no-gzip") {
      with_gzip = false;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty() || args.size() > 2U) {
    usage();
    return 2;
  }
  const std::string path(args[0]);
  if (image) {
    const std::string_view bitpix = args.size() == 2 ? args[1] : "16";
    if (bitpix != "16" && bitpix != "-32" && bitpix != "64") {
      usage();
      return 2;
    }
    return write_image(path, bitpix == "16" ? 16 : bitpix == "-32" ? -32 : 64) ? 0 : 1;
  }
  if (response) {
    std::int64_t megabytes = 100;
    if (args.size() == 2) std::from_chars(args[1].data(), args[1].data() + args[1].size(), megabytes);
    return write_response(path, megabytes) ? 0 : 1;
  }

  std::int64_t rows = default_rows;
  if (args.size() == 2) {
    const auto res = std::from_chars(args[1].data(), args[1].data() + args[1].size(), rows);
    if (res.ec != std::errc{} || res.ptr != args[1].data() + args[1].size() || rows < 0) {
      usage();
      return 2;
    }
  }
  return write_events(path, rows, with_gzip) ? 0 : 1;
}

}  // namespace
}  // namespace orvex::bench

int main(int argc, char** argv) { return orvex::bench::run(argc, argv); }
