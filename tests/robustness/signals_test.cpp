// 5. SIGTERM and SIGHUP end a run like Ctrl-C: at its next iteration, with the point reported,
//    the files written whole and the final basis saved; qarnhost still writes its JSON. 8. Both
//    front ends return the point an interrupted run reached (JSON and .sol), and a stop signal
//    while an input is read ends the reading at once (4: also an input that never ends).
//
// A run gets its signal at a known point of its iterations: its summary (or host log) goes to a
// named pipe that the test reads only once it is full, which happens during the iterations of a
// problem of 3000 steps with a summary line at every step.

#include "command_runner.hpp"

namespace kavro::robustness {
namespace {

constexpr int kSteps = 3000;

// Minimize -sum x_j subject to x_j <= 1 as rows: one simplex step per row.
std::string stepsMps() {
  std::string s = "NAME          STEPS\nROWS\n N  COST\n";
  for (int j = 0; j < kSteps; ++j) s += " L  R" + std::to_string(j) + "\n";
  s += "COLUMNS\n";
  char line[80];
  for (int j = 0; j < kSteps; ++j) {
    std::snprintf(line, sizeof line, "    X%-8d  COST      -1.0   R%-8d  1.0\n", j, j);
    s += line;
  }
  s += "RHS\n";
  for (int j = 0; j < kSteps; ++j) {
    std::snprintf(line, sizeof line, "    B         R%-8d  1.0\n", j);
    s += line;
  }
  return s + "ENDATA\n";
}

// The same problem as a .nl model.
std::string stepsNl() {
  const std::string n = std::to_string(kSteps);
  std::string s = "g3 1 1 0\n " + n + " " + n + " 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n " + n + " " + n +
                  "\n 0 0\n 0 0 0 0 0\n";
  for (int i = 0; i < kSteps; ++i) s += "C" + std::to_string(i) + "\nn0\n";
  s += "O0 0\nn0\nr\n";
  for (int i = 0; i < kSteps; ++i) s += "1 1\n";
  s += "b\n";
  for (int j = 0; j < kSteps; ++j) s += "2 0\n";
  for (int i = 0; i < kSteps; ++i) s += "J" + std::to_string(i) + " 1\n" + std::to_string(i) + " 1\n";
  s += "G0 " + n + "\n";
  for (int j = 0; j < kSteps; ++j) s += std::to_string(j) + " -1\n";
  return s;
}

const char* nameOf(int signal) { return signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT"; }

// Sends `signal` a while after the command opened `pipe`: it is then reading an input that never
// ends. (A fixed delay alone can end a slow start, under a sanitizer on a loaded machine, before
// the command has its handlers.)
WhileRunning signalWhileReading(const EndlessPipe& pipe, int signal) {
  return [&pipe, signal](pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pipe.opened() && !hasEnded(pid) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, signal);
  };
}

TEST(Robustness, StopSignalsEndTheRunWithItsReportAndFiles) {
  Workspace w;
  w.input("steps.mps", stepsMps());
  w.input("s.spc", specsBlock("New basis file 11\nSummary frequency 1") + specsBlock("New basis file 12"));
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    fs::remove(w.path("b11"));
    fs::remove(w.path("b12"));
    std::string summary;
    const Outcome o = w.run(kKavro,
                            {"--specs", "s.spc", "--unit", "11=b11", "--unit", "12=b12", "--print", "p", "steps.mps"},
                            signalWhenOutputFills(w.path("out"), signal, summary), w.path("out").string());
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(contains(summary, " EXIT -- control-c interrupt")) << summary.substr(summary.size() - 2000);
    EXPECT_TRUE(contains(o.err, std::string("kavro: stopped by ") + nameOf(signal))) << o.err;
    EXPECT_TRUE(contains(summary, " NEW BASIS file saved on file  11"));
    EXPECT_TRUE(contains(w.read("b11"), "ITN"));
    EXPECT_FALSE(w.exists("b12")) << "no further SPECS block runs";
    const std::string print = w.read("p");
    EXPECT_TRUE(contains(print, " EXIT -- control-c interrupt"));
    EXPECT_EQ(print.back(), '\n');
  }

