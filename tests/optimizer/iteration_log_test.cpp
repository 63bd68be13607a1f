// How a run reports itself: which iterations get a line on the print and summary files, when
// the headers are repeated, how a large iteration number is shown, the statistics of a run
// without iterations, and where "optimal" ends and "near-optimal" begins.

#include "optimizer/iteration_log.hpp"
#include "optimizer/loop_exit.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "specs/parameters.hpp"
#include "specs/report_capture.hpp"

namespace kavro {
namespace {

struct LogHarness {
  explicit LogHarness(int32_t printLevel, int32_t logFrequency, int32_t summaryFrequency) {
    p.printLevel = printLevel;
    p.logFrequency = logFrequency;
    p.summaryFrequency = summaryFrequency;
    p.summaryDetailed = false;
  }
  // Iterations first .. last of major iteration `major`, whose first minor iteration is firstMinor.
  void run(IterationLog& log, int32_t first, int32_t last, int32_t major = 1, int32_t firstMinor = 1) {
    for (int32_t itn = first; itn <= last; ++itn) {
      IterationRecord r;
      r.itn = itn;
      r.majorItn = major;
      r.minorItn = firstMinor + itn - first;
      log.record(r);
    }
  }
  static int count(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
    return n;
  }

  Parameters p;
  testing::ReportCapture report;
};

constexpr const char* kPrintHeader = "    Itn ph pp     dj";
constexpr const char* kSummaryHeader = "    Itn     dj";

TEST(IterationLog, HeadersAreRepeatedAfterFortyPrintedAndTenSummaryLines) {
  LogHarness h(1, 1, 1);
  IterationLog log(h.p, h.report.out, nullptr, false);
  h.run(log, 1, 100);
  const auto print = h.report.print(), summary = h.report.summary();
  EXPECT_EQ(LogHarness::count(print, kPrintHeader), 3);  // before lines 1, 41 and 81
  EXPECT_EQ(LogHarness::count(summary, kSummaryHeader), 10);
  EXPECT_EQ(print.size(), 100u + 3 * 2);  // each header follows a blank line
  EXPECT_EQ(summary.size(), 100u + 10 * 2);
}

TEST(IterationLog, FrequencyZeroLogsOnlyTheFirstMinorIterationOfEachMajor) {
  LogHarness h(1, 0, 0);
  IterationLog log(h.p, h.report.out, nullptr, true);
  h.run(log, 1, 30, 1);
  h.run(log, 31, 60, 2);
  h.run(log, 61, 90, 3);
  const auto print = h.report.print();
  std::vector<std::string> lines;
  for (const std::string& line : print)
    if (!line.empty() && line.rfind("    Itn", 0) != 0) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(std::stoi(lines[0]), 1);
  EXPECT_EQ(std::stoi(lines[1]), 31);
  EXPECT_EQ(std::stoi(lines[2]), 61);
}

TEST(IterationLog, PrintLevelZeroGivesBriefLinesOnlyWithoutNonlinearConstraints) {
  for (const bool nonlinear : {false, true}) {
    LogHarness h(0, 1, 1);
    IterationLog log(h.p, h.report.out, nullptr, nonlinear);
    h.run(log, 1, 5);
    const auto print = h.report.print();
    EXPECT_EQ(print.size(), nonlinear ? 0u : 5u + 2) << nonlinear;
    EXPECT_EQ(LogHarness::count(print, "    Itn     dj     ninf   sinf       objective        LU"), nonlinear ? 0 : 1);
  }
}

TEST(IterationLog, IterationNumbersAreShownModuloOneHundredMillion) {
  LogHarness h(1, 1, 1);
  IterationLog log(h.p, h.report.out, nullptr, false);
  h.run(log, 123456789, 123456789);
  for (const auto& lines : {h.report.print(), h.report.summary()}) {
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(0, 9), "23456789 ") << lines[2];
  }
}

TEST(IterationLog, RunWithoutIterationsHasNoDegeneratePercentageToDivide) {
  testing::ReportCapture report;
  RunStatistics s;
  s.problemName = "START";
  printRunStatistics(s, report.out);
  for (const auto& lines : {report.print(), report.summary()})
    EXPECT_EQ(
        LogHarness::count(lines, " No. of degenerate steps            0     Percentage                       0.00"), 1);
}

TEST(IterationLog, OptimalEndsWhereTheReducedGradientReachesATenthOfPi) {
  testing::ReportCapture report;
  ExitCode exit = kOptimal;
  declareOptimal(exit, 0.1, 1.0, report.out);  // below 0.1 rounded to single precision
  EXPECT_EQ(exit, kOptimal);
  declareOptimal(exit, 0.1000001, 1.0, report.out);
  EXPECT_EQ(exit, kNearOptimal);
  declareOptimal(exit, 1.0, 10.0, report.out);
  EXPECT_EQ(exit, kOptimal);
  const auto lines = report.print();
  EXPECT_EQ(LogHarness::count(lines, " EXIT -- optimal solution found"), 2);
  EXPECT_EQ(LogHarness::count(lines, " EXIT -- near-optimal solution found"), 1);
  EXPECT_EQ(LogHarness::count(lines, " XXX WARNING: reduced gradient is large -- solution is not really optimal"), 1);
}

}  // namespace
}  // namespace kavro
