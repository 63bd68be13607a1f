// What the print and summary files of nonlinear runs say, read as a user reads them: the
// iteration log's columns against the run's counters, the statistics block, the differencing
// that "Derivative level" asks for, the diagnostics of the major iterations at each print
// level, the EXIT line that ends every run, and the Report file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_path.hpp"

namespace {

const std::string kModels = std::string(KAVRO_TEST_DATA_DIR) + "/nl/";
const std::string kExamples = std::string(KAVRO_TEST_DATA_DIR) + "/../../examples/";

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }

int countStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  int count = 0;
  for (const auto& l : lines) count += startsWith(l, prefix);
  return count;
}

int countEqual(const std::vector<std::string>& lines, const std::string& text) {
  int count = 0;
  for (const auto& l : lines) count += l == text;
  return count;
}

int findEqual(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (int k = from; k < static_cast<int>(lines.size()); ++k)
    if (lines[static_cast<size_t>(k)] == text) return k;
  return -1;
}

// The index of the first line starting with prefix at or after `from`, or -1.
int find(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
  for (int k = from; k < static_cast<int>(lines.size()); ++k)
    if (startsWith(lines[static_cast<size_t>(k)], prefix)) return k;
  return -1;
}

// The numbers that follow the label on the first line holding it: " No. of calls to funobj
// 145     No. of calls to funcon   145" gives {145, 145}.
std::vector<double> numbersAfter(const std::vector<std::string>& lines, const std::string& label) {
  std::vector<double> values;
  for (const auto& l : lines) {
    const size_t at = l.find(label);
    if (at == std::string::npos) continue;
    std::istringstream in(l.substr(at + label.size()));
    for (std::string word; in >> word;) {
      char* end = nullptr;
      const double v = std::strtod(word.c_str(), &end);
      if (end != word.c_str() && *end == '\0') values.push_back(v);
    }
    break;
  }
  return values;
}

// The major log lines of a file: after a major heading, lines whose first two fields (the
// major and minor counts, six characters each) end in digits.
std::vector<int> majorLineIndices(const std::vector<std::string>& lines) {
  std::vector<int> indices;
  bool inLog = false;
  for (int k = 0; k < static_cast<int>(lines.size()); ++k) {
    const std::string& l = lines[static_cast<size_t>(k)];
    if (startsWith(l, " Major minor")) {
      inLog = true;
      continue;
    }
    if (inLog && l.size() > 60 && std::isdigit(static_cast<unsigned char>(l[5])) &&
        std::isdigit(static_cast<unsigned char>(l[11])) && l[12] == ' ')
      indices.push_back(k);
  }
  return indices;
}

class NlReports : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = kavro::testing::uniqueTempPath("nl_reports", "");
    ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs kavro on the problem with the SPECS options given (one per line); the print and
  // summary files are then in print and summary. Returns the exit status.
  int run(const std::string& problem, const std::string& options, const std::string& extra = "") {
    std::ofstream(dir_ + "/run.spc") << "Begin\n" << options << "End\n";
    const std::string command = "cd '" + dir_ + "' && " + KAVRO_PROGRAM + " --specs run.spc --print run.print " +
                                "--summary run.summary " + extra + " '" + problem + "' > out.txt 2>&1";
    const int status = std::system(command.c_str());
    print = readLines(dir_ + "/run.print");
    summary = readLines(dir_ + "/run.summary");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
  std::vector<std::string> print, summary;
};

// "Derivative level" 3 uses the routines' derivatives; 0 differences them all even though a .nl
// model provides them, and the statistics then count the difference calls. Both reach the same
// optimum.
TEST_F(NlReports, DerivativeLevelDecidesWhatIsDifferencedAndTheStatisticsCountIt) {
  ASSERT_EQ(run(kModels + "hs071.nl", "Derivative level 3\n"), 0);
  const double exact = numbersAfter(summary, "Objective value").at(0);
  EXPECT_EQ(find(summary, " Calls for forward differencing"), -1);
  EXPECT_EQ(find(summary, " Switch to central differences."), -1);

  ASSERT_EQ(run(kModels + "hs071.nl", "Derivative level 0\n"), 0);
  EXPECT_NEAR(numbersAfter(summary, "Objective value").at(0), exact, 1e-6 * std::fabs(exact));
  for (const auto* lines : {&print, &summary}) {
    const std::vector<double> calls = numbersAfter(*lines, "No. of calls to funobj");
    const std::vector<double> mode2 = numbersAfter(*lines, "Calls with mode=2 (f, known g)");
    const std::vector<double> forward = numbersAfter(*lines, "Calls for forward differencing");
    const std::vector<double> central = numbersAfter(*lines, "Calls for central differencing");
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(mode2.size(), 2u);
    ASSERT_EQ(forward.size(), 2u);
    ASSERT_EQ(central.size(), 2u);
    for (size_t r = 0; r < 2; ++r) {  // objective, constraints
      EXPECT_GT(mode2[r], 0);
      // Each mode-2 point of hs071 differences four objective variables and four Jacobian
      // columns at least once forward.
      EXPECT_GE(forward[r] + central[r], 2 * mode2[r]);
      EXPECT_GE(calls[r], mode2[r] + forward[r] + central[r]);
    }
  }
}

