// The basis factorization manager: dependent columns replaced by slacks, storage and count
// failures reported as exit codes.

#include "lu/basis_manager.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "io/units.hpp"
#include "specs/parameters.hpp"
#include "support/temp_path.hpp"

namespace kavro {
namespace {

// 3 rows; columns: e1+e2, a zero column, 2*(e1+e2) (dependent on the first), e3.
Problem dependentColumns() {
  Problem p;
  p.m = 3;
  p.n = 4;
  p.a.colStart = {0, 2, 2, 4, 5};
  p.a.row = {0, 1, 0, 1, 2};
  p.a.value = {1.0, 1.0, 2.0, 2.0, 1.0};
  p.lower.assign(7, 0.0);
  p.upper.assign(7, 10.0);
  return p;
}

struct Harness {
  Problem prob = dependentColumns();
  std::vector<int32_t> hs, basisList;
  std::vector<double> x;
  int32_t ns = 0;
  Parameters params;
  UnitTable units;
  ReportChannels out;
  BasisLU lu;
  FactorizationCounters counters;
  BasisSet set;
  std::string path;

  explicit Harness(int32_t lena = 1000) {
    path = testing::uniqueTempPath("manager", ".txt");
    units.connect(9, path);
    out = ReportChannels{&units, 9, 0};
    params.luFactorTolerance = 100.0;
    params.luUpdateTolerance = 10.0;
    params.luSingularityTol = params.luSingularityTol2 = 3.25e-11;
    params.luDensity = 0.5;
    params.printLevel = 10;
    hs.assign(7, 0);
    x.assign(7, 0.0);
    basisList.assign(4, -1);
    lu.size(3, 4, lena);
    set = BasisSet{&prob, &hs, &x, &basisList, &ns};
  }
  std::string printed() {
    units.flushAll();
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST(BasisManager, DependentAndEmptyColumnsAreReplacedBySlacks) {
  Harness h;
  h.hs = {3, 3, 3, 0, 0, 0, 0};  // columns 1-3: column 2 is zero, column 3 depends on column 1
  h.x = {1.0, 5.0, 10.0, 0.0, 0.0, 0.0, 0.0};
  ASSERT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kOptimal);
  int basics = 0;
  for (int32_t s : h.hs) basics += s == 3;
  EXPECT_EQ(basics, 3);
  EXPECT_EQ(h.hs[0] == 3 || h.hs[2] == 3, true);
  EXPECT_NE(h.hs[1], 3);
  EXPECT_EQ(h.hs[6], 3) << "row 3 is covered by nothing else";
  // A column leaving at its upper bound is put there; one strictly inside keeps its value.
  const std::string text = h.printed();
  EXPECT_NE(text.find("replaced by slack"), std::string::npos) << text;
  EXPECT_EQ(h.lu.rank(), 3);
}

TEST(BasisManager, TooFewBasicsAreCompletedWithSlacks) {
  Harness h;
  h.hs = {3, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kOptimal);
  EXPECT_EQ(h.hs[0], 3);
  int basics = 0;
  for (int32_t s : h.hs) basics += s == 3;
  EXPECT_EQ(basics, 3);
}

// Rows 1 and 2 have only one basic column between them, and both their slacks are superbasic:
// the repair makes one of them basic, so the superbasic set shrinks and the counters say that
// the superbasics changed (the quasi-Newton model of the optimizer follows them).
TEST(BasisManager, ASuperbasicSlackTakenByTheRepairChangesTheSuperbasics) {
  Harness h;
  h.hs = {3, 0, 0, 3, 2, 2, 0};
  h.ns = 2;
  h.basisList = {-1, -1, -1, 4, 5};
  ASSERT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), 0);
  EXPECT_EQ(h.ns, 1);
  EXPECT_TRUE(h.counters.superbasicsChanged);
  EXPECT_TRUE(h.hs[4] == 3 || h.hs[5] == 3);
  const int32_t superbasic = h.basisList[3];
  EXPECT_EQ(h.hs[static_cast<size_t>(superbasic)], 2);
}

TEST(BasisManager, TooManyBasicsEndTheRunWithExit32) {
  Harness h;
  h.hs = {3, 3, 3, 3, 0, 0, 0};
  EXPECT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kTooManyBasics);
  EXPECT_NE(h.printed().find("EXIT -- system error.  Too many basic variables:"), std::string::npos);
}

