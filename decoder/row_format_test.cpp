// The row formatter on rows held in memory: which cells a line holds and in
// which order, the messages of every column in column order, and the
// variable-length arrays of P and Q columns read from a heap.
#include "decoder/row_format.h"

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/column_table.h"
#include "tests/fits_builder.h"

namespace orvex::decoder {
namespace {

using test::big_endian;

struct column_spec {
  const char* form;  // TFORM letter, or "P<t>" / "Q<t>" for arrays of letter t
  std::int32_t count;
  double tscal = 1.0;
  double tzero = 0.0;
  std::int32_t disp_width = 0;
  std::int32_t disp_decimals = -1;
  std::optional<std::int64_t> tnull = std::nullopt;
};

std::vector<int> every_column(int n) {
  std::vector<int> v;
  for (int i = 1; i <= n; ++i) v.push_back(i);
  return v;
}

row_formatter binary(const std::vector<column_spec>& columns, std::vector<int> selected = {}, text_form form = {}) {
  reset_table();
  int n = 0;
  for (const column_spec& s : columns) {
    column_desc& c = table[static_cast<std::size_t>(++n)];
    c.type = s.form[0];
    c.array_type = s.form[0] != '\0' ? s.form[1] : '\0';
    c.count = s.count;
    c.tscal = s.tscal;
    c.tzero = s.tzero;
    c.disp_width = s.disp_width;
    c.disp_decimals = s.disp_decimals;
    c.has_tnull = s.tnull.has_value();
    c.tnull = s.tnull.value_or(0);
    std::snprintf(c.name, sizeof c.name, "C%d", n);
  }
  if (selected.empty()) selected = every_column(n);
  return row_formatter::binary_table(n, selected, form);
}

struct formatted {
  std::string line;
  std::string messages;
  array_fault fault;
};

formatted run(const row_formatter& f, const std::string& row, const std::string& heap_bytes = {},
              std::int64_t declared = -1) {
  formatted r;
  text_buffer text;
  heap_view heap;
  heap.bytes = reinterpret_cast<const unsigned char*>(heap_bytes.data());
  heap.delivered = static_cast<std::int64_t>(heap_bytes.size());
  heap.declared = declared < 0 ? heap.delivered : declared;
  EXPECT_EQ(f.row_bytes(), static_cast<std::int64_t>(row.size()));
  f.format(reinterpret_cast<const unsigned char*>(row.data()), heap, &text, r.messages, &r.fault);
  r.line = std::string(text.view());
  // Not asking for the text changes no message and no fault.
  formatted quiet;
  f.format(reinterpret_cast<const unsigned char*>(row.data()), heap, nullptr, quiet.messages, &quiet.fault);
  EXPECT_EQ(quiet.messages, r.messages);
  EXPECT_EQ(quiet.fault.column, r.fault.column);
  return r;
}

std::string descriptor(std::int32_t count, std::int32_t offset) { return big_endian{}.i32(count).i32(offset).bytes(); }
std::string descriptor64(std::int64_t count, std::int64_t offset) {
  return big_endian{}.i64(count).i64(offset).bytes();
}

TEST(RowFormat, CellsInSelectionOrderMessagesInColumnOrder) {
  const std::string nan = big_endian{}.f32_bits(0x7FC00000U).bytes();
  const std::string row = big_endian{}.i16(7).raw(nan).chars("ab", 3).raw("zz").f64(0.5).bytes();
  const row_formatter f = binary({{"I", 1}, {"E", 1}, {"A", 3}, {"F", 2}, {"D", 1}}, {5, 3, 1, 3});
  const formatted r = run(f, row);
  EXPECT_EQ(r.line, "0.5 ab  7 ab  \n");
  // The unselected NaN and the unknown letter speak all the same.
  EXPECT_EQ(r.messages, "Not a Number\nUnknown type F\n");
}

TEST(RowFormat, ArraysAreWrittenAsFixedCellsOfTheirCount) {
  struct case_t {
    const char* name;
    std::vector<column_spec> columns;
    std::string row;
    std::string heap;
    std::string line;
    std::string messages = {};
  };
  const std::string matrix = big_endian{}.f32(0.25f).f32(-1.5f).f32(3).bytes();
  const std::vector<case_t> cases{
      {"PE of three values", {{"PE", 1}}, descriptor(3, 0), matrix, "0.25 -1.5 3 \n"},
      {"PE at an offset", {{"PE", 1}}, descriptor(2, 4), matrix, "-1.5 3 \n"},
      {"PJ scaled", {{"PJ", 1, 0.5}}, descriptor(2, 0), big_endian{}.i32(3).i32(-3).bytes(), "1.5 -1.5 \n"},
      {"PI", {{"PI", 1}}, descriptor(2, 0), big_endian{}.i16(-2).i16(9).bytes(), "-2 9 \n"},
      {"PB", {{"PB", 1}}, descriptor(3, 0), big_endian{}.u8(0).u8(127).u8(255).bytes(), "0 127 255 \n"},
      {"PK", {{"PK", 1}}, descriptor(1, 0), big_endian{}.i64(INT64_MIN).bytes(), "-9223372036854775808 \n"},
      {"PD", {{"PD", 1}}, descriptor(1, 0), big_endian{}.f64(1.0 / 3.0).bytes(), "0.3333333333333333 \n"},
      {"PC", {{"PC", 1}}, descriptor(1, 0), big_endian{}.f32(1.5f).f32(-2.25f).bytes(), "1.5 -2.25 \n"},
      {"PM", {{"PM", 1}}, descriptor(1, 0), big_endian{}.f64(0.1).f64(0.2).bytes(), "0.1 0.2 \n"},
      {"PL", {{"PL", 1}}, descriptor(3, 0), big_endian{}.raw("T").u8(0).raw("F").bytes(), "T ? F \n"},
      {"PX of 12 bits", {{"PX", 1}}, descriptor(12, 0), big_endian{}.u8(0xA5).u8(0xF0).bytes(), "1010010111110000 \n"},
      {"PA up to its zero byte, padded to its length", {{"PA", 1}}, descriptor(5, 0), big_endian{}.chars("AB", 5).bytes(),
       "AB    \n"},
      {"QD", {{"QD", 1}}, descriptor64(2, 8), big_endian{}.f64(9).f64(1.5).f64(-4).bytes(), "1.5 -4 \n"},
      {"two descriptors in one cell, in order", {{"PJ", 2}}, descriptor(1, 4) + descriptor(2, 0),
       big_endian{}.i32(10).i32(20).bytes(), "20 10 20 \n"},
      {"empty arrays write nothing, an A one no blank either", {{"PA", 1}, {"PE", 1}, {"J", 1}},
       descriptor(0, 0) + descriptor(0, 0) + big_endian{}.i32(5).bytes(), "", "5 \n"},
      {"NaN in an array speaks in column order", {{"E", 1}, {"PE", 1}, {"F", 1}},
       big_endian{}.f32_bits(0x7F800000U).bytes() + descriptor(2, 0) + "x",
       big_endian{}.f32_bits(0xFFC00000U).f32(1).bytes(), "inf -nan 1 \n",
       "Not a Number\nNot a Number\nUnknown type F\n"},
      {"an element letter FITS does not define", {{"PZ", 1}}, descriptor(2, 0), "abcd", "\n", "Unknown type Z\n"},
  };
  for (const case_t& c : cases) {
    const formatted r = run(binary(c.columns), c.row, c.heap);
    EXPECT_EQ(r.line, c.line) << c.name;
    EXPECT_EQ(r.messages, c.messages) << c.name;
    EXPECT_EQ(r.fault.column, 0) << c.name;
  }
}

// An array that lies outside the declared heap, or has a negative count or
// offset, writes nothing and is named; one that the stream did not deliver
// writes nothing and is not (the cut is reported as such).
TEST(RowFormat, ArraysOutsideTheHeap) {
  const std::string heap = big_endian{}.i32(1).i32(2).i32(3).bytes();
  struct case_t {
    const char* name;
    std::string row;
    std::int64_t declared;
    std::string line;
    int fault_column;
    std::int64_t fault_count = 0;
    std::int64_t fault_offset = 0;
  };
  const std::vector<case_t> cases{
      {"whole heap", descriptor(3, 0) + descriptor(1, 8), 12, "1 2 3 3 \n", 0},
      {"one byte past the end", descriptor(3, 0) + descriptor(1, 9), 12, "1 2 3 \n", 2, 1, 9},
      {"negative count", descriptor(-1, 0) + descriptor(1, 0), 12, "1 \n", 1, -1, 0},
      {"negative offset", descriptor(1, -4) + descriptor(1, 0), 12, "1 \n", 1, 1, -4},
      {"huge count", descriptor(INT32_MAX, 0) + descriptor(1, 0), 12, "1 \n", 1, INT32_MAX, 0},
      {"an empty array at the heap's end", descriptor(0, 12) + descriptor(1, 4), 12, "2 \n", 0},
      {"an empty array anywhere", descriptor(0, 1000) + descriptor(1, 4), 12, "2 \n", 0},
      {"declared but not delivered", descriptor(2, 8) + descriptor(1, 0), 100, "1 \n", 0},
  };
  for (const case_t& c : cases) {
    const formatted r = run(binary({{"PJ", 1}, {"PJ", 1}}), c.row, heap, c.declared);
    EXPECT_EQ(r.line, c.line) << c.name;
    EXPECT_EQ(r.fault.column, c.fault_column) << c.name;
    if (c.fault_column == 0) continue;
    EXPECT_EQ(r.fault.count, c.fault_count) << c.name;
    EXPECT_EQ(r.fault.offset, c.fault_offset) << c.name;
  }
}

// A long array is written whole, like any long cell.
TEST(RowFormat, LongArraysAreWrittenWhole) {
  std::string heap, line;
  for (int i = 0; i < 92684; ++i) {
    heap += big_endian{}.f32(static_cast<float>(i) * 0.5f).bytes();
    char text[32];
    std::snprintf(text, sizeof text, "%.16g ", static_cast<double>(static_cast<float>(i) * 0.5f));
    line += text;
  }
  const formatted r = run(binary({{"PE", 1}}), descriptor(92684, 0), heap);
  EXPECT_EQ(r.line, line + "\n");
}

// The line asks for room once for the cells whose text has a bound and
// writes them with their own writers; it must be exactly the cells as
// write_cell (write_exact_cell) writes them one by one, on rows of random
// bytes with the special values mixed in, for every letter, count,
// scaling and TDISP, in both number forms.
TEST(RowFormat, LineIsItsCellsAsWriteCellWritesThem) {
  for (const number_form form : {number_form::printf_like, number_form::exact}) {
      SCOPED_TRACE(form == number_form::exact ? "exact" : "printf");
    const std::vector<column_spec> columns = {
        {"D", 1}, {"E", 1}, {"I", 1}, {"J", 1}, {"B", 1}, {"K", 1}, {"X", 32}, {"A", 7}, {"A", 0},
        {"E", 3}, {"D", 2}, {"C", 1}, {"M", 1}, {"X", 3}, {"I", 0}, {"L", 2}, {"Z", 2},
        {"J", 2, 0.5, 3.0}, {"B", 1, 2.0, -7.0}, {"K", 1, 1.0, 9223372036854775808.0}, {"K", 1, 0.25, 1.0},
        {"E", 1, 1.0, 0.0, 12, 4}, {"D", 2, 1.0, 0.0, -9, 3}, {"L", 1, 1.0, 0.0, 5}, {"E", 1, 2.5, -1.0},
        {"E", 3000}, {"PJ", 1}, {"A", 70000}};
    const int n = static_cast<int>(columns.size());
    // Every column, some twice, in an order of its own.
    std::vector<int> selected = every_column(n);
    selected.insert(selected.begin(), {3, 1, n - 1, 12});
    // The same cells with --null: every element that is null (here the
    // NaNs of E and D, the zero bytes of L) written "NULL", each of the
    // others as its cell would write it.
    const row_formatter nulls = binary(columns, selected, {.exact = form == number_form::exact, .null_text = "NULL"});
    const row_formatter f = binary(columns, selected, {.exact = form == number_form::exact});

    std::string heap;
    for (int i = 0; i < 16; ++i) heap += big_endian{}.i32(i * 1000 - 7).bytes();
    const std::uint32_t specials[] = {0x7F800000U, 0xFF800000U, 0x7FC00000U, 0x80000000U, 0x00000001U,
                                      0x7FFFFFFFU, 0x3F800000U, 0x00000000U};
    std::mt19937_64 random(20261208);
    std::string row(static_cast<std::size_t>(f.row_bytes()), '\0');
    for (int r = 0; r < 3000; ++r) {
      for (std::size_t i = 0; i < row.size(); i += 4) {
        const std::uint64_t draw = random();
        const std::uint32_t word = draw % 4 == 0 ? specials[(draw >> 8) % 8] : static_cast<std::uint32_t>(draw >> 32);
        for (std::size_t k = 0; k < 4 && i + k < row.size(); ++k) row[i + k] = static_cast<char>(word >> (24 - 8 * k));
      }
      // The array column: a descriptor into the heap.
      const std::size_t at = static_cast<std::size_t>(f.row_bytes()) - 70000 - 8;
      const std::int32_t count = static_cast<std::int32_t>(random() % 5);
      row.replace(at, 8, descriptor(count, static_cast<std::int32_t>(random() % 8) * 4));

      text_buffer expected, expected_nulls;
      for (int k : selected) {
        const column_desc& c = f.column(k);
        const auto* bytes = reinterpret_cast<const unsigned char*>(row.data());
        std::int64_t offset = 0;
        for (int j = 1; j < k; ++j) offset += cell_bytes(f.column(j).type, f.column(j).count);
        if (c.type == 'P') {
          const array_descriptor d = descriptor_at('P', bytes + offset, 0);
          if (d.count > 0) {
            for (text_buffer* t : {&expected, &expected_nulls}) {
              write_cell(c, 'J', reinterpret_cast<const unsigned char*>(heap.data()) + d.offset, d.count, *t, form);
            }
          }
          continue;
        }
        write_cell(c, c.type, bytes + offset, c.count, expected, form);
        bool any_null = false;
        const std::int64_t size = cell_bytes(c.type, 1);
        for (std::int64_t e = 0; e < c.count; ++e) any_null |= null_element(c, c.type, bytes + offset + e * size);
        if (!any_null || !can_be_null(c, c.type)) {
          write_cell(c, c.type, bytes + offset, c.count, expected_nulls, form);
          continue;
        }
        for (std::int64_t e = 0; e < c.count; ++e) {
          if (null_element(c, c.type, bytes + offset + e * size)) {
            expected_nulls.append("NULL ");
          } else {
            write_cell(c, c.type, bytes + offset + e * size, 1, expected_nulls, form);
          }
        }
      }
      expected.put('\n');
      expected_nulls.put('\n');
      const formatted got = run(f, row, heap);
      ASSERT_EQ(got.line, std::string(expected.view())) << "row " << r;
      ASSERT_EQ(run(nulls, row, heap).line, std::string(expected_nulls.view())) << "row " << r;
    }
  }
}

// CSV records write their numbers and bits straight into the record's room;
// each field must be what the cell's own text gives, as a CSV field: its
// elements without the trailing blank, a null element of a cell of one an
// empty field; a cell of several (written through the general path, among
// the others) quoted, its null elements "nan".
TEST(RowFormat, CsvFieldsAreTheCellTextsOfManyValues) {
  const std::vector<column_spec> columns = {
      {"D", 1}, {"E", 1}, {"I", 1, 1.0, 0.0, 0, -1, -99}, {"J", 1, 1.0, 0.0, 0, -1, 7}, {"B", 1},
      {"K", 1, 1.0, 0.0, 0, -1, 0}, {"X", 32}, {"X", 3}, {"J", 1, 0.5, 3.0}, {"K", 1, 1.0, 9223372036854775808.0},
      {"E", 1, 2.5, -1.0}, {"E", 3}, {"I", 1, 2.0, 0.0, 0, -1, 5}, {"B", 1, 1.0, -128.0}};
  const int n = static_cast<int>(columns.size());
  std::vector<int> selected = every_column(n);
  selected.insert(selected.begin() + 3, {12, 2});
  const std::uint32_t specials[] = {0x7F800000U, 0xFF800000U, 0x7FC00000U, 0x80000000U, 0x00000001U,
                                    0x7FFFFFFFU, 0x00000000U, 0xFFFFFF9DU, 0x00000007U};
  for (const number_form form : {number_form::printf_like, number_form::exact}) {
    SCOPED_TRACE(form == number_form::exact ? "exact" : "printf");
    const row_formatter f = binary(columns, selected, {.exact = form == number_form::exact, .csv = true});
    std::mt19937_64 random(20261210);
    std::string row(static_cast<std::size_t>(f.row_bytes()), '\0');
    for (int r = 0; r < 6000; ++r) {
      for (std::size_t i = 0; i < row.size(); i += 4) {
        const std::uint64_t draw = random();
        const std::uint32_t word = draw % 3 == 0 ? specials[(draw >> 8) % 9] : static_cast<std::uint32_t>(draw >> 32);
        for (std::size_t k = 0; k < 4 && i + k < row.size(); ++k) row[i + k] = static_cast<char>(word >> (24 - 8 * k));
      }
      std::string expected;
      bool first = true;
      for (int k : selected) {
        const column_desc& c = f.column(k);
        std::int64_t offset = 0;
        for (int j = 1; j < k; ++j) offset += cell_bytes(f.column(j).type, f.column(j).count);
        const auto* bytes = reinterpret_cast<const unsigned char*>(row.data()) + offset;
        const std::int64_t size = cell_bytes(c.type, 1);
        text_buffer t;
        if (c.count == 1 && can_be_null(c, c.type) && null_element(c, c.type, bytes)) {
          // an empty field
        } else if (c.count > 1 && c.type != 'X') {
          for (std::int64_t e = 0; e < c.count; ++e) {
            if (null_element(c, c.type, bytes + e * size)) {
              t.append("nan ");
            } else {
              write_cell(c, c.type, bytes + e * size, 1, t, form);
            }
          }
        } else {
          write_cell(c, c.type, bytes, c.count, t, form);
        }
        std::string field(t.view());
        if (!field.empty()) field.pop_back();
        if (field.find(' ') != std::string::npos) field = '"' + field + '"';
        expected += (first ? "" : ",") + field;
        first = false;
      }
      ASSERT_EQ(run(f, row).line, expected + "\n") << "row " << r;
    }
  }
  // A record of one empty field is "", not a blank line.
  const row_formatter one = binary({{"J", 1, 1.0, 0.0, 0, -1, 7}}, {}, {.csv = true});
  EXPECT_EQ(run(one, big_endian{}.i32(7).bytes()).line, "\"\"\n");
  EXPECT_EQ(run(one, big_endian{}.i32(8).bytes()).line, "8\n");
}

// ECSV logicals and bit arrays, written straight into the record's room.
TEST(RowFormat, EcsvLogicalsAndBits) {
  auto layout = std::make_shared<ecsv_layout>();
  layout->cells.resize(3);
  layout->cells[0].what = ecsv_cell::kind::logical;
  layout->cells[1].what = ecsv_cell::kind::json;
  layout->cells[1].shape = {11};
  layout->cells[2].what = ecsv_cell::kind::json;
  layout->cells[2].shape = {16};
  const row_formatter f =
      binary({{"L", 1}, {"X", 11}, {"X", 16}}, {}, {.exact = true, .csv = true, .ecsv = layout});
  struct bits_case {
    std::string row;
    const char* record;
  };
  const bits_case cases[] = {
      {big_endian{}.u8('T').u8(0xA5).u8(0xE0).u8(0x00).u8(0x01).bytes(),
       "True,\"[true,false,true,false,false,true,false,true,true,true,true]\","
       "\"[false,false,false,false,false,false,false,false,false,false,false,false,false,false,false,true]\"\n"},
      {big_endian{}.u8('F').u8(0xFF).u8(0x1F).u8(0xFF).u8(0xFF).bytes(),
       "False,\"[true,true,true,true,true,true,true,true,false,false,false]\","
       "\"[true,true,true,true,true,true,true,true,true,true,true,true,true,true,true,true]\"\n"},
      {big_endian{}.u8(0).u8(0).u8(0).u8(0).u8(0).bytes(),
       ",\"[false,false,false,false,false,false,false,false,false,false,false]\","
       "\"[false,false,false,false,false,false,false,false,false,false,false,false,false,false,false,false]\"\n"},
  };
  for (const bits_case& c : cases) EXPECT_EQ(run(f, c.row).line, c.record);
}

TEST(RowFormat, ACutRowSaysWhatItsDeliveredBytesSay) {
  const std::string nan = big_endian{}.f32_bits(0x7FC00000U).bytes();
  const row_formatter f = binary({{"E", 2}, {"F", 1}, {"PE", 1}, {"PZ", 1}, {"G", 1}});
  const std::string row = nan + nan + "f" + descriptor(1, 0) + descriptor(1, 0) + "g";
  struct case_t {
    std::int64_t available;
    std::string messages;
  };
  for (const case_t& c : {case_t{9, "Not a Number\nNot a Number\nUnknown type F\nUnknown type Z\nUnknown type G\n"},
                          case_t{5, "Not a Number\nUnknown type F\nUnknown type Z\nUnknown type G\n"},
                          case_t{0, "Unknown type F\nUnknown type Z\nUnknown type G\n"}}) {
    std::string messages;
    f.cut_row_messages(reinterpret_cast<const unsigned char*>(row.data()), c.available, messages);
    EXPECT_EQ(messages, c.messages) << "available " << c.available;
  }
}

}  // namespace
}  // namespace orvex::decoder
