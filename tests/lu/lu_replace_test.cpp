// Column replacement and rank checks, against refactorization and a dense reference.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "io/units.hpp"
#include "lu/lu_test_support.hpp"
#include "lu/shipped_bases.hpp"

namespace kavro::lu::test {
namespace {

// The matrix being updated, kept dense (row-major) beside the factors.
struct Tracked {
  int32_t m, n;
  std::vector<double> A;
  Entries entries() const {
    Entries e;
    e.m = m;
    e.n = n;
    for (int32_t i = 0; i < m; ++i)
      for (int32_t j = 0; j < n; ++j)
        if (A[static_cast<size_t>(i) * n + j] != 0.0) e.add(i, j, A[static_cast<size_t>(i) * n + j]);
    return e;
  }
  void setColumn(int32_t j, const std::vector<double>& c) {
    for (int32_t i = 0; i < m; ++i) A[static_cast<size_t>(i) * n + j] = c[i];
  }
  std::vector<double> column(int32_t j) const {
    std::vector<double> c(m);
    for (int32_t i = 0; i < m; ++i) c[i] = A[static_cast<size_t>(i) * n + j];
    return c;
  }
};

std::vector<double> sparseColumn(int32_t m, double density, std::mt19937& gen) {
  std::uniform_real_distribution<double> u(0.0, 1.0), val(-5.0, 5.0);
  std::uniform_int_distribution<int32_t> row(0, m - 1);
  std::vector<double> c(m, 0.0);
  for (int32_t i = 0; i < m; ++i)
    if (u(gen) < density) c[i] = val(gen);
  c[row(gen)] = val(gen) + 6.0;
  return c;
}

double solveResiduals(const Tracked& t, LuParams& p, LuStorage& lu, uint32_t seed) {
  const auto b = randomVector(t.m, seed);
  const double r1 = relResidual(t.A, t.m, t.n, solveA(t.m, t.n, b, p, lu), b);
  const double r2 = relResidual(transpose(t.A, t.m, t.n), t.n, t.m, solveAt(t.m, t.n, b, p, lu), b);
  return std::max(r1, r2);
}

struct Sequence {
  int32_t m;
  double density;
  int32_t steps;
  int32_t lenaFactor;  // lena = lenaFactor * nnz + 2(m + n) + 10
  uint32_t seed;
};

// Long sequences of replacements: every step is checked by residuals of B and B' solves, and
// the factors are compared with a refactorization every 20 steps. Small lena forces the row file
// to be compressed along the way.
TEST(LuReplace, LongSequencesMatchRefactorization) {
  const Sequence cases[] = {{10, 0.3, 200, 6, 1},
                            {40, 0.08, 300, 6, 2},
                            {120, 0.03, 400, 4, 3},
                            {60, 0.3, 150, 5, 4},
                            {200, 0.02, 300, 3, 5}};
  for (const Sequence& c : cases) {
    SCOPED_TRACE(c.m);
    std::mt19937 gen(c.seed);
    const Entries e0 = randomMatrix(c.m, c.m, c.density, c.seed, true);
    Tracked t{c.m, c.m, e0.dense()};
    LuParams p = defaultParams();
    LuStorage lu;
    const int32_t lena = c.lenaFactor * e0.size() + 4 * c.m + 10 + 20 * c.m;
    ASSERT_EQ(factor(e0, p, lu, lena), kFactorOk);
    int32_t compressionsSeen = 0;
    for (int32_t step = 0; step < c.steps; ++step) {
      SCOPED_TRACE(step);
      const int32_t jrep = std::uniform_int_distribution<int32_t>(0, c.m - 1)(gen);
      auto col = sparseColumn(c.m, c.density, gen);
      std::vector<double> v = col;
      const int32_t option = 1 + step % 2;
      if (option == 2) solveWithFactors(1, c.m, c.m, v.data(), nullptr, p, lu);
      double diag = 0, vnorm = 0;
      const int32_t before = p.compressions();
      const int32_t code = lu8rpc(1, option, c.m, c.m, jrep, v.data(), nullptr, p, lu, nullptr, diag, vnorm);
      t.setColumn(jrep, col);
      compressionsSeen += p.compressions() > before;
      if (code != 0 || step % 20 == 19) {
        // Refactorize, as the optimizer does after a failed or unstable replacement.
        const Entries e = t.entries();
        const int32_t fcode = factor(e, p, lu, std::max(lena, e.size() + 4 * c.m));
        if (fcode == kFactorSingular) {  // rare dependent random columns: start afresh
          t.A = e0.dense();
          ASSERT_EQ(factor(e0, p, lu, lena), kFactorOk);
        } else {
          ASSERT_EQ(fcode, kFactorOk);
        }
        if (code == 7) continue;
      }
      ASSERT_LT(solveResiduals(t, p, lu, step), 1e-10) << "code " << code << " option " << option;
    }
    EXPECT_GT(compressionsSeen, 0);
  }
}

TEST(LuReplace, SameColumnKeepsRank) {
  const Entries e = randomMatrix(30, 30, 0.1, 11, true);
  Tracked t{30, 30, e.dense()};
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 3000), kFactorOk);
  for (int32_t j : {0, 7, 29}) {
    auto v = t.column(j);
    double diag, vnorm;
    EXPECT_EQ(lu8rpc(1, 1, 30, 30, j, v.data(), nullptr, p, lu, nullptr, diag, vnorm), 0);
    EXPECT_EQ(p.rank(), 30);
    EXPECT_LT(solveResiduals(t, p, lu, j), 1e-12);
  }
  EXPECT_EQ(p.replacements(), 3);
}

