// Factorization and solves checked against a dense reference.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "io/units.hpp"
#include "lu/lu_test_support.hpp"

namespace kavro::lu::test {
namespace {

struct Shape {
  int32_t m, n;
  double density;
  int32_t rule;
  uint32_t seed;
};

std::string name(const Shape& s) {
  static const char* const kRule[] = {"partial", "rook", "complete", "symmetric"};
  return std::to_string(s.m) + "x" + std::to_string(s.n) + " d=" + std::to_string(s.density) + " " + kRule[s.rule];
}

// Square structurally nonsingular matrices: every solve mode against the dense matrix.
TEST(LuFactor, SquareMatricesSolveInEveryMode) {
  const Shape shapes[] = {
      {1, 1, 0.0, kPartial, 1},      {5, 5, 0.2, kPartial, 2},       {30, 30, 0.05, kPartial, 3},
      {60, 60, 0.1, kPartial, 4},    {40, 40, 0.6, kPartial, 5},     {120, 120, 0.02, kPartial, 6},
      {30, 30, 0.1, kRook, 7},       {80, 80, 0.05, kRook, 8},       {40, 40, 0.5, kRook, 9},
      {30, 30, 0.1, kComplete, 10},  {80, 80, 0.05, kComplete, 11},  {40, 40, 0.5, kComplete, 12},
      {25, 25, 0.1, kSymmetric, 13}, {60, 60, 0.03, kSymmetric, 14}, {200, 200, 0.01, kPartial, 15},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(name(s));
    Entries e = randomMatrix(s.m, s.n, s.density, s.seed, true, s.rule == kSymmetric);
    if (s.rule == kSymmetric)  // a dominant diagonal makes every diagonal pivot acceptable
      for (int32_t k = 0; k < e.size(); ++k)
        if (e.row[k] == e.col[k]) e.val[k] = 100.0 * s.n;
    LuParams p = defaultParams(s.rule);
    LuStorage lu;
    const int32_t code = factor(e, p, lu, 20 * e.size() + 1000);
    const auto A = e.dense();
    if (code == kFactorSingular) continue;  // random values can be dependent; covered elsewhere
    ASSERT_EQ(code, kFactorOk);
    EXPECT_EQ(p.rank(), s.n);
    EXPECT_LE(p.lmax(), std::max(p.factorTol(), 1.0001) * (1 + 1e-12));

    const auto b = randomVector(s.m, s.seed);
    EXPECT_LT(relResidual(A, s.m, s.n, solveA(s.m, s.n, b, p, lu), b), 1e-13);
    const auto At = transpose(A, s.m, s.n);
    EXPECT_LT(relResidual(At, s.n, s.m, solveAt(s.m, s.n, b, p, lu), b), 1e-13);

    // Modes 1 then 3 give mode 5; modes 4 then 2 give mode 6.
    std::vector<double> v = b, w(s.n);
    solveWithFactors(1, s.m, s.n, v.data(), nullptr, p, lu);
    solveWithFactors(3, s.m, s.n, v.data(), w.data(), p, lu);
    EXPECT_LT(relResidual(A, s.m, s.n, w, b), 1e-13);
    std::vector<double> y(s.m), c = b;
    solveWithFactors(4, s.m, s.n, y.data(), c.data(), p, lu);
    solveWithFactors(2, s.m, s.n, y.data(), nullptr, p, lu);
    EXPECT_LT(relResidual(At, s.n, s.m, y, b), 1e-13);
    // L^-1 and L'^-1 are transposes of each other: <L^-1 x, z> = <x, L'^-1 z>.
    auto x1 = randomVector(s.m, 100 + s.seed), z1 = randomVector(s.m, 200 + s.seed);
    auto lx = x1, ltz = z1;
    solveWithFactors(1, s.m, s.n, lx.data(), nullptr, p, lu);
    solveWithFactors(2, s.m, s.n, ltz.data(), nullptr, p, lu);
    double d1 = 0, d2 = 0;
    for (int32_t i = 0; i < s.m; ++i) {
      d1 += lx[i] * z1[i];
      d2 += x1[i] * ltz[i];
    }
    EXPECT_NEAR(d1, d2, 1e-10 * (std::fabs(d1) + 1));
  }
}

// A bump entered through row singletons on long columns, some of them too small to pass the
// stability test at first: the pattern where entries are looked up through remembered positions.
Entries rowSingletonsOnLongColumns(uint32_t seed) {
  constexpr int32_t n = 120, nLong = 10;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> mag(0.1, 10.0), u(0.0, 1.0);
  Entries e;
  e.m = e.n = n;
  for (int32_t i = 0; i < nLong; ++i) e.add(i, i, i % 3 == 0 ? 1e-3 : mag(gen));
  for (int32_t j = 0; j < nLong; ++j)
    for (int32_t i = nLong; i < n; ++i)
      if (u(gen) < 0.5) e.add(i, j, mag(gen));
  for (int32_t i = nLong; i < n; ++i)
    for (int32_t j = nLong; j < n; ++j)
      if (i == j || u(gen) < 0.03) e.add(i, j, (u(gen) < 0.5 ? -1.0 : 1.0) * mag(gen));
  return e;
}

enum class Hints { kFresh, kStale, kNone, kNoSingletonWatch };

// Factorizes with the position hints as a fresh storage has them, filled with misleading
// positions (a storage reused for another matrix), or absent; or without the lists of row
// singletons known to fail, so that the search looks at every singleton every time.
int32_t factorWithHints(const Entries& e, LuParams& p, LuStorage& lu, int32_t lena, Hints hints) {
  lu.resize(e.m, e.n, lena);
  if (hints == Hints::kStale) {
    for (int32_t k = 0; k < lena; ++k) {
      lu.colEntryPos[k] = static_cast<int32_t>((7919LL * k) % lena);
      lu.rowEntryPos[k] = static_cast<int32_t>((104729LL * k + 13) % lena);
    }
  } else if (hints == Hints::kNone) {
    lu.colEntryPos.clear();
    lu.rowEntryPos.clear();
  } else if (hints == Hints::kNoSingletonWatch) {
    lu.singletonLists.clear();
  }
  for (int32_t k = 0; k < e.size(); ++k) {
    lu.a[k] = e.val[k];
    lu.indc[k] = e.row[k];
    lu.indr[k] = e.col[k];
  }
  int32_t nelem = e.size();
  return lu1fac(e.m, e.n, nelem, p, lu, nullptr);
}

// The remembered positions and the singletons known to fail only save searching: pivots,
// factors, statistics and every array of the storage come out the same whether the positions
// are right, misleading or missing, and with or without the singleton lists.
TEST(LuFactor, SearchShortcutsNeverChangeTheFactors) {
  struct Case {
    int32_t rule;
    double dropTol;
    int32_t lenaFactor;  // lena = lenaFactor * nnz + 2(m + n): small ones force compressions
  };
  const Case cases[] = {{kPartial, 3e-13, 10}, {kPartial, 1e-2, 2},   {kRook, 3e-13, 10},
                        {kRook, 1e-3, 3},      {kComplete, 3e-13, 2}, {kPartial, 3e-13, 1}};
  for (const Case& c : cases) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE("rule " + std::to_string(c.rule) + " drop " + std::to_string(c.dropTol) + " lena x" +
                   std::to_string(c.lenaFactor) + " seed " + std::to_string(seed));
      const Entries e = rowSingletonsOnLongColumns(seed);
      const int32_t lena = c.lenaFactor * e.size() + 2 * (e.m + e.n);
      constexpr int32_t kModes = 4;
      LuStorage lu[kModes];
      LuParams p[kModes];
      int32_t code[kModes];
      const Hints modes[kModes] = {Hints::kFresh, Hints::kStale, Hints::kNone, Hints::kNoSingletonWatch};
      for (int32_t k = 0; k < kModes; ++k) {
        p[k] = defaultParams(c.rule);
        p[k].dropTol() = c.dropTol;
        code[k] = factorWithHints(e, p[k], lu[k], lena, modes[k]);
      }
      if (c.lenaFactor >= 10 && c.dropTol < 1e-12) {
        ASSERT_EQ(code[0], kFactorOk);
        const auto b = randomVector(e.m, seed);
        EXPECT_LT(relResidual(e.dense(), e.m, e.n, solveA(e.m, e.n, b, p[0], lu[0]), b), 1e-12);
      }
      for (int32_t k = 1; k < kModes; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(code[k], code[0]);
        EXPECT_EQ(p[k].ip, p[0].ip);
        EXPECT_EQ(p[k].rp, p[0].rp);
        EXPECT_EQ(lu[k].rowPerm, lu[0].rowPerm);
        EXPECT_EQ(lu[k].colPerm, lu[0].colPerm);
        EXPECT_EQ(lu[k].rowLength, lu[0].rowLength);
        EXPECT_EQ(lu[k].a, lu[0].a);
        EXPECT_EQ(lu[k].indc, lu[0].indc);
        EXPECT_EQ(lu[k].indr, lu[0].indr);
      }
    }
  }
}

