#pragma once
// Runs the kavro and qarnhost commands in a private folder as a user would (arguments, standard
// output and error in files), with a time limit, and checks that the input files of a test are
// byte for byte what they were before.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kavro::robustness {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Outcome {
  int status = -1;       // exit status; 128 + signal when killed; -1 when the time limit ended it
  std::string out, err;  // standard output and error
};

// What the caller does while the command runs (for example, sends it a signal); gets its pid.
using WhileRunning = std::function<void(pid_t)>;

class Workspace {
 public:
  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "kavro_robust_XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~Workspace() { fs::remove_all(dir_); }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  fs::path path(const std::string& name) const { return dir_ / name; }
  std::string read(const std::string& name) const { return slurp(path(name)); }
  bool exists(const std::string& name) const { return fs::exists(path(name)); }

  // An input file of the test: written now and checked by expectInputsUnchanged().
  void input(const std::string& name, const std::string& contents) {
    std::ofstream(path(name), std::ios::binary) << contents;
    inputs_[name] = contents;
  }
  void inputCopy(const std::string& name, const fs::path& from) { input(name, slurp(from)); }
  void expectInputsUnchanged() const {
    for (const auto& [name, contents] : inputs_) EXPECT_TRUE(read(name) == contents) << name << " was changed";
  }

  // Runs from now on get at most this much address space (ulimit -v); 0: no limit.
  void limitMemory(rlim_t bytes) { memoryLimit_ = bytes; }

  // Runs `program` with `args` in the folder; standard output goes to `stdoutPath` when given
  // (for example /dev/full), else to a file that Outcome::out returns.
  Outcome run(const std::string& program, const std::vector<std::string>& args, const WhileRunning& during = {},
              const std::string& stdoutPath = "", int seconds = 60) const {
    const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      ::signal(SIGPIPE, SIG_DFL);  // the tests ignore it for their own pipes
      const rlimit limit{memoryLimit_, memoryLimit_};
      if (memoryLimit_ > 0 && ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(125);
      redirect(1, stdoutPath.empty() ? out.string() : stdoutPath);
      redirect(2, err.string());
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    if (during) during(pid);
    Outcome o;
    o.status = waitWithLimit(pid, seconds);
    o.out = stdoutPath.empty() ? slurp(out) : "";
    o.err = slurp(err);
    return o;
  }

 private:
  static void redirect(int fd, const std::string& path) {
    const int f = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (f < 0 || ::dup2(f, fd) < 0) ::_exit(126);
    ::close(f);
  }
  static int waitWithLimit(pid_t pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      int raw = 0;
      if (::waitpid(pid, &raw, WNOHANG) == pid) return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &raw, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  fs::path dir_;
  std::map<std::string, std::string> inputs_;
  rlim_t memoryLimit_ = 0;
};

// A named pipe that a thread fills without end (`head`, then `body` again and again) until the
// reader goes away: an input that never ends, as `yes` gives one.
class EndlessPipe {
 public:
  EndlessPipe(const fs::path& path, std::string head, std::string body)
      : path_(path), head_(std::move(head)), body_(std::move(body)) {
    ::signal(SIGPIPE, SIG_IGN);  // a reader that goes away must not end the test
    ::unlink(path_.c_str());
    if (::mkfifo(path_.c_str(), 0600) != 0) return;
    writer_ = std::thread([this] { feed(); });
  }
  ~EndlessPipe() {
    done_ = true;
    if (writer_.joinable()) writer_.join();
  }
  EndlessPipe(const EndlessPipe&) = delete;
  EndlessPipe& operator=(const EndlessPipe&) = delete;

  // True once a reader has opened the pipe: a command that opens its input has set up its
  // signal handlers by then, so a signal sent afterwards tests them rather than the default.
  bool opened() const { return opened_; }

 private:
  // Waits for a reader (without blocking, so that a command that never opens the pipe does not
  // hang the test), then writes until the reader has gone.
  void feed() {
    int fd = -1;
    while (!done_ && (fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK)) < 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (fd < 0) return;
    opened_ = true;
    ::fcntl(fd, F_SETFL, 0);
    std::string text = head_;
    while (!done_ && writeAll(fd, text)) text = body_;
    ::close(fd);
  }
  static bool writeAll(int fd, const std::string& text) {
    for (size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
      if (n <= 0) return false;
      at += static_cast<size_t>(n);
    }
    return true;
  }

  fs::path path_;
  std::string head_, body_;
  std::atomic<bool> done_{false};
  std::atomic<bool> opened_{false};
  std::thread writer_;
};

// True once the process has ended (it is left for waitpid to collect).
inline bool hasEnded(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// For a command whose output goes to the named pipe `fifo`: opens the pipe without reading it,
// so that the command must wait once the pipe is full; sends `signal` once half the pipe is
// full, and reads the rest into `text` until the command closes the pipe. A command whose output
// before that point is shorter than half a pipe, and whose whole output is longer than a pipe,
// thus gets the signal at a known stretch of its output (its iterations, say: not while it reads
// its input, nor after it has finished).
inline WhileRunning signalWhenOutputFills(const fs::path& fifo, int signal, std::string& text) {
  ::unlink(fifo.c_str());
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  return [fifo, signal, &text](pid_t pid) {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const int half = ::fcntl(fd, F_GETPIPE_SZ) / 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int held = 0; held < half && std::chrono::steady_clock::now() < deadline; ::ioctl(fd, FIONREAD, &held)) {
      if (hasEnded(pid)) break;  // it ended before it filled the pipe
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, signal);
    char chunk[65536];
    for (bool seenData = false;;) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, 100);
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) text.append(chunk, static_cast<size_t>(n)), seenData = true;
      if (n == 0 && seenData) break;  // the command closed its end
      if (n <= 0 && hasEnded(pid)) break;
    }
    ::close(fd);
  };
}

inline const std::string kKavro = KAVRO_COMMAND;
inline const std::string kQarnhost = QARNHOST_COMMAND;
inline fs::path example(const std::string& name) { return fs::path(KAVRO_EXAMPLES) / name; }

// One SPECS block with the given option lines.
inline std::string specsBlock(const std::string& lines) { return "BEGIN\n" + lines + "\nEND\n"; }

inline bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// The optimal objective of afiro, as the summary prints it.
inline const std::string kAfiroOptimum = "Objective value         -4.6475314286E+02";

}  // namespace kavro::robustness
