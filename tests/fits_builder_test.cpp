// Checks of the shared test infrastructure itself: every end-to-end and
// decoder test trusts the builder to lay out cards, blocks and big-endian
// values as FITS does, and the harness's comparisons to report every
// difference.
#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace orvex::test {
namespace {

std::string hex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[b >> 4];
    s += digits[b & 0xF];
  }
  return s;
}

// The 80-character card number `index` of `bytes`.
std::string card_at(const std::string& bytes, std::size_t index) {
  return bytes.substr(index * card_size, card_size);
}

std::string blanks(std::size_t n) { return std::string(n, ' '); }

TEST(BuilderFormatCard, PlacesKeywordEqualsAndValueInFitsColumns) {
  struct case_t {
    const char* name;
    std::string got;
    std::string want;
  };
  const std::vector<case_t> cases{
      {"integer right-aligned to column 30", format_card("NAXIS", "0"),
       "NAXIS   =                    0" + blanks(50)},
      {"logical", format_card("SIMPLE", "T"), "SIMPLE  =                    T" + blanks(50)},
      {"string from column 11", format_card("TTYPE1", "'TIME'"), "TTYPE1  = 'TIME'" + blanks(64)},
      {"comment after the value", format_card("BITPIX", "8", "bits"),
       "BITPIX  =                    8 / bits" + blanks(43)},
      {"eight-character keyword", format_card("TELESCOP", "'ROSAT   '"),
       "TELESCOP= 'ROSAT   '" + blanks(60)},
      {"raw card padded", raw_card("END"), "END" + blanks(77)},
      {"raw card of 80 blanks", raw_card(""), blanks(80)},
  };
  for (const case_t& c : cases) {
    EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_EQ(c.got.size(), card_size) << c.name;
  }
}

TEST(BuilderFormatCard, RejectsWhatCannotBeOneCard) {
  EXPECT_THROW(format_card("TOOLONGKW", "1"), std::invalid_argument);
  EXPECT_THROW(raw_card(std::string(81, 'X')), std::invalid_argument);
  EXPECT_THROW(format_card("HISTORY", "'" + std::string(75, 'x') + "'"), std::invalid_argument);
  EXPECT_EQ(raw_card(std::string(80, 'X')), std::string(80, 'X'));
}

TEST(BuilderCard, ReadsKeywordAndValueBack) {
  struct case_t {
    card c;
    const char* keyword;
    const char* value;
  };
  const std::vector<case_t> cases{
      {{"TFORM12", "'1D      '"}, "TFORM12", "1D"},
      {{"NAXIS2", "250", "rows"}, "NAXIS2", "250"},
      {{"OBJECT", "'O''Neil'"}, "OBJECT", "O'Neil"},
      {"COMMENT no value here", "COMMENT", ""},
      {"END", "END", ""},
  };
  for (const case_t& c : cases) {
    EXPECT_EQ(c.c.keyword(), c.keyword) << c.c.text();
    EXPECT_EQ(c.c.value(), c.value) << c.c.text();
  }
}

TEST(BuilderBigEndian, WritesMostSignificantByteFirst) {
  struct case_t {
    const char* name;
    big_endian got;
    const char* want;
  };
  const std::vector<case_t> cases{
      {"i8 -1", big_endian{}.i8(-1), "FF"},
      {"u8 200", big_endian{}.u8(200), "C8"},
      {"i16 -2", big_endian{}.i16(-2), "FF FE"},
      {"i16 258", big_endian{}.i16(258), "01 02"},
      {"i32 min", big_endian{}.i32(INT32_MIN), "80 00 00 00"},
      {"i32 0x01020304", big_endian{}.i32(0x01020304), "01 02 03 04"},
      {"i64 0x0102030405060708", big_endian{}.i64(0x0102030405060708), "01 02 03 04 05 06 07 08"},
      {"i64 -2", big_endian{}.i64(-2), "FF FF FF FF FF FF FF FE"},
      {"f32 0.1", big_endian{}.f32(0.1f), "3D CC CC CD"},
      {"f32 -2.5", big_endian{}.f32(-2.5f), "C0 20 00 00"},
      {"f64 1.0", big_endian{}.f64(1.0), "3F F0 00 00 00 00 00 00"},
      {"f64 bits", big_endian{}.f64_bits(0x7FF8000000000001), "7F F8 00 00 00 00 00 01"},
      {"chars padded with NUL", big_endian{}.chars("AB", 4), "41 42 00 00"},
      {"chars cut", big_endian{}.chars("ABCDE", 3), "41 42 43"},
      {"sequence", big_endian{}.i16(1).u8(2).raw("C"), "00 01 02 43"},
  };
  for (const case_t& c : cases) EXPECT_EQ(hex(c.got.bytes()), c.want) << c.name;
}

