// --ecsv judged by astropy: every table part that orvex writes as ECSV reads
// back into astropy equal, column by column, to astropy's own reading of the
// FITS table (names, datatypes, units, values bit for bit, masks), and
// pandas reads the same files. The tables hold every TFORM letter, scaled,
// unsigned and signed-byte columns, vectors with TDIMn, variable-length
// arrays, strings with blanks, quotes and commas, nulls of every kind and
// units; an ASCII table and a table of no rows beside them.
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// The judge: prints one line per difference, nothing when all agree.
// Where astropy's FITS reader is wrong, the difference it makes is
// allowed, and said so:
// - an undefined logical (a zero byte) is read as False, unmasked: FITS
//   makes it null, and orvex writes an empty field;
// - signed bytes (B with TZERO = -128) become float64: orvex says int8,
//   the values agree;
// - an ASCII-table field equal to its TNULLn text is read as 0, unmasked;
// - its ECSV reader strips the blanks around every field, quoted or not:
//   a string's leading blanks are checked through pandas instead; and it
//   reads every empty field of a string column as masked, while its FITS
//   reader masks empty strings of binary tables only.
constexpr const char* judge = R"(
import sys, warnings
import numpy as np
warnings.simplefilter('ignore')
from astropy.table import Table
import pandas as pd
fits_path = sys.argv[1]
def norm(dt):
    return np.dtype(dt).newbyteorder('<')
def text(v):
    return v.decode('latin-1') if isinstance(v, bytes) else str(v)
for spec in sys.argv[2:]:
    hdu, path = spec.split('=', 1)
    a = Table.read(fits_path, hdu=int(hdu))
    b = Table.read(path, format='ascii.ecsv')
    where = 'hdu %s' % hdu
    if a.colnames != b.colnames:
        print(where, 'names', a.colnames, b.colnames)
        continue
    if len(a) != len(b):
        print(where, 'rows', len(a), len(b))
        continue
    frame = pd.read_csv(path, comment=None, skiprows=sum(1 for l in open(path) if l.startswith('# ')),
                        keep_default_na=False, dtype=str)
    if list(frame.columns) != a.colnames or len(frame) != len(a):
        print(where, 'pandas', list(frame.columns), len(frame))
    for name in a.colnames:
        x, y = a[name], b[name]
        if (x.unit or None) != (y.unit or None):
            print(where, name, 'unit', x.unit, y.unit)
        xm, ym = np.ma.getmaskarray(x), np.ma.getmaskarray(y)
        if x.dtype.kind == 'O':
            # Variable-length arrays: per row, the same elements, NaN as NaN.
            for r in range(len(x)):
                p, q = np.asarray(x[r]), np.ma.filled(y[r], np.nan)
                if norm(p.dtype) != norm(q.dtype) or p.shape != q.shape:
                    print(where, name, r, 'array', p.dtype, q.dtype, p.shape, q.shape)
                    break
                if not np.array_equal(p, q, equal_nan=p.dtype.kind == 'f'):
                    print(where, name, r, p, q)
                    break
            continue
        if x.dtype.kind == 'S':
            if y.dtype.kind != 'U' or x.shape != y.shape:
                print(where, name, 'strings', x.dtype, y.dtype, x.shape, y.shape)
                continue
            xf, yf = np.ma.filled(x, b''), np.ma.filled(y, '')
            empty = np.vectorize(lambda v: text(v).strip() == '')(xf) if xf.size else xm
            if not np.array_equal(xm | empty, ym):
                print(where, name, 'mask', np.argwhere((xm | empty) != ym).tolist()[:5])
            for r in range(len(x)):
                want = [text(v).rstrip() for v in np.ravel(xf[r])]
                got = list(np.ravel(yf[r]))
                if (want if x.ndim > 1 else [w.strip() for w in want]) != got:
                    print(where, name, r, want, got)
                    break
                if x.ndim == 1 and not xm[r] and frame[name][r] != want[0]:
                    print(where, name, r, 'pandas', repr(frame[name][r]), repr(want[0]))
                    break
            continue
        signed_byte = x.dtype.kind == 'f' and y.dtype == np.int8
        if norm(x.dtype) != norm(y.dtype) and not signed_byte:
            print(where, name, 'dtype', x.dtype, y.dtype)
            continue
        if x.shape != y.shape:
            print(where, name, 'shape', x.shape, y.shape)
            continue
        if x.dtype == bool:
            xm = xm | (ym & ~xm & ~np.ma.filled(x, False))
        if hdu == '3' and x.dtype.kind == 'i':
            xm = xm | (ym & (np.ma.getdata(x) == 0))
        if not np.array_equal(xm, ym):
            print(where, name, 'mask', np.argwhere(xm != ym).tolist()[:5])
            continue
        keep = ~xm
        p = np.ma.getdata(x)[keep]
        q = np.ma.getdata(y)[keep].astype(p.dtype)
        if p.dtype.kind in 'fc':
            same = p.astype(norm(p.dtype)).view(np.uint8) == q.astype(norm(p.dtype)).view(np.uint8)
            bad = not same.all()
        else:
            bad = not np.array_equal(p, q)
        if bad:
            diff = np.argwhere(p != q).ravel()[:3]
            print(where, name, 'values', p[diff].tolist(), q[diff].tolist())
)";

