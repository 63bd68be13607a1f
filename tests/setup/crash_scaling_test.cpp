#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "io/units.hpp"
#include "setup/crash.hpp"
#include "setup/problem_statistics.hpp"
#include "setup/scaling.hpp"
#include "specs/parameters.hpp"
#include "support/temp_path.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;
using testing::makeProblem;

struct Crashed {
  CrashCounts counts;
  std::vector<int32_t> hs;
};

Crashed crash(int mode, const Problem& p, std::vector<int32_t> hs = {}) {
  Parameters params;
  std::vector<int32_t> types;
  problemStatistics(2, p, params, ReportChannels{}, types);
  if (hs.empty()) hs.assign(static_cast<size_t>(p.nb()), 0);
  std::vector<double> x(static_cast<size_t>(p.nb()), 0.0);
  Crashed c;
  c.counts = crashBasis(mode, p, types, CrashSettings{}, hs, x, ReportChannels{});
  c.hs = hs;
  return c;
}

int basics(const std::vector<int32_t>& hs) { return static_cast<int>(std::count(hs.begin(), hs.end(), 3)); }

TEST(Crash, OptionZeroIsAllSlacks) {
  const Problem p = makeProblem(DenseLp{{{1, 2}, {3, 4}}, {1, 1}, {1, 1}, {0, 0}, {kInf, kInf}});
  const Crashed c = crash(0, p, {3, 3, 0, 0});
  EXPECT_EQ(c.hs, (std::vector<int32_t>{0, 0, 3, 3}));
}

TEST(Crash, TriangularEqualitiesAreCoveredByColumns) {
  // Column 1 is a unit column, column 2 has two entries, column 3 three: each pass takes one.
  const Problem p = makeProblem(
      DenseLp{{{1, 1, 1}, {0, 1, 1}, {0, 0, 1}}, {1, 2, 3}, {1, 2, 3}, {0, 0, 0}, {10, 10, 10}});
  const Crashed c = crash(3, p);
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 3, 3, 0, 0, 0}));
  EXPECT_EQ(c.counts.pad, 0);
  EXPECT_EQ(c.counts.slacks, 0);
  EXPECT_EQ(c.counts.unit, 1);
  EXPECT_EQ(c.counts.doubles, 1);
  EXPECT_EQ(c.counts.triangle, 1);
}

TEST(Crash, AColumnWhoseOnlyOpenRowsAreTouchedWaitsForThePad) {
  // Column 1 takes row 2 (its largest entry) and touches row 1; column 2 has entries only in
  // covered rows, so row 1 is padded with its slack.
  const Problem p = makeProblem(
      DenseLp{{{1, 0, 0}, {2, 1, 0}, {0, 3, 1}}, {1, 2, 3}, {1, 2, 3}, {0, 0, 0}, {10, 10, 10}});
  const Crashed c = crash(3, p);
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 0, 3, 3, 0, 0}));
  EXPECT_EQ(c.counts.pad, 1);
}

TEST(Crash, InequalityRowsTakeTheirSlacksInOptionOne) {
  const Problem p = makeProblem(DenseLp{{{1, 1}, {1, -1}}, {-kInf, 0}, {4, kInf}, {0, 0}, {kInf, kInf}});
  const Crashed c = crash(1, p);
  EXPECT_EQ(c.counts.slacks, 2);
  EXPECT_EQ(c.counts.pad, 0);
  EXPECT_EQ(c.hs, (std::vector<int32_t>{0, 0, 3, 3}));
}

TEST(Crash, FreeColumnsComeFirst) {
  // Column 2 is free and has one entry in the open equality row; column 1 would also do.
  const Problem p = makeProblem(DenseLp{{{1, 1}}, {5}, {5}, {0, -kInf}, {10, kInf}});
  const Crashed c = crash(3, p);
  EXPECT_EQ(c.hs[1], 3);
  EXPECT_EQ(c.hs[0], 0);
  EXPECT_EQ(c.counts.freeCols, 1);
}

TEST(Crash, TinyColumnsAndFixedColumnsAreNeverChosen) {
  // Row 1 can only be covered by a column whose largest entry is 0.001 (never) or by a fixed
  // column (never): its slack pads the basis.
  const Problem p = makeProblem(DenseLp{{{0.001, 2}, {0, 1}}, {0, 1}, {0, 1}, {0, 3}, {1, 3}});
  const Crashed c = crash(3, p);
  EXPECT_EQ(c.hs[0], 0);
  EXPECT_EQ(c.hs[1], 0);
  EXPECT_EQ(c.counts.pad, 2);
  EXPECT_EQ(basics(c.hs), 2);
  EXPECT_EQ(c.hs[2], 3);
  EXPECT_EQ(c.hs[3], 3);
}

