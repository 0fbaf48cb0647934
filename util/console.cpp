#include "util/console.h"

#include <unistd.h>

namespace orvex::console {
namespace {

bool to_stderr = false;
// isatty() of out(), asked once per stream: -1 until then.
int terminal = -1;

}  // namespace

std::FILE* out() { return to_stderr ? stderr : stdout; }

void messages_to_stderr() {
  to_stderr = true;
  terminal = -1;
}

void reset() {
  to_stderr = false;
  terminal = -1;
}

bool is_terminal() {
  if (terminal < 0) terminal = ::isatty(::fileno(out())) != 0 ? 1 : 0;
  return terminal == 1;
}

}  // namespace orvex::console
