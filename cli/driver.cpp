#include "cli/driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/checksums.h"
#include "cli/column_scan.h"
#include "cli/listing.h"
#include "cli/options.h"
#include "cli/run_log.h"
#include "decoder/decode.h"
#include "decoder/image_lines.h"
#include "decoder/name_check.h"
#include "decoder/row_output.h"
#include "fits/card_value.h"
#include "fits/data_unit.h"
#include "fits/header_names.h"
#include "fits/image_values.h"
#include "image/random_groups.h"
#include "fits/stream.h"
#include "util/compat.h"
#include "select/chosen.h"
#include "util/console.h"
#include "util/failure.h"
#include "util/mypath.h"
#include "util/output_file.h"
#include "util/settings.h"

namespace orvex::cli {
namespace {

using fits::card_buffer;
using fits::card_size;

// The primary header values that decide the image dump; -1 until a card
// sets them. They start afresh with every input file, so that one file's
// header never drives another file's image.
struct primary_values {
  std::int32_t bitpix = -1;
  std::int32_t naxis = -1;
  std::int32_t naxis1 = -1;
  std::int32_t naxis2 = -1;
  // The primary data unit's size, read from the same cards beside them,
  // and the image's BSCALE, BZERO and BLANK for --full.
  fits::data_unit unit{fits::data_unit::header_kind::primary};
  fits::image_values image;
  image::group_keywords groups;
  fits::checksum_cards sums;
};

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The value offset of a card that begins with a keyword directly followed
// by a run of blanks and equals signs ("KEY%[ =]%n"); -1 when it does not.
int value_offset(const char* card, const char* pattern) {
  char run[card_size + 1];
  int offset = -1;
  if (std::sscanf(card, pattern, run, &offset) < 1) return -1;
  return offset;
}

void scan_primary_card(const char* card, primary_values& v) {
  struct numeric_keyword {
    const char* pattern;
    std::int32_t primary_values::*field;
    const char* echo;
  };
  static constexpr numeric_keyword keywords[] = {
      {"NAXIS%80[ =]%n", &primary_values::naxis, "NAXIS,"},
      {"NAXIS1%80[ =]%n", &primary_values::naxis1, "NAXIS1,"},
      {"NAXIS2%80[ =]%n", &primary_values::naxis2, "NAXIS2,"},
      {"BITPIX%80[ =]%n", &primary_values::bitpix, "BITPIX,"},
  };
  for (const numeric_keyword& k : keywords) {
    int offset = value_offset(card, k.pattern);
    if (offset < 0) continue;
    fits::scan_long(card + offset, v.*k.field);
    if (debug != 0) std::fputs(k.echo, console::out());
    return;
  }
  int offset = value_offset(card, "OBJECT%80[ =]'%n");
  if (offset >= 0) {
    char name[9] = {};
    std::sscanf(card + offset, "%8[^']", name);
    std::fprintf(console::out(), "OBJECT = %s\n", name);
  }
}

// Returns false when the stream ends before the END card.
bool read_primary_header(fits::stream& in, util::output_file* out, primary_values& v) {
  card_buffer card;
  while (fits::read_card(in, card) > 0) {
    if (out != nullptr && no_comments == 0) out->write_comment(card.data());
    v.unit.observe(card.data());
    v.image.observe(card.data());
    v.groups.observe(card.data());
    v.sums.observe(card.data());
    if (starts_with(card.data(), "END")) return true;
    scan_primary_card(card.data(), v);
  }
  return false;
}

// One text line per image row, each value followed by one blank. Rows that
// the stream does not deliver in full are not written.
void dump_image(fits::stream& in, util::output_file* out, const primary_values& v) {
  const std::int32_t width = v.naxis1;
  const std::int32_t rows = v.naxis2;
  if (rows == 0) return;
  const std::int64_t step = rows / 100 + 1;
  std::int64_t written = 0;
  if (out == nullptr) {
    // Nothing is read; only the progress figures are due.
    for (std::int64_t r = 0; r < rows; r += step) decoder::print_progress(r, rows, '\r');
    written = rows < 0 ? 0 : rows;
  } else {
    // A line is formatted straight into the output buffer and committed
    // only once the stream has delivered all of it; a line longer than the
    // buffer goes through a scratch string instead.
    constexpr std::int64_t value_text = 7;  // "-32768 "
    const std::int64_t line_bound = std::int64_t{width < 0 ? 0 : width} * value_text + 1;
    const bool in_place = line_bound <= static_cast<std::int64_t>(util::output_file::buffer_size);
    std::string scratch;
    bool truncated = false;
    for (std::int64_t r = 0; r < rows && !truncated; ++r) {
      const std::int64_t missing = in.missing();
      char* line = in_place ? out->reserve(static_cast<std::size_t>(line_bound)) : nullptr;
      if (line == nullptr) {
        scratch.clear();
        char text[value_text + 1];
        for (std::int32_t i = 0; i < width && in.missing() == missing; ++i) {
          char* end = std::to_chars(text, text + sizeof text, fits::freadshort(in)).ptr;
          *end++ = ' ';
          scratch.append(text, end);
        }
        scratch.push_back('\n');
        truncated = in.missing() != missing;
        if (!truncated) out->write(scratch);
      } else {
        char* p = line;
        for (std::int32_t i = 0; i < width; ++i) {
          p = std::to_chars(p, p + value_text, fits::freadshort(in)).ptr;
          *p++ = ' ';
        }
        *p++ = '\n';
        truncated = in.missing() != missing;
        if (!truncated) out->commit(p);
      }
      if (truncated) break;
      ++written;
      if (r % step == 0) decoder::print_progress(r, rows, '\r');
    }
    if (truncated) {
      decoder::print_progress(written, rows, '\n');
      decoder::report_truncated_image(written, rows);
      return;
    }
  }
  decoder::print_progress(written, rows, '\n');
}

bool create_output(util::output_file& out, const std::string& path, const char* input, const input_set& inputs,
                   output_owners& owners) {
  if (inputs.contains(path.c_str())) {
    failure::report(path, "not written: it is an input file of this run");
    return false;
  }
  if (!out.create(path.c_str())) {
    failure::report(path, std::string("cannot create: ") + std::strerror(errno));
    return false;
  }
  if (std::optional<std::string> earlier = owners.claim(path, input)) {
    failure::report(path, "replaces the output of " + *earlier);
  }
  return true;
}

// Gives `out` to part `index` of `input`: standard output under -o -
// (where no input can be overwritten and no name is shared), a CSV file
// that is created with the part's first byte, or the part's file now.
bool open_output(util::output_file& out, const char* input, int index, const input_set& inputs,
                 output_owners& owners) {
  if (to_stdout != 0) {
    out.use_stdout();
    return true;
  }
  if (csv != 0) {
    // The primary unit holds no table; an extension's writer says whether
    // its part is an image before the first byte.
    out.create_on_first_write([&out, input, index, &inputs, &owners] {
      const std::string path = part_file_path(input, index, index != 0 && !out.holds_image());
      return create_output(out, path, input, inputs, owners);
    });
    return true;
  }
  return create_output(out, part_file_path(input, index), input, inputs, owners);
}

void close_output(util::output_file& out) {
  if (!out.is_open()) return;
  std::string path = out.path();
  if (int err = out.close(); err != 0) failure::report(path, std::string("write failed: ") + std::strerror(err));
}

bool part_selected(int index) { return (part == -1 || part == index + 1) && select::parts.selects_number(index); }

// Whether the extension whose XTENSION card was just read is selected by
// its EXTNAME and EXTVER. Its header is looked at in the stream ahead,
// block by block, without consuming it. A header that does not end within
// the stream's buffer (thousands of cards) is judged by the cards there:
// writers put EXTNAME near the top, and a second EXTNAME further down,
// which would replace the first, is not seen.
bool selected_by_name(fits::stream& in) {
  if (!select::parts.has_names()) return false;
  for (int bytes = fits::block_size;; bytes += fits::block_size) {
    if (bytes > fits::stream::buffer_size) bytes = fits::stream::buffer_size;
    const std::string_view ahead = in.peek(bytes);
    const bool all_there = static_cast<int>(ahead.size()) == fits::stream::buffer_size;
    if (std::optional<fits::header_names> names = fits::names_of_header(ahead, all_there)) {
      return select::parts.selects_name(names->extname, names->extver);
    }
    if (static_cast<int>(ahead.size()) < bytes) return false;
  }
}

// -o DIR: the folder must be there before anything is decoded.
bool output_folder_usable() {
  if (to_stdout != 0 || !output_dir) return true;
  struct stat st {};
  int err = ::stat(output_dir->c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (err == 0) return true;
  failure::report(*output_dir, std::string("cannot use as output folder: ") + std::strerror(err));
  return false;
}

// The last part found in a stream is the only one whose data unit the end
// of the stream can cut: every earlier one was followed by the XTENSION
// card of the next. Its rows, image lines and header say for themselves
// when they were cut, and a read error has its own message; what is left
// is reported here: a heap after whole rows, an image that is not dumped,
// an extension that is not a table. Missing padding after a whole data
// unit is no loss.
void check_last_data_unit(const fits::stream& in, const fits::data_span& span, bool written) {
  if (!written || !span.size || in.failed() || failure::cut_in_part()) return;
  const std::int64_t got = fits::delivered_bytes(span.start, *span.size, fits::_fpos);
  if (got != *span.size) report_data_unit_cut(got, *span.size);
}

}  // namespace

input_set::input_set(char* const* paths, int count) {
  for (int i = 0; i < count; ++i) {
    struct stat st {};
    if (is_stdin(paths[i])) {
      // An output must not truncate the file that standard input reads.
      if (::fstat(STDIN_FILENO, &st) == 0) ids_.emplace_back(st.st_dev, st.st_ino);
    } else if (::stat(paths[i], &st) == 0) {
      ids_.emplace_back(st.st_dev, st.st_ino);
    } else {
      absent_.emplace_back(paths[i]);
    }
  }
}

bool input_set::contains(const char* path) const {
  struct stat st {};
  if (::stat(path, &st) != 0) return false;
  for (const auto& [dev, ino] : ids_) {
    if (dev == st.st_dev && ino == st.st_ino) return true;
  }
  // "orvex a.fits a.000": a.000 exists only once a.fits has been decoded,
  // and decoding it must not then truncate it.
  for (const std::string& input : absent_) {
    struct stat now {};
    if (::stat(input.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) return true;
  }
  return false;
}

std::optional<std::string> output_owners::claim(const std::string& output, const char* input) {
  auto [at, added] = owners_.try_emplace(output, input);
  if (added) return std::nullopt;
  std::string earlier = std::move(at->second);
  at->second = input;
  return earlier;
}

void check_fits_signature(fits::stream& in, const char* path) {
  constexpr std::string_view simple = "SIMPLE  ";
  const std::string_view head = in.peek(static_cast<int>(simple.size()));
  if (head == simple) return;
  if (in.failed() && simple.starts_with(head)) return;
  failure::report(path, "not a FITS file: it does not begin with SIMPLE");
}

bool is_stdin(const char* path) { return std::strcmp(path, "-") == 0; }

std::string output_path(const char* path, int index) {
  char drive[util::drive_buffer_size], dir[util::directory_buffer_size], name[util::name_buffer_size], ext[util::extension_buffer_size];
  util::explode_path(is_stdin(path) ? "stdin" : path, drive, dir, name, ext);
  if (whole_name != 0 && !is_stdin(path)) {
    // --whole-name: obs.pi and obs.arf give obs.pi.000 and obs.arf.000,
    // not two obs.000.
    util::strlcat(name, ext, sizeof name);
  }
  char number[16];
  std::snprintf(number, sizeof number, "%03d", index);
  char result[util::combined_buffer_size];
  util::combine_path(result, "", "", name, number);
  return result;
}

std::string part_file_path(const char* path, int index, bool table) {
  std::string file = output_path(path, index);
  if (csv != 0) file += ecsv != 0 && table ? ".ecsv" : ".csv";
  if (!output_dir) return file;
  return output_dir->ends_with('/') ? *output_dir + file : *output_dir + "/" + file;
}

// --where names a column that no table of the input holds: the
// input is not decoded, since none of its rows could be filtered as asked.
// Standard input cannot be read twice, and a pass over the headers cannot
// always tell: the tables decoded are checked too, and the names none of
// them held are reported at the input's end.
// Sets `checked` when the pass could tell.
bool where_names_missing(const char* path, bool& checked) {
  checked = false;
  if (!select::where || is_stdin(path)) return false;
  const std::optional<std::vector<std::string>> missing = names_in_no_table(path, select::where->column_names);
  if (!missing) return false;
  checked = true;
  for (const std::string& name : *missing) failure::report(path, "--where: no table has the column " + name);
  return !missing->empty();
}

bool process_file(const char* path, const input_set& inputs, output_owners& owners) {
  std::fprintf(console::out(), "         filename:%s\n", path);
  bool names_checked = false;
  if (where_names_missing(path, names_checked)) return true;
  fits::stream in;
  if (!open_input(in, path)) return false;
  // The running sum where the part in hand began, for its CHECKSUM.
  std::optional<std::uint32_t> part_start_sum = in.sum_at(0);
  select::start_input();
  check_fits_signature(in, path);

  util::output_file out;
  select::parts.start_input();
  failure::set_position(path, 0);
  util::output_file* primary = nullptr;
  // A CSV file holds a table, or under --full an image: the primary unit
  // has no table, and no image is written as CSV without --full.
  if (part_selected(0) && (csv == 0 || full != 0) && open_output(out, path, 0, inputs, owners)) primary = &out;

  primary_values values;
  // The data unit of the last part found, and whether that part is written.
  fits::data_span span;
  bool written = primary != nullptr;
  // A header cut short (a truncated download) loses cards of the part;
  // a read error says so itself, in its own message at the end.
  if (read_primary_header(in, primary, values)) {
    span = {fits::next_boundary(fits::_fpos), values.unit.size(), values.sums, std::nullopt};
    fits::watch_data_unit(in, span, primary != nullptr);
  } else if (primary != nullptr && !in.failed()) {
    failure::report_cut_in_part("the stream ends inside the header");
  }

  // The look-ahead card. When the END card closed its block, the next 80
  // bytes are either the first extension's XTENSION card or the first bytes
  // of the primary data, which must stay unread so that the image dump
  // starts at the data's first byte.
  card_buffer card;
  card.fill('\0');
  bool extension_found = false;
  if (fits::_fpos % fits::block_size == 0) {
    std::string_view next = in.peek(card_size);
    if (next.substr(0, 8) == "XTENSION") extension_found = fits::read_card(in, card) > 0;
  } else if (fits::read_card(in, card) > 0) {
    extension_found = starts_with(card.data(), "XTENSION");
  }
  if (!extension_found) {
    fits::realign(in);
    // Under --full random groups and every image that its header declares
    // by the FITS rules are written; images without a pixel and headers
    // whose axis cards break those rules keep the default.
    const decoder::image_layout declared = decoder::layout_of(values.unit, values.image);
    const decoder::image_layout image = full != 0 ? declared : decoder::image_layout{};
    const bool dumped = values.bitpix == 16 && values.naxis == 2 && values.naxis1 != -1 && values.naxis2 != -1;
    if (full != 0 && image::writable_groups(values.unit, values.groups)) {
      image::write_groups(in, primary, values.unit, values.image, values.groups);
      fits::realign(in);
    } else if (image.what != decoder::image_layout::kind::none) {
      decoder::write_image(in, primary, image);
      fits::realign(in);
    } else if (dumped) {
      dump_image(in, csv == 0 ? primary : nullptr, values);
      fits::realign(in);
    }
    if (full == 0 && !dumped && part_selected(0)) decoder::note_image_left_out(declared, values.unit);
  }

  int parts = 1;
  decoder::start_name_check();
  for (int index = 1;; ++index) {
    if (!extension_found && !fits::next_extension(in, card)) break;
    // The stream has passed the end of the part before, if it holds it.
    if (written) report_checksums(check_part(in, part_start_sum, span));
    part_start_sum = in.sum_at(fits::_fpos - fits::card_size);
    parts = index + 1;
    extension_found = false;
    close_output(out);
    util::output_file* file = nullptr;
    failure::set_position(path, index);
    // Both tests run: a name that selects the part is found by it.
    const bool by_name = selected_by_name(in);
    if ((part_selected(index) || by_name) && open_output(out, path, index, inputs, owners)) {
      file = &out;
      if (no_comments == 0) out.write_comment(card.data());
    }
    decoder::decode(in, file, &span, card.data());
    written = file != nullptr;
    fits::realign(in);
    card.fill('\0');
  }

  check_last_data_unit(in, span, written);
  if (written) report_checksums(check_part(in, part_start_sum, span));
  close_output(out);
  if (part != -1 && (part < 1 || part > parts)) failure::report(path, "no part " + std::to_string(part - 1));
  for (const std::string& name : decoder::names_no_table_has()) {
    failure::report(path, "--col-name: no table has the column " + name);
  }
  for (const std::string& name : select::parts.names_not_found()) failure::report(path, "no part named " + name);
  if (!names_checked) {
    for (const std::string& name : select::where_names_not_seen()) {
      failure::report(path, "--where: no table has the column " + name);
    }
  }
  if (in.failed()) failure::report(path, "read error: " + in.error());
  in.close();
  return true;
}

bool open_input(fits::stream& in, const char* path) {
  errno = 0;
  bool opened = false;
  struct stat st {};
  if (is_stdin(path)) {
    opened = in.open_stdin();
  } else if (::stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
    // zlib opens a folder and fails only on the first read.
    errno = EISDIR;
  } else {
    opened = in.open(path);
  }
  if (!opened) failure::report(path, std::string("cannot open: ") + std::strerror(errno != 0 ? errno : ENOENT));
  return opened;
}

void report_data_unit_cut(std::int64_t got, std::int64_t size) {
  failure::report_cut_in_part("the stream ends inside the data unit: " + std::to_string(got) + " of " +
                              std::to_string(size) + " bytes");
}

int run_files(int argc, char** argv, int first) {
  if (first >= argc) usage(argv[0], 0);
  if (to_stdout != 0 || list_parts != 0) {
    // A reader that goes away (`| head`) is seen as EPIPE on a write, and
    // ends the run quietly, instead of killing it with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
  }
  if (list_parts != 0) {
    logfile(argc, argv);
    return list_files(argv + first, argc - first);
  }
  if (to_stdout != 0) console::messages_to_stderr();
  if (!output_folder_usable()) return 1;
  select::install_row_choice();
  logfile(argc, argv);
  const input_set inputs(argv + first, argc - first);
  output_owners owners;
  for (int i = first; i < argc; ++i) {
    if (!process_file(argv[i], inputs, owners)) return 1;
  }
  return failure::any() ? 1 : 0;
}

}  // namespace orvex::cli
