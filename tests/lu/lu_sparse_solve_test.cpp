// Solves with sparse right-hand sides against the dense solves, bit for bit, through factorizations
// and long sequences of replacements; the lists they return; the ways they fall back to the
// dense path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "lu/lu_test_support.hpp"
#include "lu/shipped_bases.hpp"

namespace kavro::lu::test {
namespace {

using kernels::SparseVector;

bool sameBits(const std::vector<double>& a, const std::vector<double>& b, size_t len) {
  return std::memcmp(a.data(), b.data(), len * sizeof(double)) == 0;
}

// The list must name every nonzero, and each position once.
void expectListCovers(const SparseVector& x, const char* what) {
  if (!x.listed()) return;
  std::vector<int> seen(x.value.size(), 0);
  for (int32_t k = 0; k < x.count; ++k) {
    EXPECT_EQ(seen[x.index[k]]++, 0) << what << ": listed twice";
  }
  for (size_t i = 0; i < x.value.size(); ++i) {
    if (x.value[i] == 0.0) continue;
    EXPECT_EQ(seen[i], 1) << what << ": nonzero " << i << " not listed";
  }
}

void load(SparseVector& x, const std::vector<double>& dense) {
  x.clear();
  for (int32_t i = 0; i < x.size(); ++i)
    if (dense[i] != 0.0) x.add(i, dense[i]);
}

// One mode, sparse against dense, for the right-hand side b (m = n): the same bits, lists that
// cover the nonzeros, the work vector of modes 4 and 6 left zero. Returns whether the solution
// came back listed.
bool compareMode(int32_t mode, int32_t m, const std::vector<double>& b, LuParams& p, LuStorage& lu, SparseVector& v,
                 SparseVector& w) {
  SCOPED_TRACE("mode " + std::to_string(mode));
  const bool fromV = mode == 1 || mode == 2 || mode == 3 || mode == 5;
  std::vector<double> dv(m, 0.0), dw(m, 0.0);
  (fromV ? dv : dw) = b;
  LuParams pd = p;
  solveWithFactors(mode, m, m, dv.data(), dw.data(), pd, lu);
  v.clear();
  w.clear();
  load(fromV ? v : w, b);
  solveSparse(mode, m, m, v, w, p, lu);
  EXPECT_EQ(p.uSolveResidual(), pd.uSolveResidual());
  EXPECT_TRUE(sameBits(v.value, dv, m)) << "v";
  expectListCovers(v, "v");
  if (mode == 3 || mode == 5) {
    EXPECT_TRUE(sameBits(w.value, dw, m)) << "w";
    expectListCovers(w, "w");
    return w.listed();
  }
  if (mode == 4 || mode == 6) {
    EXPECT_EQ(w.count, 0);  // the work vector is left zero
    for (double x : w.value) EXPECT_EQ(x, 0.0);
  }
  return v.listed();
}

// Every mode; returns how many solutions of modes 3 to 6 came back listed.
int32_t compareAllModes(int32_t m, const std::vector<double>& b, LuParams& p, LuStorage& lu, SparseVector& v,
                        SparseVector& w) {
  int32_t listed = 0;
  for (int32_t mode = 1; mode <= 6; ++mode) {
    const bool solutionListed = compareMode(mode, m, b, p, lu, v, w);
    if (mode >= 3) listed += solutionListed;
  }
  return listed;
}

std::vector<double> unitVector(int32_t m, int32_t r) {
  std::vector<double> e(m, 0.0);
  e[r] = 1.0;
  return e;
}

std::vector<double> sparseColumn(int32_t m, double density, std::mt19937& gen) {
  std::uniform_real_distribution<double> u(0.0, 1.0), val(-5.0, 5.0);
  std::vector<double> c(m, 0.0);
  for (int32_t i = 0; i < m; ++i)
    if (u(gen) < density) c[i] = val(gen);
  c[std::uniform_int_distribution<int32_t>(0, m - 1)(gen)] = val(gen) + 6.0;
  return c;
}

struct Case {
  int32_t m;
  double density;
  int32_t steps;
  int32_t lenaFactor;  // lena = lenaFactor * nnz + 20 m: a small one makes the lists of U overflow
  uint32_t seed;
};

// Right-hand sides from unit vectors to nearly dense ones, solved between the replacements of a
// long sequence (the column lists of U follow the new entries): every mode agrees with the dense
// solve bit for bit, and the sparse steps as well as their dense loops are used.
TEST(LuSparseSolve, EveryModeMatchesTheDenseSolveThroughReplacements) {
  const Case cases[] = {{60, 0.05, 80, 10, 1},
                        {200, 0.01, 120, 10, 2},
                        {400, 0.005, 150, 10, 3},
                        {150, 0.03, 150, 4, 4},
                        {300, 0.01, 100, 10, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE("m " + std::to_string(c.m));
    std::mt19937 gen(c.seed);
    const Entries e = randomMatrix(c.m, c.m, c.density, c.seed, true);
    LuParams p = defaultParams();
    LuStorage lu;
    ASSERT_EQ(factor(e, p, lu, c.lenaFactor * e.size() + 20 * c.m), kFactorOk);
    SparseVector v, w;
    v.resize(c.m);
    w.resize(c.m);
    int32_t listed = 0, solves = 0, rebuilds = 0;
    for (int32_t step = 0; step < c.steps; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      const double density = step % 10 == 9 ? 0.6 : 0.5 * c.density;
      listed += compareAllModes(c.m, unitVector(c.m, step % c.m), p, lu, v, w);
      listed += compareAllModes(c.m, sparseColumn(c.m, density, gen), p, lu, v, w);
      solves += 8;
      std::vector<double> col = sparseColumn(c.m, c.density, gen);
      const bool builtBefore = lu.sparse.state == 1;
      double diag = 0, vnorm = 0;
      const int32_t jrep = std::uniform_int_distribution<int32_t>(0, c.m - 1)(gen);
      const int32_t code = lu8rpc(1, 1, c.m, c.m, jrep, col.data(), nullptr, p, lu, nullptr, diag, vnorm);
      if (code != 0) {
        ASSERT_EQ(factor(e, p, lu, c.lenaFactor * e.size() + 20 * c.m), kFactorOk);
      } else {
        rebuilds += builtBefore && lu.sparse.state == 0;  // the lists of U ran out of room
      }
    }
    EXPECT_GT(listed, 0);       // the sparse steps ran
    EXPECT_LT(listed, solves);  // and so did their dense loops
    if (c.lenaFactor < 10) {
      EXPECT_GT(rebuilds, 0);
    }
  }
}

// Two copies of the same factors go through the same replacements, one keeping the column lists
// of the sparse solves (which replacement then uses to find the old column's entries) and one
// not: they must stay identical. Between the replacements two transposed solves in one pass give
// what each gives alone, the residual included.
TEST(LuSparseSolve, ListsAndPairedSolvesChangeNoResult) {
  const Case cases[] = {{80, 0.05, 120, 10, 11}, {250, 0.01, 150, 10, 12}, {150, 0.03, 150, 4, 13}};
  for (const Case& c : cases) {
    SCOPED_TRACE("m " + std::to_string(c.m));
    std::mt19937 gen(c.seed);
    const Entries e = randomMatrix(c.m, c.m, c.density, c.seed, true);
    const int32_t lena = c.lenaFactor * e.size() + 20 * c.m;
    LuParams pl = defaultParams(), ps = defaultParams();
    LuStorage withLists, scanning;
    ASSERT_EQ(factor(e, pl, withLists, lena), kFactorOk);
    ASSERT_EQ(factor(e, ps, scanning, lena), kFactorOk);
    SparseVector v, w;
    v.resize(c.m);
    w.resize(c.m);
    int32_t throughLists = 0;
    for (int32_t step = 0; step < c.steps; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      compareMode(6, c.m, unitVector(c.m, step % c.m), pl, withLists, v, w);  // builds the lists
      std::vector<double> x0 = sparseColumn(c.m, 0.5, gen), x1 = unitVector(c.m, (7 * step) % c.m);
      std::vector<double> y0(c.m), y1(c.m), z0(c.m), z1(c.m);
      LuParams single = ps;
      solveWithFactors(6, c.m, c.m, y0.data(), x0.data(), single, scanning);
      solveWithFactors(6, c.m, c.m, y1.data(), x1.data(), single, scanning);
      solveTransposedPair(c.m, c.m, z0.data(), x0.data(), z1.data(), x1.data(), ps, scanning);
      EXPECT_TRUE(sameBits(y0, z0, c.m) && sameBits(y1, z1, c.m));
      EXPECT_EQ(single.uSolveResidual(), ps.uSolveResidual());

      std::vector<double> col = sparseColumn(c.m, c.density, gen), copy = col;
      const int32_t jrep = std::uniform_int_distribution<int32_t>(0, c.m - 1)(gen);
      throughLists += withLists.sparse.state == 1;
      scanning.sparse.state = 0;
      double diag = 0, vnorm = 0, diag2 = 0, vnorm2 = 0;
      const int32_t code = lu8rpc(1, 1, c.m, c.m, jrep, col.data(), nullptr, pl, withLists, nullptr, diag, vnorm);
      ASSERT_EQ(lu8rpc(1, 1, c.m, c.m, jrep, copy.data(), nullptr, ps, scanning, nullptr, diag2, vnorm2), code);
      EXPECT_EQ(diag, diag2);
      EXPECT_EQ(vnorm, vnorm2);
      EXPECT_EQ(pl.lenU(), ps.lenU());
      std::vector<double> b = sparseColumn(c.m, 0.3, gen), bl = b, bs = b, xl(c.m), xs(c.m);
      solveWithFactors(5, c.m, c.m, bl.data(), xl.data(), pl, withLists);
      solveWithFactors(5, c.m, c.m, bs.data(), xs.data(), ps, scanning);
      EXPECT_TRUE(sameBits(xl, xs, c.m));
      if (code != 0) {
        ASSERT_EQ(factor(e, pl, withLists, lena), kFactorOk);
        ASSERT_EQ(factor(e, ps, scanning, lena), kFactorOk);
      }
    }
    EXPECT_GT(throughLists, c.steps / 2);
  }
}

// The Netlib bases shipped with the tests: B x = a_q for the entering columns and B' y = e_r for
// their positions, between the replacements, as the optimizer asks for them. On the larger bases
// some results stay sparse and others pass the density switch to the dense loops.
TEST(LuSparseSolve, NetlibBasesAlongTheirReplacements) {
  int32_t listed = 0, solves = 0;
  for (const char* name : {"afiro", "adlittle", "sc205", "sctap1", "scsd8"}) {
    SCOPED_TRACE(name);
    ShippedBasis basis;
    ASSERT_EQ(loadShippedBasis(name, basis), "");
    const Entries& e = basis.entries;
    LuParams p = defaultParams();
    LuStorage lu;
    ASSERT_EQ(factor(e, p, lu, 10 * e.size() + 1000), kFactorOk);
    SparseVector v, w;
    v.resize(e.m);
    w.resize(e.m);
    for (size_t s = 0; s < basis.positions.size(); ++s) {
      listed += compareAllModes(e.m, basis.entering[s], p, lu, v, w);
      listed += compareAllModes(e.m, unitVector(e.m, basis.positions[s]), p, lu, v, w);
      solves += 8;
      std::vector<double> col = basis.entering[s];
      double diag, vnorm;
      ASSERT_EQ(lu8rpc(1, 1, e.m, e.n, basis.positions[s], col.data(), nullptr, p, lu, nullptr, diag, vnorm), 0);
    }
  }
  EXPECT_GT(listed, 0);
  EXPECT_LT(listed, solves);
}

// Each step stops marking once it has listed a tenth of the dimension and finishes with its dense
// loop from where it stands; a right-hand side with a tenth of the dimension listed starts
// sparse, one with an entry more starts dense. Every way gives the dense solve's results bit for
// bit, and each of the four steps is seen switching inside a solve.
TEST(LuSparseSolve, DenseLoopTakesOverInsideOneSolve) {
  const int32_t m = 200, limit = m / 10;
  const Entries e = randomMatrix(m, m, 0.015, 21, true);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 10 * e.size() + 20 * m), kFactorOk);
  SparseVector v, w;
  v.resize(m);
  w.resize(m);
  std::mt19937 gen(9);
  int32_t switchedInside[5] = {0, 0, 0, 0, 0};
  for (int32_t nonzeros : {1, 2, limit - 1, limit, limit + 1, 3 * limit}) {
    for (int32_t trial = 0; trial < 8; ++trial) {
      SCOPED_TRACE("nonzeros " + std::to_string(nonzeros) + " trial " + std::to_string(trial));
      std::vector<double> b(m, 0.0);
      std::vector<int32_t> rows(m);
      for (int32_t i = 0; i < m; ++i) rows[i] = i;
      std::shuffle(rows.begin(), rows.end(), gen);
      for (int32_t k = 0; k < nonzeros; ++k) b[rows[k]] = 1.0 + k;
      for (int32_t mode = 1; mode <= 4; ++mode) {
        lu.sparse.uDensity = lu.sparse.ltDensity = 0.0;  // no history: the step starts by the count
        const bool listed = compareMode(mode, m, b, p, lu, v, w);
        if (nonzeros > limit) {
          EXPECT_FALSE(listed) << "mode " << mode;
        }
        if (nonzeros <= limit && !listed) ++switchedInside[mode];
      }
    }
  }
  for (int32_t mode = 1; mode <= 4; ++mode) EXPECT_GT(switchedInside[mode], 0) << "mode " << mode;
}

// Factors without full rank, and right-hand sides without a list, take the dense path: the
// results are the dense ones and come back unlisted.
TEST(LuSparseSolve, DensePathWithoutFullRankOrList) {
  Entries e = randomMatrix(40, 40, 0.1, 7, true);
  for (int32_t k = 0; k < e.size(); ++k)  // column 5 becomes zero: rank 39
    if (e.col[k] == 5) e.val[k] = 0.0;
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 2000), kFactorSingular);
  ASSERT_EQ(p.rank(), 39);
  SparseVector v, w;
  v.resize(40);
  w.resize(40);
  const std::vector<double> b = randomVector(40, 3);
  EXPECT_EQ(compareAllModes(40, b, p, lu, v, w), 0);

  Entries f = randomMatrix(40, 40, 0.1, 8, true);
  ASSERT_EQ(factor(f, p, lu, 2000), kFactorOk);
  std::vector<double> dv = unitVector(40, 3), dw(40, 0.0);
  solveWithFactors(5, 40, 40, dv.data(), dw.data(), p, lu);
  v.clear();
  w.clear();
  v.value = unitVector(40, 3);
  v.markDense();
  solveSparse(5, 40, 40, v, w, p, lu);
  EXPECT_FALSE(w.listed());
  EXPECT_TRUE(sameBits(w.value, dw, 40));
}

}  // namespace
}  // namespace kavro::lu::test
