// Verification of the Jacobian: a cheap test along one feasible direction, then, as "Verify
// level" asks, a check of the set elements of each column in the range against a forward
// difference of the whole constraint vector.

#include <algorithm>
#include <cmath>

#include "kernels/vector_ops.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/verification_support.hpp"

namespace kavro {

int32_t FunctionEvaluator::verifyJacobian(const double* x, const double* lower, const double* upper) {
  if (p_.verifyLevel < 0 || nJac_ == 0) return 0;
  loadVerificationPoint(x, lower, upper, nJacVars_);
  verification::ScaleOptionOff unscaled(p_);
  loadPoint(xBase_.data(), nJacVars_);
  // Below level 2 the elements the routine leaves alone are marked (and so skipped below); at
  // levels 2 and 3 they hold their constant values and are checked like the rest.
  int32_t result = callConstraints(2, fVerify_.data(), jVerify_.data());
  if (result != 0) return result;
  if (std::none_of(jVerify_.begin(), jVerify_.end(), [](double g) { return g != kUnsetDerivative; })) return 0;

  const int32_t first = std::max(1, p_.startConstraintCheck);
  const int32_t last = std::min(nJacVars_, p_.stopConstraintCheck);
  const bool full = (p_.verifyLevel == 2 || p_.verifyLevel == 3) && first <= last;
  out_.print("%s", "");
  out_.print(
      "%s", full ? " Verification of constraint gradients returned by subroutine funcon." : " Cheap test on funcon...");
  bool stop = false;
  result = cheapJacobianTest(stop);
  if (result != 0 || stop || !full) return result;
  return fullJacobianCheck(first, last);
}

// Compares J p with a difference along p, over the rows whose every element in the columns p
// moves is known. Its verdict is only reported; stop is set when nothing can be compared.
int32_t FunctionEvaluator::cheapJacobianTest(bool& stop) {
  const JacobianStructure& jac = shape_.jacobian;
  const int32_t n = nJacVars_;
  double* p = dir1_.data();
  const double h = (kernels::maxNorm(n, xBase_.data()) + 1.0) * p_.differenceInterval;
  verification::jacobianDirection(n, p);
  if (turnIntoBounds(n, h, p) == 0) {
    out_.print("%s", " XXX  Can't find a feasible step - constraint gradients not verified.");
    stop = true;
    return 0;
  }
  for (int32_t j = 0; j < n; ++j) xTrial_[j] = xBase_[j] + h * p[j];
  loadPoint(xTrial_.data(), n);
  double* f1 = fScratch1_.data();
  const int32_t result = callConstraints(0, f1, nullptr);
  loadPoint(xBase_.data(), n);
  if (result != 0) return result;

  std::fill(jpVerify_.begin(), jpVerify_.end(), 0.0);
  std::fill(rowUsable_.begin(), rowUsable_.end(), 1);
  for (int32_t j = 0; j < n; ++j) {
    if (p[j] == 0.0) continue;
    for (int32_t k = jac.colStart[j]; k < jac.colStart[j + 1]; ++k) {
      const size_t i = static_cast<size_t>(jac.row[k]);
      if (jVerify_[k] == kUnsetDerivative) rowUsable_[i] = 0;
      else jpVerify_[i] += jVerify_[k] * p[j];
    }
  }
  int32_t worstRow = -1;
  double worstGap = -1.0, worstDifference = 0.0;
  for (int32_t i = 0; i < nCon_; ++i) {
    if (!rowUsable_[i]) continue;
    const double di = (f1[i] - fVerify_[i]) / h;
    const double gap = std::fabs(di - jpVerify_[i]);
    if (gap > worstGap) worstGap = gap, worstRow = i, worstDifference = di;
  }
  if (worstRow < 0) {
    out_.print("%s", " XXX  Every constraint has an unknown gradient element - constraint gradients not verified.");
    stop = true;
    return 0;
  }
  const double discrepancy = worstGap / (std::fabs(worstDifference) + 1.0);
  out_.print(" The largest discrepancy was%12.2E in constraint %d", discrepancy, worstRow + 1);
  out_.print("%s", discrepancy > 0.1 ? " XXX  The Jacobian seems to be incorrect." : " The Jacobian seems to be OK.");
  return 0;
}

int32_t FunctionEvaluator::fullJacobianCheck(int32_t first, int32_t last) {
  int32_t nOk = 0, nBad = 0, worstRow = 0, worstColumn = 0;
  double worst = 0.0;
  for (int32_t j = first - 1; j < last; ++j) {
    double largest = 0.0;
    int32_t largestRow = 0;  // stays 0 when the column has no set element
    const int32_t result = checkJacobianColumn(j, largest, largestRow, nOk, nBad);
    if (result != 0) return result;
    if (largestRow > 0 && (largest > worst || worstColumn == 0))
      worst = largest, worstRow = largestRow, worstColumn = j + 1;
  }
  if (nBad == 0) out_.print(" %d Jacobian elements in cols %d thru %d seem to be OK.", nOk, first, last);
  else out_.print(" XXX  There seem to be %d incorrect Jacobian elements in cols %d thru %d", nBad, first, last);
  if (worstColumn > 0)
    out_.print(" XXX  The largest relative error was%12.2E in row %d,  column %d", worst, worstRow, worstColumn);
  if (worst < 1.0) return 0;
  out_.both("%s", " EXIT -- subroutine funcon appears to be giving incorrect gradients");
  return kBadConstraintGradient;
}

// One column: a forward difference of all constraints, compared with each set element.
// largest and largestRow (1-based) return the column's worst relative error.
int32_t FunctionEvaluator::checkJacobianColumn(int32_t j, double& largest, int32_t& largestRow, int32_t& nOk,
                                               int32_t& nBad) {
  const JacobianStructure& jac = shape_.jacobian;
  const int32_t begin = jac.colStart[j], end = jac.colStart[j + 1];
  if (std::all_of(jVerify_.begin() + begin, jVerify_.begin() + end, [](double g) { return g == kUnsetDerivative; }))
    return 0;
  const MachineConstants& mc = p_.machine;
  const double xj = xBase_[j];
  const double hj = stepWithinBounds(j, (std::fabs(xj) + 1.0) * p_.differenceInterval);
  double* f1 = fScratch1_.data();
  setVariable(j, xj + hj);
  const int32_t result = callConstraints(0, f1, nullptr);
  setVariable(j, xj);
  if (result != 0) return result;

  out_.print("%s", " Column       x(j)        dx(j)");
  out_.print("%7d%11.3E%13.3E", j + 1, xj, hj);
  bool headed = false;
  for (int32_t k = begin; k < end; ++k) {
    const double jk = jVerify_[k];
    if (jk == kUnsetDerivative) continue;
    const int32_t i = jac.row[k];
    const double di = (f1[i] - fVerify_[i]) / hj;
    const double error = std::fabs(di - jk) / (std::fabs(jk) + 1.0);
    const bool bad = error > mc.eps5;
    (bad ? nBad : nOk) += 1;
    if (error > largest || largestRow == 0) largest = error, largestRow = i + 1;
    if (std::fabs(jk) + error <= mc.eps0) continue;
    if (!headed) out_.print("%s", " Element no.    Row    Jacobian value    Difference approxn");
    headed = true;
    out_.print("%12d%7d%18.8E%22.8E  %s", k + 1, i + 1, jk, di, verification::mark(bad));
  }
  return 0;
}

}  // namespace kavro
