// The run log line: the local time stamp and the words of the command line,
// quoted when they hold a blank, a comma or an asterisk. Opening, appending
// and the "No logfile entry" message are covered end to end.
#include "cli/run_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {
namespace {

// Sets TZ for one test and puts the old value back.
class time_zone {
 public:
  explicit time_zone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~time_zone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

std::string line_for(std::time_t now, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  return log_line(now, static_cast<int>(argv.size()), argv.data());
}

TEST(log_line, time_stamp_is_local_time) {
  const struct {
    const char* tz;
    std::time_t now;
    const char* stamp;
  } cases[] = {
      {"UTC0", 0, "1970-01-01 00:00:00"},
      {"UTC0", 1700000000, "2023-11-14 22:13:20"},
      {"UTC0", 951782400, "2000-02-29 00:00:00"},
      {"UTC0", 4102444799, "2099-12-31 23:59:59"},
      {"EET-2", 0, "1970-01-01 02:00:00"},   // two hours east of UTC
      {"EST5", 0, "1969-12-31 19:00:00"},    // five hours west
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tz) + " at " + std::to_string(c.now));
    time_zone zone(c.tz);
    EXPECT_EQ(line_for(c.now, {"orvex"}), std::string(c.stamp) + " orvex\n");
  }
}

TEST(log_line, words_with_blank_comma_or_asterisk_are_quoted) {
  const struct {
    std::vector<std::string> words;
    const char* logged;  // after the time stamp
  } cases[] = {
      {{"orvex", "obs.fits"}, " orvex obs.fits\n"},
      {{"./orvex", "-d", "-p", "2", "a.fits", "b.fits"}, " ./orvex -d -p 2 a.fits b.fits\n"},
      {{"orvex", "--col-name=TIME,PHA", "obs.fits"}, " orvex \"--col-name=TIME,PHA\" obs.fits\n"},
      {{"orvex", "my obs.fits"}, " orvex \"my obs.fits\"\n"},
      {{"orvex", "*.fits"}, " orvex \"*.fits\"\n"},
      {{"orvex", ","}, " orvex \",\"\n"},
      {{"orvex", " "}, " orvex \" \"\n"},
      {{"orvex", "", "obs.fits"}, " orvex  obs.fits\n"},
      {{"orvex", ""}, " orvex \n"},
      {{"orvex", "say\"hi\""}, " orvex say\"hi\"\n"},
      {{"orvex", "a\"b c"}, " orvex \"a\"b c\"\n"},
      {{"orvex", "tab\there"}, " orvex tab\there\n"},
      {{"orvex", "semi;colon?"}, " orvex semi;colon?\n"},
      {{"C:\\Program Files\\orvex.exe", "x"}, " \"C:\\Program Files\\orvex.exe\" x\n"},
  };
  time_zone zone("UTC0");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    EXPECT_EQ(line_for(0, c.words), std::string("1970-01-01 00:00:00") + c.logged);
  }
}

}  // namespace
}  // namespace orvex::cli
