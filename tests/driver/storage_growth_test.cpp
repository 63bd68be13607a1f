// Storage that grows: a run that sized its own storage goes on when the basis factors need more
// room than it started with, while a length the caller fixed is still a limit (exit 20).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "driver/work_estimate.hpp"
#include "kavro/solver.hpp"
#include "support/temp_path.hpp"

namespace kavro {
namespace {

// A covering LP: minimize c'x subject to A x >= 1, x >= 0, with every column covering `per`
// distinct random rows (the first `dense` columns every row) and costing 1 to 100. The
// objective row comes last.
Problem coveringLp(int32_t m, int32_t n, int32_t per, unsigned seed, int32_t dense = 0) {
  std::mt19937 rng(seed);
  Problem p;
  p.m = m + 1;
  p.n = n;
  p.objRow = m;
  p.a.colStart.push_back(0);
  std::vector<int32_t> rows;
  for (int32_t j = 0; j < n; ++j) {
    rows.clear();
    if (j < dense)
      for (int32_t i = 0; i < m; ++i) rows.push_back(i);
    while (static_cast<int32_t>(rows.size()) < per) {
      const int32_t i = static_cast<int32_t>(rng() % static_cast<unsigned>(m));
      if (std::find(rows.begin(), rows.end(), i) == rows.end()) rows.push_back(i);
    }
    std::sort(rows.begin(), rows.end());
    for (int32_t i : rows) {
      p.a.row.push_back(i);
      p.a.value.push_back(1.0);
    }
    p.a.row.push_back(m);
    p.a.value.push_back(static_cast<double>(1 + rng() % 100));
    p.a.colStart.push_back(static_cast<int32_t>(p.a.row.size()));
  }
  p.lower.assign(static_cast<size_t>(n), 0.0);
  p.upper.assign(static_cast<size_t>(n), kInfinity);
  for (int32_t i = 0; i < m; ++i) {
    p.lower.push_back(-kInfinity);  // activity >= 1: slack <= -1
    p.upper.push_back(-1.0);
  }
  p.lower.push_back(-kInfinity);
  p.upper.push_back(kInfinity);
  return p;
}

struct Outcome {
  SolveResult result;
  std::string print;
};

// As the kavro command sizes a run without "Workspace (total)": the estimate, automatic or not.
Outcome solve(const Problem& p, bool automatic, std::initializer_list<const char*> specs, int64_t words = 0) {
  const std::string path = testing::uniqueTempPath("storage", ".print");
  Outcome run;
  {
    Optimizer opt;
    opt.connectUnit(9, path);
    opt.initialize({9, 0, 0});
    for (const char* line : specs) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
    ProblemState state;
    state.resizeFor(p);
    SolveOptions o;
    o.workLength = words > 0 ? words : estimateWorkWords(p.m, p.n, p.nElements(), 0);
    o.automaticStorage = automatic;
    run.result = opt.solve(p, state, o);
  }
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  run.print = text.str();
  std::remove(path.c_str());
  return run;
}

// The covering LP of 1,000 rows, 4,000 columns and 28,000 nonzeros that used to end with
// "not enough storage for the basis factors" after about 3,000 iterations.
TEST(StorageGrowth, ACoveringLpGoesOnWhereAFixedLengthRunsOut) {
  const Problem p = coveringLp(1000, 4000, 7, 1);
  const Outcome limited = solve(p, false, {"Iterations limit 4000"});
  EXPECT_EQ(limited.result.exitCode, kNoStorageForFactors);
  EXPECT_NE(limited.print.find("Increase Workspace (total) to at least"), std::string::npos);

  const Outcome grown = solve(p, true, {"Iterations limit 4000"});
  EXPECT_EQ(grown.result.exitCode, kTooManyIterations) << "the run goes on past the point where storage ran out";
  EXPECT_NE(grown.print.find("Storage for the basis factors increased"), std::string::npos);
  EXPECT_EQ(grown.print.find("EXIT -- not enough storage"), std::string::npos);
}

TEST(StorageGrowth, ACoveringLpSolvesWithoutAStorageOption) {
  const Problem p = coveringLp(1000, 4000, 7, 1);
  const Outcome automatic = solve(p, true, {"Pricing option 2", "Iterations limit 100000"});
  ASSERT_EQ(automatic.result.exitCode, 0);
  // The same optimum as with ample storage fixed by the caller.
  const Outcome ample = solve(p, false, {"Pricing option 2", "Iterations limit 100000"}, 20'000'000);
  ASSERT_EQ(ample.result.exitCode, 0);
  EXPECT_NEAR(automatic.result.objValue, ample.result.objValue, 1e-9 * std::fabs(ample.result.objValue));
}

// Dense columns: the storage is sized from the longest columns, not from the average one.
TEST(StorageGrowth, AutomaticStorageIsSizedFromTheDensestColumns) {
  // 400 rows and the objective row; 1,200 columns of 6 entries (counted as 10), ten of 401.
  const Problem sparse = coveringLp(400, 1200, 5, 3);
  const Problem p = coveringLp(400, 1200, 5, 3, 10);
  EXPECT_EQ(densestBasisEntries(sparse.a, sparse.m), 401 * 10);
  EXPECT_EQ(densestBasisEntries(p.a, p.m), 10 * 401 + 391 * 10);
  const Outcome run = solve(p, true, {"Pricing option 2", "Iterations limit 100000"});
  EXPECT_EQ(run.result.exitCode, 0);
  const size_t at = run.print.find("Nonzeros allowed for in LU factors");
  ASSERT_NE(at, std::string::npos);
  long long allowed = 0;
  ASSERT_EQ(std::sscanf(run.print.c_str() + at, "Nonzeros allowed for in LU factors %lld", &allowed), 1);
  EXPECT_GE(allowed, 6 * densestBasisEntries(p.a, p.m));
}

}  // namespace
}  // namespace kavro