std::string every_letter_table(int rows) {
  std::mt19937_64 g(19);
  auto pick = [&](int n) { return static_cast<int>(g() % static_cast<std::uint64_t>(n)); };
  const char* strings[] = {"plain", " lead", "a b c", "it's", "say \"hi\"", "x,y", "", "ABCDEFGHIJKL"};
  big_endian b;
  for (int r = 0; r < rows; ++r) {
    const bool null_row = r % 7 == 3;
    b.u8(r % 3 == 0 ? 'T' : r % 3 == 1 ? 'F' : (r % 9 == 2 ? 0 : 'T'));       // L
    b.u8(static_cast<std::uint8_t>(g())).u8(static_cast<std::uint8_t>(g()));  // 11X
    b.u8(null_row ? 255 : static_cast<std::uint8_t>(pick(255)));              // B, TNULL 255
    b.u8(static_cast<std::uint8_t>(g()));                                     // signed B
    b.i16(null_row ? -99 : static_cast<std::int16_t>(g()));                   // I, TNULL -99
    b.i16(r == 0 ? INT16_MIN : static_cast<std::int16_t>(g()));               // unsigned I
    b.i32(null_row ? 7 : static_cast<std::int32_t>(g()));                     // J, TNULL 7
    b.i32(r == 1 ? INT32_MAX : static_cast<std::int32_t>(g()));               // unsigned J
    b.i64(null_row ? -1 : static_cast<std::int64_t>(g()));                    // K, TNULL -1
    b.i64(r == 2 ? INT64_MIN : static_cast<std::int64_t>(g()));               // unsigned K
    const std::uint32_t fbits = static_cast<std::uint32_t>(g());
    b.f32_bits(null_row ? 0x7FC00000U : (fbits & 0x7F800000U) == 0x7F800000U ? fbits & 0xBFFFFFFFU : fbits);  // E
    const double specials[] = {0.1, -0.0, 5e-324, 1.7976931348623157e308, -INFINITY, 1.0 / 3};
    b.f64(null_row ? NAN : r < 6 ? specials[r] : std::ldexp(static_cast<double>(g() >> 11), pick(200) - 100));  // D
    b.f32(static_cast<float>(r) / 7.0f).f32(-static_cast<float>(r));                                            // C
    b.f64(1.0 / (r + 1)).f64(r % 5 == 0 ? INFINITY : -1e-300 * r);                                               // M
    b.chars(strings[r % 8], 12);                                                                                 // STR
    b.f32(1.5f * r).f32(r % 4 == 1 ? NAN : 2.0f).f32(-0.0f);                                                     // V 3E
    for (int k = 0; k < 4; ++k) b.i32(k == r % 5 ? 0 : static_cast<std::int32_t>(g()));  // VJ 4J TNULL 0 TDIM (2,2)
    b.i16(static_cast<std::int16_t>(g()));                                               // scaled I
    b.f32(static_cast<float>(g() % 100000) / 64.0f);                                     // scaled E
    b.i32(static_cast<std::int32_t>(g()));                                               // integral scaling J
    b.chars(strings[r % 8], 4).chars(strings[(r + 1) % 8], 4).chars(strings[(r + 2) % 8], 4);  // NAMES 12A (4,3)
    b.f64(r).f64(-r * 0.25);                                                                    // DV 2D
    b.i16(static_cast<std::int16_t>(r));                                                        // HOUSE KEEPING
  }
  return b.bytes();
}

