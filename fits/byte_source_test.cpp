// The byte sources under the stream: every packing reads back to the bytes
// that went in, concatenated streams read as one, cut and damaged streams
// deliver only good bytes and say why; ISA-L and zlib agree byte for byte
// and word for word; the LZW decoder agrees with gzip -dc and uncompress.
#include "fits/byte_source.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fits/source_kinds.h"
#include "fits/stream.h"
#include "tests/fits_builder.h"

namespace orvex::fits {
namespace {

using test::packing;

// Text-like bytes with long repeats and noise, so that every coder makes
// back references, literals and (for LZW) a full table.
std::string sample(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    if (rng() % 4 == 0 && s.size() > 300) {
      s += s.substr(rng() % (s.size() - 200), rng() % 200);
    } else {
      s += static_cast<char>(rng() % (rng() % 2 ? 256 : 16));
    }
  }
  s.resize(n);
  return s;
}

struct read_back {
  std::string bytes;
  bool failed = false;
  std::string error;
};

// Everything a stream over `input` delivers, in reads of `chunk` bytes.
read_back read_all(const std::string& input, int chunk = 2880, inflater gzip = inflater::fastest) {
  stream in;
  in.open_memory(input, gzip);
  read_back r;
  std::string buffer(static_cast<std::size_t>(chunk), '\0');
  for (int got; (got = in.read(buffer.data(), chunk)) > 0;) r.bytes.append(buffer, 0, static_cast<std::size_t>(got));
  EXPECT_EQ(_fpos, static_cast<std::int64_t>(r.bytes.size()));
  r.failed = in.failed();
  r.error = in.error();
  return r;
}

TEST(byte_source, every_packing_reads_back_whole_and_concatenated) {
  for (packing p : test::every_packing) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{700000}}) {
      SCOPED_TRACE(std::string(test::packing_name(p)) + ", " + std::to_string(n) + " bytes");
      const std::string data = sample(n, static_cast<unsigned>(n));
      const std::optional<std::string> packed = test::packed(data, p);
      if (!packed) GTEST_SKIP() << "compress is not installed";
      for (int chunk : {1, 2880, 300000}) {
        const read_back r = read_all(*packed, chunk);
        EXPECT_EQ(r.bytes.size(), data.size()) << "chunk " << chunk;
        EXPECT_TRUE(r.bytes == data) << "chunk " << chunk;
        EXPECT_EQ(r.error, "");
      }
      if (p == packing::plain || p == packing::compress || n == 0) continue;
      const std::string second = sample(n / 3 + 1, 7);
      const read_back two = read_all(*packed + *test::packed(second, p));
      EXPECT_TRUE(two.bytes == data + second) << "two streams read as one";
      EXPECT_EQ(two.error, "");
    }
  }
}

TEST(byte_source, cut_and_damaged_streams) {
  const std::string data = sample(200000, 3);
  const std::string bz = test::bzip2(data), x = test::xz(data), gz = test::gzip(data);
  auto flip = [](std::string s, std::size_t at) {
    s[at] = static_cast<char>(s[at] ^ 0x55);
    return s;
  };
  const struct {
    const char* name;
    std::string input;
    const char* error;
    bool whole_prefix;  // every byte before the cut is delivered
  } cases[] = {
      {"gzip cut", gz.substr(0, gz.size() / 2), "unexpected end of file", true},
      {"gzip bad length", flip(gz, gz.size() - 2), "incorrect length check", false},
      {"gzip then garbage", gz + "garbage", "", true},
      {"gzip then 1f 8b and a bad method", gz + std::string("\x1f\x8b\x07\0\0\0\0\0\0\0", 10),
       "unknown compression method", false},
      {"bzip2 cut", bz.substr(0, bz.size() / 2), "unexpected end of file", false},
      {"bzip2 damaged", flip(bz, bz.size() / 2), "bzip2 data integrity error", false},
      {"bzip2 then garbage", bz + "garbage", "", true},
      {"bzip2 bad block size", "BZh0" + bz.substr(4), "not a bzip2 stream", false},
      {"xz cut", x.substr(0, x.size() / 2), "unexpected end of file", false},
      {"xz damaged", flip(x, x.size() / 2), "compressed data is corrupt", false},
      {"xz then garbage", x + "garbage longer than a header", "compressed data is corrupt", false},
      {"xz header only", x.substr(0, 6), "unexpected end of file", false},
      {"compress header only", "\x1f\x9d", "unexpected end of file", false},
      {"compress of 17 bits", "\x1f\x9d\x91", "compressed with 17 bits, at most 16 are read", false},
      {"compress first code not a byte", std::string("\x1f\x9d\x90\x01\x03", 5), "corrupt input", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const read_back r = read_all(c.input);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.failed, *c.error != '\0');
    EXPECT_TRUE(data.starts_with(r.bytes)) << "only good bytes are delivered";
    if (c.whole_prefix) {
      EXPECT_GT(r.bytes.size(), r.failed ? data.size() / 4 : data.size() - 1);
    }
  }
}

