// The true nonlinear constraints at the end of the major iterations: "optimal" is said only of a
// point where they (not their linearization) hold to the Row tolerance on the unscaled problem.

#include <algorithm>
#include <cmath>

#include "kernels/column_view.hpp"
#include "optimizer/optimality_check.hpp"

namespace kavro {

// The violation of the true nonlinear constraints (values F at the current point) on the
// unscaled problem, absolute and relative to the size of the Jacobian variables; with setSlacks
// the nonlinear rows' slacks take the true values, for the reports.
void OptimalityCheck::measureTrueRows(const std::vector<double>& F, bool setSlacks) {
  const kernels::ColumnView a(prob_.a);
  const int32_t n = prob_.n, C = prob_.nNonlinCons;
  const std::vector<double>& scales = scaling_.factors;
  auto scale = [&](int32_t j) { return scales.empty() ? 1.0 : scales[j]; };
  double* x = state_.x.data();
  double* linear = rows_.data();
  std::fill(linear, linear + C, 0.0);
  for (int32_t j = prob_.nNonlinJacVars; j < n; ++j) {
    const double v = x[j];
    if (v == 0.0) continue;
    for (int32_t e = a.start[j]; e < a.start[j + 1]; ++e) {
      const int32_t i = a.row[e];
      if (i < C) linear[i] += a.value[e] * v;
    }
  }
  double violation = 0.0, xNorm = 0.0;
  for (int32_t j = 0; j < prob_.nNonlinJacVars; ++j) xNorm = std::max(xNorm, std::fabs(x[j] * scale(j)));
  for (int32_t i = 0; i < C; ++i) {
    const double value = -(F[i] + linear[i]);
    if (setSlacks) x[n + i] = value;
    const double s = scale(n + i);
    violation = std::max({violation, (majors_->rowLower(i) - value) * s, (value - majors_->rowUpper(i)) * s});
  }
  TrueRowsViolation& v = outcome_.trueRows.emplace();
  v.absolute = violation;
  v.relative = violation / (1.0 + xNorm);
  v.withinRowTolerance = v.relative <= p_.rowTolerance;
}

OptimalityCheck::Verdict OptimalityCheck::confirmMajors(const std::vector<double>& F, int32_t itn) {
  measureTrueRows(F, false);
  if (!outcome_.trueRows->withinRowTolerance) {
    out_.both(" XXX  The nonlinear constraints are violated by %10.2e (relative) at the final point",
              outcome_.trueRows->relative);
    out_.both("%s", " EXIT -- near-optimal solution found");
    outcome_.exitCode = kNearOptimal;
    return Verdict::kStop;
  }
  // Every row and bound, and the true Lagrangian, on the user's problem: a converged run whose
  // point fails them goes on with further major iterations.
  return confirmCertificate(itn);
}

void OptimalityCheck::trueRowsAtEnd() {
  if (!majors_ || !evaluator_ || !objective_.evaluated()) return;
  if (objective_.constraintValuesAt(state_.x.data()) != 0) return;
  measureTrueRows(objective_.constraintValues(), true);
}

}  // namespace kavro