TEST(Crash, PreferredColumnsFromTheCallerAreTakenBeforeOthers) {
  const Problem p = makeProblem(DenseLp{{{1, 1}}, {5}, {5}, {0, 0}, {10, 10}});
  const Crashed c = crash(3, p, {0, 3, 0});  // column 2 was basic: preferred
  EXPECT_EQ(c.hs[1], 3);
  EXPECT_EQ(c.counts.preferred, 1);
}

// The later modes start from a point: slack values are activities negated, as the optimizer
// keeps them, and are not recomputed by the crash.
Crashed crashAt(int mode, Problem p, std::vector<int32_t> hs, const std::vector<double>& cols,
                int32_t nNonlinCons = 0) {
  p.nNonlinCons = nNonlinCons;
  Parameters params;
  std::vector<int32_t> types;
  problemStatistics(2, p, params, ReportChannels{}, types);
  std::vector<double> x(cols);
  x.resize(static_cast<size_t>(p.nb()), 0.0);
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k)
      x[static_cast<size_t>(p.n + p.a.row[static_cast<size_t>(k)])] -= p.a.value[static_cast<size_t>(k)] *
                                                                       cols[static_cast<size_t>(j)];
  Crashed c;
  c.counts = crashBasis(mode, p, types, CrashSettings{}, hs, x, ReportChannels{});
  c.hs = hs;
  return c;
}

TEST(Crash, LinearInequalityModeOpensOnlyRowsWhoseSlacksSitNearABound) {
  // r1: x1 + x2 = 2 (covered by x1), r2: x1 + x3 <= 4, r3: x2 + x3 >= 1 at x = (1, 1, 0).
  // r2's slack is far from its bound and stays basic; r3's sits on its bound, so r3 is open
  // and the unit column x3 (its entry in r2 is not eligible) covers it.
  DenseLp lp{{{1, 1, 0}, {1, 0, 1}, {0, 1, 1}}, {2, -kInf, 1}, {2, 4, kInf}, {0, 0, 0}, {10, 10, 10}};
  Crashed c = crashAt(4, makeProblem(lp), {3, 0, 0, 0, 3, 3}, {1, 1, 0});
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 0, 3, 0, 3, 1}));
  EXPECT_EQ(c.counts.slacks, 1);
  EXPECT_EQ(c.counts.unit, 1);
  EXPECT_EQ(c.counts.pad, 0);

  // With r2 tight too, r2 is touched by the basic x1 (mark 2): x2 takes r3 in the double pass,
  // x3 may not take r2 because it also has an entry in the covered r3, and r2 is padded.
  lp.rowUpper[1] = 1.1;
  c = crashAt(4, makeProblem(lp), {3, 0, 0, 0, 3, 3}, {1, 1, 0});
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 3, 0, 0, 3, 1}));
  EXPECT_EQ(c.counts.doubles, 1);
  EXPECT_EQ(c.counts.pad, 1);
}

TEST(Crash, ANonbasicSlackBetweenItsBoundsNeverOverfillsTheBasis) {
  // r1: x1 = 1 (x1 basic), r2: x2 + x3 <= 4 with x2 basic and r2's slack nonbasic strictly
  // inside its bounds (-3, far from -4): r2's slack has no place to return to, so the basis keeps
  // exactly m members.
  DenseLp lp{{{1, 0, 0}, {0, 1, 1}}, {1, -kInf}, {1, 4}, {0, 0, 0}, {10, 10, 10}};
  Crashed c = crashAt(4, makeProblem(lp), {3, 3, 0, 0, -1}, {1, 3, 0});
  EXPECT_EQ(basics(c.hs), 2);
  EXPECT_EQ(c.hs[4], -1);
  EXPECT_EQ(c.counts.pad, 0);
}

TEST(Crash, NonlinearModeCrashesOnlyTheNonlinearRows) {
  // r1 (nonlinear): x1 + x2 <= 3; r2 (linear): x1 = 1, covered by x1.
  const Problem p = makeProblem(DenseLp{{{1, 1}, {1, 0}}, {-kInf, 1}, {3, 1}, {0, 0}, {10, 10}});
  // Near its bound r1 is open; it is touched by the basic x1, and x2, with no entry in a
  // covered row, takes it.
  Crashed c = crashAt(5, p, {3, 0, 3, 0}, {1, 1.9}, 1);
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 3, 0, 0}));
  EXPECT_EQ(c.counts.unit, 1);
  // Far from its bound its slack stays basic and no column moves.
  c = crashAt(5, p, {3, 0, 3, 0}, {1, 0}, 1);
  EXPECT_EQ(c.hs, (std::vector<int32_t>{3, 0, 3, 0}));
  EXPECT_EQ(c.counts.slacks, 1);
}

// ---------------------------------------------------------------- scaling

struct Scaled {
  std::vector<double> scales;
  std::string report;
};

