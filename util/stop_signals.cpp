#include "util/stop_signals.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include <atomic>

namespace orvex::util {
namespace {

// Two slots, so that a new path is written into the one the handler is not
// told to read; the handler reads the slot `current` names at the moment
// it runs.
char slots[2][PATH_MAX];
std::atomic<int> current{-1};

void on_stop(int sig) {
  const int slot = current.load();
  if (slot >= 0) unlink(slots[slot]);
  _exit(128 + sig);
}

}  // namespace

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the caller chose to ignore (nohup, a shell's background
    // job) stays ignored.
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
}

void set_file_to_remove(const char* path) {
  if (path == nullptr || std::strlen(path) >= PATH_MAX) {
    current.store(-1);
    return;
  }
  const int slot = current.load() == 0 ? 1 : 0;
  std::memcpy(slots[slot], path, std::strlen(path) + 1);
  current.store(slot);
}

}  // namespace orvex::util