TEST(BasisManager, TooLittleStorageGivesExit20WithTheNeed) {
  Harness h(4);
  h.hs = {3, 0, 3, 3, 0, 0, 0};
  EXPECT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kNoStorageForFactors);
  const std::string text = h.printed();
  EXPECT_NE(text.find("EXIT -- not enough storage for the basis factors"), std::string::npos) << text;
  EXPECT_NE(text.find("Increase Workspace (total) to at least"), std::string::npos) << text;
}

// B x for the basis positions of h.
std::vector<double> basisTimes(const Harness& h, const std::vector<double>& x) {
  std::vector<double> bx(3, 0.0);
  for (int k = 0; k < 3; ++k) {
    const int32_t j = h.basisList[static_cast<size_t>(k)];
    if (j >= h.prob.n) {
      bx[static_cast<size_t>(j - h.prob.n)] += x[static_cast<size_t>(k)];
      continue;
    }
    for (int32_t e = h.prob.a.colStart[static_cast<size_t>(j)]; e < h.prob.a.colStart[static_cast<size_t>(j) + 1]; ++e)
      bx[static_cast<size_t>(h.prob.a.row[static_cast<size_t>(e)])] += h.prob.a.value[static_cast<size_t>(e)] *
                                                                       x[static_cast<size_t>(k)];
  }
  return bx;
}

// Storage the run sized itself grows to what the factorization needs, and the same basis is
// factorized again; a limit below that need still ends with exit 20.
TEST(BasisManager, StorageThatMayGrowIsEnlargedAndTheFactorizationGoesOn) {
  const std::vector<int32_t> basis = {3, 0, 0, 3, 0, 3, 0};  // columns 1 and 4 and the slack of row 2
  Harness h(4);
  h.hs = basis;
  h.counters.maxFactorElements = 1000;
  ASSERT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kOptimal);
  EXPECT_GE(h.counters.storageGrowths, 1);
  EXPECT_GT(h.lu.lena(), 4);
  EXPECT_LE(h.lu.lena(), 1000);
  EXPECT_EQ(h.hs, basis) << "the basis is the one asked for";
  EXPECT_NE(h.printed().find("Storage for the basis factors increased from 4 to"), std::string::npos) << h.printed();
  const std::vector<double> b{1.0, 2.0, 3.0};
  std::vector<double> rhs = b, x(4, 0.0);
  h.lu.solveB(rhs.data(), x.data());
  const std::vector<double> bx = basisTimes(h, x);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(bx[static_cast<size_t>(i)], b[static_cast<size_t>(i)], 1e-14);

  Harness limited(4);
  limited.hs = basis;
  limited.counters.maxFactorElements = 5;
  EXPECT_EQ(factorizeBasis(limited.set, limited.lu, limited.params, limited.out, limited.counters),
            kNoStorageForFactors);
}

TEST(BasisManager, SolvesWithTheFactorsMatchTheBasis) {
  Harness h;
  h.hs = {3, 0, 0, 3, 0, 3, 0};  // columns 1 and 4 and the slack of row 2
  ASSERT_EQ(factorizeBasis(h.set, h.lu, h.params, h.out, h.counters), kOptimal);
  // B x = b checked by multiplying back with the basis columns.
  const std::vector<double> b{1.0, 2.0, 3.0};
  std::vector<double> rhs = b, x(4, 0.0);
  h.lu.solveB(rhs.data(), x.data());
  const std::vector<double> bx = basisTimes(h, x);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(bx[static_cast<size_t>(i)], b[static_cast<size_t>(i)], 1e-14);
}

// A random m-row problem with n structural columns whose basis is the first m/2 structurals and
// the slacks of the other rows.
struct RandomBasis {
  Problem prob;
  std::vector<int32_t> hs, basisList;
  std::vector<double> x;
  int32_t ns = 0;
  BasisSet set;

