// Where the run's own messages go: the filename lines, the OBJECT and
// Object reports, the warnings, the progress figures and the debug echoes.
// They go to standard output, unless standard output carries the parts'
// text (-o -): then they go to standard error, so that standard output
// carries data only. Usage, help and the version banner are not messages
// of a run and always go to standard output; failures always go to
// standard error (util/failure.h).
#pragma once

#include <cstdio>

namespace orvex::console {

// The stream the run's messages are written to: stdout, or stderr once
// messages_to_stderr() has been called.
std::FILE* out();

// Sends every later message to standard error.
void messages_to_stderr();

// Back to standard output (for tests, which run many command lines in one
// process).
void reset();

// Whether out() is a terminal, where each progress figure must be seen
// when it is printed rather than at the next line end.
bool is_terminal();

}  // namespace orvex::console
