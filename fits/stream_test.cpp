// The stream reader: the byte count, card reads and trim, the block skip and
// the big-endian value readers, on plain and gzip-compressed input alike, and
// what zlib's read errors leave behind.
#include "fits/stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::fits {
namespace {

using test::visible;

// Bytes that differ from their neighbours, so that a read from the wrong
// offset shows.
std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 % 251);
  return s;
}

// A file in a folder of its own, opened as a stream.
class stream_file {
 public:
  stream_file(std::string_view bytes, bool compressed) {
    test::write_file(path(), compressed ? test::gzip(bytes) : std::string(bytes));
    opened = in.open(path().c_str());
  }
  std::string path() const { return (folder.path() / "input.fits").string(); }

  test::temp_folder folder;
  stream in;
  bool opened = false;
};

// Every test that reads runs on plain and gzip input.
class stream_test : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(input, stream_test, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "gzip" : "plain"; });

// --- trim -------------------------------------------------------------------

struct trim_case {
  const char* name;
  std::string card;      // 80 bytes as read
  std::string expected;  // the text before the terminator that trim puts
};

TEST(trim, cuts_trailing_blanks_only) {
  const std::string blanks(80, ' ');
  const trim_case cases[] = {
      {"END and 77 blanks", "END" + std::string(77, ' '), "END"},
      {"80th character not blank", std::string(79, 'A') + "B", std::string(79, 'A') + "B"},
      {"80 blanks stay 80 blanks", blanks, blanks},
      {"blank in front of the last character", " " + std::string(78, ' ') + "X",
       std::string(79, ' ') + "X"},
      {"inner blanks stay", "A  B" + std::string(76, ' '), "A  B"},
      {"ends in a tab", "KEY\t" + std::string(76, ' '), "KEY\t"},
      {"tab as the 80th character", std::string(79, ' ') + "\t", std::string(79, ' ') + "\t"},
      {"ends in a NUL", std::string("AB\0", 3) + std::string(77, ' '), std::string("AB\0", 3)},
      {"only a NUL in front of the blanks", std::string(1, '\0') + std::string(79, ' '),
       std::string(1, '\0')},
  };
  for (const trim_case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.card.size(), 80u);
    card_buffer card;
    card.fill('#');
    std::copy(c.card.begin(), c.card.end(), card.begin());
    card[80] = '\0';
    trim(card);
    EXPECT_EQ(visible(std::string(card.data(), c.expected.size())), visible(c.expected));
    EXPECT_EQ(card[c.expected.size()], '\0') << "terminator at " << c.expected.size();
  }
}

// --- card reads -------------------------------------------------------------

TEST_P(stream_test, read_card_counts_trims_and_ends_with_zero) {
  const std::string first = test::raw_card("SIMPLE  =                    T");
  const std::string partial = "NAXIS   =      2";  // the stream ends inside this card
  stream_file f(first + partial, GetParam());
  ASSERT_TRUE(f.opened);
  EXPECT_EQ(_fpos, 0);

  card_buffer card;
  EXPECT_EQ(read_card(f.in, card), 80);
  EXPECT_STREQ(card.data(), "SIMPLE  =                    T");
  EXPECT_EQ(_fpos, 80);

  EXPECT_EQ(read_card(f.in, card), static_cast<int>(partial.size()));
  EXPECT_STREQ(card.data(), partial.c_str()) << "the undelivered bytes are NULs";
  EXPECT_EQ(_fpos, 96);
  EXPECT_EQ(f.in.missing(), 80 - 16);

  EXPECT_EQ(read_card(f.in, card), 0);
  EXPECT_EQ(_fpos, 96);
  EXPECT_FALSE(f.in.failed());
}

TEST_P(stream_test, open_resets_the_count) {
  stream_file f(pattern(100), GetParam());
  ASSERT_TRUE(f.opened);
  card_buffer card;
  read_card(f.in, card);
  EXPECT_EQ(_fpos, 80);
  ASSERT_TRUE(f.in.open(f.path().c_str()));
  EXPECT_EQ(_fpos, 0);
  EXPECT_EQ(f.in.missing(), 0);
  char b = 0;
  EXPECT_EQ(f.in.read(&b, 1), 1);
  EXPECT_EQ(b, pattern(1)[0]) << "a reopened stream starts at its first byte";
}

TEST(stream, open_fails_for_a_missing_file) {
  test::temp_folder folder;
  stream in;
  EXPECT_FALSE(in.open((folder.path() / "missing.fits").c_str()));
}

