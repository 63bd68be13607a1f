// 5. SIGTERM and SIGHUP end a run like Ctrl-C: at its next iteration, with the point reported,
//    the files written whole and the final basis saved; qarnhost still writes its JSON.
//
// The problem comes through a named pipe: the command has installed its handlers before it
// opens the pipe, and it is blocked reading it when the signal is sent, so the signal always
// arrives before the first iteration and the run stops at that iteration.

#include "command_runner.hpp"

namespace kavro::robustness {
namespace {

// Opens the pipe (which waits for the command to open it), sends the signal, then writes the
// problem and closes the pipe.
WhileRunning signalThenFeed(const Workspace& w, int signal, const std::string& problem) {
  return [&w, signal, problem](pid_t pid) {
    std::ofstream pipe(w.path("pipe"), std::ios::binary);
    ::kill(pid, signal);
    pipe << problem;
  };
}

TEST(Robustness, StopSignalsEndTheRunWithItsReportAndFiles) {
  Workspace w;
  const std::string afiro = slurp(example("afiro.mps"));
  w.input("s.spc", specsBlock("New basis file 11") + specsBlock("New basis file 12"));
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    ::unlink(w.path("pipe").c_str());
    ASSERT_EQ(::mkfifo(w.path("pipe").c_str(), 0600), 0);
    fs::remove(w.path("b11"));
    fs::remove(w.path("b12"));
    const Outcome o = w.run(kKavro, {"--specs", "s.spc", "--unit", "11=b11", "--unit", "12=b12", "--print", "p", "pipe"},
                            signalThenFeed(w, signal, afiro));
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(contains(o.out, " EXIT -- control-c interrupt")) << o.out;
    EXPECT_TRUE(contains(o.err, std::string("kavro: stopped by ") + (signal == SIGTERM  ? "SIGTERM"
                                                                      : signal == SIGHUP ? "SIGHUP"
                                                                                         : "SIGINT")))
        << o.err;
    EXPECT_TRUE(contains(o.out, " NEW BASIS file saved on file  11    itn =       1"));
    EXPECT_TRUE(contains(w.read("b11"), "ITN       1"));
    EXPECT_FALSE(w.exists("b12")) << "no further SPECS block runs";
    const std::string print = w.read("p");
    EXPECT_TRUE(contains(print, " EXIT -- control-c interrupt"));
    EXPECT_EQ(print.back(), '\n');
  }

  ::unlink(w.path("pipe").c_str());
  ASSERT_EQ(::mkfifo(w.path("pipe").c_str(), 0600), 0);
  const Outcome host = w.run(kQarnhost, {"--solution", "r.json", "pipe"}, signalThenFeed(w, SIGTERM, afiro));
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_TRUE(contains(host.out, " EXIT - Terminated by user."));
  const std::string json = w.read("r.json");
  EXPECT_TRUE(contains(json, "\"interrupted\": true")) << json;
  EXPECT_TRUE(contains(json, "\"stopSignal\": \"SIGTERM\""));
  EXPECT_TRUE(contains(json, "\"solveStatusText\": \"user interrupt\""));
  w.expectInputsUnchanged();
}

}  // namespace
}  // namespace kavro::robustness
