#include "cli/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "util/settings.h"

namespace orvex::cli {

std::string log_line(std::time_t now, int argc, char** argv) {
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[30];
  std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::string line(stamp, n);
  for (int i = 0; i < argc; ++i) {
    const char* word = argv[i];
    bool quote = std::strpbrk(word, " ,*") != nullptr;
    line += quote ? " \"" : " ";
    line += word;
    if (quote) line += '"';
  }
  line += '\n';
  return line;
}

void logfile(int argc, char** argv) {
  if (no_logfile != 0) return;
  int fd = -1;
  for (int attempt = 0; attempt < log_open_attempts && fd < 0; ++attempt) {
    fd = ::open(log_name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    if (quiet == 0) std::fputs("No logfile entry", stderr);
    return;
  }
  std::string line = log_line(std::time(nullptr), argc, argv);
  // O_APPEND makes the one write land whole at the end of the file.
  ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

}  // namespace orvex::cli