// Reads that cross the end of the reader's buffer take their bytes from
// both sides of it.
TEST_P(stream_test, reads_across_a_buffer_refill) {
  std::string bytes(stream::buffer_size - 1, 'x');
  bytes += "\x12\x34";
  stream_file f(bytes, GetParam());
  ASSERT_TRUE(f.opened);
  EXPECT_EQ(f.in.discard(stream::buffer_size - 1), stream::buffer_size - 1);
  EXPECT_EQ(freadshort(f.in), 0x1234);
  EXPECT_EQ(_fpos, stream::buffer_size + 1);

  ASSERT_TRUE(f.in.open(f.path().c_str()));
  f.in.discard(stream::buffer_size - 40);
  card_buffer card;
  EXPECT_EQ(read_card(f.in, card), 41);
  EXPECT_EQ(visible(std::string(card.data(), 41)), visible(std::string(39, 'x') + "\x12\x34"));
  EXPECT_EQ(_fpos, stream::buffer_size + 1);
}

// A table row as one piece: in the reader's buffer, across a refill,
// longer than the buffer, and cut by the end of the stream, each saying
// how many of its bytes arrived.
TEST_P(stream_test, read_piece_says_what_arrived) {
  const int size = 3 * stream::buffer_size + 100;
  const std::string bytes = pattern(size);
  struct piece_case {
    const char* name;
    std::int64_t skip;
    std::int64_t n;
    std::int64_t got;
  };
  for (const piece_case& c : {piece_case{"inside the buffer", 10, 60, 60},
                              piece_case{"across a refill", stream::buffer_size - 7, 60, 60},
                              piece_case{"longer than the buffer", 5, 2 * stream::buffer_size + 3, 2 * stream::buffer_size + 3},
                              piece_case{"cut by the end", size - 20, 60, 20},
                              piece_case{"long and cut by the end", 100, 4 * stream::buffer_size, size - 100},
                              piece_case{"nothing asked", 3, 0, 0}}) {
    stream_file f(bytes, GetParam());
    ASSERT_TRUE(f.opened);
    f.in.discard(c.skip);
    byte_buffer spill;
    std::int64_t got = -1;
    const unsigned char* p = f.in.read_piece(c.n, got, spill);
    EXPECT_EQ(got, c.got) << c.name;
    EXPECT_EQ(_fpos, c.skip + c.got) << c.name;
    EXPECT_EQ(f.in.missing(), c.n - c.got) << c.name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(got)),
              bytes.substr(static_cast<std::size_t>(c.skip), static_cast<std::size_t>(c.got)))
        << c.name;
  }
}

TEST_P(stream_test, peek_consumes_nothing) {
  stream_file f(pattern(200), GetParam());
  ASSERT_TRUE(f.opened);
  f.in.discard(150);
  EXPECT_EQ(f.in.peek(80), pattern(200).substr(150)) << "only 50 bytes are left";
  EXPECT_EQ(_fpos, 150);
  card_buffer card;
  EXPECT_EQ(read_card(f.in, card), 50);
  EXPECT_EQ(std::string(card.data(), 50), pattern(200).substr(150));
}

// --- block skips ------------------------------------------------------------

struct skip_case {
  std::int64_t from;
  std::int64_t target;
  int last_read;  // the count of the skip's last read
};

TEST_P(stream_test, realign_skips_to_the_next_boundary) {
  const skip_case cases[] = {
      {0, 0, 0},       {1, 2880, 319},     {80, 2880, 240},   {480, 2880, 352},
      {1856, 2880, 512}, {2368, 2880, 512}, {2369, 2880, 511}, {2879, 2880, 1},
      {2880, 2880, 0}, {2881, 5760, 319},  {5760, 5760, 0},   {5761, 8640, 319},
  };
  const std::string bytes = pattern(3 * 2880 + 100);
  for (const skip_case& c : cases) {
    SCOPED_TRACE("from " + std::to_string(c.from));
    stream_file f(bytes, GetParam());
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.in.discard(c.from), c.from);
    EXPECT_EQ(realign(f.in), c.last_read);
    EXPECT_EQ(_fpos, c.target);
    char next = 0;
    ASSERT_EQ(f.in.read(&next, 1), 1);
    EXPECT_EQ(next, bytes[static_cast<std::size_t>(c.target)]) << "the skip consumed as many bytes as it counted";
  }
}

TEST_P(stream_test, skip_meeting_the_end_stops_short_silently) {
  stream_file f(pattern(1000), GetParam());
  ASSERT_TRUE(f.opened);
  f.in.discard(100);
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  realign(f.in);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(_fpos, 1000);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_FALSE(f.in.failed());
  EXPECT_EQ(gzseek(f.in, 5760), 0);
  EXPECT_EQ(_fpos, 1000);
}