  RandomBasis(int32_t m, int32_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0), val(0.5, 3.0);
    prob.m = m;
    prob.n = n;
    prob.a.colStart.push_back(0);
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t i = 0; i < m; ++i)
        if (i == j % m || u(gen) < 0.06) {
          prob.a.row.push_back(i);
          prob.a.value.push_back(u(gen) < 0.5 ? -val(gen) : val(gen));
        }
      prob.a.colStart.push_back(static_cast<int32_t>(prob.a.row.size()));
    }
    prob.lower.assign(static_cast<size_t>(n + m), 0.0);
    prob.upper.assign(static_cast<size_t>(n + m), 10.0);
    hs.assign(static_cast<size_t>(n + m), 0);
    for (int32_t j = 0; j < m / 2; ++j) hs[static_cast<size_t>(j)] = kBasic;
    for (int32_t i = m / 2; i < m; ++i) hs[static_cast<size_t>(n + i)] = kBasic;
    x.assign(static_cast<size_t>(n + m), 0.0);
    basisList.assign(static_cast<size_t>(m), -1);
    set = BasisSet{&prob, &hs, &x, &basisList, &ns};
  }
};

// The sparse solves give the dense ones' results bit for bit, and the L-part they keep makes the
// same column replacements: two managers, one solving densely and one sparsely, stay identical
// through a sequence of basis changes.
TEST(BasisLU, SparseSolvesMatchTheDenseOnesThroughReplacements) {
  constexpr int32_t m = 60, n = 90;
  RandomBasis dense(m, n, 11), sparse(m, n, 11);
  Harness h;
  BasisLU luDense, luSparse;
  luDense.size(m, m, 20000);
  luSparse.size(m, m, 20000);
  FactorizationCounters cd, cs;
  Parameters pd = h.params, ps = h.params;
  ASSERT_EQ(factorizeBasis(dense.set, luDense, pd, h.out, cd), kOptimal);
  ASSERT_EQ(factorizeBasis(sparse.set, luSparse, ps, h.out, cs), kOptimal);
  kernels::SparseVector column, solution, unit, prices;
  for (auto* v : {&column, &solution, &unit, &prices}) v->resize(m);
  std::vector<double> work(m), y(m), e(m), pi(m);
  for (int32_t step = 0; step < 40; ++step) {
    SCOPED_TRACE(step);
    const int32_t q = m / 2 + step;  // a nonbasic structural enters at position r
    const int32_t r = (7 * step) % m;
    std::fill(work.begin(), work.end(), 0.0);
    column.clear();
    for (int32_t k = dense.prob.a.colStart[static_cast<size_t>(q)];
         k < dense.prob.a.colStart[static_cast<size_t>(q) + 1]; ++k) {
      work[static_cast<size_t>(dense.prob.a.row[static_cast<size_t>(k)])] = dense.prob.a.value[static_cast<size_t>(k)];
      column.add(dense.prob.a.row[static_cast<size_t>(k)], dense.prob.a.value[static_cast<size_t>(k)]);
    }
    luDense.solveB(work.data(), y.data());
    luSparse.solveBSparse(column, solution);
    EXPECT_EQ(std::memcmp(y.data(), solution.value.data(), sizeof(double) * m), 0);
    std::fill(e.begin(), e.end(), 0.0);
    e[static_cast<size_t>(r)] = 1.0;
    unit.clear();
    unit.add(r, 1.0);
    luDense.solveBt(e.data(), pi.data());
    luSparse.solveBtSparse(unit, prices);
    EXPECT_EQ(std::memcmp(pi.data(), prices.value.data(), sizeof(double) * m), 0);
    if (std::fabs(y[static_cast<size_t>(r)]) < 1e-3) continue;  // a poor pivot: no change this time
    EXPECT_EQ(luDense.replaceColumn(r), luSparse.replaceColumn(r));
    EXPECT_EQ(luDense.params().ip, luSparse.params().ip);
    EXPECT_EQ(luDense.params().rp, luSparse.params().rp);
  }
}

}  // namespace
}  // namespace kavro
