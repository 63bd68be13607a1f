#pragma once
// Test support: a stand-in host (environment and model objects), a scratch directory for the
// print file, the solver library loaded as a host loads it, and a link context prepared
// through the library's own set-up for tests that reach its parts directly.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/kavro_link.h"
#include "link/link_context.hpp"
#include "link/ready_api.hpp"
#include "qarn/model_builder.hpp"

namespace kavro::link::test {

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// The solver library, opened once per test program as a host opens it.
struct SolverLibrary {
  void* handle = nullptr;
  decltype(&kavCreate) create = nullptr;
  decltype(&kavReadyAPI) ready = nullptr;
  decltype(&kavCallSolver) call = nullptr;
  decltype(&kavFree) free = nullptr;

  static const SolverLibrary& get() {
    static SolverLibrary lib = [] {
      SolverLibrary l;
      l.handle = dlopen(KAVRO_LINK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
      if (!l.handle) return l;
      l.create = reinterpret_cast<decltype(l.create)>(dlsym(l.handle, "kavCreate"));
      l.ready = reinterpret_cast<decltype(l.ready)>(dlsym(l.handle, "kavReadyAPI"));
      l.call = reinterpret_cast<decltype(l.call)>(dlsym(l.handle, "kavCallSolver"));
      l.free = reinterpret_cast<decltype(l.free)>(dlsym(l.handle, "kavFree"));
      return l;
    }();
    return lib;
  }
};

// A host with an environment, a model and a scratch directory of its own.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The library's default (next to itself) is used unless a test names a library.
    unsetenv("KAVRO_QMO_LIBRARY");
    unsetenv("KAVRO_QEV_LIBRARY");
    unsetenv("KAVRO_OPT_LIBRARY");
    char pattern[] = "/tmp/kavro_link_test_XXXXXX";
    scratch_ = mkdtemp(pattern);
    qevSetStrOpt(env.handle(), "ScrDir", scratch_.c_str());
    qevSetStrOpt(env.handle(), "NameSysDir", QARN_SYSDIR);
  }
  void TearDown() override {
    unsetenv("KAVRO_QMO_LIBRARY");
    unsetenv("KAVRO_QEV_LIBRARY");
    unsetenv("KAVRO_OPT_LIBRARY");
    std::filesystem::remove_all(scratch_);
  }

  // The library's internals bind the host libraries from the build's library directory.
  static void useBuiltHostLibraries() {
    setenv("KAVRO_QMO_LIBRARY", QARN_LIBRARY_DIR "/libqarnmo.so", 1);
    setenv("KAVRO_QEV_LIBRARY", QARN_LIBRARY_DIR "/libqarnev.so", 1);
    setenv("KAVRO_OPT_LIBRARY", QARN_LIBRARY_DIR "/libqarnopt.so", 1);
  }

  // x0 + x1 <= 4 (L), x0 - x1 >= -2 (G), x0 + 2 x1 = 3 (E) and a free row; minimize -x0 - x1.
  void buildLp() {
    const int x0 = model.var("x0", 0.0, 0.0, 10.0), x1 = model.var("x1", 0.0, 0.0, 10.0);
    const int l = model.equ("l", qmoEquL, 4.0), g = model.equ("g", qmoEquG, -2.0);
    const int f = model.equ("free", qmoEquN, 0.0), e = model.equ("e", qmoEquE, 3.0);
    model.entry(l, x0, 1.0), model.entry(l, x1, 1.0);
    model.entry(g, x0, 1.0), model.entry(g, x1, -1.0);
    model.entry(f, x0, 5.0);
    model.entry(e, x0, 1.0), model.entry(e, x1, 2.0);
    model.objectiveEntry(x0, -1.0), model.objectiveEntry(x1, -1.0);
    model.objective(0);
  }

  void writeOptionFile(const std::string& text) {
    const std::string path = scratch_ + "/kavro.opt";
    std::ofstream(path) << text;
    qmoSetOptFileName(model.handle(), path.c_str());
  }

  // kavCreate, kavReadyAPI, kavCallSolver (when the set-up succeeded), kavFree.
  struct Calls {
    int ready = -1, call = -1;
  };
  Calls runLibrary(bool solve = true) {
    const SolverLibrary& lib = SolverLibrary::get();
    Calls c;
    kavHandle_t ctx = nullptr;
    char message[256] = "x";
    EXPECT_EQ(lib.create(&ctx, message, sizeof message), 0);
    EXPECT_STREQ(message, "");
    c.ready = lib.ready(ctx, model.handle());
    if (solve && c.ready == 0) c.call = lib.call(ctx);
    EXPECT_EQ(lib.free(&ctx), 0);
    EXPECT_EQ(ctx, nullptr);
    return c;
  }

  std::string log() const { return env.logText(); }
  std::string printFile() const { return readFile(scratch_ + "/kavro55Print"); }
  int modelStatus() const { return qmoModelStat(model.handle()); }
  int solveStatus() const { return qmoSolveStat(model.handle()); }

  qarn::Environment env;
  qarn::Model model{env};
  std::string scratch_;
};

// Tests that reach the library's parts: a context made ready through the set-up sequence.
class LinkTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    useBuiltHostLibraries();
  }
  // Runs the set-up; returns false (with the error left pending) when it failed.
  bool ready() {
    readyApi(ctx, model.handle());
    return !errorPending(ctx);
  }
  void markLog() { base_ = qevLogLineCount(env.handle()); }
  // The host log lines written since markLog().
  std::vector<std::string> newLines() const {
    std::vector<std::string> lines;
    for (int i = base_; i < qevLogLineCount(env.handle()); ++i) lines.emplace_back(qevLogLine(env.handle(), i));
    return lines;
  }
  std::string newLog() const {
    std::string text;
    for (const std::string& line : newLines()) {
      text += line;
      text += '\n';
    }
    return text;
  }
  LinkContext ctx;

 private:
  int base_ = 0;
};

// A small LP made ready; the host log lines written after the set-up are the ones under test.
class ReadyLpTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    buildLp();
    ASSERT_TRUE(ready());
    markLog();
  }
};

}  // namespace kavro::link::test