std::string readAndRemove(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path);
  return text.str();
}

// A dependent column lowers the rank (with the warning); an independent one raises it again.
TEST(LuReplace, RankFallsAndRises) {
  char path[] = "/tmp/lu_rank_XXXXXX";
  close(mkstemp(path));
  {
    UnitTable units;
    units.connect(9, path);
    const Entries e = randomMatrix(25, 25, 0.15, 21, true);
    Tracked t{25, 25, e.dense()};
    LuParams p = defaultParams();
    p.printUnit() = 9;
    p.printLevel() = 0;
    LuStorage lu;
    ASSERT_EQ(factor(e, p, lu, 3000, &units), kFactorOk);
    auto c1 = t.column(1), c2 = t.column(2);
    std::vector<double> dep(25);
    for (int32_t i = 0; i < 25; ++i) dep[i] = c1[i] - 2.0 * c2[i];
    auto v = dep;
    double diag, vnorm;
    EXPECT_EQ(lu8rpc(1, 1, 25, 25, 10, v.data(), nullptr, p, lu, &units, diag, vnorm), -1);
    EXPECT_EQ(p.rank(), 24);
    EXPECT_LT(std::fabs(diag), 1e-9);
    t.setColumn(10, dep);
    // Consistent right-hand sides are still solved by the rank-deficient factors.
    const auto b = multiply(t.A, 25, 25, randomVector(25, 3));
    EXPECT_LT(relResidual(t.A, 25, 25, solveA(25, 25, b, p, lu), b), 1e-11);
    // A second dependent replacement at full rank-1 prints no warning.
    auto v2 = dep;
    lu8rpc(1, 1, 25, 25, 10, v2.data(), nullptr, p, lu, &units, diag, vnorm);
    EXPECT_EQ(p.rank(), 24);
    std::mt19937 gen(5);
    auto fresh = sparseColumn(25, 0.2, gen);
    auto v3 = fresh;
    EXPECT_EQ(lu8rpc(1, 1, 25, 25, 10, v3.data(), nullptr, p, lu, &units, diag, vnorm), 1);
    EXPECT_EQ(p.rank(), 25);
    t.setColumn(10, fresh);
    EXPECT_LT(solveResiduals(t, p, lu, 9), 1e-11);
    units.flushAll();
  }
  const std::string out = readAndRemove(path);
  EXPECT_NE(out.find("lu8rpc  warning.  Singularity after replacing column."), std::string::npos);
  EXPECT_NE(out.find("diag ="), std::string::npos);
  EXPECT_EQ(out.find("Singularity"), out.rfind("Singularity"));  // only once
}

// A factorization with a zero column has rank n-1; replacing that column raises the rank.
TEST(LuReplace, ReplacingAColumnWithoutPivot) {
  Entries e;
  e.m = e.n = 4;
  e.add(0, 0, 2.0);
  e.add(1, 1, 3.0);
  e.add(3, 3, 4.0);
  e.add(0, 3, 1.0);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 100), kFactorSingular);
  EXPECT_EQ(p.rank(), 3);
  std::vector<double> col{1.0, 0.0, 5.0, 0.0};
  auto v = col;
  double diag, vnorm;
  EXPECT_EQ(lu8rpc(1, 1, 4, 4, 2, v.data(), nullptr, p, lu, nullptr, diag, vnorm), 1);
  EXPECT_EQ(p.rank(), 4);
  EXPECT_DOUBLE_EQ(diag, 5.0);
  Tracked t{4, 4, e.dense()};
  t.setColumn(2, col);
  EXPECT_LT(solveResiduals(t, p, lu, 1), 1e-14);
}