// A storage sized again for the next basis starts from zeros, as a fresh one does, even though
// its element arrays are no longer cleared element by element.
TEST(LuFactor, ResizedStorageStartsFromZeros) {
  LuStorage lu;
  lu.resize(4, 4, 64);
  std::fill(lu.a.begin(), lu.a.end(), 7.0);
  std::fill(lu.indc.begin(), lu.indc.end(), 3);
  std::fill(lu.rowEntryPos.begin(), lu.rowEntryPos.end(), 5);
  lu.resize(4, 4, 64);
  EXPECT_TRUE(std::all_of(lu.a.begin(), lu.a.end(), [](double v) { return v == 0.0; }));
  EXPECT_TRUE(std::all_of(lu.indc.begin(), lu.indc.end(), [](int32_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(lu.rowEntryPos.begin(), lu.rowEntryPos.end(), [](int32_t v) { return v == 0; }));
  lu.resize(4, 4, 128);
  EXPECT_EQ(lu.a.size(), 128u);
  EXPECT_EQ(lu.indr.size(), 128u);
  EXPECT_TRUE(std::all_of(lu.indr.begin(), lu.indr.end(), [](int32_t v) { return v == 0; }));
}

// Rectangular matrices: consistent systems are solved; the rank is min(m, n) generically.
TEST(LuFactor, RectangularMatricesBothWays) {
  const Shape shapes[] = {{40, 20, 0.1, kPartial, 21},  {20, 40, 0.1, kPartial, 22}, {60, 30, 0.3, kRook, 23},
                          {30, 60, 0.3, kComplete, 24}, {100, 3, 0.5, kPartial, 25}, {3, 100, 0.5, kPartial, 26},
                          {50, 49, 0.7, kPartial, 27}};
  for (const Shape& s : shapes) {
    SCOPED_TRACE(name(s));
    const Entries e = randomMatrix(s.m, s.n, s.density, s.seed, true);
    LuParams p = defaultParams(s.rule);
    LuStorage lu;
    const int32_t code = factor(e, p, lu, 20 * e.size() + 1000);
    ASSERT_TRUE(code == kFactorOk || code == kFactorSingular);
    EXPECT_EQ(p.rank(), std::min(s.m, s.n));
    const auto A = e.dense();
    // b in the range of A: the solve reproduces it.
    auto x0 = randomVector(s.n, s.seed);
    const auto b = multiply(A, s.m, s.n, x0);
    EXPECT_LT(relResidual(A, s.m, s.n, solveA(s.m, s.n, b, p, lu), b), 1e-12);
    EXPECT_EQ(p.uSolveResidual() > 1e-9, false);
    // Wide matrices leave n - m columns without a pivot; tall ones are of full column rank.
    EXPECT_EQ(code == kFactorSingular, s.n > s.m);
    EXPECT_EQ(p.nsing(), std::max(0, s.n - s.m));
  }
}

TEST(LuFactor, StructurallySingularMatrices) {
  // A zero column, a zero row, and two columns with the same single row.
  Entries e = randomMatrix(20, 20, 0.15, 31, true);
  Entries f;
  f.m = f.n = 20;
  for (int32_t k = 0; k < e.size(); ++k)
    if (e.col[k] != 7 && e.row[k] != 3) f.add(e.row[k], e.col[k], e.val[k]);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(f, p, lu, 2000), kFactorSingular);
  EXPECT_LT(p.rank(), 20);
  EXPECT_GE(p.nsing(), 1);
  EXPECT_LE(lu.luWork[7], 0.0);  // the zero column is flagged
  int32_t flagged = 0;
  for (int32_t j = 0; j < 20; ++j) flagged += lu.luWork[j] <= 0.0;
  EXPECT_EQ(flagged, p.nsing());
  EXPECT_EQ(p.nsing(), 20 - p.rank());
  // Consistent right-hand sides are still solved.
  const auto A = f.dense();
  auto x0 = randomVector(20, 5);
  x0[7] = 0.0;
  const auto b = multiply(A, 20, 20, x0);
  EXPECT_LT(relResidual(A, 20, 20, solveA(20, 20, b, p, lu), b), 1e-12);
}

TEST(LuFactor, NumericallySingularMatrixIsFlagged) {
  for (int32_t rule : {kPartial, kRook, kComplete}) {
    SCOPED_TRACE(rule);
    Entries e = randomMatrix(30, 30, 0.2, 41, true);
    // Column 5 := column 2 + 3 * column 9 (entries of column 5 replaced).
    auto A = e.dense();
    Entries f;
    f.m = f.n = 30;
    for (int32_t k = 0; k < e.size(); ++k)
      if (e.col[k] != 5) f.add(e.row[k], e.col[k], e.val[k]);
    for (int32_t i = 0; i < 30; ++i) {
      const double v = A[i * 30 + 2] + 3.0 * A[i * 30 + 9];
      if (v != 0.0) f.add(i, 5, v);
    }
    LuParams p = defaultParams(rule);
    p.absSingularTol() = p.relSingularTol() = 1e-9;
    LuStorage lu;
    ASSERT_EQ(factor(f, p, lu, 5000), kFactorSingular);
    EXPECT_EQ(p.nsing(), 1);
    EXPECT_EQ(30 - p.rank() <= 1, true);
  }
}

TEST(LuFactor, PermutedIdentityIsAllSlacks) {
  Entries e;
  e.m = e.n = 50;
  for (int32_t j = 0; j < 50; ++j) e.add((j * 7) % 50, j, (j % 2) ? 1.0 : -1.0);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, e.size() + 200), kFactorOk);
  EXPECT_EQ(p.nslack(), 50);
  EXPECT_EQ(p.lenL(), 0);
  EXPECT_EQ(p.lenU(), 50);
  EXPECT_EQ(p.rank(), 50);
}