// zlib against ISA-L over every cut and many damaged bytes of a stream:
// the same bytes delivered, the same reason.
TEST(byte_source, isal_and_zlib_agree_on_cut_damaged_and_concatenated_gzip) {
  if (!have_isal()) GTEST_SKIP() << "this build inflates with zlib alone";
  const std::string data = sample(40000, 5);
  const std::string gz = test::gzip(data) + test::gzip(data.substr(0, 9000), 1) + test::gzip(data, 0);
  std::vector<std::string> inputs{gz, gz + "trailing", gz + "\x1f", gz + "\x1f\x8b"};
  for (std::size_t cut = 0; cut < gz.size(); cut += 97) inputs.push_back(gz.substr(0, cut));
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    std::string d = gz;
    d[rng() % d.size()] ^= static_cast<char>(1 + rng() % 255);
    if (i % 3 == 0) d[rng() % d.size()] ^= static_cast<char>(1 << (rng() % 8));
    inputs.push_back(std::move(d));
  }
  int faults = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const read_back fast = read_all(inputs[i], 2880, inflater::fastest);
    const read_back zlib = read_all(inputs[i], 2880, inflater::zlib);
    ASSERT_EQ(fast.error, zlib.error) << "input " << i;
    ASSERT_TRUE(fast.bytes == zlib.bytes) << "input " << i << ": " << fast.bytes.size() << " vs " << zlib.bytes.size();
    faults += zlib.failed;
  }
  EXPECT_GT(faults, 300) << "the damaged inputs are found damaged";
}

// The LZW decoder against the two programs that read .Z: every byte of a
// whole stream, of every code width and both modes; and on damaged streams
// the programs' output (written before they stop) is where ours begins, and
// both fail together.
TEST(lzw, agrees_with_gzip_and_uncompress) {
  const std::string data = sample(300000, 9) + std::string(100000, 'x') + sample(200000, 10);
  // (compress 4.2.4's own -b 9 and -C outputs do not read back, with
  // uncompress or gzip -dc, so they are not held against them.)
  for (const char* flags : {"", "-b 10", "-b 12", "-b 14"}) {
    SCOPED_TRACE(flags);
    const std::optional<std::string> z = test::unix_compress(data, flags);
    if (!z) GTEST_SKIP() << "compress is not installed";
    EXPECT_TRUE(read_all(*z).bytes == data);
    for (const char* tool : {"gzip -dc", "uncompress -c"}) {
      int status = 0;
      EXPECT_TRUE(test::filter_through(tool, *z, status) == data) << tool;
    }
  }
  // Strings written long before, beyond the decoded bytes the decoder
  // keeps (here as few as it may): a pattern that compresses well keeps the
  // table of 16-bit codes, never cleared, naming them. Read back through
  // the chains of prefixes, a byte at a time.
  std::string pattern;
  for (int k = 0; pattern.size() < 2000000; ++k) pattern += sample(1000 + k % 7, static_cast<unsigned>(k % 50));
  const std::optional<std::string> far = test::unix_compress(pattern, "");
  ASSERT_TRUE(far);
  for (std::size_t history : {std::size_t{1}, std::size_t{200000}, std::size_t{4} << 20}) {
    auto source = lzw_source(std::make_unique<input_buffer>(std::make_unique<memory_input>(*far)), history);
    std::string back(pattern.size() + 1, '\0');
    std::size_t got = 0;
    for (std::size_t k; (k = source->read(reinterpret_cast<unsigned char*>(back.data()) + got,
                                         std::min<std::size_t>(4096, back.size() - got))) > 0;) {
      got += k;
    }
    back.resize(got);
    EXPECT_TRUE(back == pattern) << "history " << history << ": " << got << " bytes";
    EXPECT_EQ(source->error(), "");
  }
  const std::string z = *test::unix_compress(data.substr(0, 60000), "-b 12");
  std::mt19937 rng(13);
  for (int i = 0; i < 40; ++i) {
    std::string d = z;
    for (int k = 0; k < 1 + i % 3; ++k) d[3 + rng() % (d.size() - 3)] ^= static_cast<char>(1 + rng() % 255);
    const read_back ours = read_all(d, 1);
    int status = 0;
    const std::optional<std::string> theirs = test::filter_through("gzip -dc", d, status);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(ours.failed, status != 0) << "damage " << i;
    EXPECT_TRUE(ours.bytes.starts_with(*theirs)) << "damage " << i;
    if (!ours.failed) {
      EXPECT_TRUE(ours.bytes == *theirs) << "damage " << i;
    }
  }
}

}  // namespace
}  // namespace orvex::fits
