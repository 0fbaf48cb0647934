#include "tests/run_orvex.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "tests/fits_builder.h"

extern char** environ;

namespace orvex::test {

namespace {

namespace fs = std::filesystem;

constexpr mode_t read_only_mode = 0555;
constexpr mode_t normal_mode = 0755;

std::runtime_error system_error(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Removes CAP_DAC_OVERRIDE, with which root writes into any folder whatever
// its mode, from this process and from what an exec hands on: the bounding
// set decides what a root process regains at exec, so it is dropped there
// too. Only async-signal-safe calls: this runs between fork and exec.
// Returns 0 or the errno of the failing call.
int drop_dac_override() {
  if (geteuid() != 0) return 0;
  if (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0) return errno;
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return errno;
  const unsigned mask = ~(1u << CAP_DAC_OVERRIDE);  // CAP_DAC_OVERRIDE < 32
  data[0].effective &= mask;
  data[0].permitted &= mask;
  data[0].inheritable &= mask;
  if (syscall(SYS_capset, &header, data) != 0) return errno;
  return 0;
}

// Everything the child needs, prepared before fork so that the child only
// makes system calls.
struct child_plan {
  std::vector<std::string> argv_words;
  std::vector<std::string> env_words;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

child_plan make_plan(const run_options& options) {
  child_plan plan;
  plan.argv_words.push_back(options.argv0);
  plan.argv_words.insert(plan.argv_words.end(), options.args.begin(), options.args.end());

  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view word(*e);
    const auto eq = word.find('=');
    if (eq != std::string_view::npos) env[std::string(word.substr(0, eq))] = word.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  for (const auto& [name, value] : env) plan.env_words.push_back(name + "=" + value);

  for (std::string& w : plan.argv_words) plan.argv.push_back(w.data());
  plan.argv.push_back(nullptr);
  for (std::string& w : plan.env_words) plan.envp.push_back(w.data());
  plan.envp.push_back(nullptr);
  return plan;
}

// What went wrong in the child before exec, sent back through a pipe that
// exec closes.
struct child_failure {
  int stage;
  int error;
};
constexpr const char* child_stages[] = {"dup2", "chdir", "setrlimit", "dropping CAP_DAC_OVERRIDE",
                                        "execve", "opening stdout_path"};

[[noreturn]] void fail_in_child(int report_fd, int stage) {
  const child_failure f{stage, errno};
  [[maybe_unused]] auto n = write(report_fd, &f, sizeof f);
  _exit(127);
}

[[noreturn]] void run_child(const run_options& options, const child_plan& plan,
                            const std::string& folder, int in_fd, int out_fd, int err_fd,
                            int report_fd) {
  // The harness ignores SIGPIPE for itself; orvex starts as from a shell.
  signal(SIGPIPE, SIG_DFL);
  if (!options.stdout_path.empty() && (out_fd = open(options.stdout_path.c_str(), O_WRONLY)) < 0) {
    fail_in_child(report_fd, 5);
  }
  if (dup2(in_fd, STDIN_FILENO) < 0 || dup2(out_fd, STDOUT_FILENO) < 0 ||
      dup2(err_fd, STDERR_FILENO) < 0) {
    fail_in_child(report_fd, 0);
  }
  if (chdir(folder.c_str()) != 0) fail_in_child(report_fd, 1);
  for (const resource_limit& l : options.limits) {
    const rlimit value{l.value, l.value};
    if (setrlimit(l.resource, &value) != 0) fail_in_child(report_fd, 2);
    if (l.resource == RLIMIT_FSIZE) signal(SIGXFSZ, SIG_IGN);
  }
  if (options.read_only_folder) {
    if (const int e = drop_dac_override(); e != 0) {
      errno = e;
      fail_in_child(report_fd, 3);
    }
  }
  execve(ORVEX_BINARY, plan.argv.data(), plan.envp.data());
  fail_in_child(report_fd, 4);
}

// Reads standard output and standard error together until both are closed,
// so that neither pipe fills while the other is waited on, and writes
// standard input (`in_fd`, non-blocking, -1 when there is none) meanwhile.
// Kills the child when the deadline passes.
void collect_output(pid_t pid, int out_fd, int err_fd, int in_fd, const run_options& options, run_result& r) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  pollfd fds[3]{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {in_fd, POLLOUT, 0}};
  std::string* sinks[2]{&r.out, &r.err};
  std::string_view to_write = options.stdin_bytes ? std::string_view(*options.stdin_bytes) : std::string_view{};
  int open_fds = 2;
  char chunk[65536];
  while (open_fds > 0) {
    int wait_ms = -1;
    if (!r.timed_out) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait_ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }
    const int ready = poll(fds, 3, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw system_error("poll");
    }
    if (ready == 0) {
      kill(pid, SIGKILL);
      r.timed_out = true;
      continue;
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t n = write(fds[2].fd, to_write.data(), to_write.size());
      if (n > 0) to_write.remove_prefix(static_cast<std::size_t>(n));
      if (to_write.empty() || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) sinks[i]->append(chunk, static_cast<std::size_t>(n));
      const bool reader_gone = i == 0 && options.stdout_limit && r.out.size() >= *options.stdout_limit;
      if (reader_gone || n == 0 || (n < 0 && errno != EINTR)) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
}

file_map read_folder(const fs::path& folder) {
  file_map files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[entry.path().lexically_relative(folder).generic_string()] = read_file(entry.path());
    }
  }
  return files;
}

bool keep_folders() {
  const char* keep = std::getenv("ORVEX_KEEP_TEST_DIRS");
  return keep != nullptr && *keep != '\0';
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::size_t len = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, len));
    text.remove_prefix(len);
  }
  return lines;
}

