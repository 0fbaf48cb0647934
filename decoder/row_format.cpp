#include "decoder/row_format.h"

#include <cstring>
#include <string_view>

#include "decoder/ascii_rows.h"
#include "decoder/binary_cells.h"
#include "decoder/cell_format.h"
#include "decoder/json_text.h"
#include "util/saturating.h"

namespace orvex::decoder {
namespace {


// Characters that make a CSV field quoted: blank, comma, double quote and
// the line ends; everything else is plain.
struct csv_special_table {
  bool special[256] = {};
  constexpr csv_special_table() {
    for (unsigned char c : {' ', ',', '"', '\n', '\r'}) special[c] = true;
  }
  constexpr bool operator[](char c) const { return special[static_cast<unsigned char>(c)]; }
};
constexpr csv_special_table csv_special;

// Turns the cell text that begins at `start` into a CSV field: trailing
// blanks dropped, runs of blanks between elements (TDISPn padding) made one
// unless it is a string, then quoted when it must be. One pass over the
// text finds what quoting needs while it drops the blanks.
void finish_field(text_buffer& text, std::size_t start, bool string) {
  std::size_t n = text.size() - start;
  char* begin = text.room(0) - n;
  while (n != 0 && begin[n - 1] == ' ') --n;
  std::size_t kept = 0;
  std::size_t quotes = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = begin[i];
    if (csv_special[c]) {
      if (c == ' ') {
        if (!string && kept != 0 && begin[kept - 1] == ' ') continue;
      } else if (c == '"') {
        ++quotes;
      }
      quoted = true;
    }
    begin[kept++] = c;
  }
  n = kept;
  text.resize_down(start + n);
  if (!quoted) return;
  // Moved right from the end, each quote doubled, within the room asked.
  begin = text.room(2 + quotes) - n;
  char* to = begin + n + quotes + 1;
  *to-- = '"';
  for (std::size_t i = n; i-- > 0;) {
    *to-- = begin[i];
    if (begin[i] == '"') *to-- = '"';
  }
  *begin = '"';
  text.commit(begin + n + quotes + 2);
}

// A name of the header record, quoted as a field must be.
void put_name(text_buffer& text, const char* name) {
  const std::size_t start = text.size();
  text.append(std::string_view(name));
  finish_field(text, start, true);
}

// The JSON texts of the eight bits of every byte value, each followed by a
// comma: "true,false,...", so that a bit array is copied a byte at a time.
struct json_bits_table {
  char text[256][48] = {};
  unsigned char size[256] = {};
  constexpr json_bits_table() {
    for (int v = 0; v < 256; ++v) {
      int n = 0;
      for (int bit = 7; bit >= 0; --bit) {
        const char* word = ((v >> bit) & 1) != 0 ? "true," : "false,";
        for (; *word != '\0'; ++word) text[v][n++] = *word;
      }
      size[v] = static_cast<unsigned char>(n);
    }
  }
};
constexpr json_bits_table json_bits;

// An ECSV logical of one element at `p`: True or False, nothing for an
// undefined value (a zero byte, or a cell of no bytes), which is an empty
// field. Room: 5.
char* put_ecsv_logical(const unsigned char* bytes, std::int64_t size, char* p) {
  if (size < 1 || bytes[0] == 0) return p;
  const bool set = bytes[0] == 'T';
  std::memcpy(p, set ? "True" : "False", set ? 4 : 5);
  return p + (set ? 4 : 5);
}

bool is_array(const column_desc& c) { return (c.type == 'P' || c.type == 'Q') && c.count > 0; }

// Whether reading elements of this letter can say something.
bool speaks(char letter) {
  switch (letter) {
    case 'E':
    case 'C':
    case 'D':
    case 'M':
      return true;
    default:
      return !known_letter(letter);
  }
}

}  // namespace