TEST(BuilderHeaderUnit, EndsWithEndAndFillsWholeBlocksWithBlanks) {
  struct case_t {
    std::size_t cards;
    std::size_t want_size;
  };
  // END is one more card: 35 cards and END fill one block exactly.
  const std::vector<case_t> cases{{0, 2880}, {34, 2880}, {35, 2880}, {36, 5760}, {71, 5760},
                                  {72, 8640}};
  for (const case_t& c : cases) {
    std::vector<card> cards(c.cards, card{"COMMENT filler"});
    const std::string unit = header_unit(cards);
    ASSERT_EQ(unit.size(), c.want_size) << c.cards << " cards";
    EXPECT_EQ(card_at(unit, c.cards), raw_card("END")) << c.cards << " cards";
    EXPECT_EQ(unit.find_first_not_of(' ', (c.cards + 1) * card_size), std::string::npos)
        << c.cards << " cards: padding is not all blanks";
  }
}

TEST(BuilderHeaderUnit, LayoutSwitchesLeaveOutEndAndPadding) {
  const std::vector<card> cards{{"SIMPLE", "T"}};
  EXPECT_EQ(header_unit(cards, {.pad_header = false}), cards[0].text() + raw_card("END"));
  EXPECT_EQ(header_unit(cards, {.end_card = false, .pad_header = false}), cards[0].text());
  const std::string no_end = header_unit(cards, {.end_card = false});
  EXPECT_EQ(no_end.size(), block_size);
  EXPECT_EQ(no_end.find("END"), std::string::npos);
}

TEST(BuilderDataUnit, PadsWithZeroBytesToWholeBlocks) {
  struct case_t {
    std::size_t bytes;
    std::size_t want_size;
  };
  const std::vector<case_t> cases{{0, 0}, {1, 2880}, {2879, 2880}, {2880, 2880}, {2881, 5760}};
  for (const case_t& c : cases) {
    const std::string data = fits_builder{}.data(std::string(c.bytes, 'x')).bytes();
    ASSERT_EQ(data.size(), c.want_size) << c.bytes << " bytes";
    EXPECT_EQ(data.find_first_not_of('\0', c.bytes), std::string::npos) << c.bytes << " bytes";
  }
  EXPECT_EQ(fits_builder{}.data("abc", {.pad_data = false}).bytes(), "abc");
}

TEST(BuilderTformWidth, GivesTheFitsRowWidthOfEachForm) {
  struct case_t {
    const char* tform;
    std::optional<std::int64_t> want;
  };
  const std::vector<case_t> cases{
      {"1D", 8},  {"1E", 4},  {"D", 8},    {"8A", 8},  {"1L", 1},   {"3B", 3},
      {"1I", 2},  {"2J", 8},  {"1K", 8},   {"1C", 8},  {"1M", 16},  {"8X", 1},
      {"9X", 2},  {"1X", 1},  {"16X", 2},  {"0E", 0},  {"1PE(100)", 8}, {"1QD", 16},
      {"1Z", std::nullopt}, {"", std::nullopt}, {"12", std::nullopt},
  };
  for (const case_t& c : cases) EXPECT_EQ(tform_width(c.tform), c.want) << c.tform;
}

TEST(BuilderBintable, WritesTheStructuralCardsFromColumnsAndRows) {
  const std::string rows = big_endian{}.f64(1.5).f32(2.0f).chars("AB", 4).u8(0xA5)
                               .f64(2.5).f32(3.0f).chars("CD", 4).u8(0x01).bytes();
  const std::string file = fits_builder{}
                               .empty_primary()
                               .bintable({{"TTYPE1", "'TIME'"}, {"TFORM1", "'1D'"},
                                          {"TTYPE2", "'X'"}, {"TFORM2", "'1E'"},
                                          {"TFORM3", "'4A'"}, {"TFORM4", "'8X'"},
                                          {"EXTNAME", "'EVENTS'"}},
                                         rows)
                               .bytes();
  ASSERT_EQ(file.size(), 3 * block_size);
  const std::string ext = file.substr(block_size, block_size);
  const std::vector<std::string> want{
      format_card("XTENSION", "'BINTABLE'"), format_card("BITPIX", "8"),
      format_card("NAXIS", "2"),             format_card("NAXIS1", "17"),
      format_card("NAXIS2", "2"),            format_card("PCOUNT", "0"),
      format_card("GCOUNT", "1"),            format_card("TFIELDS", "4"),
      format_card("TTYPE1", "'TIME'"),       format_card("TFORM1", "'1D'"),
      format_card("TTYPE2", "'X'"),          format_card("TFORM2", "'1E'"),
      format_card("TFORM3", "'4A'"),         format_card("TFORM4", "'8X'"),
      format_card("EXTNAME", "'EVENTS'"),    raw_card("END"),
  };
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(card_at(ext, i), want[i]) << "card " << i;
  const std::string data = file.substr(2 * block_size);
  EXPECT_EQ(data.substr(0, rows.size()), rows);
  EXPECT_EQ(data.find_first_not_of('\0', rows.size()), std::string::npos);
}