// The first difference of two texts, by line and column.
std::string first_difference(std::string_view actual, std::string_view expected) {
  const auto a = split_lines(actual);
  const auto e = split_lines(expected);
  std::size_t line = 0;
  while (line < a.size() && line < e.size() && a[line] == e[line]) ++line;
  std::ostringstream msg;
  msg << " (" << actual.size() << " bytes, expected " << expected.size() << ") first differs at line "
      << line + 1;
  const std::string_view al = line < a.size() ? a[line] : std::string_view{};
  const std::string_view el = line < e.size() ? e[line] : std::string_view{};
  std::size_t col = 0;
  while (col < al.size() && col < el.size() && al[col] == el[col]) ++col;
  msg << ", column " << col + 1 << ":\n";
  // Long lines (table rows) are shown around the difference.
  constexpr std::size_t context = 60;
  constexpr std::size_t shown = 200;
  const std::size_t from = col > context ? col - context : 0;
  const char* lead = from > 0 ? "..." : "";
  msg << "    expected: " << (line < e.size() ? lead + visible(el.substr(std::min(from, el.size()), shown))
                                                 : "<end of file>")
      << "\n    actual:   "
      << (line < a.size() ? lead + visible(al.substr(std::min(from, al.size()), shown))
                          : "<end of file>")
      << "\n";
  return msg.str();
}

bool digits_at(std::string_view s, std::size_t pos, std::size_t n, int low, int high, int& value) {
  value = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return value >= low && value <= high;
}

}  // namespace

