#include "util/failure.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/console.h"
#include "util/output_file.h"

namespace orvex::failure {
namespace {

bool failed = false;
std::string current_input;
int current_part = 0;
bool current_part_cut = false;

}  // namespace

void note(std::string_view subject, std::string_view what) {
  // Formatted in full first so that the line reaches standard error in one
  // write, whatever the buffering of stderr.
  std::string line = "orvex: ";
  line.append(subject).append(": ").append(what).push_back('\n');
  std::fflush(console::out());
  util::flush_standard_output();
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void report(std::string_view subject, std::string_view what) {
  note(subject, what);
  failed = true;
}

void set_position(std::string_view input, int part_index) {
  current_input.assign(input);
  current_part = part_index;
  current_part_cut = false;
}

void report_in_part(std::string_view what) {
  std::string text = "part " + std::to_string(current_part) + ": ";
  text.append(what);
  report(current_input, text);
}

void note_in_part(std::string_view what) {
  note(current_input, "part " + std::to_string(current_part) + ": " + std::string(what));
}

void report_cut_in_part(std::string_view what) {
  report_in_part(what);
  current_part_cut = true;
}

void standard_output_failed(int err) {
  if (err != EPIPE) report("standard output", std::string("write failed: ") + std::strerror(err));
  failed = true;
  // _Exit, not exit: this may run inside the exit handler that flushes the
  // output, or on the thread that writes rows while others still format
  // them. Nothing is left to flush: standard output takes nothing more, and
  // standard error and the run log are written unbuffered.
  std::_Exit(1);
}

bool cut_in_part() { return current_part_cut; }

bool any() { return failed; }

void reset() {
  failed = false;
  current_input.clear();
  current_part = 0;
  current_part_cut = false;
}

}  // namespace orvex::failure