// The byte count of an input beyond 2 GiB: the skip's arithmetic must not
// wrap at 32 bits. The count is set as if that much had been read, and the
// skip has to consume exactly the distance to the next boundary.
TEST_P(stream_test, skip_arithmetic_beyond_two_gib) {
  const skip_case cases[] = {
      {2147483520, 2147483520, 0},       // a boundary just below 2^31
      {2147483647, 2147486400, 0},       // 2^31 - 1: 2753 bytes to go
      {2147483648, 2147486400, 0},       // 2^31: 2752
      {2147484128, 2147486400, 0},       // 2^31 + 480: 2272
      {2147486400, 2147486400, 0},       // a boundary above 2^31
      {4294967301, 4294969920, 0},       // 2^32 + 5: 2619
      {8589937471, 8589939840, 0},       // 2^33 + 2879: 2369
      {1099511627777, 1099511628480, 0}, // 2^40 + 1: 703
  };
  const std::string bytes = pattern(4000);
  for (const skip_case& c : cases) {
    SCOPED_TRACE("from " + std::to_string(c.from));
    EXPECT_EQ(next_boundary(c.from), c.target);
    stream_file f(bytes, GetParam());
    ASSERT_TRUE(f.opened);
    _fpos = c.from;
    realign(f.in);
    EXPECT_EQ(_fpos, c.target);
    const std::int64_t skipped = c.target - c.from;
    char next = 0;
    ASSERT_EQ(f.in.read(&next, 1), 1);
    EXPECT_EQ(next, bytes[static_cast<std::size_t>(skipped)]) << skipped << " bytes should have been skipped";
    EXPECT_EQ(_fpos, c.target + 1);
  }
}

// --- value readers ----------------------------------------------------------

struct integer_case {
  std::string bytes;
  int (*reader)(stream&);
  const char* reader_name;
  std::int64_t expected;
};

int read_short(stream& in) { return freadshort(in); }
int read_byte(stream& in) { return freadbyte(in); }
int read_long(stream& in) { return freadlong(in); }

TEST_P(stream_test, integer_readers_are_big_endian_and_signed) {
  const integer_case cases[] = {
      {"\x7F\xFF", read_short, "freadshort", 32767},
      {"\xFF\xFF", read_short, "freadshort", -1},
      {"\xFF\xFE", read_short, "freadshort", -2},
      {std::string("\x80\x00", 2), read_short, "freadshort", -32768},
      {std::string("\x01\x00", 2), read_short, "freadshort", 256},
      {std::string("\x00\x01", 2), read_short, "freadshort", 1},
      {"\x7F", read_byte, "freadbyte", 127},
      {"\x80", read_byte, "freadbyte", -128},
      {"\xFF", read_byte, "freadbyte", -1},
      {std::string("\x80\x00\x00\x00", 4), read_long, "freadlong", -2147483648LL},
      {"\x7F\xFF\xFF\xFF", read_long, "freadlong", 2147483647},
      {"\xFF\xFF\xFF\xFE", read_long, "freadlong", -2},
      {std::string("\x01\x02\x03\x04", 4), read_long, "freadlong", 0x01020304},
  };
  for (const integer_case& c : cases) {
    SCOPED_TRACE(std::string(c.reader_name) + " on " + visible(c.bytes));
    stream_file f(c.bytes + "tail", GetParam());
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(c.reader(f.in), c.expected);
    EXPECT_EQ(_fpos, static_cast<std::int64_t>(c.bytes.size()));
  }
}

