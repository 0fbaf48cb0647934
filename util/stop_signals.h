// What a run does when it is told to stop (Ctrl-C, kill, a batch system's
// time limit): SIGINT, SIGTERM and SIGHUP remove the temporary file of the
// part being written, so that no half-written text is left under any name,
// and end the process at once with status 128 + the signal's number, as
// shells report a process ended by a signal. Every output that was complete
// before the signal has its final name already; the one in progress keeps
// whatever an earlier run left under its name.
//
// The handler only calls unlink() and _exit(), both safe in a signal
// handler, and may run on any thread of the process.
#pragma once

namespace orvex::util {

// Installs the handlers. Called once, by main, before anything is written.
void install_stop_handlers();

// The temporary file that a stop must remove: `path` (copied; at most
// PATH_MAX bytes, longer paths are not recorded), or none with nullptr.
// Called by the output file when it creates and renames its temporary file.
void set_file_to_remove(const char* path);

}  // namespace orvex::util