const std::vector<card> every_letter_cards{
    {"TTYPE1", "'FLAG'"},   {"TFORM1", "'1L'"},
    {"TTYPE2", "'BITS'"},   {"TFORM2", "'11X'"},
    {"TTYPE3", "'BYTE'"},   {"TFORM3", "'1B'"},   {"TNULL3", "255"},
    {"TTYPE4", "'SBYTE'"},  {"TFORM4", "'1B'"},   {"TZERO4", "-128"},
    {"TTYPE5", "'PHA'"},    {"TFORM5", "'1I'"},   {"TNULL5", "-99"},   {"TUNIT5", "'chan'"},
    {"TTYPE6", "'U16'"},    {"TFORM6", "'1I'"},   {"TZERO6", "32768"},
    {"TTYPE7", "'CCD_ID'"}, {"TFORM7", "'1J'"},   {"TNULL7", "7"},
    {"TTYPE8", "'U32'"},    {"TFORM8", "'1J'"},   {"TZERO8", "2147483648"},
    {"TTYPE9", "'ID'"},     {"TFORM9", "'1K'"},   {"TNULL9", "-1"},
    {"TTYPE10", "'U64'"},   {"TFORM10", "'1K'"},  {"TZERO10", "9223372036854775808"},
    {"TTYPE11", "'ENERGY'"}, {"TFORM11", "'1E'"}, {"TUNIT11", "'erg/cm**2/s'"},
    {"TTYPE12", "'TIME'"},  {"TFORM12", "'1D'"},  {"TUNIT12", "'s'"},
    {"TTYPE13", "'VIS'"},   {"TFORM13", "'1C'"},
    {"TTYPE14", "'VIS2'"},  {"TFORM14", "'1M'"},
    {"TTYPE15", "'OBJECT'"}, {"TFORM15", "'12A'"},
    {"TTYPE16", "'VEC'"},   {"TFORM16", "'3E'"},  {"TUNIT16", "'deg'"},
    {"TTYPE17", "'MAT'"},   {"TFORM17", "'4J'"},  {"TNULL17", "0"},    {"TDIM17", "'(2,2)'"},
    {"TTYPE18", "'TEMP'"},  {"TFORM18", "'1I'"},  {"TSCAL18", "0.01"}, {"TZERO18", "5"}, {"TUNIT18", "'K'"},
    {"TTYPE19", "'GAIN'"},  {"TFORM19", "'1E'"},  {"TSCAL19", "2.5"},
    {"TTYPE20", "'WIDE'"},  {"TFORM20", "'1J'"},  {"TSCAL20", "3"},    {"TZERO20", "-7"},
    {"TTYPE21", "'NAMES'"}, {"TFORM21", "'12A'"}, {"TDIM21", "'(4,3)'"},
    {"TTYPE22", "'PAIR'"},  {"TFORM22", "'2D'"},
    {"TTYPE23", "'HOUSE KEEPING'", "the counter of the house"}, {"TFORM23", "'1I'"},
    {"EXTNAME", "'EVENTS'"}, {"TELESCOP", "'CHANDRA'"}, {"EXPOSURE", "1000.5"}, {"OBS_ID", "'12345'"},
    {"DATE-OBS", "'2020-01-01T00:00:00'"}, {"CLOCKAPP", "T"}, {"TIMEZERO", "0.0D0"}, {"NO", "3"},
    "HISTORY made by the test",
};