TEST(LuFactor, DropToleranceIsExclusive) {
  LuParams p = defaultParams();
  p.dropTol() = 1e-10;
  Entries e;
  e.m = e.n = 3;
  e.add(0, 0, 2.0);
  e.add(1, 1, 3.0);
  e.add(2, 2, 4.0);
  e.add(0, 1, 1e-10);          // dropped
  e.add(1, 2, -1e-10);         // dropped
  e.add(2, 0, 1.0000001e-10);  // kept
  LuStorage lu;
  lu.resize(3, 3, 100);
  for (int32_t k = 0; k < e.size(); ++k) {
    lu.a[k] = e.val[k];
    lu.indc[k] = e.row[k];
    lu.indr[k] = e.col[k];
  }
  int32_t nelem = e.size();
  ASSERT_EQ(lu1fac(3, 3, nelem, p, lu, nullptr), kFactorOk);
  EXPECT_EQ(nelem, 4);
  EXPECT_EQ(p.lenL() + p.lenU(), 4);
}

TEST(LuFactor, FactorToleranceBelowOneIsRaised) {
  const Entries e = randomMatrix(60, 60, 0.2, 51, true);
  LuParams p = defaultParams();
  p.factorTol() = 1.0;
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 50000), kFactorOk);
  EXPECT_LE(p.lmax(), 1.0001 + 1e-12);
  EXPECT_GT(p.lmax(), 0.0);
}

