// The iteration-log callback: spacing and headings of the log lines, the interrupt and the
// resource limit, directly and through a real solve.

#include "link/log_callback.hpp"
#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

constexpr const char* kMinorHeading = "    Itn  ninf      sinf       objective";
constexpr const char* kMajorHeading = " Major minor  step     objective  Feasible Optimal  nsb   ncon penalty BSswp";

class LogCallback : public ReadyLpTest {
 protected:
  int minor(int itn) {
    IterationLogEntry e;
    e.kind = 1;
    e.minorItn = itn;
    e.ninf = 2;
    e.sinf = 1.5;
    e.objective = -3.25;
    return logIteration(ctx, e);
  }
  int major(int itn) {
    IterationLogEntry e;
    e.kind = 2;
    e.majorItn = itn;
    e.minorItn = 12;
    e.flag = 'T';
    e.step = 1.0;
    e.objective = 2.0;
    e.feasibility = 1e-3;
    e.optimality = 2e-4;
    e.nSuperbasics = 3;
    e.nNonlinCons = 4;
    e.penalty = 0.1;
    e.basisSwaps = 5;
    return logIteration(ctx, e);
  }
};

TEST_F(LogCallback, MinorLinesEveryFrequencyWithHeadingsEveryTenLines) {
  ctx.logSummaryFrequency = 10;
  for (int itn = 1; itn <= 205; ++itn) EXPECT_EQ(minor(itn), 0);
  const std::vector<std::string> lines = newLines();
  ASSERT_EQ(lines.size(), 20u + 2u);  // iterations 10..200 and two headings
  EXPECT_EQ(lines[0], kMinorHeading);
  EXPECT_EQ(lines[1], "     10     2  1.500e+00  -3.25000000e+00");
  EXPECT_EQ(lines[10], "    100     2  1.500e+00  -3.25000000e+00");
  EXPECT_EQ(lines[11], kMinorHeading);
  EXPECT_EQ(lines[21], "    200     2  1.500e+00  -3.25000000e+00");
}

TEST_F(LogCallback, ZeroOrNegativeFrequencyLogsNoMinorLines) {
  for (int frequency : {0, -5}) {
    ctx.logSummaryFrequency = frequency;
    for (int itn = 0; itn <= 30; ++itn) EXPECT_EQ(minor(itn), 0);
  }
  EXPECT_TRUE(newLines().empty());
  EXPECT_EQ(major(1), 0);  // major lines are not affected
  EXPECT_EQ(newLines().size(), 2u);
}

TEST_F(LogCallback, MajorAndMinorLinesRestartEachOthersHeadings) {
  ctx.logSummaryFrequency = 1;
  minor(1), minor(2), major(1), minor(3), major(2);
  const std::vector<std::string> expected = {
      kMinorHeading,
      "      1     2  1.500e+00  -3.25000000e+00",
      "      2     2  1.500e+00  -3.25000000e+00",
      kMajorHeading,
      "     1    12T 1.0e+00  2.00000e+00 1.0e-03 2.0e-04    3      4 1.0e-01     5",
      kMinorHeading,
      "      3     2  1.500e+00  -3.25000000e+00",
      kMajorHeading,  // a minor heading restarts the major headings too
      "     2    12T 1.0e+00  2.00000e+00 1.0e-03 2.0e-04    3      4 1.0e-01     5",
  };
  EXPECT_EQ(newLines(), expected);
}

TEST_F(LogCallback, MajorHeadingEveryTenMajorLines) {
  for (int itn = 1; itn <= 21; ++itn) major(itn);
  int headings = 0;
  for (const std::string& l : newLines()) headings += l == kMajorHeading;
  EXPECT_EQ(headings, 3);
}

TEST_F(LogCallback, InterruptAndResourceLimitStopTheRun) {
  qevTerminateSet(env.handle(), 1);
  EXPECT_EQ(minor(1), 2);
  EXPECT_EQ(major(1), 2);
  qevTerminateSet(env.handle(), 0);
  qevSetDblOpt(env.handle(), "ResLim", 10.0);
  qevTestClockSet(env.handle(), 10.0);
  EXPECT_EQ(minor(2), 0);  // the limit itself is still allowed
  qevTestClockSet(env.handle(), 10.5);
  EXPECT_EQ(minor(3), 1);
  // The shipped summary_frequency of 100 hides the line of iteration 2.
  const std::vector<std::string> expected = {" Received interrupt signal, will stop shortly...",
                                             " Received interrupt signal, will stop shortly...",
                                             " Resource limit exceeded, will stop shortly..."};
  EXPECT_EQ(newLines(), expected);
}

// Through a real solve: the optimizer turns the callback's answer into its exit code.
TEST_F(HostTest, InterruptedAndOutOfTimeSolves) {
  struct Case {
    bool interrupt;
    const char* line;
    const char* exit;
    int solveStatus;
  };
  for (const Case& c :
       {Case{true, " Received interrupt signal, will stop shortly...", " EXIT - Terminated by user.", 8},
        Case{false, " Resource limit exceeded, will stop shortly...", " EXIT - Time limit reached.", 3}}) {
    qarn::Environment e;
    qarn::Model m(e);
    qevSetStrOpt(e.handle(), "NameSysDir", QARN_SYSDIR);
    qevSetStrOpt(e.handle(), "ScrDir", scratch_.c_str());
    // A model that needs a few iterations: maximize the sum of x_j with x_j + x_{j+1} <= 1.
    constexpr int kN = 8;
    auto name = [](char prefix, int j) {  // not "x" + to_string(j): GCC 12 warns falsely on it
      std::string s(1, prefix);
      s += std::to_string(j);
      return s;
    };
    for (int j = 0; j < kN; ++j) m.var(name('x', j), 0.0, 0.0, 1.0), m.objectiveEntry(j, 1.0);
    for (int j = 0; j + 1 < kN; ++j) {
      const int r = m.equ(name('r', j), qmoEquL, 1.0);
      m.entry(r, j, 1.0), m.entry(r, j + 1, 1.0);
    }
    m.objective(1);
    if (c.interrupt) qevTerminateSet(e.handle(), 1);
    else qevSetDblOpt(e.handle(), "ResLim", -1.0);
    const SolverLibrary& lib = SolverLibrary::get();
    kavHandle_t ctx = nullptr;
    lib.create(&ctx, nullptr, 0);
    ASSERT_EQ(lib.ready(ctx, m.handle()), 0);
    EXPECT_EQ(lib.call(ctx), 0);
    lib.free(&ctx);
    const std::string text = e.logText();
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(text.find(c.exit), std::string::npos) << text;
    EXPECT_EQ(qmoSolveStat(m.handle()), c.solveStatus);
  }
}

}  // namespace
}  // namespace kavro::link::test
