// Verification of the objective gradients the user's routine provides: a cheap test along two
// directions, then, as "Verify level" asks, a check of each gradient element in the column range
// against a forward difference. Only elements the routine sets are tested.

#include <algorithm>
#include <cmath>

#include "kernels/vector_ops.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/verification_support.hpp"

namespace kavro {

namespace {

double projection(int32_t n, const double* g, const double* p) {
  double sum = 0.0;
  for (int32_t j = 0; j < n; ++j)
    if (p[j] != 0.0) sum += g[j] * p[j];
  return sum;
}

}  // namespace

int32_t FunctionEvaluator::verifyObjectiveGradients(const double* x, const double* lower, const double* upper) {
  if (p_.verifyLevel < 0 || nObj_ == 0) return 0;
  loadVerificationPoint(x, lower, upper, nObj_);
  verification::ScaleOptionOff unscaled(p_);
  loadPoint(xBase_.data(), nObj_);
  double f = 0.0;
  int32_t result = callObjective(2, f, gVerify_.data());
  if (result != 0) return result;
  if (std::none_of(gVerify_.begin(), gVerify_.end(), [](double g) { return g != kUnsetDerivative; })) return 0;

  const int32_t first = std::max(1, p_.startObjectiveCheck);
  const int32_t last = std::min(nObj_, p_.stopObjectiveCheck);
  const bool full = (p_.verifyLevel == 1 || p_.verifyLevel == 3) && first <= last;
  out_.print("%s", "");
  out_.print("%s",
             full ? " Verification of objective gradients returned by subroutine funobj." : " Cheap test on funobj...");
  bool stop = false;
  result = cheapObjectiveTest(f, stop);
  if (result != 0 || stop || !full) return result;
  return fullObjectiveCheck(f, first, last);
}

// Judges the gradient along two feasible directions against one-sided differences. Its verdict
// is only reported; stop is set when no feasible direction exists.
int32_t FunctionEvaluator::cheapObjectiveTest(double f, bool& stop) {
  const int32_t n = nObj_;
  double* p1 = dir1_.data();
  double* p2 = dir2_.data();
  const double h = (kernels::maxNorm(n, xBase_.data()) + 1.0) * p_.differenceInterval;
  verification::objectiveDirections(n, p1, p2);
  for (int32_t j = 0; j < n; ++j)
    if (gVerify_[j] == kUnsetDerivative) p1[j] = p2[j] = 0.0;
  if (turnIntoBounds(n, h, p1) == 0 || turnIntoBounds(n, h, p2) == 0) {
    out_.print("%s", " XXX  Can't find a feasible step - objective gradients not verified.");
    stop = true;
    return 0;
  }
  double d[2] = {0.0, 0.0};
  const double* dirs[2] = {p1, p2};
  for (int k = 0; k < 2; ++k) {
    for (int32_t j = 0; j < n; ++j) xTrial_[j] = xBase_[j] + h * dirs[k][j];
    loadPoint(xTrial_.data(), n);
    double f1 = 0.0;
    const int32_t result = callObjective(0, f1, nullptr);
    if (result != 0) return result;
    d[k] = (f1 - f) / h;
  }
  loadPoint(xBase_.data(), n);
  const double gp1 = projection(n, gVerify_.data(), p1), gp2 = projection(n, gVerify_.data(), p2);
  const bool bad = (d[0] - gp1) * (d[0] - gp1) >= (gp1 * gp1 + 1.0) * h ||
                   (d[1] - gp2) * (d[1] - gp2) >= (gp2 * gp2 + 1.0) * h;
  out_.print("%s",
             bad ? " XXX  The objective gradients seem to be incorrect." : " The objective gradients seem to be OK.");
  out_.print(" Gradient projected in two directions%20.12E%20.12E", gp1, gp2);
  out_.print(" Difference approximations           %20.12E%20.12E", d[0], d[1]);
  return 0;
}

// Each set element of columns first..last (1-based) against a forward difference with a step
// sized to the function and the element.
int32_t FunctionEvaluator::fullObjectiveCheck(double f, int32_t first, int32_t last) {
  const MachineConstants& mc = p_.machine;
  int32_t nOk = 0, nBad = 0, worstColumn = 0;
  double worst = 0.0;
  bool headed = false;
  for (int32_t j = first - 1; j < last; ++j) {
    const double gj = gVerify_[j];
    if (gj == kUnsetDerivative) continue;
    const double xj = xBase_[j];
    const double hj = stepWithinBounds(j, (std::fabs(f) + 1.0) * mc.eps2 / (std::fabs(gj) + 1.0));
    double f1 = 0.0;
    setVariable(j, xj + hj);
    const int32_t result = callObjective(0, f1, nullptr);
    setVariable(j, xj);
    if (result != 0) return result;
    const double dj = (f1 - f) / hj;
    const double error = std::fabs(dj - gj) / (std::fabs(gj) + 1.0);
    const bool bad = error > mc.eps5;
    (bad ? nBad : nOk) += 1;
    if (error > worst || worstColumn == 0) worst = error, worstColumn = j + 1;
    if (std::fabs(gj) + error <= mc.eps0) continue;
    if (!headed) out_.print("%6s%14s%14s%18s%20s", "j", "x(j)", "dx(j)", "g(j)", "Difference approxn");
    headed = true;
    out_.print("%6d%14.5E%14.5E%18.8E%20.8E  %s", j + 1, xj, hj, gj, dj, verification::mark(bad));
  }
  if (nBad == 0) out_.print(" %d objective gradients out of %d thru %d seem to be OK.", nOk, first, last);
  else out_.print(" XXX  There seem to be %d incorrect objective gradients in cols %d thru %d", nBad, first, last);
  if (worstColumn > 0) out_.print(" XXX  The largest relative error was%12.2E in column %d", worst, worstColumn);
  if (worst < 1.0) return 0;
  out_.both("%s", " EXIT -- subroutine funobj appears to be giving incorrect gradients");
  return kBadObjectiveGradient;
}

}  // namespace kavro