TEST(LuReplace, InstabilityIsReported) {
  Entries e;
  e.m = e.n = 2;
  e.add(0, 0, 1.0);
  e.add(0, 1, 1.0);
  e.add(1, 1, 1.0);
  LuParams p = defaultParams();
  p.relSingularTol() = 0.9;
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 100), kFactorOk);
  std::vector<double> v{1.0, -1.0};
  double diag, vnorm;
  EXPECT_EQ(lu8rpc(1, 1, 2, 2, 0, v.data(), nullptr, p, lu, nullptr, diag, vnorm), 2);
  EXPECT_DOUBLE_EQ(diag, 2.0);
  EXPECT_DOUBLE_EQ(vnorm, 1.0);
}

TEST(LuReplace, OutOfRangeAndStorageErrors) {
  char path[] = "/tmp/lu_err_XXXXXX";
  close(mkstemp(path));
  {
    UnitTable units;
    units.connect(9, path);
    const Entries e = randomMatrix(40, 40, 0.1, 31, true);
    LuParams p = defaultParams();
    p.printUnit() = 9;
    p.printLevel() = 0;
    LuStorage lu;
    ASSERT_EQ(factor(e, p, lu, 100000), kFactorOk);
    // The reported need suffices, and leaves little room for updates.
    ASSERT_EQ(factor(e, p, lu, p.minLena() + 40, &units), kFactorOk);
    std::vector<double> v(40, 1.0);
    double diag, vnorm;
    for (int32_t jrep : {-1, 40})
      EXPECT_EQ(lu8rpc(1, 1, 40, 40, jrep, v.data(), nullptr, p, lu, &units, diag, vnorm), 8);
    // Dense new columns soon exhaust the little storage left: code 7, never an overrun.
    int32_t code = 0;
    for (int32_t step = 0; step < 200 && code != 7; ++step) {
      std::fill(v.begin(), v.end(), 1.0 + step);
      v[step % 40] += 50.0;
      code = lu8rpc(1, 1, 40, 40, (step * 7) % 40, v.data(), nullptr, p, lu, &units, diag, vnorm);
    }
    EXPECT_EQ(code, 7);
    EXPECT_GT(p.compressions(), 0);
    units.flushAll();
  }
  const std::string out = readAndRemove(path);
  EXPECT_NE(out.find("lu8rpc  error...  jrep  is out of range."), std::string::npos);
  EXPECT_NE(out.find("m =      40  n =      40  jrep =       0"), std::string::npos);
  EXPECT_NE(out.find("lu8rpc  error...  Insufficient storage."), std::string::npos);
  EXPECT_NE(out.find("lena ="), std::string::npos);
}

// lu7rnk on its own: a last row whose largest entry lies in another column keeps the rank.
TEST(LuRank, LargestEntryBecomesTheDiagonal) {
  Entries e;
  e.m = 2;
  e.n = 3;
  e.add(0, 0, 1.0);
  e.add(1, 1, 1e-20 + 1e-12);
  e.add(1, 2, 3.0);
  LuParams p = defaultParams();
  p.absSingularTol() = 1e-9;
  LuStorage lu;
  factor(e, p, lu, 100);
  ASSERT_EQ(p.rank(), 2);
  double diag = 0;
  EXPECT_EQ(lu7rnk(2, 3, -1, p, lu, diag), 0);
  EXPECT_DOUBLE_EQ(diag, 3.0);
  EXPECT_EQ(lu.colPerm[1], 2);
  // With the largest entry in the column being replaced the rank falls.
  EXPECT_EQ(lu7rnk(2, 3, 2, p, lu, diag), -1);
  EXPECT_EQ(p.rank(), 1);
}

// The Netlib bases shipped with the tests and their replacement sequences.
TEST(LuBases, NetlibReplacementSequences) {
  for (const char* name : {"afiro", "adlittle"}) {
    SCOPED_TRACE(name);
    ShippedBasis basis;
    ASSERT_EQ(loadShippedBasis(name, basis), "");
    const Entries& e = basis.entries;
    Tracked t{e.m, e.n, e.dense()};
    LuParams p = defaultParams();
    LuStorage lu;
    ASSERT_EQ(factor(e, p, lu, 10 * e.size() + 1000), kFactorOk);
    EXPECT_LT(solveResiduals(t, p, lu, 1), 1e-13);
    for (size_t s = 0; s < basis.positions.size(); ++s) {
      auto v = basis.entering[s];
      double diag, vnorm;
      ASSERT_EQ(lu8rpc(1, 1, e.m, e.n, basis.positions[s], v.data(), nullptr, p, lu, nullptr, diag, vnorm), 0);
      t.setColumn(basis.positions[s], basis.entering[s]);
      ASSERT_LT(solveResiduals(t, p, lu, static_cast<uint32_t>(s)), 1e-12) << s;
    }
  }
}

}  // namespace
}  // namespace kavro::lu::test
