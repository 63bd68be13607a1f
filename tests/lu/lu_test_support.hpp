#pragma once
// Helpers for the TRIAX tests: random sparse matrices, a dense reference and residuals.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "lu/lu_factors.hpp"

namespace kavro::lu::test {

struct Entries {
  int32_t m = 0, n = 0;
  std::vector<int32_t> row, col;
  std::vector<double> val;
  int32_t size() const { return static_cast<int32_t>(val.size()); }
  void add(int32_t i, int32_t j, double v) {
    row.push_back(i);
    col.push_back(j);
    val.push_back(v);
  }
  std::vector<double> dense() const {  // row-major m x n
    std::vector<double> d(static_cast<size_t>(m) * n, 0.0);
    for (int32_t k = 0; k < size(); ++k) d[static_cast<size_t>(row[k]) * n + col[k]] += val[k];
    return d;
  }
};

// A random sparse m x n matrix with about density*m*n entries, distinct positions, values in
// +-[0.1, 10]; with withDiagonal, a full random matching (row i -> column perm(i)) is added so
// that square matrices are structurally nonsingular.
inline Entries randomMatrix(int32_t m, int32_t n, double density, uint32_t seed, bool withDiagonal,
                            bool identityMatching = false) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> mag(0.1, 10.0);
  std::uniform_int_distribution<int> sign(0, 1);
  std::set<std::pair<int32_t, int32_t>> used;
  Entries e;
  e.m = m;
  e.n = n;
  auto put = [&](int32_t i, int32_t j) {
    if (!used.insert({i, j}).second) return;
    e.add(i, j, (sign(gen) ? 1.0 : -1.0) * mag(gen));
  };
  if (withDiagonal) {
    std::vector<int32_t> perm(std::max(m, n));
    for (size_t t = 0; t < perm.size(); ++t) perm[t] = static_cast<int32_t>(t);
    if (!identityMatching) std::shuffle(perm.begin(), perm.end(), gen);
    for (int32_t i = 0; i < std::min(m, n); ++i) put(i, perm[i] % n);
  }
  const int64_t target = static_cast<int64_t>(density * m * n);
  std::uniform_int_distribution<int32_t> ri(0, m - 1), rj(0, n - 1);
  for (int64_t t = 0; t < target; ++t) put(ri(gen), rj(gen));
  // entries in a random order
  std::vector<int32_t> order(e.size());
  for (int32_t k = 0; k < e.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), gen);
  Entries out;
  out.m = m;
  out.n = n;
  for (int32_t k : order) out.add(e.row[k], e.col[k], e.val[k]);
  return out;
}

// Default settings as the optimizer uses them for a basis.
inline LuParams defaultParams(int32_t rule = kPartial) {
  LuParams p;
  p.printUnit() = 0;
  p.printLevel() = -1;
  p.maxSearch() = 5;
  p.pivotRule() = rule;
  p.keepFactors() = 1;
  p.factorTol() = 100.0;
  p.updateTol() = 10.0;
  p.dropTol() = 3.0e-13;
  p.absSingularTol() = 3.25e-11;
  p.relSingularTol() = 3.25e-11;
  p.spaceFactor() = 3.0;
  p.density1() = 0.3;
  p.density2() = 0.5;
  return p;
}

// Loads the entries into the storage (resized to lena) and factorizes.
inline int32_t factor(const Entries& e, LuParams& p, LuStorage& lu, int32_t lena, UnitTable* units = nullptr) {
  lu.resize(std::max(e.m, 1), std::max(e.n, 1), lena);
  for (int32_t k = 0; k < e.size() && k < lena; ++k) {
    lu.a[k] = e.val[k];
    lu.indc[k] = e.row[k];
    lu.indr[k] = e.col[k];
  }
  int32_t nelem = e.size();
  return lu1fac(e.m, e.n, nelem, p, lu, units);
}

// ||b - A x|| / (||A|| ||x|| + ||b||) in the max norm; A is row-major m x n.
inline double relResidual(const std::vector<double>& A, int32_t m, int32_t n, const std::vector<double>& x,
                          const std::vector<double>& b) {
  double r = 0, an = 0, xn = 0, bn = 0;
  for (int32_t i = 0; i < m; ++i) {
    double s = b[i], rowSum = 0;
    for (int32_t j = 0; j < n; ++j) {
      s -= A[static_cast<size_t>(i) * n + j] * x[j];
      rowSum += std::fabs(A[static_cast<size_t>(i) * n + j]);
    }
    r = std::max(r, std::fabs(s));
    an = std::max(an, rowSum);
    bn = std::max(bn, std::fabs(b[i]));
  }
  for (double v : x) xn = std::max(xn, std::fabs(v));
  return r / (an * xn + bn + 1e-300);
}

inline std::vector<double> transpose(const std::vector<double>& A, int32_t m, int32_t n) {
  std::vector<double> t(A.size());
  for (int32_t i = 0; i < m; ++i)
    for (int32_t j = 0; j < n; ++j) t[static_cast<size_t>(j) * m + i] = A[static_cast<size_t>(i) * n + j];
  return t;
}

inline std::vector<double> multiply(const std::vector<double>& A, int32_t m, int32_t n, const std::vector<double>& x) {
  std::vector<double> y(m, 0.0);
  for (int32_t i = 0; i < m; ++i)
    for (int32_t j = 0; j < n; ++j) y[i] += A[static_cast<size_t>(i) * n + j] * x[j];
  return y;
}

inline std::vector<double> randomVector(int32_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = d(gen);
  return v;
}

// Solves A x = b (mode 5) and returns x.
inline std::vector<double> solveA(int32_t m, int32_t n, std::vector<double> b, LuParams& p, LuStorage& lu) {
  std::vector<double> x(n, 0.0);
  solveWithFactors(5, m, n, b.data(), x.data(), p, lu);
  return x;
}

// Solves A' y = c (mode 6) and returns y.
inline std::vector<double> solveAt(int32_t m, int32_t n, std::vector<double> c, LuParams& p, LuStorage& lu) {
  std::vector<double> y(m, 0.0);
  solveWithFactors(6, m, n, y.data(), c.data(), p, lu);
  return y;
}

}  // namespace kavro::lu::test