// keep-factors 0 computes rank and flags without keeping L: the rank check of a tall matrix.
TEST(LuFactor, RankCheckWithoutFactors) {
  Entries e = randomMatrix(40, 25, 0.2, 61, true);
  // Make column 24 a copy of column 3.
  Entries f;
  f.m = 40;
  f.n = 25;
  for (int32_t k = 0; k < e.size(); ++k)
    if (e.col[k] != 24) f.add(e.row[k], e.col[k], e.val[k]);
  for (int32_t k = 0; k < e.size(); ++k)
    if (e.col[k] == 3) f.add(e.row[k], 24, e.val[k]);
  LuParams p = defaultParams();
  p.keepFactors() = 0;
  p.factorTol() = 1.9;
  LuStorage lu;
  ASSERT_EQ(factor(f, p, lu, f.size() + 2 * 65 + 2000), kFactorSingular);
  EXPECT_EQ(p.rank(), 24);
  EXPECT_EQ(p.lenL(), 0);
  EXPECT_TRUE(lu.luWork[3] <= 0.0 || lu.luWork[24] <= 0.0);
}

// ---- Error codes and storage --------------------------------------------------------------

struct ErrorCase {
  const char* what;
  int32_t i, j;
  double v;
  int32_t code;
};

TEST(LuFactorErrors, BadEntriesGiveTheirCodes) {
  const ErrorCase cases[] = {
      {"row index -1", -1, 0, 1.0, kFactorBadIndex},
      {"row index m", 4, 0, 1.0, kFactorBadIndex},
      {"column index n", 0, 4, 1.0, kFactorBadIndex},
      {"duplicate", 1, 1, 5.0, kFactorDuplicate},
      {"not a number", 2, 0, std::numeric_limits<double>::quiet_NaN(), kFactorRookSetupFailed},
      {"infinite", 2, 0, std::numeric_limits<double>::infinity(), kFactorRookSetupFailed},
      {"tiny with a bad index is dropped", 9, 9, 1e-20, kFactorOk},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    Entries e;
    e.m = e.n = 4;
    for (int32_t k = 0; k < 4; ++k) e.add(k, k, 1.0 + k);
    e.add(c.i, c.j, c.v);
    LuParams p = defaultParams();
    LuStorage lu;
    EXPECT_EQ(factor(e, p, lu, 100), c.code);
    EXPECT_EQ(p.result(), c.code);
  }
}