TEST_P(stream_test, freadlonglong_is_big_endian) {
  stream_file f(std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE\x01\x02\x03\x04\x05\x06\x07\x08", 16), GetParam());
  ASSERT_TRUE(f.opened);
  EXPECT_EQ(freadlonglong(f.in), -2);
  EXPECT_EQ(freadlonglong(f.in), 0x0102030405060708LL);
  EXPECT_EQ(_fpos, 16);
}

// A value that the stream delivers only in part: the bytes it did deliver
// are counted, the others read as zero.
TEST_P(stream_test, value_cut_by_the_end_of_the_stream) {
  stream_file f("\x12", GetParam());
  ASSERT_TRUE(f.opened);
  EXPECT_EQ(freadshort(f.in), 0x1200);
  EXPECT_EQ(_fpos, 1);
  EXPECT_EQ(f.in.missing(), 1);
  EXPECT_EQ(freadlong(f.in), 0);
  EXPECT_EQ(_fpos, 1);
  EXPECT_EQ(f.in.missing(), 5);
}

struct float_case {
  std::string bytes;
  bool is_double;
  double expected;  // NaN: any NaN
  bool warns;
};

TEST_P(stream_test, floating_readers_and_their_warning) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const float_case cases[] = {
      {std::string("\x3F\x80\x00\x00", 4), false, 1.0, false},
      {std::string("\xC0\x20\x00\x00", 4), false, -2.5, false},
      {"\x3D\xCC\xCC\xCD", false, 0.100000001490116119384765625, false},
      {std::string("\x7F\x80\x00\x00", 4), false, inf, true},
      {std::string("\xFF\x80\x00\x00", 4), false, -inf, true},
      {std::string("\xFF\xC0\x00\x00", 4), false, nan, true},
      {"\x7F\x7F\xFF\xFF", false, 3.4028234663852886e38, false},
      {std::string("\x7F\x00\x00\x00", 4), false, 1.7014118346046923e38, false},
      {std::string("\x3F\xF0\x00\x00\x00\x00\x00\x00", 8), true, 1.0, false},
      {std::string("\xC0\x04\x00\x00\x00\x00\x00\x00", 8), true, -2.5, false},
      {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", true, nan, true},
      {std::string("\x7F\xF0\x00\x00\x00\x00\x00\x01", 8), true, nan, true},
      {std::string("\x7F\xF0\x00\x00\x00\x00\x00\x00", 8), true, inf, false},
      {std::string("\x7F\xF8\x00\x00\x00\x00\x00\x00", 8), true, nan, false},
      {"\x7F\xEF\xFF\xFF\xFF\xFF\xFF\xFF", true, 1.7976931348623157e308, false},
  };
  for (const float_case& c : cases) {
    SCOPED_TRACE((c.is_double ? "freaddouble on " : "freadfloat on ") + visible(c.bytes));
    stream_file f(c.bytes, GetParam());
    ASSERT_TRUE(f.opened);
    ::testing::internal::CaptureStderr();
    const double v = c.is_double ? freaddouble(f.in) : freadfloat(f.in);
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(v)) << v;
    } else {
      EXPECT_EQ(v, c.expected);
    }
    EXPECT_EQ(err, c.warns ? "Not a Number\n" : "");
    EXPECT_EQ(_fpos, static_cast<std::int64_t>(c.bytes.size()));
  }
}

// --- zlib read errors --------------------------------------------------------

struct damage_case {
  const char* name;
  std::string (*damage)(std::string gz);
  const char* reason;  // gzerror's text
};

TEST(stream_errors, zlib_errors_end_every_read_and_keep_the_reason) {
  const damage_case cases[] = {
      {"cut gzip member", [](std::string gz) { return gz.substr(0, gz.size() / 2); },
       "unexpected end of file"},
      {"bad CRC",
       [](std::string gz) {
         gz[gz.size() - 8] = static_cast<char>(gz[gz.size() - 8] ^ 1);
         return gz;
       },
       "incorrect data check"},
      {"corrupt deflate stream",
       [](std::string gz) {
         gz[10] = static_cast<char>(0xFF);  // the first block: final, of the reserved type 3
         return gz;
       },
       "invalid block type"},
  };
  const std::string data = pattern(3 * 2880);
  for (const damage_case& c : cases) {
    SCOPED_TRACE(c.name);
    test::temp_folder folder;
    const std::string path = (folder.path() / "input.fits").string();
    test::write_file(path, c.damage(test::gzip(data)));
    stream in;
    ASSERT_TRUE(in.open(path.c_str()));
    std::string delivered;
    char chunk[80];
    for (int n; (n = in.read(chunk, sizeof chunk)) > 0;) {
      delivered.append(chunk, static_cast<std::size_t>(n));
      ASSERT_LT(delivered.size(), 2 * data.size()) << "the read loop must end";
    }
    EXPECT_EQ(_fpos, static_cast<std::int64_t>(delivered.size()));
    EXPECT_TRUE(data.starts_with(delivered)) << "only good bytes are delivered";
    EXPECT_TRUE(in.failed());
    EXPECT_EQ(in.error(), c.reason);
    EXPECT_LT(_fpos, static_cast<std::int64_t>(data.size()));
    const std::int64_t at = _fpos;
    realign(in);
    EXPECT_EQ(_fpos, at) << "a failed stream delivers nothing more";
    char b = 0;
    EXPECT_EQ(in.read(&b, 1), 0);
  }
}

TEST(stream_errors, a_plain_end_is_no_error) {
  test::temp_folder folder;
  const std::string path = (folder.path() / "input.fits").string();
  test::write_file(path, test::gzip(pattern(100)) + test::gzip(pattern(50)));
  stream in;
  ASSERT_TRUE(in.open(path.c_str()));
  card_buffer card;
  EXPECT_EQ(read_card(in, card), 80);
  EXPECT_EQ(read_card(in, card), 70) << "two gzip members read as one stream";
  EXPECT_EQ(read_card(in, card), 0);
  EXPECT_FALSE(in.failed());
  EXPECT_EQ(in.error(), "");
}

}  // namespace
}  // namespace orvex::fits