// Print level 1: each major iteration after the first says how far the subproblem moved the
// point and the multipliers, before the constraint violation and the log line; the digits of
// "Print level" (JFLXB) add the largest changes and the Jacobian variables (X), the estimates
// (L), the constraint values (F) and the point with its Jacobian (J), before each log line.
TEST_F(NlReports, MajorIterationDiagnosticsFollowThePrintLevel) {
  ASSERT_EQ(run(kModels + "hs071.nl", "Print level 1\n"), 0);
  const std::vector<int> majors = majorLineIndices(print);
  ASSERT_GE(majors.size(), 3u);
  EXPECT_EQ(countStarting(print, " Change in Jacobn vars"), static_cast<int>(majors.size()));
  for (size_t k = 1; k < majors.size(); ++k) {
    const int change = find(print, " Change in Jacobn vars", majors[k - 1]);
    const int violation = find(print, " Maximum constraint violation", change);
    ASSERT_GE(change, 0);
    EXPECT_LT(violation, majors[k]) << "major line " << k;
  }
  // The minor iterations' log interleaves with the major log: a major line that follows minor
  // lines gets its heading again.
  for (size_t k = 1; k < majors.size(); ++k) {
    int minorHeading = -1;
    for (int at = majors[k - 1]; (at = find(print, "    Itn ph pp", at + 1)) >= 0 && at < majors[k];) minorHeading = at;
    if (minorHeading < 0) continue;
    const int majorHeading = find(print, " Major minor", minorHeading);
    EXPECT_GE(majorHeading, 0);
    EXPECT_LT(majorHeading, majors[k]) << "major line " << k;
  }
  EXPECT_EQ(findEqual(print, " Jacobian variables"), -1);
  EXPECT_EQ(find(print, " Maximum change in Jacobian vars"), -1);
  for (const auto& l : print) EXPECT_EQ(l.find("(variable       0)"), std::string::npos) << l;
  EXPECT_EQ(find(summary, " Change in Jacobn vars"), -1);  // the print file's detail

  ASSERT_EQ(run(kModels + "hs071.nl", "Print level 10\n"), 0);
  const int majorCount = static_cast<int>(majorLineIndices(print).size());
  EXPECT_EQ(countEqual(print, " Jacobian variables"), majorCount);
  EXPECT_EQ(countStarting(print, " Maximum change in Jacobian vars"), majorCount);
  EXPECT_EQ(findEqual(print, " Multiplier estimates"), -1);
  EXPECT_EQ(findEqual(print, " x  and  Jacobian"), -1);
  // Four variables, five to a line: one line of numbered values after the title.
  const int block = findEqual(print, " Jacobian variables");
  int first = 0;
  EXPECT_EQ(std::sscanf(print[static_cast<size_t>(block) + 1].c_str(), "%d", &first), 1);
  EXPECT_EQ(first, 1);

  ASSERT_EQ(run(kModels + "hs071.nl", "Print level 11111\n"), 0);
  for (const char* title :
       {" x  and  Jacobian", " Constraint functions", " Multiplier estimates", " Jacobian variables"})
    EXPECT_EQ(countEqual(print, title), static_cast<int>(majorLineIndices(print).size())) << title;
  // In the order J, F, L, X of the digits.
  const int j = findEqual(print, " x  and  Jacobian"), f = findEqual(print, " Constraint functions", j);
  const int l = findEqual(print, " Multiplier estimates", f), x = findEqual(print, " Jacobian variables", l);
  EXPECT_TRUE(j >= 0 && f > j && l > f && x > l);
}