TEST(LuFactorErrors, SymmetricPivotingWithoutDiagonal) {
  Entries e;
  e.m = e.n = 3;
  e.add(0, 1, 1.0);
  e.add(1, 0, 1.0);
  e.add(0, 0, 1e-3);
  e.add(1, 1, 1e-3);
  e.add(2, 2, 1.0);
  e.add(2, 0, 5.0);
  e.add(0, 2, 5.0);
  LuParams p = defaultParams(kSymmetric);
  p.factorTol() = 2.0;
  LuStorage lu;
  EXPECT_EQ(factor(e, p, lu, 200), kFactorNoDiagonalPivot);
}

TEST(LuFactorErrors, StorageBelowTheMinimum) {
  const Entries e = randomMatrix(30, 30, 0.1, 71, true);
  const int32_t minimum = e.size() + 2 * (30 + 30);
  LuParams p = defaultParams();
  LuStorage lu;
  EXPECT_EQ(factor(e, p, lu, minimum - 1), kFactorNoStorage);
  EXPECT_EQ(p.minLena(), minimum);
}

// With lena at the minimum or a little above, the factorization either succeeds or asks for a
// larger lena; retrying with what it asks for ends in success. (The arrays are sized exactly
// lena, so the sanitizer build catches any write outside them.)
TEST(LuFactorErrors, TightStorageAsksForEnoughAndSucceeds) {
  for (uint32_t seed = 81; seed < 87; ++seed) {
    SCOPED_TRACE(seed);
    const Entries e = randomMatrix(80, 80, 0.08 + 0.05 * (seed % 3), seed, true);
    int32_t lena = e.size() + 2 * (80 + 80);
    int32_t tries = 0, code = -1;
    LuParams p;
    LuStorage lu;
    for (; tries < 6; ++tries) {
      p = defaultParams();
      code = factor(e, p, lu, lena);
      if (code != kFactorNoStorage) break;
      ASSERT_GT(p.minLena(), lena);
      lena = p.minLena();
    }
    ASSERT_TRUE(code == kFactorOk || code == kFactorSingular) << code;
    EXPECT_LE(p.minLena(), lena);
    const auto A = e.dense();
    const auto b = randomVector(80, seed);
    if (code == kFactorOk) {
      EXPECT_LT(relResidual(A, 80, 80, solveA(80, 80, b, p, lu), b), 1e-12);
    }
  }
}