row_formatter row_formatter::binary_table(int tfields, std::vector<int> selected, text_form form) {
  row_formatter f;
  f.kind_ = kind::binary;
  f.form_ = form;
  for (int n = 1; n <= tfields; ++n) {
    cell c;
    c.column = table[static_cast<std::size_t>(n)];
    c.offset = f.row_bytes_;
    c.bytes = cell_bytes(c.column.type, c.column.count);
    c.array = is_array(c.column);
    const char a = c.column.array_type;
    // Arrays of descriptors, or of a letter FITS does not define, have no
    // size to read: their cells say "Unknown type" and write nothing.
    if (c.array && known_letter(a) && a != 'P' && a != 'Q') c.element = a;
    c.looked_at = c.array || (speaks(c.column.type) && (c.bytes > 0 || !known_letter(c.column.type)));
    if (c.looked_at) f.looked_at_.push_back(n - 1);
    if (c.array) f.has_arrays_ = true;
    // A hostile header may declare columns of any width.
    f.row_bytes_ = util::saturated_sum(f.row_bytes_, c.bytes);
    f.cells_.push_back(c);
  }
  for (int n : selected) f.selected_.push_back(n - 1);
  // A line asks for room once for all its cells of a known bound; a cell
  // whose bound is large asks for its own, so that the room grows only
  // with text that is really written.
  constexpr std::size_t most_shared_room = 64 * 1024;
  std::size_t room = 1;  // the line feed
  f.plain_.resize(f.selected_.size());
  for (std::size_t k = f.selected_.size(); k-- > 0;) {
    plain_cell& p = f.plain_[k];
    const cell& c = f.cells_[static_cast<std::size_t>(f.selected_[k])];
    p.index = f.selected_[k];
    p.room_after = room;
    std::size_t cell_room = 0;
    // A cell that may hold nulls, when they are written as a text of
    // their own, is written element by element.
    const bool marked = f.form_.null_text && can_be_null(c.column, c.column.type);
    if (!c.array && !marked) p.write = bounded_writer(c.column, c.column.type, c.column.count, cell_room, f.numbers());
    if (p.write != nullptr && cell_room <= most_shared_room) {
      room += cell_room;
    } else {
      p.write = nullptr;
    }
  }
  f.plain_room_ = room;
  if (f.form_.csv) f.build_record();
  return f;
}

void row_formatter::build_record() {
  constexpr std::size_t most_shared_room = 64 * 1024;
  std::size_t room = 2;  // the line feed, or a lone empty field's ""
  record_.resize(selected_.size());
  for (std::size_t k = selected_.size(); k-- > 0;) {
    record_cell& r = record_[k];
    const cell& c = cells_[static_cast<std::size_t>(selected_[k])];
    r.index = selected_[k];
    r.room_after = room;
    const ecsv_cell::kind e = form_.ecsv ? form_.ecsv->cells[k].what : ecsv_cell::kind::plain;
    const char t = c.column.type;
    std::size_t cell_room = 0;
    if (!c.array && e == ecsv_cell::kind::plain && c.column.disp_width == 0 &&
        ((c.column.count == 1 && std::strchr("BIJKED", t) != nullptr) || (t == 'X' && !form_.ecsv))) {
      // Texts without a blank inside: a CSV field as they stand.
      r.write = bounded_writer(c.column, t, c.column.count, cell_room, numbers());
      if (r.write != nullptr) r.how = record_cell::way::number;
      r.nullable = can_be_null(c.column, t);
    } else if (e == ecsv_cell::kind::logical) {
      r.how = record_cell::way::logical;
      cell_room = 6;
    } else if (e == ecsv_cell::kind::json && t == 'X' && !c.array) {
      r.how = record_cell::way::bits;
      // A byte's texts are copied whole, 48 bytes, whatever their length.
      cell_room = 6 * static_cast<std::size_t>(c.column.count) + 48 + 4;
    }
    if (r.how != record_cell::way::general && cell_room + 1 <= most_shared_room) {
      room += cell_room + 1;
    } else {
      r.how = record_cell::way::general;
    }
  }
  record_room_ = room;
}

row_formatter row_formatter::ascii_table(int tfields, std::int32_t naxis1, bool every_field, text_form form) {
  row_formatter f;
  f.kind_ = kind::ascii;
  f.every_field_ = every_field;
  f.form_ = form;
  f.row_bytes_ = naxis1 > 0 ? naxis1 : 0;
  for (int n = 1; n <= tfields; ++n) {
    cell c;
    c.column = table[static_cast<std::size_t>(n)];
    f.cells_.push_back(c);
    f.selected_.push_back(n - 1);
  }
  return f;
}