Scaled scale(const Problem& p, int option, double tolerance = 0.9) {
  Parameters params;
  params.scaleOption = option;
  params.scaleTolerance = tolerance;
  params.feasibilityTolerance = 1e-6;
  std::vector<int32_t> types;
  problemStatistics(2, p, params, ReportChannels{}, types);
  UnitTable units;
  const std::string path = kavro::testing::uniqueTempPath("scale_report", ".txt");
  units.connect(9, path);
  Scaled s;
  computeScales(p, types, params, ReportChannels{&units, 9, 0}, s.scales);
  units.flushAll();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  s.report = text.str();
  return s;
}

TEST(Scaling, AllOnesStopsAfterPassFourWithUnitFactors) {
  const Problem p = makeProblem(DenseLp{{{1, 1}, {1, 1}}, {0, 0}, {1, 1}, {0, 0}, {1, 1}});
  const Scaled s = scale(p, 2);
  for (double f : s.scales) EXPECT_DOUBLE_EQ(f, 1.0);
  EXPECT_NE(s.report.find(" After   3 "), std::string::npos) << s.report;
  EXPECT_EQ(s.report.find(" After   4 "), std::string::npos) << s.report;
}

TEST(Scaling, BadlyScaledMatrixIsEvenedOut) {
  // Row 2 is 1e6 times row 1 and column 2 is 1e-3 times column 1.
  const Problem p = makeProblem(DenseLp{{{1, 1e-3}, {1e6, 2e3}}, {0, 0}, {10, 1e7}, {0, 0}, {100, 100}});
  const Scaled s = scale(p, 2);
  // Scaled elements a * c(j) / r(i) are all within a factor of 10 of 1.
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const double scaled = std::fabs(p.a.value[static_cast<size_t>(k)]) * s.scales[static_cast<size_t>(j)] /
                            s.scales[static_cast<size_t>(p.n + p.a.row[static_cast<size_t>(k)])];
      EXPECT_GT(scaled, 0.1);
      EXPECT_LT(scaled, 10.0);
    }
}

TEST(Scaling, ScaleThenUnscaleRestoresTheProblemAndLeavesInfiniteBounds) {
  Problem p = makeProblem(
      DenseLp{{{3, 1e-2}, {7e4, 5}, {1, 1}}, {1, -kInf, -kInf}, {kInf, 50, kInf}, {-kInf, 0.5}, {kInf, 9e3}, 2});
  const Problem original = p;
  const Scaled s = scale(p, 2);
  std::vector<double> x{1.5, 2.5, -3.0, 4.0, 0.0};
  const std::vector<double> x0 = x;
  applyScales(1, p, x, s.scales, 1e20);
  EXPECT_EQ(p.lower[0], -kInf);
  EXPECT_EQ(p.upper[0], kInf);
  applyScales(2, p, x, s.scales, 1e20);
  for (size_t k = 0; k < p.a.value.size(); ++k)
    EXPECT_NEAR(p.a.value[k], original.a.value[k], 1e-12 * std::fabs(original.a.value[k]));
  for (size_t j = 0; j < x.size(); ++j) {
    EXPECT_NEAR(x[j], x0[j], 1e-12 * (1 + std::fabs(x0[j])));
    EXPECT_NEAR(p.lower[j], original.lower[j], 1e-12 * (1 + std::fabs(original.lower[j])));
    EXPECT_NEAR(p.upper[j], original.upper[j], 1e-12 * (1 + std::fabs(original.upper[j])));
  }
}

TEST(Scaling, LinearOptionLeavesNonlinearColumnsAloneAndToleranceAboveOneIsCut) {
  Problem p = makeProblem(DenseLp{{{5, 1e3}, {1, 2}}, {0, 0}, {1, 1}, {0, 0}, {1, 1}});
  p.nNonlinObjVars = 2;  // every column nonlinear: nothing to scale
  const Scaled s = scale(p, 1, 1.5);
  for (double f : s.scales) EXPECT_EQ(f, 1.0);
  EXPECT_EQ(s.report.find(" After"), std::string::npos);
}

TEST(Scaling, ObjectiveRowGetsItsLargestElement) {
  const Problem p = makeProblem(DenseLp{{{1, 1}, {4, 8}}, {1, -kInf}, {1, kInf}, {0, 0}, {10, 10}, 1});
  const Scaled s = scale(p, 2);
  double biggest = 0.0;
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k)
      if (p.a.row[static_cast<size_t>(k)] == 1)
        biggest = std::max(biggest, std::fabs(p.a.value[static_cast<size_t>(k)]) * s.scales[static_cast<size_t>(j)] /
                                        s.scales[static_cast<size_t>(p.n + 1)]);
  EXPECT_NEAR(biggest, 1.0, 1e-12);
}

}  // namespace
}  // namespace kavro
