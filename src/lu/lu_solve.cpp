// Solves with the stored factors. L is applied column by column (a column is skipped when its
// pivot component is negligible); U is applied row by row. Every loop streams through the
// contiguous storage of the factors.
#include <algorithm>
#include <cmath>

#include "lu/lu_factors.hpp"

namespace kavro::lu {
namespace {

struct LView {
  const double* a;
  const int32_t* indc;
  const int32_t* indr;
  const int32_t* colStart;  // L0 column k: [colStart[k+1], colStart[k])
  int32_t numL0;
  int32_t l0End;  // lowest position of L0
  int32_t lEnd;   // lowest position of all of L
};

LView lView(const LuParams& p, const LuStorage& lu) {
  return {lu.a.data(), lu.indc.data(),     lu.indr.data(),    lu.lColumnStart.data(),
          p.ip[20],    lu.lena - p.ip[21], lu.lena - p.ip[23]};
}

void solveL0(const LView& l, double* v, double tol) {
  for (int32_t k = 0; k < l.numL0; ++k) {
    const int32_t lo = l.colStart[k + 1], hi = l.colStart[k];
    const double vp = v[l.indr[lo]];
    if (std::fabs(vp) <= tol) continue;
    for (int32_t t = lo; t < hi; ++t) v[l.indc[t]] -= l.a[t] * vp;
  }
}

void solveLUpdates(const LView& l, double* v, double tol) {
  for (int32_t t = l.l0End - 1; t >= l.lEnd; --t) {
    const double vp = v[l.indr[t]];
    if (std::fabs(vp) > tol) v[l.indc[t]] -= l.a[t] * vp;
  }
}

void solveLUpdatesTransposed(const LView& l, double* v, double tol) {
  for (int32_t t = l.lEnd; t < l.l0End; ++t) {
    const double vi = v[l.indc[t]];
    if (std::fabs(vi) > tol) v[l.indr[t]] -= l.a[t] * vi;
  }
}

void solveL0Transposed(const LView& l, double* v) {
  for (int32_t k = l.numL0 - 1; k >= 0; --k) {
    const int32_t lo = l.colStart[k + 1], hi = l.colStart[k];
    double sum = 0.0;
    for (int32_t t = lo; t < hi; ++t) sum += l.a[t] * v[l.indc[t]];
    v[l.indr[lo]] -= sum;
  }
}

// U by rows in pivot order.
struct UView {
  int32_t rank;
  const int32_t* rowPerm;
  const int32_t* colPerm;
  const int32_t* rowStart;
  const int32_t* rowLen;
  const double* a;
  const int32_t* indr;
};

UView uView(const LuParams& p, const LuStorage& lu) {
  return {p.ip[16],    lu.rowPerm.data(), lu.colPerm.data(), lu.rowStart.data(), lu.rowLength.data(),
          lu.a.data(), lu.indr.data()};
}

// What a transposed solve leaves in the columns beyond the rank (s by column): their magnitudes
// above tol, summed.
double residualBeyondRank(const UView& u, int32_t n, const double* s, double tol) {
  double resid = 0.0;
  for (int32_t k = u.rank; k < n; ++k) {
    const double x = std::fabs(s[u.colPerm[k]]);
    if (x > tol) resid += x;
  }
  return resid;
}

// w := U^-1 v. Returns the residual of the rows beyond the rank.
double solveU(int32_t m, int32_t n, const double* v, double* w, const LuParams& p, const LuStorage& lu, double tol) {
  const UView u = uView(p, lu);
  double resid = 0.0;
  for (int32_t k = u.rank; k < m; ++k) {
    const double x = std::fabs(v[u.rowPerm[k]]);
    if (x > tol) resid += x;
  }
  for (int32_t k = u.rank; k < n; ++k) w[u.colPerm[k]] = 0.0;
  int32_t klast = u.rank - 1;
  while (klast >= 0 && std::fabs(v[u.rowPerm[klast]]) <= tol) w[u.colPerm[klast--]] = 0.0;
  for (int32_t k = klast; k >= 0; --k) {
    const int32_t i = u.rowPerm[k];
    const int32_t rs = u.rowStart[i], re = rs + u.rowLen[i];
    double t = v[i];
    for (int32_t e = rs + 1; e < re; ++e) t -= u.a[e] * w[u.indr[e]];
    w[u.indr[rs]] = std::fabs(t) > tol ? t / u.a[rs] : 0.0;
  }
  return resid;
}

// v := U'^-1 w (w is left unchanged). Returns the residual of the columns beyond the rank.
double solveUTransposed(int32_t m, int32_t n, double* v, const double* w, const LuParams& p, LuStorage& lu,
                        double tol) {
  const UView u = uView(p, lu);
  double* s = lu.workReal.data();
  for (int32_t j = 0; j < n; ++j) s[j] = w[j];
  for (int32_t k = 0; k < u.rank; ++k) {
    const int32_t i = u.rowPerm[k];
    const int32_t rs = u.rowStart[i], re = rs + u.rowLen[i];
    const double t = s[u.indr[rs]];
    if (std::fabs(t) <= tol) {
      v[i] = 0.0;
      continue;
    }
    const double x = t / u.a[rs];
    v[i] = x;
    for (int32_t e = rs + 1; e < re; ++e) s[u.indr[e]] -= u.a[e] * x;
  }
  for (int32_t k = u.rank; k < m; ++k) v[u.rowPerm[k]] = 0.0;
  return residualBeyondRank(u, n, s, tol);
}

// Two right-hand sides in one pass over the factors: each vector gets exactly the arithmetic,
// in the same order, that its own solve would give it, so the results agree bit for bit; the
// factors are read once instead of twice.
struct Pair {
  double* v[2];
  const double* w[2];
};

// U'^-1 for both; returns the residual of the second.
double solveUTransposedPair(int32_t m, int32_t n, Pair x, const LuParams& p, LuStorage& lu, double tol) {
  const UView u = uView(p, lu);
  double* s0 = lu.workReal.data();
  double* s1 = lu.workReal2.data();
  std::copy(x.w[0], x.w[0] + n, s0);
  std::copy(x.w[1], x.w[1] + n, s1);
  for (int32_t k = 0; k < u.rank; ++k) {
    const int32_t i = u.rowPerm[k];
    const int32_t rs = u.rowStart[i], re = rs + u.rowLen[i];
    const double t0 = s0[u.indr[rs]], t1 = s1[u.indr[rs]];
    const bool use0 = std::fabs(t0) > tol, use1 = std::fabs(t1) > tol;
    const double x0 = use0 ? t0 / u.a[rs] : 0.0, x1 = use1 ? t1 / u.a[rs] : 0.0;
    x.v[0][i] = x0;
    x.v[1][i] = x1;
    if (use0 && use1) {
      for (int32_t e = rs + 1; e < re; ++e) {
        s0[u.indr[e]] -= u.a[e] * x0;
        s1[u.indr[e]] -= u.a[e] * x1;
      }
    } else if (use0 || use1) {
      double* s = use0 ? s0 : s1;
      const double xs = use0 ? x0 : x1;
      for (int32_t e = rs + 1; e < re; ++e) s[u.indr[e]] -= u.a[e] * xs;
    }
  }
  for (int32_t k = u.rank; k < m; ++k) x.v[0][u.rowPerm[k]] = x.v[1][u.rowPerm[k]] = 0.0;
  return residualBeyondRank(u, n, s1, tol);
}

void solveLUpdatesTransposedPair(const LView& l, Pair x, double tol) {
  double* v0 = x.v[0];
  double* v1 = x.v[1];
  for (int32_t t = l.lEnd; t < l.l0End; ++t) {
    const double vi0 = v0[l.indc[t]], vi1 = v1[l.indc[t]];
    if (std::fabs(vi0) > tol) v0[l.indr[t]] -= l.a[t] * vi0;
    if (std::fabs(vi1) > tol) v1[l.indr[t]] -= l.a[t] * vi1;
  }
}

void solveL0TransposedPair(const LView& l, Pair x) {
  double* v0 = x.v[0];
  double* v1 = x.v[1];
  for (int32_t k = l.numL0 - 1; k >= 0; --k) {
    const int32_t lo = l.colStart[k + 1], hi = l.colStart[k];
    double sum0 = 0.0, sum1 = 0.0;
    for (int32_t t = lo; t < hi; ++t) {
      sum0 += l.a[t] * v0[l.indc[t]];
      sum1 += l.a[t] * v1[l.indc[t]];
    }
    v0[l.indr[lo]] -= sum0;
    v1[l.indr[lo]] -= sum1;
  }
}

}  // namespace

int32_t solveTransposedPair(int32_t m, int32_t n, double* v0, double* w0, double* v1, double* w1, LuParams& params,
                            LuStorage& lu) {
  if (m < 0 || n < 0 || m > lu.maxRows || n > lu.maxCols) return 0;
  const double tol = params.dropTol() > 0 ? params.dropTol() : 0.0;
  const LView l = lView(params, lu);
  const Pair x{{v0, v1}, {w0, w1}};
  const double resid = solveUTransposedPair(m, n, x, params, lu, tol);
  solveLUpdatesTransposedPair(l, x, tol);
  solveL0TransposedPair(l, x);
  params.uSolveResidual() = resid;
  return resid > 0.0 ? 1 : 0;
}

int32_t solveWithFactors(int32_t mode, int32_t m, int32_t n, double* v, double* w, LuParams& params, LuStorage& lu) {
  if (m < 0 || n < 0 || m > lu.maxRows || n > lu.maxCols) return 0;
  const double tol = params.dropTol() > 0 ? params.dropTol() : 0.0;
  const LView l = lView(params, lu);
  double resid = 0.0;
  switch (mode) {
    case 1:
      solveL0(l, v, tol);
      solveLUpdates(l, v, tol);
      break;
    case 2:
      solveLUpdatesTransposed(l, v, tol);
      solveL0Transposed(l, v);
      break;
    case 3: resid = solveU(m, n, v, w, params, lu, tol); break;
    case 4: resid = solveUTransposed(m, n, v, w, params, lu, tol); break;
    case 5:
      solveL0(l, v, tol);
      solveLUpdates(l, v, tol);
      resid = solveU(m, n, v, w, params, lu, tol);
      break;
    case 6:
      resid = solveUTransposed(m, n, v, w, params, lu, tol);
      solveLUpdatesTransposed(l, v, tol);
      solveL0Transposed(l, v);
      break;
    case 7: solveL0(l, v, tol); break;
    case 8: solveL0Transposed(l, v); break;
    default: return 0;
  }
  if (mode >= 3 && mode <= 6) params.uSolveResidual() = resid;
  return resid > 0.0 ? 1 : 0;
}

}  // namespace kavro::lu
