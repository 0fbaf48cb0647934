// The extension header: which cards the recognisers take, what each stores
// in the column table and the header values, and the header loop around
// them (comment lines, debug echo, the skip to the data, myvec).
//
// The recognisers follow scanf's rules, and the cards below are chosen to
// show them: %d skips blanks and takes a sign ("TFORM 1", "TFORM+2",
// "TFORM-1"), %[ =] needs at least one blank or equals sign right after
// the keyword or number ("NAXIS1" is no NAXIS card, "TUNIT1'm'" no TUNIT
// card), and TFORM and TTYPE let the quote belong to that run.
#include "decoder/extension_header.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/column_table.h"
#include "fits/stream.h"
#include "tests/fits_builder.h"
#include "tests/run_orvex.h"
#include "util/output_file.h"
#include "util/settings.h"

namespace orvex::decoder {
namespace {

// Every field of a slot in one line, so that a failure shows them all.
std::string slot_text(const column_desc& c) {
  std::ostringstream s;
  s << "count=" << c.count << " decimals=" << c.decimals << " type=" << static_cast<int>(c.type) << " name='"
    << c.name << "' unit='" << c.unit << "' disp=" << static_cast<int>(c.disp_type) << "/" << c.disp_width << "/"
    << c.disp_decimals << " tscal=" << c.tscal << " tzero=" << c.tzero << " tbcol=" << c.tbcol
    << " array=" << static_cast<int>(c.array_type) << " strings of " << c.string_width;
  return s.str();
}

std::string header_text(const extension_header& h) {
  std::ostringstream s;
  s << "naxis=" << h.naxis << " naxis1=" << h.naxis1 << " naxis2=" << h.naxis2 << " tfields=" << h.tfields
    << " telescope='" << h.telescope << "' instrument='" << h.instrument << "' object='" << h.object << "'";
  return s.str();
}

column_desc slot(const std::function<void(column_desc&)>& set) {
  column_desc c;
  set(c);
  return c;
}

class ExtensionHeader : public testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_table();
  }
  void TearDown() override {
    reset_settings();
    reset_table();
  }
};

// One or more cards applied in order; then slot `n` must read `want` and
// every other slot must still hold the defaults.
struct slot_case {
  const char* name;
  std::vector<const char*> cards;
  int n;  // -1: no slot may change
  column_desc want;
  bool recognised = true;  // of the last card
};

