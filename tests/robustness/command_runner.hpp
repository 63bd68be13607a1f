#pragma once
// Runs the kavro and qarnhost commands in a private folder as a user would (arguments, standard
// output and error in files), with a time limit, and checks that the input files of a test are
// byte for byte what they were before.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

  // Runs `program` with `args` in the folder; standard output goes to `stdoutPath` when given
  // (for example /dev/full), else to a file that Outcome::out returns.
  Outcome run(const std::string& program, const std::vector<std::string>& args, const WhileRunning& during = {},
              const std::string& stdoutPath = "", int seconds = 60) const {
    const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
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
      if (::waitpid(pid, &raw, WNOHANG) == pid)
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
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
};

inline const std::string kKavro = KAVRO_COMMAND;
inline const std::string kQarnhost = QARNHOST_COMMAND;
inline fs::path example(const std::string& name) { return fs::path(KAVRO_EXAMPLES) / name; }

// One SPECS block with the given option lines.
inline std::string specsBlock(const std::string& lines) { return "BEGIN\n" + lines + "\nEND\n"; }

inline bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// The optimal objective of afiro, as the summary prints it.
inline const std::string kAfiroOptimum = "Objective value         -4.6475314286E+02";

}  // namespace kavro::robustness