TEST(BuilderBintable, ShapeOverridesComputedValues) {
  const std::string file = fits_builder{}
                               .bintable({{"TFORM1", "'1K'"}}, std::string(6, '\1'),
                                         {.naxis1 = 2, .naxis2 = 1000, .tfields = 200})
                               .bytes();
  EXPECT_EQ(card_at(file, 3), format_card("NAXIS1", "2"));
  EXPECT_EQ(card_at(file, 4), format_card("NAXIS2", "1000"));
  EXPECT_EQ(card_at(file, 7), format_card("TFIELDS", "200"));
  EXPECT_THROW(fits_builder{}.bintable({{"TFORM1", "'1Z'"}}, ""), std::invalid_argument);
  EXPECT_THROW(fits_builder{}.bintable({{"TFORM1", "'1J'"}}, "abc"), std::invalid_argument);
}

TEST(BuilderAsciiTable, PadsRowsAndDataWithBlanks) {
  const std::string file = fits_builder{}
                               .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I4'"},
                                             {"TBCOL2", "5"}, {"TFORM2", "'E10.3'"}},
                                            {"  12-1.500E+01", "   7"})
                               .bytes();
  ASSERT_EQ(file.size(), 2 * block_size);
  EXPECT_EQ(card_at(file, 0), format_card("XTENSION", "'TABLE'"));
  EXPECT_EQ(card_at(file, 3), format_card("NAXIS1", "14"));
  EXPECT_EQ(card_at(file, 4), format_card("NAXIS2", "2"));
  EXPECT_EQ(card_at(file, 7), format_card("TFIELDS", "2"));
  EXPECT_EQ(file.substr(block_size), pad_to_block("  12-1.500E+01   7          ", ' '));
}

TEST(BuilderImage16, WritesPixelsBigEndianAfterItsHeader) {
  const std::string file =
      fits_builder{}.image16(3, 2, {1, 2, 3, 4, 5, -2}, {{"OBJECT", "'M31     '"}}).bytes();
  ASSERT_EQ(file.size(), 2 * block_size);
  EXPECT_EQ(card_at(file, 1), format_card("BITPIX", "16"));
  EXPECT_EQ(card_at(file, 2), format_card("NAXIS", "2"));
  EXPECT_EQ(card_at(file, 3), format_card("NAXIS1", "3"));
  EXPECT_EQ(card_at(file, 4), format_card("NAXIS2", "2"));
  EXPECT_EQ(card_at(file, 5), format_card("OBJECT", "'M31     '"));
  EXPECT_EQ(card_at(file, 6), raw_card("END"));
  EXPECT_EQ(hex(file.substr(block_size, 12)), "00 01 00 02 00 03 00 04 00 05 FF FE");
  EXPECT_THROW(fits_builder{}.image16(3, 2, {1, 2}), std::invalid_argument);
}

TEST(BuilderDamage, CutAndRawDamageTheFile) {
  const std::string whole = fits_builder{}.empty_primary().bytes();
  EXPECT_EQ(fits_builder{}.empty_primary().cut(100).bytes(), whole.substr(0, 100));
  EXPECT_EQ(fits_builder{}.empty_primary().cut(99999).bytes(), whole);
  EXPECT_EQ(fits_builder{}.empty_primary().raw("XY").bytes(), whole + "XY");
}