TEST(LuSolve, TinyRightHandSideGivesZero) {
  const Entries e = randomMatrix(20, 20, 0.2, 91, true);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 5000), kFactorOk);
  std::vector<double> b(20, p.dropTol()), x(20, 7.0);
  EXPECT_EQ(solveWithFactors(5, 20, 20, b.data(), x.data(), p, lu), 0);
  for (double v : x) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(p.uSolveResidual(), 0.0);
}

TEST(LuSolve, ResidualOfRowsBeyondTheRank) {
  Entries e;
  e.m = 3;
  e.n = 2;
  e.add(0, 0, 2.0);
  e.add(1, 1, 4.0);
  e.add(2, 0, 1.0);
  LuParams p = defaultParams();
  LuStorage lu;
  ASSERT_EQ(factor(e, p, lu, 100), kFactorOk);
  std::vector<double> b{2.0, 4.0, 5.0}, x(2);
  EXPECT_EQ(solveWithFactors(5, 3, 2, b.data(), x.data(), p, lu), 1);
  EXPECT_NEAR(p.uSolveResidual(), 4.0, 1e-14);  // row 3 asks for x1 = 5, row 1 gives 1
}

// ---- Messages --------------------------------------------------------------------------------

std::string runPrinted(const Entries& e, LuParams& p, int32_t lena) {
  char path[] = "/tmp/lu_print_XXXXXX";
  const int fd = mkstemp(path);
  close(fd);
  {
    UnitTable units;
    units.connect(9, path);
    p.printUnit() = 9;
    LuStorage lu;
    factor(e, p, lu, lena, &units);
    units.flushAll();
  }
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path);
  return text.str();
}

TEST(LuMessages, StatisticsBlockAndErrors) {
  const Entries e = randomMatrix(30, 30, 0.2, 101, true);
  {
    LuParams p = defaultParams();
    p.printLevel() = 10;
    const std::string out = runPrinted(e, p, 5000);
    for (const char* label :
         {"Elems", "Amax",   "Density", "Merit",  "lenL", "L+U",  "Cmpressns", "Incres", "Utri",  "lenU", "Ltol",
          "Umax",  "Ugrwth", "Ltri",    "dense1", "Lmax", "bump", "dense2",    "DUmax",  "DUmin", "condU"})
      EXPECT_NE(out.find(label), std::string::npos) << label;
    EXPECT_EQ(out.find("Akmax"), std::string::npos);
  }
  {
    LuParams p = defaultParams(kRook);
    p.printLevel() = 50;
    const std::string out = runPrinted(e, p, 5000);
    for (const char* label : {"MerRP", "Akmax", "Agrwth", "Slacks ended.  nslack =", "Utri ended.  spars1 = true"})
      EXPECT_NE(out.find(label), std::string::npos) << label;
  }
  {
    Entries f = e;
    f.add(f.row[0], f.col[0], 1.0);
    LuParams p = defaultParams();
    p.printLevel() = 0;
    const std::string out = runPrinted(f, p, 5000);
    EXPECT_NE(out.find("has the same indices as an earlier entry"), std::string::npos);
    // The message names the duplicated row and column (1-based).
    char expected[64];
    std::snprintf(expected, sizeof expected, " indc, indr =%8d%8d", f.row[0] + 1, f.col[0] + 1);
    EXPECT_NE(out.find(expected), std::string::npos) << out;
  }
  {
    LuParams p = defaultParams();
    p.printLevel() = 0;
    const std::string out = runPrinted(e, p, 10);
    EXPECT_NE(out.find("lu1fac  error...  insufficient storage"), std::string::npos);
    EXPECT_NE(out.find("Increase  lena  from"), std::string::npos);
  }
  {
    Entries f;
    f.m = f.n = 3;
    f.add(0, 0, 1.0);
    f.add(1, 1, 1.0);
    LuParams p = defaultParams();
    p.printLevel() = 0;
    const std::string out = runPrinted(f, p, 100);
    EXPECT_NE(out.find("Singular(m=n)"), std::string::npos);
    EXPECT_NE(out.find("n-rank"), std::string::npos);
  }
  {
    LuParams p = defaultParams();
    p.printLevel() = -1;
    EXPECT_EQ(runPrinted(e, p, 10), "");
  }
}

}  // namespace
}  // namespace kavro::lu::test
