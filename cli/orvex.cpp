// orvex: decodes FITS files, plain or gzip-compressed, into text files, one
// per header-and-data unit, in the current folder.
#include <csignal>
#include <cstdio>

#include "cli/driver.h"
#include "cli/options.h"
#include "util/settings.h"
#include "util/stop_signals.h"

int main(int argc, char** argv) {
  orvex::myvec.clear();
  std::signal(SIGFPE, orvex::cli::MyHandler);
  orvex::util::install_stop_handlers();
  int first = orvex::cli::parse_options(argc, argv);
  int status = orvex::cli::run_files(argc, argv, first);
  std::fflush(stdout);
  return status;
}