// Round trip through the reader the decoder uses: gzopen/gzread on a file.
std::string read_with_gzread(const std::string& bytes) {
  std::string name = (std::filesystem::temp_directory_path() / "orvex-builder-XXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) return "mkstemp failed";
  close(fd);
  write_file(name, bytes);
  std::string out;
  gzFile in = gzopen(name.c_str(), "rb");
  if (in != nullptr) {
    char chunk[1000];
    int n = 0;
    while ((n = gzread(in, chunk, sizeof chunk)) > 0) out.append(chunk, static_cast<std::size_t>(n));
    if (n < 0) out += "<gzread error>";
    gzclose(in);
  }
  unlink(name.c_str());
  return out;
}

TEST(BuilderGzip, ZlibReadsBackWhatWasCompressed) {
  fits_builder builder;
  builder.image16(8, 6, std::vector<std::int16_t>(48, 7))
      .bintable({{"TFORM1", "'1J'"}}, big_endian{}.i32(1).i32(2).bytes());
  const std::string& fits = builder.bytes();
  const std::string packed = builder.gzip();
  EXPECT_EQ(hex(packed.substr(0, 2)), "1F 8B");
  EXPECT_LT(packed.size(), fits.size());
  EXPECT_EQ(read_with_gzread(packed), fits);
  EXPECT_EQ(gunzip(packed), fits);
  EXPECT_EQ(read_with_gzread(gzip("")), "");
}

TEST(BuilderGzip, TwoMembersReadAsOneStream) {
  const std::string first = fits_builder{}.empty_primary().bytes();
  const std::string second = fits_builder{}.bintable({{"TFORM1", "'1E'"}}, "").bytes();
  const std::string packed = gzip(first) + gzip(second, 9);
  EXPECT_EQ(read_with_gzread(packed), first + second);
  EXPECT_EQ(gunzip(packed), first + second);
  EXPECT_THROW(gunzip(packed.substr(0, packed.size() - 4)), std::runtime_error);
}

TEST(HarnessSameFiles, NamesEveryMissingUnexpectedAndDifferingFile) {
  const file_map expected{{"a.000", "!END\n"}, {"a.001", "1 \n2 \n3 \n"}, {"gone", "x"}};
  EXPECT_TRUE(same_files(expected, expected));
  const file_map actual{{"a.000", "!END\n"}, {"a.001", "1 \n2\r\n3 \n"}, {"extra", "y"}};
  const auto r = same_files(actual, expected);
  ASSERT_FALSE(r);
  const std::string msg = r.message();
  EXPECT_NE(msg.find("missing file gone"), std::string::npos) << msg;
  EXPECT_NE(msg.find("unexpected file extra"), std::string::npos) << msg;
  EXPECT_NE(msg.find("file a.001 (9 bytes, expected 9) first differs at line 2, column 2"),
            std::string::npos) << msg;
  EXPECT_NE(msg.find("2\\r\\n"), std::string::npos) << "control characters shown: " << msg;
  EXPECT_EQ(msg.find("a.000"), std::string::npos) << "equal file reported: " << msg;
  EXPECT_FALSE(same_files({{"a", "x\n"}}, {{"a", "x\ny\n"}})) << "a missing last line";
  EXPECT_FALSE(same_files({{"a", std::string("x\0", 2)}}, {{"a", "x"}})) << "a trailing NUL";
}

TEST(HarnessLogfile, ChecksAndStripsTheTimeStamps) {
  struct case_t {
    const char* text;
    const char* stripped;  // nullptr: the text must be rejected
  };
  const std::vector<case_t> cases{
      {"2024-01-31 23:59:59 orvex a.fits\n", " orvex a.fits\n"},
      {"2024-01-31 23:59:59 orvex a.fits\n2024-02-01 00:00:00  \"x,y\"\n",
       " orvex a.fits\n  \"x,y\"\n"},
      {"", ""},
      {"2024-01-31 23:59:59 orvex a.fits", nullptr},
      {"2024-13-01 10:00:00 orvex\n", nullptr},
      {"2024-01-01T10:00:00 orvex\n", nullptr},
      {"2024-01-01 24:00:00 orvex\n", nullptr},
      {"24-01-01 10:00:00 orvex\n", nullptr},
      {"2024-01-01 10:00:00orvex\n", nullptr},
      {"2024-01-01 10:00:00\n", nullptr},
      {"orvex a.fits\n", nullptr},
  };
  for (const case_t& c : cases) {
    std::string text = c.text;
    const auto r = strip_log_time_stamps(text);
    if (c.stripped == nullptr) {
      EXPECT_FALSE(r) << visible(c.text);
    } else {
      ASSERT_TRUE(r) << visible(c.text);
      EXPECT_EQ(text, c.stripped) << visible(c.text);
    }
  }
}

TEST(HarnessLogfile, RejectsATimeOutsideTheRun) {
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::string line = std::string(stamp) + " orvex a.fits\n";
  std::string copy = line;
  EXPECT_TRUE(strip_log_time_stamps(copy, std::pair{now, now})) << line;
  copy = line;
  EXPECT_FALSE(strip_log_time_stamps(copy, std::pair{now + 3600, now + 3601})) << line;
}

}  // namespace
}  // namespace orvex::test