row_formatter row_formatter::image_lines(const pixel_rules& pixels, std::int64_t per_line, text_form form) {
  row_formatter f;
  f.kind_ = kind::image;
  f.form_ = form;
  f.pixels_ = pixels;
  f.per_line_ = per_line > 0 ? per_line : 0;
  // A line longer than any stream reads as the stream's cut, never as an
  // allocation: the bytes are gathered only as they arrive.
  f.row_bytes_ = util::saturated_product(f.per_line_, pixels.bytes());
  return f;
}

row_formatter row_formatter::group_lines(const pixel_rules& pixels, std::int64_t per_line,
                                        std::vector<pixel_rules> params, std::vector<std::string> names,
                                        text_form form) {
  row_formatter f = image_lines(pixels, per_line, form);
  f.row_bytes_ = util::saturated_product(util::saturated_sum(f.per_line_, static_cast<std::int64_t>(params.size())),
                                         pixels.bytes());
  f.params_ = std::move(params);
  f.param_names_ = std::move(names);
  return f;
}

void row_formatter::leading_text(text_buffer& text) const {
  if (!form_.csv) return;
  if (kind_ == kind::image) {
    for (std::size_t k = 0; k < param_names_.size(); ++k) {
      start_field(text, k);
      put_name(text, param_names_[k].c_str());
    }
    if (!param_names_.empty() && per_line_ > 0) text.put(',');
    // An image's columns have no names: they are numbered, 1 to NAXIS1, as
    // FITS counts pixels.
    for (std::int64_t n = 1; n <= per_line_; ++n) {
      start_field(text, static_cast<std::size_t>(n - 1));
      text.commit(format::put_integer(text.room(format::short_text), n));
    }
    if (per_line_ > 0) text.put('\n');
    return;
  }
  if (selected_.empty()) return;
  if (form_.ecsv) text.append(form_.ecsv->header);
  for (std::size_t k = 0; k < selected_.size(); ++k) {
    start_field(text, k);
    put_name(text, cells_[static_cast<std::size_t>(selected_[k])].column.name);
  }
  text.put('\n');
}

void row_formatter::start_field(text_buffer& text, std::size_t k) const {
  if (k != 0) text.put(',');
}

void row_formatter::format(const unsigned char* row, const heap_view& heap, text_buffer* text,
                           std::string& messages, array_fault* fault) const {
  switch (kind_) {
    case kind::binary:
      format_binary(row, heap, text, messages, fault);
      break;
    case kind::ascii:
      format_ascii(row, text, messages);
      break;
    case kind::image:
      if (text != nullptr) format_image(row, *text);
      break;
  }
}

const unsigned char* row_formatter::array_at(const cell& c, int column, std::int64_t i, const unsigned char* row,
                                             const heap_view& heap, std::int64_t& count, array_fault* fault) {
  const array_descriptor d = descriptor_at(c.column.type, row + c.offset, i);
  count = d.count;
  if (c.element == '\0') return nullptr;
  // An empty array points nowhere: only a negative offset makes it wrong.
  if (d.count == 0 && d.offset >= 0) return nullptr;
  const std::int64_t bytes = cell_bytes(c.element, d.count);
  if (d.count < 0 || d.offset < 0 || bytes > heap.declared || d.offset > heap.declared - bytes) {
    if (fault != nullptr && fault->column == 0) *fault = {column, d.count, d.offset};
    return nullptr;
  }
  // Inside the heap but past what the stream delivered: the stream's cut,
  // which is reported as such.
  if (d.offset > heap.delivered - bytes) return nullptr;
  return heap.bytes + d.offset;
}