TEST(ecsv_e2e_astropy, every_table_reads_back_as_astropy_reads_the_fits) {
  int status = 0;
  if (!filter_through("/usr/bin/python3 -c 'import astropy, pandas'", "", status) || status != 0) {
    GTEST_SKIP() << "no Python with astropy and pandas";
  }
  const int rows = 300;
  // Variable-length arrays of five element letters, one descriptor each.
  big_endian arrays, heap;
  std::int32_t offset = 0;
  for (int r = 0; r < 40; ++r) {
    const int n = r % 4;  // 0 to 3 elements
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.i32(r * 10 + k);
    offset += 4 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.f32(k == 1 && r % 3 == 0 ? NAN : 0.5f * r - k);
    offset += 4 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.f64(1.0 / (r + k + 1));
    offset += 8 * n;
    arrays.i64(n).i64(offset);
    for (int k = 0; k < n; ++k) heap.i16(static_cast<std::int16_t>(-r * k));
    offset += 2 * n;
    arrays.i32(n).i32(offset);
    for (int k = 0; k < n; ++k) heap.u8(static_cast<std::uint8_t>(200 + k));
    offset += n;
    arrays.i32(r);
  }
  const std::string heap_bytes = heap.bytes();
  const std::string fits =
      fits_builder{}
          .empty_primary()
          .bintable(every_letter_cards, every_letter_table(rows))
          .bintable({{"TTYPE1", "'SPEC'"}, {"TFORM1", "'1PJ(3)'"}, {"TTYPE2", "'FLUX'"}, {"TFORM2", "'1PE(3)'"},
                     {"TUNIT2", "'Jy'"}, {"TTYPE3", "'WAVE'"}, {"TFORM3", "'1PD(3)'"}, {"TTYPE4", "'Q16'"},
                     {"TFORM4", "'1QI(3)'"}, {"TTYPE5", "'RAW'"}, {"TFORM5", "'1PB(3)'"}, {"TTYPE6", "'ROW'"},
                     {"TFORM6", "'1J'"}, {"EXTNAME", "'SPECTRA'"}},
                    arrays.bytes() + heap_bytes, {.naxis2 = 40, .pcount = static_cast<std::int64_t>(heap_bytes.size())})
          .ascii_table({{"TBCOL1", "1"}, {"TFORM1", "'I6'"}, {"TTYPE1", "'CHANNEL'"}, {"TNULL1", "'-999'"},
                        {"TBCOL2", "8"}, {"TFORM2", "'E12.5'"}, {"TTYPE2", "'RATE'"}, {"TUNIT2", "'ct/s'"},
                        {"TBCOL3", "21"}, {"TFORM3", "'D22.15'"}, {"TTYPE3", "'FINE'"},
                        {"TBCOL4", "44"}, {"TFORM4", "'A6'"}, {"TTYPE4", "'NAME'"}},
                       {"     1  1.00000E+00  1.000000000000000D-01 alpha",
                        "  -999 -2.50000E-03  3.333333333333333D+00 b c",
                        "    42  6.02214E+23 -2.718281828459045D+00 "},
                       {.naxis1 = 49})
          .bintable({{"TTYPE1", "'START'"}, {"TFORM1", "'1D'"}, {"TTYPE2", "'STOP'"}, {"TFORM2", "'1D'"},
                     {"EXTNAME", "'GTI'"}},
                    "")
          .bytes();
  const run_result r = run_orvex({.args = {"--ecsv", "t.fits"}, .inputs = {{"t.fits", fits}}});
  ASSERT_EQ(r.exit_code, 0) << r.describe();
  for (const char* part : {"t.001.ecsv", "t.002.ecsv", "t.003.ecsv", "t.004.ecsv"}) {
    ASSERT_EQ(r.files.count(part), 1U) << part << "\n" << r.describe();
  }
  const auto folder = r.folder.path();
  write_file(folder / "judge.py", judge);
  std::string command = "/usr/bin/python3 " + (folder / "judge.py").string() + " " + (folder / "t.fits").string();
  for (int n = 1; n <= 4; ++n) command += " " + std::to_string(n) + "=" + (folder / ("t.00" + std::to_string(n) + ".ecsv")).string();
  const std::optional<std::string> differences = filter_through(command + " 2>&1", "", status);
  ASSERT_TRUE(differences.has_value());
  EXPECT_EQ(status, 0) << *differences;
  EXPECT_EQ(*differences, "");
  // The header keeps the part's keywords, and the TTYPEn comment.
  const std::string& events = r.files.at("t.001.ecsv");
  for (const char* line : {"# - {EXTNAME: EVENTS}\n", "# - {EXPOSURE: 1000.5}\n", "# - {OBS_ID: '12345'}\n",
                           "# - {CLOCKAPP: true}\n", "# - {TIMEZERO: 0.0}\n", "# - {'NO': 3}\n",
                           "description: 'the counter of the house'}\n"}) {
    EXPECT_NE(events.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace orvex::test