// The full summary lines count the function calls so far: they rise with the run, never pass
// the totals of the statistics, and the last line is within a few calls of them.
TEST_F(NlReports, LogColumnsCountTheFunctionCalls) {
  for (const char* model : {"hs071.nl", "hs021.nl"}) {
    SCOPED_TRACE(model);
    ASSERT_EQ(run(kModels + model, "Summary level 1\n"), 0);
    const std::vector<double> totals = numbersAfter(summary, "No. of calls to funobj");
    ASSERT_EQ(totals.size(), 2u);
    long lastObj = 0, lastCon = 0;
    int lines = 0;
    bool inLog = false;
    for (const auto& l : summary) {
      if (startsWith(l, "    Itn       rg")) {
        inLog = true;
        continue;
      }
      long itn = 0, nobj = 0, ncon = 0, nsb = 0;
      double rg = 0, sinf = 0, objective = 0;
      int ninf = 0;
      if (!inLog || std::sscanf(l.c_str(), "%ld %lf %d %lf %lf %ld %ld %ld", &itn, &rg, &ninf, &sinf, &objective, &nobj,
                                &ncon, &nsb) != 8) {
        inLog = inLog && !l.empty();
        continue;
      }
      ++lines;
      EXPECT_GE(nobj, lastObj) << l;
      EXPECT_GE(ncon, lastCon) << l;
      lastObj = nobj;
      lastCon = ncon;
    }
    EXPECT_GT(lines, 0);
    EXPECT_GT(lastObj, 0);
    EXPECT_LE(lastObj, totals[0]);
    EXPECT_LE(lastCon, totals[1]);
    if (std::string(model) == "hs071.nl") {
      EXPECT_GT(lastCon, 0);
    }
  }
}

// Every run ends with its EXIT line and then the statistics, on both files.
TEST_F(NlReports, EveryRunEndsWithItsExitLineAndStatistics) {
  struct Case {
    const char* model;
    const char* options;
    int status;
  };
  for (const Case c :
       {Case{"hs071.nl", "", 0}, Case{"hs021.nl", "Print level 10\n", 0},
        Case{"hs071.nl", "Major iterations limit 2\n", 1}, Case{"hs071.nl", "Derivative level 0\n", 0}}) {
    SCOPED_TRACE(std::string(c.model) + " " + c.options);
    EXPECT_EQ(run(kModels + c.model, c.options), c.status);
    for (const auto* lines : {&print, &summary}) {
      const int exitLine = find(*lines, " EXIT --");
      ASSERT_GE(exitLine, 0);
      EXPECT_GT(find(*lines, " Problem name", exitLine), exitLine);
      EXPECT_GT(find(*lines, " No. of degenerate steps", exitLine), exitLine);
    }
  }
}

// The Report file holds the solution as comma-separated values: the header, one line per row
// and per column with their listing state, and the limits "inf" where there is none.
TEST_F(NlReports, ReportFileHoldsEveryRowAndColumn) {
  ASSERT_EQ(run(kExamples + "blend.mps", "Report file 81\n", "--unit 81=blend.csv"), 0);
  EXPECT_NE(find(summary, " Solution exported to file  81"), -1);
  EXPECT_EQ(find(summary, " XXX Report file requested."), -1);
  const std::vector<std::string> csv = readLines(dir_ + "/blend.csv");
  const int header = find(csv, "kind,number,name,state,flag,value,lower,upper,dual");
  ASSERT_GE(header, 0);
  EXPECT_EQ(find(csv, "# status,OPTIMAL SOLN"), find(csv, "# status"));
  EXPECT_NE(find(csv, "# objective,"), -1);
  int rows = 0, columns = 0, unbounded = 0;
  for (size_t k = static_cast<size_t>(header) + 1; k < csv.size(); ++k) {
    rows += startsWith(csv[k], "row,");
    columns += startsWith(csv[k], "column,");
    unbounded += csv[k].find(",inf,") != std::string::npos;
    size_t commas = 0;
    for (char c : csv[k]) commas += c == ',';
    EXPECT_EQ(commas, 8u) << csv[k];
  }
  const std::vector<double> objective = numbersAfter(summary, "Objective value");
  ASSERT_FALSE(objective.empty());
  EXPECT_EQ(rows + columns, static_cast<int>(csv.size()) - header - 1);
  EXPECT_GT(rows, 0);
  EXPECT_GT(columns, 0);
  EXPECT_GT(unbounded, 0);

  // A Report file on the print file's unit is added to the print file.
  EXPECT_EQ(run(kExamples + "blend.mps", "Report file 9\n"), 0);
  EXPECT_NE(find(summary, " Solution exported to file   9"), -1);
}

}  // namespace
