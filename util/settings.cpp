#include "util/settings.h"

namespace orvex {

int debug = 0;
int header = 0;
int no_comments = 0;
int quiet = 0;
int part = -1;
int flag_all = 1;
int rosat = 0;
int chandra = 0;
int threads = 0;
int full = 0;
std::optional<std::string> output_dir;
int to_stdout = 0;
int exact = 0;
int csv = 0;
int ecsv = 0;
int list_parts = 0;
std::optional<std::string> null_text;
std::vector<std::string> myvec;
std::vector<std::string> col_name_list;
int no_logfile = 0;
int whole_name = 0;
volatile std::sig_atomic_t signal_count = 0;

void reset_settings() {
  debug = header = no_comments = quiet = 0;
  part = -1;
  flag_all = 1;
  rosat = chandra = 0;
  threads = 0;
  full = 0;
  output_dir.reset();
  to_stdout = exact = csv = ecsv = list_parts = 0;
  null_text.reset();
  myvec.clear();
  col_name_list.clear();
  no_logfile = whole_name = 0;
  signal_count = 0;
}

}  // namespace orvex