void row_formatter::format_binary(const unsigned char* row, const heap_view& heap, text_buffer* text,
                                  std::string& messages, array_fault* fault) const {
  // Every column is read in column order, whichever cells the line holds:
  // the messages of its values, and whether its arrays lie in the heap.
  for (int i : looked_at_) {
    const cell& c = cells_[static_cast<std::size_t>(i)];
    if (!c.array) {
      cell_messages(c.column.type, row + c.offset, c.column.count, c.bytes, messages);
    } else if (c.element == '\0') {
      cell_messages(c.column.array_type, nullptr, 0, 0, messages);
    } else {
      for (std::int64_t k = 0; k < c.column.count; ++k) {
        std::int64_t count = 0;
        const unsigned char* at = array_at(c, i + 1, k, row, heap, count, fault);
        if (at != nullptr && speaks(c.element)) {
          cell_messages(c.element, at, count, cell_bytes(c.element, count), messages);
        }
      }
    }
  }
  if (text == nullptr) return;
  if (form_.csv) {
    write_csv_record(row, heap, *text);
    return;
  }
  char* p = text->room(plain_room_);
  for (const plain_cell& k : plain_) {
    const cell& c = cells_[static_cast<std::size_t>(k.index)];
    if (k.write != nullptr) {
      p = k.write(c.column, row + c.offset, c.column.count, p);
      continue;
    }
    text->commit(p);
    write_cell_text(k.index, row, heap, *text);
    p = text->room(k.room_after);
  }
  *p++ = '\n';
  text->commit(p);
}

void row_formatter::write_cell_text(int i, const unsigned char* row, const heap_view& heap, text_buffer& text) const {
  const cell& c = cells_[static_cast<std::size_t>(i)];
  if (!c.array) {
    write_values(c.column, c.column.type, row + c.offset, c.column.count, text);
    return;
  }
  for (std::int64_t k = 0; k < c.column.count; ++k) {
    std::int64_t count = 0;
    const unsigned char* at = array_at(c, i + 1, k, row, heap, count, nullptr);
    // An empty array writes nothing, not even an 'A' cell's blank.
    if (at != nullptr && count > 0) write_values(c.column, c.element, at, count, text);
  }
}

void row_formatter::write_values(const column_desc& c, char letter, const unsigned char* bytes, std::int64_t count,
                                 text_buffer& text, bool json) const {
  if (!form_.marks_nulls() || count < 1 || !can_be_null(c, letter)) {
    write_cell(c, letter, bytes, count, text, numbers());
    return;
  }
  const std::int64_t size = cell_bytes(letter, 1);
  std::int64_t k = 0;
  while (k < count && !null_element(c, letter, bytes + k * size)) ++k;
  if (k == count) {
    write_cell(c, letter, bytes, count, text, numbers());
    return;
  }
  // A CSV cell of one null element is an empty field.
  if (form_.csv && count == 1 && !json) return;
  const std::string_view mark = json             ? std::string_view("null")
                                : form_.null_text ? std::string_view(*form_.null_text)
                                                  : std::string_view("nan");
  for (k = 0; k < count; ++k) {
    const unsigned char* e = bytes + k * size;
    if (null_element(c, letter, e)) {
      text.append(mark);
      text.put(' ');
    } else {
      write_cell(c, letter, e, 1, text, numbers());
    }
  }
}

bool row_formatter::null_field(std::string_view line, const column_desc& c) const {
  if (!form_.marks_nulls() || c.tnull_text[0] == '\0' || c.tbcol < 1 || c.count < 1) return false;
  // Only fields that are written as values: an unknown type stays as it is.
  const bool written = std::strchr("IJBED", c.type) != nullptr || (every_field_ && (c.type == 'F' || c.type == 'A'));
  if (!written || c.type == '\0') return false;
  const std::size_t at = static_cast<std::size_t>(c.tbcol - 1);
  if (at >= line.size()) return false;
  auto blanks_cut = [](std::string_view s) {
    s = s.substr(0, s.find('\0'));
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
  };
  return blanks_cut(line.substr(at, static_cast<std::size_t>(c.count))) == blanks_cut(c.tnull_text);
}

