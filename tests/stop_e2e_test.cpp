// A run stopped by a signal while it writes a part: the part in progress
// leaves no text under any name (an earlier run's file of that name stays
// as it was, the temporary file is gone), the parts completed before the
// signal have their new text, and the status is 128 + the signal's number.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool has_temporary_file(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".orvex-")) return true;
  }
  return false;
}

TEST(StopE2E, SignalLeavesEarlierOutputAndNoTemporaryFile) {
  // The table declares far more rows than are sent: the run waits for the
  // rest on its standard input when the signal comes.
  // The rows sent are more than the reading buffer takes at once, so that
  // the table is being written while the run waits.
  big_endian rows;
  for (int i = 0; i < 1 << 20; ++i) rows.i32(i);
  const std::string sent = fits_builder{}
                               .empty_primary()
                               .bintable({{"TTYPE1", "'N'"}, {"TFORM1", "'1J'"}}, rows.bytes(), {.naxis2 = 100000000},
                                         {.pad_data = false})
                               .bytes();

  // A child that ends early must fail the test, not end it by SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    temp_folder folder;
    const fs::path dir = folder.path();
    std::ofstream(dir / "stdin.000") << "an earlier primary part\n";
    std::ofstream(dir / "stdin.001") << "an earlier table\n";

    int to_child[2];
    ASSERT_EQ(pipe(to_child), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(to_child[0], 0);
      close(to_child[0]);
      close(to_child[1]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      if (chdir(dir.c_str()) != 0) _exit(99);
      execl(ORVEX_BINARY, "orvex", "-", static_cast<char*>(nullptr));
      _exit(98);
    }
    close(to_child[0]);
    // Ends the child whatever way the test leaves this scope.
    struct child_guard {
      pid_t pid;
      int pipe;
      ~child_guard() {
        if (pid > 0) {
          kill(pid, SIGKILL);
          waitpid(pid, nullptr, 0);
        }
        close(pipe);
      }
    } child{pid, to_child[1]};
    ASSERT_EQ(write(to_child[1], sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));

    // The table's text is being written once its temporary file exists.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!has_temporary_file(dir) && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(has_temporary_file(dir)) << "no temporary file appeared";
    // The primary part is complete before the table starts.
    EXPECT_TRUE(read_file(dir / "stdin.000").starts_with("!SIMPLE"));
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    child.pid = 0;

    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_EQ(read_file(dir / "stdin.001"), "an earlier table\n");
    EXPECT_FALSE(has_temporary_file(dir));
  }
}

TEST(StopE2E, TemporaryFileOfAKilledRunIsLeftAlone) {
  // What a SIGKILL leaves behind is neither read nor removed by a later run,
  // which writes its own outputs beside it.
  const std::string fits = fits_builder{}.empty_primary().bytes();
  const run_result r = run_orvex({.args = {"a.fits"}, .inputs = {{"a.fits", fits}, {".orvex-Ab12Cd", "half a part"}}});
  ASSERT_EQ(r.exit_code, 0) << r.describe();
  ASSERT_TRUE(r.files.contains(".orvex-Ab12Cd"));
  EXPECT_EQ(r.files.at(".orvex-Ab12Cd"), "half a part");
  EXPECT_TRUE(r.files.contains("a.000"));
  EXPECT_EQ(r.files.size(), 4u) << r.describe();  // a.fits, the leftover, a.000, logfile
}

}  // namespace
}  // namespace orvex::test
