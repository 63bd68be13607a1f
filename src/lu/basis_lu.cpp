#include "lu/basis_lu.hpp"

#include <algorithm>
#include <cmath>

#include "io/units.hpp"
#include "kernels/vector_ops.hpp"
#include "specs/parameters.hpp"

namespace kavro {

void BasisLU::size(int32_t m, int32_t maxRows, int32_t lena) {
  m_ = m;
  const int32_t dim = std::max(m, maxRows);
  lu_.resize(dim, dim, lena);
  keptL_.resize(dim);
  work_.assign(dim, 0.0);
}

void BasisLU::resizeElements(int32_t lena) { lu_.resize(lu_.maxRows, lu_.maxCols, lena); }

void BasisLU::setParameters(Parameters& params, const ReportChannels& out, bool keepFactors) {
  units_ = out.units;
  p_.printUnit() = out.printUnit;
  int32_t level = out.printUnit > 0 ? 0 : -1;
  if (out.printUnit > 0 && params.printLevel % 10 > 0) level = 10;
  if (out.printUnit > 0 && params.debugLevel == 50) level = 50;
  p_.printLevel() = level;
  p_.maxSearch() = (keepFactors && params.luMarkowitzSearch >= 1) ? params.luMarkowitzSearch : 5;
  p_.pivotRule() = params.luPivoting;
  p_.keepFactors() = keepFactors ? 1 : 0;
  p_.factorTol() = params.luFactorTolerance;
  p_.updateTol() = params.luUpdateTolerance;
  p_.dropTol() = params.machine.eps0;
  p_.absSingularTol() = params.luSingularityTol;
  p_.relSingularTol() = params.luSingularityTol2;
  p_.spaceFactor() = 3.0;
  p_.density1() = 0.3;
  p_.density2() = params.luDensity;
}

int32_t BasisLU::factorize(int32_t m, int32_t nelem, Parameters& params, const ReportChannels& out) {
  m_ = m;
  setParameters(params, out, true);
  int32_t kept = nelem;
  const int32_t result = lu::lu1fac(m, m, kept, p_, lu_, units_);
  if (result != lu::kFactorOk && result != lu::kFactorSingular) return result;

  // Instability fallback: large growth means the factors cannot be trusted.
  const double growth = p_.growth();
  if (growth * params.machine.eps2 < 1.0) return result;
  bool changed = false;
  if (params.luPivoting == lu::kPartial) {
    params.luPivoting = lu::kRook;
    params.luFactorTolerance = std::min(params.luFactorTolerance, 10.0);
    out.both(" LU Rook Pivoting invoked.  LU Factor tol = %10.2e", params.luFactorTolerance);
    changed = true;
  } else if (params.luFactorTolerance >= 2.0) {
    params.luFactorTolerance = std::sqrt(params.luFactorTolerance);
    out.both(" LU Factor tol reduced to %10.2e", params.luFactorTolerance);
    changed = true;
  }
  if (!changed) return result;
  if (params.luFactorTolerance < params.luUpdateTolerance) {
    params.luUpdateTolerance = params.luFactorTolerance;
    out.both(" LU Update tol reduced to %10.2e", params.luUpdateTolerance);
  }
  return 2;
}

void BasisLU::solveL(double* v) {
  lu::solveWithFactors(1, m_, m_, v, work_.data(), p_, lu_);
  keepL(v);
}

void BasisLU::keepL(const double* v) {
  kernels::dcopy(m_, v, keptL_.value.data());
  keptL_.markDense();
}

void BasisLU::solveB(double* y, double* x) {
  // The drop tolerance is relative to the size of the right-hand side for this solve.
  const double savedDrop = p_.dropTol();
  const double ymax = kernels::maxNorm(m_, y);
  if (ymax > 0.0) p_.dropTol() = savedDrop * ymax;
  lu::solveWithFactors(1, m_, m_, y, x, p_, lu_);
  keepL(y);
  lu::solveWithFactors(3, m_, m_, y, x, p_, lu_);
  p_.dropTol() = savedDrop;
}

void BasisLU::solveBSparse(kernels::SparseVector& b, kernels::SparseVector& x) {
  // As solveB: the largest magnitude is the same through the list.
  const double savedDrop = p_.dropTol();
  double bmax = 0.0;
  if (b.listed()) {
    for (int32_t k = 0; k < b.count; ++k) bmax = std::max(bmax, std::fabs(b.value[b.index[k]]));
  } else {
    bmax = kernels::maxNorm(m_, b.value.data());
  }
  if (bmax > 0.0) p_.dropTol() = savedDrop * bmax;
  lu::solveSparse(1, m_, m_, b, x, p_, lu_);
  keptL_.clear();
  if (b.listed()) {
    for (int32_t k = 0; k < b.count; ++k) {
      const int32_t i = b.index[k];
      keptL_.add(i, b.value[i]);
    }
  } else {
    keepL(b.value.data());
  }
  lu::solveSparse(3, m_, m_, b, x, p_, lu_);
  p_.dropTol() = savedDrop;
}

void BasisLU::solveBt(double* x, double* y) { lu::solveWithFactors(6, m_, m_, y, x, p_, lu_); }

void BasisLU::solveBtPair(double* x0, double* y0, double* x1, double* y1) {
  lu::solveTransposedPair(m_, m_, y0, x0, y1, x1, p_, lu_);
}

void BasisLU::solveBtSparse(kernels::SparseVector& b, kernels::SparseVector& y) {
  lu::solveSparse(6, m_, m_, y, b, p_, lu_);
}

int32_t BasisLU::replaceColumn(int32_t jrep) {
  // lu8rpc only sets negligible entries to zero, so the list stays right.
  double diag = 0.0, vnorm = 0.0;
  return lu::lu8rpc(1, 2, m_, m_, jrep, keptL_.value.data(), work_.data(), p_, lu_, units_, diag, vnorm);
}

int32_t BasisLU::rankFactorize(int32_t rows, int32_t cols, int32_t nelem, Parameters& params,
                               const ReportChannels& out) {
  setParameters(params, out, false);
  p_.factorTol() = 1.9;
  p_.maxSearch() = 5;
  int32_t kept = nelem;
  return lu::lu1fac(rows, cols, kept, p_, lu_, units_);
}

}  // namespace kavro