  w.input("log.opt", "summary_frequency 1\n");
  std::string log;
  const Outcome host = w.run(kQarnhost, {"--optfile", "log.opt", "--solution", "r.json", "steps.mps"},
                             signalWhenOutputFills(w.path("out"), SIGTERM, log), w.path("out").string());
  EXPECT_EQ(host.status, 0) << host.err;
  EXPECT_TRUE(contains(log, " EXIT - Terminated by user."));
  const std::string json = w.read("r.json");
  EXPECT_TRUE(contains(json, "\"interrupted\": true")) << json.substr(0, 500);
  EXPECT_TRUE(contains(json, "\"stopSignal\": \"SIGTERM\""));
  EXPECT_TRUE(contains(json, "\"solveStatusText\": \"user interrupt\""));
  EXPECT_FALSE(contains(json, "\"level\": null")) << "the point the run reached is returned";
  w.expectInputsUnchanged();
}

// An interrupted run of a .nl model says so in its JSON and returns the point it reached, there
// and in the AMPL .sol file.
TEST(Robustness, InterruptedModelRunsReturnThePointTheyReached) {
  Workspace w;
  w.input("steps.nl", stepsNl());
  w.input("s.spc", specsBlock("Summary frequency 1"));
  std::string summary;
  const Outcome o = w.run(kKavro, {"--specs", "s.spc", "--summary", "out", "--solution", "r.json", "steps.nl"},
                          signalWhenOutputFills(w.path("out"), SIGTERM, summary));
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(contains(summary, " EXIT -- control-c interrupt"));
  const std::string json = w.read("r.json");
  EXPECT_TRUE(contains(json, "\"interrupted\": true")) << json.substr(0, 500);
  EXPECT_TRUE(contains(json, "\"stopSignal\": \"SIGTERM\""));
  EXPECT_TRUE(contains(json, "\"exitCode\": 19"));
  EXPECT_FALSE(contains(json, "\"level\": null"));
  EXPECT_TRUE(contains(json, "\"level\": 1.0")) << "the steps taken";

  summary.clear();
  const Outcome ampl = w.run(kKavro, {"--specs", "s.spc", "--summary", "out", "steps", "-AMPL"},
                             signalWhenOutputFills(w.path("out"), SIGTERM, summary));
  EXPECT_EQ(ampl.status, 0) << ampl.err;
  EXPECT_TRUE(contains(ampl.out, "KAVRO 5.6: interrupted")) << ampl.out;
  const std::string sol = w.read("steps.sol");
  EXPECT_TRUE(contains(sol, "\n3000\n3000\n3000\n3000\n")) << "duals and primals of every row and column";
  EXPECT_TRUE(sol.ends_with("objno 0 404\n")) << sol.substr(sol.size() - 100);
  w.expectInputsUnchanged();
}

// A stop signal ends the reading of an input that never ends, an MPS file or a model (which
// kavro and qarnhost read alike), promptly and without copying it to the disk without end.
TEST(Robustness, AStopSignalEndsAnEndlessRead) {
  Workspace w;
  const std::string header = "g3 1 1 0\n 1 0 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n 0 0\n 0 0\n 0 0 0 0 0\n";
  const struct {
    std::string program, fifo, head, body;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {kKavro, "rhs", "", " RHS\n", {"rhs"}, "kavro: cannot read the MPS file rhs: the reading was stopped"},
      {kKavro, "blank.nl", header, std::string(65536, ' '), {"blank.nl"}, "kavro: blank.nl: the reading was stopped"},
      {kKavro,
       "blank.nl",
       header,
       std::string(65536, ' '),
       {"blank", "-AMPL"},
       "kavro: blank.nl: the reading was stopped"},
      {kQarnhost,
       "blank.nl",
       header,
       std::string(65536, ' '),
       {"blank.nl"},
       "qarnhost: blank.nl: the reading was stopped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::ofstream(w.path("blank.sol")) << "an earlier run's answer\n";
    EndlessPipe pipe(w.path(c.fifo), c.head, c.body);
    const Outcome o = w.run(c.program, c.args, signalWhileReading(pipe, SIGTERM), "", 30);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(contains(o.err, c.message)) << o.err;
    EXPECT_TRUE(contains(o.err, "stopped by SIGTERM"));
    if (c.args.back() == "-AMPL") {
      EXPECT_FALSE(w.exists("blank.sol"));
    }
  }
}

}  // namespace
}  // namespace kavro::robustness