void row_formatter::write_csv_record(const unsigned char* row, const heap_view& heap, text_buffer& text) const {
  if (selected_.empty()) return;
  const std::size_t line_start = text.size();
  char* p = text.room(record_room_);
  for (std::size_t n = 0; n < record_.size(); ++n) {
    const record_cell& r = record_[n];
    const cell& c = cells_[static_cast<std::size_t>(r.index)];
    const unsigned char* bytes = row + c.offset;
    switch (r.how) {
      case record_cell::way::number:
        // A null is an empty field; the writer's blank becomes the comma.
        if (r.nullable && null_element(c.column, c.column.type, bytes)) {
          *p++ = ',';
        } else {
          p = r.write(c.column, bytes, c.column.count, p);
          p[-1] = ',';
        }
        continue;
      case record_cell::way::logical:
        p = put_ecsv_logical(bytes, c.bytes, p);
        *p++ = ',';
        continue;
      case record_cell::way::bits: {
        *p++ = '"';
        *p++ = '[';
        const std::int64_t whole = c.column.count / 8;
        for (std::int64_t k = 0; k < whole; ++k) {
          std::memcpy(p, json_bits.text[bytes[k]], 48);
          p += json_bits.size[bytes[k]];
        }
        for (std::int64_t k = whole * 8; k < c.column.count; ++k) {
          const bool set = (bytes[k / 8] >> (7 - k % 8)) & 1;
          std::memcpy(p, set ? "true," : "false,", set ? 5 : 6);
          p += set ? 5 : 6;
        }
        if (c.column.count > 0) --p;
        *p++ = ']';
        *p++ = '"';
        *p++ = ',';
        continue;
      }
      case record_cell::way::general:
        break;
    }
    text.commit(p);
    const std::size_t field = text.size();
    if (form_.ecsv) {
      write_ecsv_field(n, row, heap, text);
    } else {
      write_cell_text(r.index, row, heap, text);
      finish_field(text, field, (c.array ? c.element : c.column.type) == 'A');
    }
    p = text.room(r.room_after + 1);
    *p++ = ',';
  }
  // The last comma ends the record; a record of one empty field is ""
  // so that it is no blank line.
  --p;
  if (record_.size() == 1 && p == text.data() + line_start) {
    *p++ = '"';
    *p++ = '"';
  }
  *p++ = '\n';
  text.commit(p);
}

void row_formatter::write_ecsv_field(std::size_t n, const unsigned char* row, const heap_view& heap,
                                     text_buffer& text) const {
  const int i = selected_[n];
  const cell& c = cells_[static_cast<std::size_t>(i)];
  const ecsv_cell& e = form_.ecsv->cells[n];
  const std::size_t field = text.size();
  switch (e.what) {
    case ecsv_cell::kind::plain:
      write_cell_text(i, row, heap, text);
      finish_field(text, field, (c.array ? c.element : c.column.type) == 'A');
      return;
    case ecsv_cell::kind::logical:
      text.commit(put_ecsv_logical(row + c.offset, c.bytes, text.room(5)));
      return;
    case ecsv_cell::kind::complex: {
      // "re im " as Python writes a complex number: "(re+imj)".
      write_cell_text(i, row, heap, text);
      thread_local std::string parts;
      parts.assign(text.data() + field, text.size() - field);
      text.resize_down(field);
      const std::size_t blank = parts.find(' ');
      if (blank == std::string::npos || blank + 1 >= parts.size()) return;
      std::string_view re(parts.data(), blank);
      std::string_view im(parts.data() + blank + 1, parts.size() - blank - 1);
      if (!im.empty() && im.back() == ' ') im.remove_suffix(1);
      text.put('(');
      text.append(re);
      if (im.empty() || im.front() != '-') text.put('+');
      text.append(im);
      text.append("j)");
      return;
    }
    case ecsv_cell::kind::json:
      write_json_elements(i, e, row, heap, text);
      elements_as_json(text, field, e.shape, e.group);
      finish_field(text, field, true);
      return;
  }
}

