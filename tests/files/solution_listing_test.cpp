// The solution output on a small hand-made problem: whole lines of the listing and of the
// infeasibility summary compared with their expected text.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "files/fortran_format.hpp"
#include "files/solution_output.hpp"
#include "files/variable_names.hpp"
#include "mps_test_support.hpp"

namespace kavro {
namespace {

constexpr double kInf = 1.0e20;

// Rows: COST (free objective row), LIM (activity <= 4). Columns X1 [0, inf], X2 free,
// X3 [-1e9, 1e10].
Problem smallProblem() {
  Problem p;
  p.m = 2;
  p.n = 3;
  p.objRow = 0;
  p.names = {"TESTLP  ", "COST    ", "RHS     ", "        ", "BND     "};
  p.a.colStart = {0, 2, 4, 5};
  p.a.row = {0, 1, 0, 1, 1};
  p.a.value = {1.0, 1.0, -1.0, 2.0, 1.0};
  p.lower = {0.0, -kInf, -1e9, -kInf, -4.0};
  p.upper = {kInf, kInf, 1e10, kInf, kInf};
  p.rowNames = {"COST", "LIM"};
  p.columnNames = {"X1", "X2", "X3"};
  p.nNonlinObjVars = 1;
  return p;
}

ProblemState smallState(const Problem& p) {
  ProblemState s;
  s.resizeFor(p);
  s.x = {0.0, 2.5e9, 9.99e8, 2.5e9, -4.0};
  s.hs = {0, 3, 2, 3, 0};
  s.reducedCost = {1.0, 0.0, -1.0, 0.0, 0.5};
  s.pi = {-1.0, 0.5};
  s.ns = 1;
  return s;
}

Parameters listingParameters() {
  Parameters params;
  params.feasibilityTolerance = 1e-6;
  params.optimalityTolerance = 1e-6;
  params.printFile = 9;
  params.summaryFile = 6;
  return params;
}

// A listing line from its literal 16-character fields.
std::string line(int number, const char* name, char flag, const char* state, std::vector<std::string> fields,
                 int last) {
  char head[64], tail[16];
  std::snprintf(head, sizeof head, "%8d  %-8s %c %s", number, name, flag, state);
  std::snprintf(tail, sizeof tail, "%7d", last);
  std::string s = head;
  for (const auto& f : fields) {
    EXPECT_EQ(f.size(), 16u) << '"' << f << '"';
    s += f;
  }
  return s + tail;
}

struct Output {
  std::vector<std::string> print, summary, solution, report;
  SolutionMarks marks;
};

Output runOutput(const SolutionReport& report, const Parameters& params, std::vector<int> stages) {
  static int counter = 0;
  const std::string base = test::tempPath("listing" + std::to_string(++counter));
  Output o;
  {
    UnitTable units;
    units.connect(9, base + ".print");
    units.connect(6, base + ".summary");
    units.connect(12, base + ".solution");
    units.connect(15, base + ".report");
    const ReportChannels out{&units, params.printFile, params.summaryFile};
    for (int stage : stages) writeSolutionOutput(stage, report, params, units, out, o.marks);
  }
  o.print = test::readLines(base + ".print");
  o.summary = test::readLines(base + ".summary");
  o.solution = test::readLines(base + ".solution");
  o.report = test::readLines(base + ".report");
  return o;
}

bool contains(const std::vector<std::string>& lines, const std::string& l) {
  return std::find(lines.begin(), lines.end(), l) != lines.end();
}

class SolutionListingTest : public ::testing::Test {
 protected:
  Problem p = smallProblem();
  ProblemState s = smallState(p);
  std::vector<double> gradient{0.25};
  SolutionReport report() {
    SolutionReport r;
    r.problem = &p;
    r.state = &s;
    r.iterations = 7;
    r.objValue = -123.456;
    r.objGradient = gradient;
    return r;
  }
};

TEST_F(SolutionListingTest, HeaderLines) {
  const Output o = runOutput(report(), listingParameters(), {2});
  EXPECT_TRUE(contains(o.print, " NAME" + std::string(11, ' ') + "TESTLP  " + std::string(13, ' ') +
                                    " OBJECTIVE VALUE     -1.2345600000E+02"));
  EXPECT_TRUE(contains(o.print, " STATUS" + std::string(9, ' ') + "OPTIMAL SOLN" + std::string(9, ' ') +
                                    " ITERATION      7    SUPERBASICS      1"));
  EXPECT_TRUE(contains(o.print, " OBJECTIVE      COST     (Min)"));
  EXPECT_TRUE(contains(o.print, " RHS            RHS     "));
  EXPECT_TRUE(contains(o.print, " RANGES                 "));
  EXPECT_TRUE(contains(o.print, " BOUNDS         BND     "));
  EXPECT_TRUE(contains(o.print,
                       "  NUMBER  ...ROW.. STATE  ...ACTIVITY...  SLACK ACTIVITY  ..LOWER LIMIT.  "
                       "..UPPER LIMIT.  .DUAL ACTIVITY    ..I"));
  EXPECT_TRUE(contains(o.print,
                       "  NUMBER  .COLUMN. STATE  ...ACTIVITY...  .OBJ GRADIENT.  ..LOWER LIMIT.  "
                       "..UPPER LIMIT.  REDUCED GRADNT    M+J"));
  EXPECT_TRUE(contains(o.summary, " Solution printed on file   9"));
}

TEST_F(SolutionListingTest, RowAndColumnLines) {
  const Output o = runOutput(report(), listingParameters(), {1, 2});
  const std::string none = "           None ", dot = "          .     ";
  // Exponent form from 1e9 on, "None" for infinite limits, "." / "1.0" / "-1.0" for exact values.
  EXPECT_TRUE(contains(o.print, line(4, "COST", ' ', " BS",
                                     {"   -2.500000E+09", "   -2.500000E+09", none, none, "        -1.0    "}, 1)));
  EXPECT_TRUE(contains(
      o.print, line(5, "LIM", ' ', " UL", {"         4.00000", dot, none, "         4.00000", "         0.50000"}, 2)));
  EXPECT_TRUE(
      contains(o.print, line(1, "X1", ' ', " LL", {dot, "         1.25000", dot, none, "         1.0    "}, 3)));
  EXPECT_TRUE(
      contains(o.print, line(2, "X2", ' ', " BS", {"    2.500000E+09", "        -1.0    ", none, none, dot}, 4)));
  EXPECT_TRUE(contains(o.print,
                       line(3, "X3", 'N', "SBS",
                            {" 999000000.00000", dot, "   -1.000000E+09", "    1.000000E+10", "        -1.0    "}, 5)));
}

TEST_F(SolutionListingTest, InfeasibleHeaderAndGeneratedNames) {
  p.rowNames.clear();
  p.columnNames.clear();
  s.x[0] = -0.5;  // X1 below its lower bound
  s.hs[0] = 3;
  SolutionReport r = report();
  r.ninf = 1;
  r.sinf = 0.5;
  r.exitCode = kInfeasible;
  const Output o = runOutput(r, listingParameters(), {1, 2});
  EXPECT_TRUE(contains(o.print, " NAME" + std::string(11, ' ') + "TESTLP  " + std::string(13, ' ') +
                                    " INFEASIBILITIES      1     5.0000E-01"));
  EXPECT_TRUE(contains(o.print, " STATUS" + std::string(9, ' ') + "INFEASIBLE  " + std::string(9, ' ') +
                                    " ITERATION      7    SUPERBASICS      1"));
  EXPECT_TRUE(contains(
      o.print,
      line(1, "x......1", 'I', " BS",
           {"        -0.50000", "         1.25000", "          .     ", "           None ", "         1.0    "}, 3)));
  EXPECT_EQ(o.print.end(), std::find_if(o.print.begin(), o.print.end(), [](const std::string& l) {
              return l.find("COST") != std::string::npos && l.rfind("       4", 0) == 0;
            }));
  EXPECT_TRUE(std::any_of(o.print.begin(), o.print.end(),
                          [](const std::string& l) { return l.rfind("       4  r......1", 0) == 0; }));
  EXPECT_EQ(o.marks.maxPrimalInfeasVar, 0);
}

TEST_F(SolutionListingTest, MaximizationShowsMaxAndTurnsTheReducedCosts) {
  Parameters params = listingParameters();
  params.objectiveSense = -1;
  params.sensePrintText = "Max ";
  s.reducedCost[0] = -1.0;  // at its lower bound: right for maximizing
  const Output o = runOutput(report(), params, {2});
  EXPECT_TRUE(contains(o.print, " OBJECTIVE      COST     (Max)"));
  EXPECT_TRUE(contains(
      o.print,
      line(1, "X1", ' ', " LL",
           {"          .     ", "         1.25000", "          .     ", "           None ", "        -1.0    "}, 3)));
  s.reducedCost[0] = 1.0;
  const Output wrong = runOutput(report(), params, {2});
  EXPECT_TRUE(contains(
      wrong.print,
      line(1, "X1", 'N', " LL",
           {"          .     ", "         1.25000", "          .     ", "           None ", "         1.0    "}, 3)));
}

TEST_F(SolutionListingTest, LargestInfeasibilitiesScaledAndUnscaled) {
  std::vector<double> scales{2.0, 1.0, 1.0, 1.0, 4.0};
  SolutionReport r = report();
  r.scales = scales;
  const Output o = runOutput(r, listingParameters(), {1});
  EXPECT_TRUE(contains(o.print, " Max x       (scaled)        2 2.5E+09     Max pi      (scaled)        2 2.0E+00"));
  EXPECT_TRUE(contains(o.print, " Max x                       2 2.5E+09     Max pi                      1 1.0E+00"));
  EXPECT_TRUE(contains(o.print, " Max Prim inf(scaled)        0 0.0E+00     Max Dual inf(scaled)        3 1.0E+00"));
  EXPECT_TRUE(contains(o.print, " Max Primal infeas           0 0.0E+00     Max Dual infeas             3 1.0E+00"));
  EXPECT_EQ(o.marks.maxPrimalInfeasVar, -1);
  EXPECT_EQ(o.marks.maxDualInfeasVar, 2);
  // No listing in stage 1 without a Solution file.
  EXPECT_FALSE(contains(o.print, " SECTION 1 - ROWS"));
}

TEST_F(SolutionListingTest, NonlinearViolationLine) {
  p.nNonlinCons = 1;
  p.nNonlinJacVars = 1;
  SolutionReport r = report();
  r.nonlinViolation = 3.2e-7;
  const Output o = runOutput(r, listingParameters(), {1});
  EXPECT_TRUE(contains(o.print, " Nonlinear constraint violn    3.2E-07"));
}

TEST_F(SolutionListingTest, SolutionFileIsRewrittenAfterEachSave) {
  Parameters params = listingParameters();
  params.solutionFile = 12;
  params.reportFile = 15;
  const Output o = runOutput(report(), params, {1, 1});
  EXPECT_EQ(std::count(o.summary.begin(), o.summary.end(), std::string(" SOLUTION file saved on file  12")), 2);
  EXPECT_TRUE(contains(o.print, " SOLUTION file saved on file  12"));
  // Two saves, one listing in the file; the Report file likewise holds the latest export.
  EXPECT_EQ(std::count(o.solution.begin(), o.solution.end(), std::string(" SECTION 1 - ROWS")), 1);
  EXPECT_EQ(std::count(o.summary.begin(), o.summary.end(), std::string(" Solution exported to file  15")), 2);
  const std::string header = "kind,number,name,state,flag,value,lower,upper,dual";
  EXPECT_EQ(std::count(o.report.begin(), o.report.end(), header), 1);
  const auto lines = [&](const char* kind) {
    return std::count_if(o.report.begin(), o.report.end(), [&](const std::string& l) { return l.rfind(kind, 0) == 0; });
  };
  EXPECT_EQ(lines("row,"), p.m);
  EXPECT_EQ(lines("column,"), p.n);
  EXPECT_TRUE(contains(o.report, "# status,OPTIMAL SOLN"));
}

TEST_F(SolutionListingTest, SolutionNoPrintsNothing) {
  Parameters params = listingParameters();
  params.solution = 0;
  const Output o = runOutput(report(), params, {2});
  EXPECT_TRUE(contains(o.summary, " Solution not printed"));
  EXPECT_FALSE(contains(o.print, " SECTION 1 - ROWS"));
}

struct FieldCase {
  double value;
  const char* text;
};

class ListingFieldTest : public ::testing::TestWithParam<FieldCase> {};

// The activity field of column X1 shows each value as expected.
TEST_P(ListingFieldTest, Activity) {
  Problem p = smallProblem();
  p.lower[0] = -kInf;
  ProblemState s = smallState(p);
  s.x[0] = GetParam().value;
  SolutionReport r;
  r.problem = &p;
  r.state = &s;
  const Output o = runOutput(r, listingParameters(), {2});
  const std::string prefix = "       1  X1      ";
  const auto it = std::find_if(o.print.begin(), o.print.end(),
                               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  ASSERT_NE(it, o.print.end());
  EXPECT_EQ(it->substr(24, 16), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, ListingFieldTest,
                         ::testing::Values(FieldCase{0.0, "          .     "}, FieldCase{-0.0, "          .     "},
                                           FieldCase{1.0, "         1.0    "}, FieldCase{-1.0, "        -1.0    "},
                                           FieldCase{1.0000001, "         1.00000"},
                                           FieldCase{123.456, "       123.45600"}, FieldCase{-1e-7, "        -0.00000"},
                                           FieldCase{999999999.0, " 999999999.00000"},
                                           FieldCase{1e9, "    1.000000E+09"}, FieldCase{-2.5e9, "   -2.500000E+09"},
                                           FieldCase{1e100, "    1.000000+100"},
                                           FieldCase{-1.5e-300, "        -0.00000"}));

TEST(FortranFormatTest, ExponentAndFixedForms) {
  EXPECT_EQ(formatExponent(2.5e9, 16, 6), "    2.500000E+09");
  EXPECT_EQ(formatExponent(-1.5e-300, 16, 6), "   -1.500000-300");
  EXPECT_EQ(formatExponent(0.0, 8, 1), " 0.0E+00");
  EXPECT_EQ(formatExponent(9.96, 8, 1), " 1.0E+01");
  EXPECT_EQ(formatExponent(-1e100, 8, 1), "-1.0+100");
  EXPECT_EQ(formatExponent(-1e100, 7, 1), "*******");
  EXPECT_EQ(formatExponent(std::nan(""), 16, 6), "             NaN");
  EXPECT_EQ(formatExponent(-HUGE_VAL, 16, 6), "       -Infinity");
  EXPECT_EQ(formatFixed(1e12, 16, 5), "****************");
}

TEST(VariableNamesTest, GeneratedNames) {
  EXPECT_EQ(generatedColumnName(12), "x.....12");
  EXPECT_EQ(generatedRowName(3), "r......3");
  EXPECT_EQ(generatedColumnName(1234567), "x1234567");
  EXPECT_STREQ(runStatusText(kRunProceeding), "PROCEEDING  ");
  EXPECT_STREQ(runStatusText(runEndStatus(kInfeasible)), "INFEASIBLE  ");
  EXPECT_STREQ(solutionStatusText(kTooManyIterations), "EXCESS ITNS ");
  EXPECT_STREQ(solutionStatusText(kNearOptimal), "ERROR CONDN ");
}

}  // namespace
}  // namespace kavro