std::vector<slot_case> slot_cases() {
  return {
      // TFORMn: binary forms rT, ASCII forms Tw.d.
      {"TFORM 1E", {"TFORM1  = '1E      '"}, 1, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM E15.7", {"TFORM2  = 'E15.7   '"}, 2, slot([](column_desc& c) { c.type = 'E', c.count = 15, c.decimals = 7; })},
      {"TFORM I10", {"TFORM3  = 'I10     '"}, 3, slot([](column_desc& c) { c.type = 'I', c.count = 10; })},
      {"TFORM 16X", {"TFORM4  = '16X     '"}, 4, slot([](column_desc& c) { c.count = 16, c.type = 'X'; })},
      {"TFORM 8A", {"TFORM5  = '8A      ' / name"}, 5, slot([](column_desc& c) { c.count = 8, c.type = 'A'; })},
      {"TFORM 1PE(100)", {"TFORM6  = '1PE(100)'"}, 6,
       slot([](column_desc& c) { c.count = 1, c.type = 'P', c.array_type = 'E'; })},
      {"TFORM 2QD(5000)", {"TFORM6  = '2QD(5000)'"}, 6,
       slot([](column_desc& c) { c.count = 2, c.type = 'Q', c.array_type = 'D'; })},
      {"TFORM 1P without a letter", {"TFORM6  = '1P'"}, 6, slot([](column_desc& c) { c.count = 1, c.type = 'P'; })},
      {"TFORM 1J after 1PE forgets the array letter", {"TFORM6  = '1PE(4)'", "TFORM6  = '1J'"}, 6,
       slot([](column_desc& c) { c.count = 1, c.type = 'J'; })},
      {"TFORM 4E has no array letter", {"TFORM6  = '4E(3)'"}, 6, slot([](column_desc& c) { c.count = 4, c.type = 'E'; })},
      {"TFORM F8.3", {"TFORM7  = 'F8.3    '"}, 7, slot([](column_desc& c) { c.type = 'F', c.count = 8, c.decimals = 3; })},
      {"TFORM 0E", {"TFORM8  = '0E      '"}, 8, slot([](column_desc& c) { c.count = 0, c.type = 'E'; })},
      {"TFORM blanks inside the quotes", {"TFORM9  = '  2J    '"}, 9, slot([](column_desc& c) { c.count = 2, c.type = 'J'; })},
      {"TFORM letter alone E has count 1", {"TFORM1  = 'E       '"}, 1, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM letter alone J has count 1", {"TFORM2  = 'J'"}, 2, slot([](column_desc& c) { c.count = 1, c.type = 'J'; })},
      {"TFORM PE(100) has count 1", {"TFORM3  = 'PE(100) '"}, 3,
       slot([](column_desc& c) { c.count = 1, c.type = 'P', c.array_type = 'E'; })},
      {"TFORM QB has count 1", {"TFORM3  = 'QB'"}, 3,
       slot([](column_desc& c) { c.count = 1, c.type = 'Q', c.array_type = 'B'; })},
      {"TFORM letter alone after an earlier count", {"TFORM1  = '8A      '", "TFORM1  = 'E       '"}, 1,
       slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM later card replaces", {"TFORM1  = 'E15.7   '", "TFORM1  = '2D      '"}, 1,
       slot([](column_desc& c) { c.count = 2, c.type = 'D', c.decimals = 7; })},
      {"TFORM integer without quotes", {"TFORM1  =                    5"}, 1,
       slot([](column_desc& c) { c.count = 5, c.type = '5'; })},
      {"TFORM number after blanks", {"TFORM 1 = '1E'"}, 1, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM number with a plus sign", {"TFORM+2 = '2J'"}, 2, slot([](column_desc& c) { c.count = 2, c.type = 'J'; })},
      {"TFORM with only an equals sign", {"TFORM1='1E'"}, 1, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM with only a quote", {"TFORM1'1E'"}, 1, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM0 goes to slot 0", {"TFORM0  = '1E      '"}, 0, slot([](column_desc& c) { c.count = 1, c.type = 'E'; })},
      {"TFORM199 is the last slot", {"TFORM199= '3I      '"}, 199, slot([](column_desc& c) { c.count = 3, c.type = 'I'; })},
      {"TFORM negative number is ignored", {"TFORM-1 = '1E      '"}, -1, {}},
      {"TFORM negative after blanks is ignored", {"TFORM -5 = '1E'"}, -1, {}},
      {"TFORMAT is no TFORM card", {"TFORMAT = '1E      '"}, -1, {}, false},
      {"TFORM1 without a run", {"TFORM1"}, -1, {}, false},
      {"TFORM1 followed by a letter", {"TFORM1X = '1E'"}, -1, {}, false},
      // TTYPEn: the whole string value, trailing blanks cut.
      {"TTYPE TIME", {"TTYPE1  = 'TIME    '           / event time"}, 1, slot([](column_desc& c) { std::strcpy(c.name, "TIME"); })},
      {"TTYPE VERSION NUMBER", {"TTYPE2  = 'VERSION NUMBER  '"}, 2, slot([](column_desc& c) { std::strcpy(c.name, "VERSION NUMBER"); })},
      {"TTYPE 68 characters", {"TTYPE3  = 'ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOP'"}, 3,
       slot([](column_desc& c) { std::strcpy(c.name, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOP"); })},
      {"TTYPE doubled quote", {"TTYPE1  = 'O''BRIEN'"}, 1, slot([](column_desc& c) { std::strcpy(c.name, "O'BRIEN"); })},
      {"TTYPE without a closing quote", {"TTYPE1  = 'RATE ERR"}, 1, slot([](column_desc& c) { std::strcpy(c.name, "RATE ERR"); })},
      {"TTYPE leading blanks in quotes", {"TTYPE1  = '  PHA'"}, 1, slot([](column_desc& c) { std::strcpy(c.name, "PHA"); })},
      {"TTYPE without quotes", {"TTYPE1  = DETX"}, 1, slot([](column_desc& c) { std::strcpy(c.name, "DETX"); })},
      {"TTYPE empty string", {"TTYPE1  = 'X'", "TTYPE1  = ''"}, 1, {}},
      {"TTYPE blank string", {"TTYPE1  = '        '"}, 1, {}},
      {"TTYPE blank string and a comment", {"TTYPE1  = '        '           / the comment"}, 1, {}},
      {"TTYPE no value and a comment", {"TTYPE1  =                      / no value"}, 1, {}},
      {"TTYPE no value", {"TTYPE1  ="}, 1, {}},
      {"TTYPE negative number is ignored", {"TTYPE-3 = 'TIME'"}, -1, {}},
      {"TTYPE number with blanks", {"TTYPE 4 = 'Y'"}, 4, slot([](column_desc& c) { std::strcpy(c.name, "Y"); })},
      // TUNITn, string cards: at most 8 characters, blanks kept.
      {"TUNIT counts", {"TUNIT1  = 'counts  '"}, 1, slot([](column_desc& c) { std::strcpy(c.unit, "counts  "); })},
      {"TUNIT cut to 8", {"TUNIT2  = 'erg/s/cm2'"}, 2, slot([](column_desc& c) { std::strcpy(c.unit, "erg/s/cm"); })},
      {"TUNIT empty leaves the unit", {"TUNIT1  = 's'", "TUNIT1  = ''"}, 1, slot([](column_desc& c) { std::strcpy(c.unit, "s"); })},
      {"TUNIT without a quote is taken and reads nothing", {"TUNIT1  = 's'", "TUNIT1  = m"}, 1,
       slot([](column_desc& c) { std::strcpy(c.unit, "s"); })},
      {"TUNIT quote right after the number is no TUNIT card", {"TUNIT1'm'"}, -1, {}, false},
      {"TUNIT negative number is ignored", {"TUNIT-1 = 'm'"}, -1, {}},
      // TDISPn: letter, width, decimals; decimals 6 as soon as the card is seen.
      {"TDISP F10.4", {"TDISP1  = 'F10.4   '"}, 1, slot([](column_desc& c) { c.disp_type = 'F', c.disp_width = 10, c.disp_decimals = 4; })},
      {"TDISP I8", {"TDISP2  = 'I8'"}, 2, slot([](column_desc& c) { c.disp_type = 'I', c.disp_width = 8, c.disp_decimals = 6; })},
      {"TDISP E15.7", {"TDISP3  = 'E15.7'"}, 3, slot([](column_desc& c) { c.disp_type = 'E', c.disp_width = 15, c.disp_decimals = 7; })},
      {"TDISP second card resets the decimals", {"TDISP1  = 'F10.4'", "TDISP1  = 'G12'"}, 1,
       slot([](column_desc& c) { c.disp_type = 'G', c.disp_width = 12, c.disp_decimals = 6; })},
      {"TDISP without a quote sets only the decimals", {"TDISP1  = F10.4"}, 1, slot([](column_desc& c) { c.disp_decimals = 6; })},
      {"TDISP letter only", {"TDISP1  = 'A'"}, 1, slot([](column_desc& c) { c.disp_type = 'A', c.disp_decimals = 6; })},
      {"TDISP negative number is ignored", {"TDISP-2 = 'F10.4'"}, -1, {}},
      // TSCALn and TZEROn: numbers, the D exponent read like E.
      {"TSCAL 0.5 without quotes", {"TSCAL3  =                  0.5"}, 3, slot([](column_desc& c) { c.tscal = 0.5; })},
      {"TSCAL D exponent", {"TSCAL1  =           3.2768D+04"}, 1, slot([](column_desc& c) { c.tscal = 32768.0; })},
      {"TSCAL d exponent", {"TSCAL1  =              1.5d-1"}, 1, slot([](column_desc& c) { c.tscal = 0.15; })},
      {"TSCAL E exponent", {"TSCAL1  =             -2.5E-01"}, 1, slot([](column_desc& c) { c.tscal = -0.25; })},
      {"TSCAL not a number keeps the value", {"TSCAL1  = 2.0", "TSCAL1  = 'abc'"}, 1, slot([](column_desc& c) { c.tscal = 2.0; })},
      {"TSCAL with only an equals sign", {"TSCAL1=4"}, 1, slot([](column_desc& c) { c.tscal = 4.0; })},
      {"TSCAL negative number is ignored", {"TSCAL-1 = 2.0"}, -1, {}},
      {"TZERO 32768", {"TZERO1  =                32768"}, 1, slot([](column_desc& c) { c.tzero = 32768.0; })},
      {"TZERO D exponent", {"TZERO2  =           3.2768D+04"}, 2, slot([](column_desc& c) { c.tzero = 32768.0; })},
      {"TZERO 2^63", {"TZERO1  =  9223372036854775808"}, 1, slot([](column_desc& c) { c.tzero = 9223372036854775808.0; })},
      {"TZERO not a number gives 0", {"TZERO1  = 5.0", "TZERO1  = 'none'"}, 1, {}},
      {"TZERO no value gives 0", {"TZERO1  = 5.0", "TZERO1  ="}, 1, {}},
      {"TZERO negative number is ignored", {"TZERO-1 = 5.0"}, -1, {}},
      // TBCOLn.
      {"TBCOL 5", {"TBCOL2  =                    5"}, 2, slot([](column_desc& c) { c.tbcol = 5; })},
      {"TBCOL not a number", {"TBCOL1  = 'x'"}, 1, {}},
      {"TBCOL negative number is ignored", {"TBCOL-1 =                    5"}, -1, {}},
      // Cards that only look like column cards.
      {"TDIM of strings", {"TDIM1   = '(12, 3)'"}, 1, slot([](column_desc& c) { c.string_width = 12; })},
      {"TDIM of one axis is one string", {"TDIM1   = '(8)'"}, -1, {}},
      {"TDIM200 is passed over", {"TDIM200 = '(2,3)'"}, -1, {}},
      {"EXTNAME is not interpreted", {"EXTNAME = 'EVENTS'"}, -1, {}, false},
      {"TNULL is not interpreted", {"TNULL1  = -99"}, -1, {}, false},
  };
}

TEST_F(ExtensionHeader, ColumnCardsFillTheirSlot) {
  for (const slot_case& c : slot_cases()) {
    reset_table();
    myvec.clear();
    extension_header h;
    bool recognised = false;
    for (const char* card : c.cards) recognised = apply_card(card, h);
    EXPECT_EQ(recognised, c.recognised) << c.name;
    for (int n = 0; n < max_columns; ++n) {
      const column_desc want = n == c.n ? c.want : column_desc{};
      EXPECT_EQ(slot_text(table[static_cast<std::size_t>(n)]), slot_text(want)) << c.name << ", slot " << n;
    }
    EXPECT_EQ(header_text(h), header_text(extension_header{})) << c.name;
  }
}

struct header_case {
  const char* name;
  std::vector<const char*> cards;
  extension_header want;
  bool recognised = true;
};

extension_header values(std::int32_t naxis, std::int32_t naxis1, std::int32_t naxis2, std::int32_t tfields,
                        const char* telescope = "", const char* instrument = "", const char* object = "") {
  extension_header h;
  h.naxis = naxis, h.naxis1 = naxis1, h.naxis2 = naxis2, h.tfields = tfields;
  std::strcpy(h.telescope, telescope);
  std::strcpy(h.instrument, instrument);
  std::strcpy(h.object, object);
  return h;
}

TEST_F(ExtensionHeader, HeaderCardsSetTheHeaderValues) {
  const std::vector<header_case> cases{
      {"NAXIS", {"NAXIS   =                    2 / two axes"}, values(2, 0, 0, 0)},
      {"NAXIS1", {"NAXIS1  =                   12"}, values(0, 12, 0, 0)},
      {"NAXIS2", {"NAXIS2  =                  250"}, values(0, 0, 250, 0)},
      {"TFIELDS", {"TFIELDS =                    7"}, values(0, 0, 0, 7)},
      {"NAXIS with only an equals sign", {"NAXIS=1"}, values(1, 0, 0, 0)},
      {"NAXIS1 with only an equals sign", {"NAXIS1=9"}, values(0, 9, 0, 0)},
      {"NAXIS negative", {"NAXIS2  =                   -4"}, values(0, 0, -4, 0)},
      {"NAXIS1 beyond 32 bits saturates", {"NAXIS1  =          99999999999"}, values(0, INT32_MAX, 0, 0)},
      {"NAXIS value not a number keeps it", {"NAXIS2  = 5", "NAXIS2  = 'many'"}, values(0, 0, 5, 0)},
      {"NAXIS3 is not interpreted", {"NAXIS3  =                    5"}, values(0, 0, 0, 0), false},
      {"NAXISX is not interpreted", {"NAXISX  =                    5"}, values(0, 0, 0, 0), false},
      {"NAXIS10 is not interpreted", {"NAXIS10 =                    5"}, values(0, 0, 0, 0), false},
      {"TELESCOP", {"TELESCOP= 'ROSAT   '"}, values(0, 0, 0, 0, "ROSAT   ")},
      {"TELESCOP cut to 8", {"TELESCOP= 'CHANDRA X-ray'"}, values(0, 0, 0, 0, "CHANDRA ")},
      {"INSTRUME", {"INSTRUME= 'PSPCB'"}, values(0, 0, 0, 0, "", "PSPCB")},
      {"OBJECT", {"OBJECT  = 'M31'"}, values(0, 0, 0, 0, "", "", "M31")},
      {"OBJECT cut to 8", {"OBJECT  = 'Andromeda galaxy'"}, values(0, 0, 0, 0, "", "", "Andromed")},
      {"OBJECT without a quote reads nothing", {"OBJECT  = M31"}, values(0, 0, 0, 0)},
      {"OBJECT quote right after the keyword is no OBJECT card", {"OBJECT'M31'"}, values(0, 0, 0, 0), false},
      {"BITPIX is not interpreted", {"BITPIX  =                    8"}, values(0, 0, 0, 0), false},
      {"END is not a recognised card", {"END"}, values(0, 0, 0, 0), false},
  };
  for (const header_case& c : cases) {
    extension_header h;
    bool recognised = false;
    for (const char* card : c.cards) recognised = apply_card(card, h);
    EXPECT_EQ(recognised, c.recognised) << c.name;
    EXPECT_EQ(header_text(h), header_text(c.want)) << c.name;
  }
}

TEST_F(ExtensionHeader, TtypeCardsAppendToMyvecInCardOrderWhenFlagAllIsSet) {
  extension_header h;
  for (const char* card : {"TTYPE2  = 'X'", "TTYPE1  = 'TIME'", "TTYPE-1 = 'NEG'", "TTYPE3  = 'A_VERY_LONG_COLUMN_NAME'",
                           "TTYPE2  = 'X'", "TTYPE4  = ''"}) {
    apply_card(card, h);
  }
  EXPECT_EQ(myvec, (std::vector<std::string>{"X", "TIME", "A_VERY_LONG_COLUMN_NAME", "X", ""}));

  flag_all = 0;
  myvec = {"PHA"};
  apply_card("TTYPE1  = 'TIME'", h);
  EXPECT_EQ(myvec, std::vector<std::string>{"PHA"});
  EXPECT_STREQ(table[1].name, "TIME");
}

TEST_F(ExtensionHeader, DebugEchoesTheKeywordWordAfterStoring) {
  struct echo_case {
    const char* card;
    const char* word;
  };
  const std::vector<echo_case> cases{
      {"TFORM1  = '1E'", "TFORM,"},   {"TTYPE1  = 'X'", "TTYPE,"},   {"TUNIT1  = 's'", "TUNIT,"},
      {"TDISP1  = 'F8.2'", "TDISP,"}, {"TSCAL1  = 2.0", "TSCALE,"},  {"TZERO1  = 1.0", "TZERO,"},
      {"TBCOL1  = 1", "TBCOL,"},      {"NAXIS   = 2", "NAXIS,"},     {"NAXIS1  = 2", "NAXIS1,"},
      {"NAXIS2  = 2", "NAXIS2,"},     {"TFIELDS = 2", "TFIELDS,"},   {"TELESCOP= 'ROSAT'", ""},
      {"OBJECT  = 'M31'", ""},        {"INSTRUME= 'HRI'", ""},       {"TFORM-1 = '1E'", ""},
      {"EXTNAME = 'EVENTS'", ""},     {"TTYPE-2 = 'Y'", ""},
  };
  debug = 1;
  for (const echo_case& c : cases) {
    extension_header h;
    testing::internal::CaptureStdout();
    apply_card(c.card, h);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.word) << c.card;
  }
  debug = 0;
  extension_header h;
  testing::internal::CaptureStdout();
  apply_card("TFORM1  = '1E'", h);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A column number above 199 ends the run; the death test checks the exit
// status (the message on standard output is checked end to end).
TEST(ExtensionHeaderDeathTest, AColumnNumberAbove199EndsTheRunWithStatus1) {
  for (const char* card : {"TFORM200= '1E'", "TTYPE200= 'X'", "TUNIT200= 's'", "TDISP200= 'F8.2'", "TSCAL200= 2.0",
                           "TZERO200= 1.0", "TBCOL200= 1", "TFORM99999999999 = '1E'", "TFORM 200 = '1E'"}) {
    extension_header h;
    EXPECT_EXIT(apply_card(card, h), testing::ExitedWithCode(1), "") << card;
  }
}

TEST(ExtensionHeaderDeathTest, Check199PassesAndPrintsTheMessageAbove) {
  testing::internal::CaptureStdout();
  check_formnr(199);
  check_formnr(-5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EXIT(
      {
        check_formnr(200);
      },
      testing::ExitedWithCode(1), "");
}

// The header loop, on a stream that starts with the XTENSION card as the
// driver leaves it (read already, _fpos 80).
class ExtensionHeaderLoop : public ExtensionHeader {
 protected:
  struct loop_result {
    extension_header h;
    std::string comments;     // what went to the output file
    std::string out;          // standard output
    std::int64_t fpos = 0;    // _fpos when the call returns
    std::string next;         // the next 4 bytes of the stream
  };

  loop_result run(const std::string& bytes, bool with_file = true) {
    const auto input = folder_.path() / "header.fits";
    const auto output = folder_.path() / "header.001";
    test::write_file(input, bytes);
    fits::stream in;
    EXPECT_TRUE(in.open(input.c_str()));
    fits::card_buffer first;
    fits::read_card(in, first);
    util::output_file file;
    if (with_file) {
      EXPECT_TRUE(file.create(output.c_str()));
    }
    loop_result r;
    testing::internal::CaptureStdout();
    r.h = read_extension_header(in, with_file ? &file : nullptr);
    r.out = testing::internal::GetCapturedStdout();
    r.fpos = fits::_fpos;
    char next[4] = {};
    r.next.assign(next, static_cast<std::size_t>(in.read(next, 4)));
    if (with_file) {
      file.close();
      r.comments = test::read_file(output);
    }
    return r;
  }

  test::temp_folder folder_;
};

std::string cards_of(const std::vector<std::string>& cards) {
  std::string s;
  for (const std::string& c : cards) s += test::raw_card(c);
  return s;
}

TEST_F(ExtensionHeaderLoop, CopiesEveryCardAsACommentLineAndSkipsToTheData) {
  const std::string bytes = cards_of({"XTENSION= 'BINTABLE'", "BITPIX  =                    8",
                                      "NAXIS   =                    2", "NAXIS1  =                    4",
                                      "NAXIS2  =                    1", "TFIELDS =                    1",
                                      "TFORM1  = '1J      '", "", "END"}) +
                            std::string(2880 - 9 * 80, ' ') + "DATA";
  loop_result r = run(bytes);
  EXPECT_EQ(r.comments,
            "!BITPIX  =                    8\n!NAXIS   =                    2\n!NAXIS1  =                    4\n"
            "!NAXIS2  =                    1\n!TFIELDS =                    1\n!TFORM1  = '1J      '\n!" +
                std::string(80, ' ') + "\n!END\n");
  EXPECT_EQ(header_text(r.h), header_text(values(2, 4, 1, 1)));
  EXPECT_EQ(r.fpos, 2880);
  EXPECT_EQ(r.next, "DATA");
  EXPECT_EQ(r.out, "");
}

TEST_F(ExtensionHeaderLoop, NoCommentsWritesNothingAndNoFileStillReadsTheHeader) {
  const std::string bytes = cards_of({"XTENSION= 'BINTABLE'", "NAXIS2  =                    3", "END"}) +
                            std::string(2880 - 3 * 80, ' ') + "DATA";
  no_comments = 1;
  loop_result r = run(bytes);
  EXPECT_EQ(r.comments, "");
  EXPECT_EQ(r.h.naxis2, 3);
  EXPECT_EQ(r.next, "DATA");
  no_comments = 0;
  r = run(bytes, false);
  EXPECT_EQ(r.h.naxis2, 3);
  EXPECT_EQ(r.next, "DATA");
}

TEST_F(ExtensionHeaderLoop, EndAsTheLastCardOfABlockSkipsNothing) {
  std::vector<std::string> cards{"XTENSION= 'BINTABLE'"};
  for (int i = 1; i < 35; ++i) cards.push_back("COMMENT card " + std::to_string(i));
  cards.push_back("END");
  loop_result r = run(cards_of(cards) + "DATA");
  EXPECT_EQ(r.fpos, 2880);
  EXPECT_EQ(r.next, "DATA");
}

TEST_F(ExtensionHeaderLoop, EndAsTheFirstCardOfABlockSkips2800Bytes) {
  std::vector<std::string> cards{"XTENSION= 'BINTABLE'"};
  for (int i = 1; i < 36; ++i) cards.push_back("HISTORY " + std::to_string(i));
  cards.push_back("END");
  loop_result r = run(cards_of(cards) + std::string(2800, ' ') + "DATA");
  EXPECT_EQ(r.fpos, 5760);
  EXPECT_EQ(r.next, "DATA");
}

TEST_F(ExtensionHeaderLoop, AnyCardBeginningWithEndEndsTheHeader) {
  const std::string bytes = cards_of({"XTENSION= 'BINTABLE'", "ENDX", "NAXIS2  =                    7"}) +
                            std::string(2880 - 3 * 80, ' ') + "DATA";
  loop_result r = run(bytes);
  EXPECT_EQ(r.h.naxis2, 0);
  EXPECT_EQ(r.comments, "!ENDX\n");
  EXPECT_EQ(r.next, "DATA");  // the card after ENDX is skipped with the rest of the block
}

TEST_F(ExtensionHeaderLoop, DebugEchoesTheBannerCardsWordsAndEnd) {
  const std::string bytes = cards_of({"XTENSION= 'BINTABLE'", "TFORM1  = '1E'", "EXTNAME = 'EVENTS'", "NAXIS2  = 1", "END"});
  debug = 1;
  loop_result r = run(bytes);
  EXPECT_EQ(r.out, "\nFound BINTABLE,TFORM1  = '1E'\nTFORM,EXTNAME = 'EVENTS'\nNAXIS2  = 1\nNAXIS2,END\nEND\n");
}

TEST_F(ExtensionHeaderLoop, AStreamEndingInsideTheHeaderEndsTheLoopWithoutEnd) {
  const std::string bytes = cards_of({"XTENSION= 'BINTABLE'", "NAXIS   =                    2"}) + "TFORM1  = '1";
  debug = 1;
  loop_result r = run(bytes);
  EXPECT_EQ(r.h.naxis, 2);
  EXPECT_EQ(r.out, "\nFound BINTABLE,NAXIS   =                    2\nNAXIS,TFORM1  = '1\nTFORM,");
  EXPECT_EQ(r.comments, "!NAXIS   =                    2\n!TFORM1  = '1\n");
  EXPECT_EQ(table[1].count, 1);
  EXPECT_EQ(r.next, "");
}

TEST_F(ExtensionHeaderLoop, TfieldsIsKeptWithin0To199) {
  struct case_t {
    const char* card;
    std::int32_t tfields;
  };
  for (const case_t& c : {case_t{"TFIELDS =                  500", 199}, case_t{"TFIELDS =                  199", 199},
                          case_t{"TFIELDS =                   -3", 0}, case_t{"TFIELDS =                    0", 0}}) {
    loop_result r = run(cards_of({"XTENSION= 'BINTABLE'", c.card, "END"}));
    EXPECT_EQ(r.h.tfields, c.tfields) << c.card;
  }
}

TEST_F(ExtensionHeaderLoop, EveryCallStartsFromAnEmptyTableAndRebuildsMyvec) {
  run(cards_of({"XTENSION= 'BINTABLE'", "TTYPE2  = 'Y'", "TTYPE1  = 'X'", "TFORM1  = '1E'", "TSCAL2  = 3.0",
                "TELESCOP= 'ROSAT'", "END"}));
  EXPECT_EQ(myvec, (std::vector<std::string>{"Y", "X"}));
  loop_result r = run(cards_of({"XTENSION= 'BINTABLE'", "TTYPE1  = 'PHA'", "END"}));
  EXPECT_EQ(myvec, std::vector<std::string>{"PHA"});
  EXPECT_EQ(slot_text(table[1]), slot_text(slot([](column_desc& c) { std::strcpy(c.name, "PHA"); })));
  EXPECT_EQ(slot_text(table[2]), slot_text(column_desc{}));
  EXPECT_EQ(header_text(r.h), header_text(extension_header{}));

  flag_all = 0;
  myvec = {"TIME", "PI"};
  run(cards_of({"XTENSION= 'BINTABLE'", "TTYPE1  = 'PHA'", "END"}));
  EXPECT_EQ(myvec, (std::vector<std::string>{"TIME", "PI"}));
}

}  // namespace
}  // namespace orvex::decoder