temp_folder::temp_folder() {
  std::string pattern = (fs::temp_directory_path() / "orvex-run-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw system_error("mkdtemp " + pattern);
  path_ = pattern;
}

temp_folder::temp_folder(temp_folder&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

temp_folder::~temp_folder() {
  if (path_.empty()) return;
  chmod(path_.c_str(), normal_mode);
  if (::testing::Test::HasFailure() || keep_folders()) {
    std::cerr << "orvex test folder kept: " << path_.string() << "\n";
    return;
  }
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

file_map run_result::outputs() const {
  file_map written;
  for (const auto& [name, bytes] : files) {
    const auto input = inputs.find(name);
    if (input == inputs.end() || input->second != bytes) written[name] = bytes;
  }
  return written;
}

std::string run_result::describe() const {
  std::ostringstream s;
  if (timed_out) {
    s << "timed out";
  } else if (exited) {
    s << "exit " << exit_code;
  } else {
    s << "signal " << term_signal;
  }
  // Escaped, but still broken into lines where the program ended them.
  auto lines = [](std::string_view text) {
    std::string shown;
    for (std::string_view line : split_lines(text)) {
      shown += visible(line);
      if (line.ends_with('\n')) shown += '\n';
    }
    return shown;
  };
  s << "\n--- standard output ---\n" << lines(out) << "\n--- standard error ---\n" << lines(err)
    << "\n--- folder " << folder.path().string() << " ---\n";
  return s.str();
}

run_result run_orvex(const run_options& options) {
  run_result r;
  const fs::path& folder = r.folder.path();
  for (const std::string& name : options.folders) fs::create_directories(folder / name);
  for (const auto& [name, bytes] : options.inputs) write_file(folder / name, bytes);
  r.inputs = options.inputs;
  if (options.read_only_folder && chmod(folder.c_str(), read_only_mode) != 0) {
    throw system_error("chmod " + folder.string());
  }

  const child_plan plan = make_plan(options);
  const std::string folder_name = folder.string();
  int in_pipe[2] = {-1, -1}, out_pipe[2], err_pipe[2], report_pipe[2];
  if (options.stdin_bytes) {
    if (pipe2(in_pipe, O_CLOEXEC) != 0) throw system_error("stdin pipe for the child");
    fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);  // a child that reads no input must not end the harness
  } else if ((in_pipe[0] = open("/dev/null", O_RDONLY | O_CLOEXEC)) < 0) {
    throw system_error("/dev/null");
  }
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0 ||
      pipe2(report_pipe, O_CLOEXEC) != 0) {
    throw system_error("pipes for the child");
  }

  r.started = std::time(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw system_error("fork");
  if (pid == 0) {
    run_child(options, plan, folder_name, in_pipe[0], out_pipe[1], err_pipe[1], report_pipe[1]);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(report_pipe[1]);

  collect_output(pid, out_pipe[0], err_pipe[0], in_pipe[1], options, r);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw system_error("waitpid");
  }
  r.finished = std::time(nullptr);

  child_failure failure{};
  const ssize_t reported = read(report_pipe[0], &failure, sizeof failure);
  close(report_pipe[0]);
  if (reported == static_cast<ssize_t>(sizeof failure)) {
    errno = failure.error;
    throw system_error(std::string("starting ") + ORVEX_BINARY + ": " +
                       child_stages[failure.stage]);
  }

  if (WIFEXITED(status)) {
    r.exited = true;
    r.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.term_signal = WTERMSIG(status);
  }
  chmod(folder.c_str(), normal_mode);
  r.files = read_folder(folder);
  return r;
}

bool unwritable_folder_supported() {
  static const bool supported = [] {
    temp_folder probe;
    if (chmod(probe.path().c_str(), read_only_mode) != 0) return false;
    const std::string file = (probe.path() / "probe").string();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      if (drop_dac_override() != 0) _exit(2);
      const int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0644);
      _exit(fd < 0 && errno == EACCES ? 0 : 1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return supported;
}

::testing::AssertionResult same_files(const file_map& actual, const file_map& expected) {
  std::ostringstream msg;
  for (const auto& [name, bytes] : expected) {
    const auto a = actual.find(name);
    if (a == actual.end()) {
      msg << "missing file " << name << "\n";
    } else if (a->second != bytes) {
      msg << "file " << name << first_difference(a->second, bytes);
    }
  }
  for (const auto& [name, bytes] : actual) {
    if (!expected.contains(name)) {
      msg << "unexpected file " << name << " (" << bytes.size() << " bytes): "
          << visible(std::string_view(bytes).substr(0, 200)) << "\n";
    }
  }
  const std::string problems = msg.str();
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problems;
}

::testing::AssertionResult strip_log_time_stamps(
    std::string& text, std::optional<std::pair<std::time_t, std::time_t>> window) {
  constexpr std::size_t stamp_size = 19;  // "YYYY-MM-DD HH:MM:SS"
  std::string stripped;
  int number = 0;
  for (std::string_view line : split_lines(text)) {
    ++number;
    auto bad = [&](const char* why) {
      return ::testing::AssertionFailure()
             << "logfile line " << number << " " << why << ": " << visible(line);
    };
    if (!line.ends_with('\n')) return bad("has no line end");
    if (line.size() < stamp_size + 2 || line[stamp_size] != ' ') {
      return bad("is not a time stamp, a blank and the command words");
    }
    std::tm t{};
    const bool shape_ok = line[4] == '-' && line[7] == '-' && line[10] == ' ' && line[13] == ':' &&
                          line[16] == ':' && digits_at(line, 0, 4, 1970, 9999, t.tm_year) &&
                          digits_at(line, 5, 2, 1, 12, t.tm_mon) &&
                          digits_at(line, 8, 2, 1, 31, t.tm_mday) &&
                          digits_at(line, 11, 2, 0, 23, t.tm_hour) &&
                          digits_at(line, 14, 2, 0, 59, t.tm_min) &&
                          digits_at(line, 17, 2, 0, 60, t.tm_sec);
    if (!shape_ok) return bad("does not start with a time stamp YYYY-MM-DD HH:MM:SS");
    if (window) {
      t.tm_year -= 1900;
      t.tm_mon -= 1;
      t.tm_isdst = -1;
      const std::time_t stamp = std::mktime(&t);
      if (stamp < window->first - 1 || stamp > window->second + 1) {
        return bad("has a local time outside the run");
      }
    }
    stripped += line.substr(stamp_size);
  }
  text = stripped;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult strip_log_time_stamps(file_map& files, const run_result& run) {
  const auto log = files.find("logfile");
  if (log == files.end()) return ::testing::AssertionSuccess();
  const auto given = run.inputs.find("logfile");
  const std::string before = given == run.inputs.end() ? std::string{} : given->second;
  if (!log->second.starts_with(before)) {
    return ::testing::AssertionFailure() << "the logfile lost what it held before the run:"
                                         << first_difference(log->second, before);
  }
  std::string added = log->second.substr(before.size());
  auto checked = strip_log_time_stamps(added, std::pair{run.started, run.finished});
  if (!checked) return checked;
  log->second = before + added;
  return ::testing::AssertionSuccess();
}

std::string visible(std::string_view text) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : text) {
    switch (c) {
      case '\n': s += "\\n"; break;
      case '\r': s += "\\r"; break;
      case '\t': s += "\\t"; break;
      case '\\': s += "\\\\"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          s += "\\x";
          s += digits[c >> 4];
          s += digits[c & 0xF];
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  return s;
}

}  // namespace orvex::test