void row_formatter::write_json_elements(int i, const ecsv_cell& e, const unsigned char* row, const heap_view& heap,
                                        text_buffer& text) const {
  const cell& c = cells_[static_cast<std::size_t>(i)];
  auto elements = [&](char letter, const unsigned char* bytes, std::int64_t count) {
    switch (letter) {
      case 'L':
        for (std::int64_t k = 0; k < count; ++k) {
          text.append(bytes[k] == 0 ? std::string_view("null ")
                      : bytes[k] == 'T' ? std::string_view("true ")
                                        : std::string_view("false "));
        }
        return;
      case 'X':
        for (std::int64_t k = 0; k < count; ++k) {
          const bool set = (bytes[k / 8] >> (7 - k % 8)) & 1;
          text.append(set ? std::string_view("true ") : std::string_view("false "));
        }
        return;
      case 'A': {
        // Strings of string_width characters, each up to its first zero
        // byte, trailing blanks cut.
        const std::int64_t w = e.string_width > 0 ? e.string_width : count;
        for (std::int64_t k = 0; k + w <= count; k += w) {
          std::string_view s(reinterpret_cast<const char*>(bytes + k), static_cast<std::size_t>(w));
          s = s.substr(0, s.find('\0'));
          while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
          // An empty string is null, as an empty field of a string
          // column is.
          if (s.empty()) {
            text.append("null ");
          } else {
            put_json_string(text, s);
          }
        }
        return;
      }
      default:
        write_values(c.column, letter, bytes, count, text, true);
        return;
    }
  };
  if (!c.array) {
    elements(c.column.type, row + c.offset, c.column.count);
    return;
  }
  for (std::int64_t k = 0; k < c.column.count; ++k) {
    std::int64_t count = 0;
    const unsigned char* at = array_at(c, i + 1, k, row, heap, count, nullptr);
    if (at != nullptr && count > 0) elements(c.element, at, count);
  }
}

void row_formatter::end_record(text_buffer& text, std::size_t line_start) const {
  if (form_.csv) {
    if (selected_.empty()) return;
    if (selected_.size() == 1 && text.size() == line_start) text.append("\"\"");
  }
  text.put('\n');
}

void row_formatter::format_ascii(const unsigned char* row, text_buffer* text, std::string& messages) const {
  // The field reads stop at the NUL after the row, so a number may run on
  // into the next field but never past the row.
  thread_local std::vector<char> copy;
  const std::size_t width = static_cast<std::size_t>(row_bytes_);
  copy.resize(width + 1);
  if (width != 0) std::memcpy(copy.data(), row, width);
  copy[width] = '\0';
  const std::string_view line(copy.data(), width);
  const std::size_t line_start = text != nullptr ? text->size() : 0;
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    const bool null = text != nullptr && null_field(line, cells_[i].column);
    if (null && !form_.csv) {
      text->append(*form_.null_text);
      if (i + 1 != cells_.size()) text->put(' ');
      continue;
    }
    if (text == nullptr || !form_.csv) {
      ascii_cell(line, cells_[i].column, text, messages, every_field_, numbers());
      if (text != nullptr && i + 1 != cells_.size()) text->put(' ');
      continue;
    }
    start_field(*text, i);
    const std::size_t field = text->size();
    if (null) continue;  // an empty field
    ascii_cell(line, cells_[i].column, text, messages, every_field_, numbers());
    finish_field(*text, field, every_field_ && cells_[i].column.type == 'A');
  }
  if (text != nullptr) end_record(*text, line_start);
}

void row_formatter::format_image(const unsigned char* row, text_buffer& text) const {
  const std::size_t line_start = text.size();
  // In CSV the comma after each value parts the fields, and the last one
  // goes.
  const char separator = form_.csv ? ',' : ' ';
  for (const pixel_rules& p : params_) {
    p.write(row, 1, text, numbers(), separator);
    row += p.bytes();
  }
  pixels_.write(row, per_line_, text, numbers(), separator);
  if (form_.csv && text.size() != line_start) text.resize_down(text.size() - 1);
  text.put('\n');
}

void row_formatter::cut_row_messages(const unsigned char* row, std::int64_t available, std::string& messages) const {
  // An ASCII row is read in one piece: a cut one is never looked at; an
  // image line says nothing.
  if (!binary()) return;
  for (int i : looked_at_) {
    const cell& c = cells_[static_cast<std::size_t>(i)];
    if (c.array) {
      // No heap arrives after a cut row: only what needs none is said.
      if (c.element == '\0') cell_messages(c.column.array_type, nullptr, 0, 0, messages);
      continue;
    }
    const std::int64_t have = available > c.offset ? available - c.offset : 0;
    cell_messages(c.column.type, row + (have > 0 ? c.offset : 0), c.column.count, have < c.bytes ? have : c.bytes,
                  messages);
  }
}

}  // namespace orvex::decoder
