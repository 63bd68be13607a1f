#include "optimizer/unscaled_check.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

namespace {

double scaleOf(const UnscaledCheckInput& in, int32_t j) {
  return in.scales && !in.scales->empty() ? (*in.scales)[j] : 1.0;
}

// A working bound in the user's units; bounds the scaling leaves alone stay as they are.
double unscaledBound(const UnscaledCheckInput& in, double bound, double s) {
  return std::fabs(bound) < 0.9 * in.infBound ? bound * s : bound;
}

void record(Violation& worst, int32_t& count, int32_t j, double amount, double tolerance) {
  if (!(amount > tolerance)) return;
  ++count;
  if (worst.j < 0 || amount / tolerance > worst.amount / worst.tolerance) worst = Violation{j, amount, tolerance};
}

// How far value lies outside [lower, upper], and the tolerance of the bound it violates.
void checkBounds(const UnscaledCheckInput& in, int32_t j, double value, double lower, double upper,
                 UnscaledCheckResult& r) {
  if (lower > -in.infBound && value < lower)
    record(r.worstPrimal, r.primalCount, j, lower - value, in.feasibilityTolerance * (1.0 + std::fabs(lower)));
  else if (upper < in.infBound && value > upper)
    record(r.worstPrimal, r.primalCount, j, value - upper, in.feasibilityTolerance * (1.0 + std::fabs(upper)));
}

}  // namespace

double unscaledObjectiveCoefficient(const UnscaledCheckInput& in, int32_t j) {
  const Problem& prob = *in.prob;
  if (j >= prob.n) return 0.0;
  const double s = scaleOf(in, j);
  double c = in.gradient ? std::fabs(in.gradient[j]) / s : 0.0;
  if (prob.objRow < 0) return c;
  const size_t uj = static_cast<size_t>(j);
  for (int32_t k = prob.a.colStart[uj]; k < prob.a.colStart[uj + 1]; ++k)
    if (prob.a.row[k] == prob.objRow) c += std::fabs(prob.a.value[k]) * scaleOf(in, prob.n + prob.objRow) / s;
  return c;
}

double workingReducedCost(const UnscaledCheckInput& in, int32_t j) {
  const Problem& prob = *in.prob;
  if (j >= prob.n) return -in.pi[j - prob.n];
  const size_t uj = static_cast<size_t>(j);
  double d = in.gradient ? in.gradient[j] : 0.0;
  for (int32_t k = prob.a.colStart[uj]; k < prob.a.colStart[uj + 1]; ++k) d -= in.pi[prob.a.row[k]] * prob.a.value[k];
  return d;
}

// d_j = (g_j - pi' a_j) / s_j in working terms is the reduced cost in the user's units.
double unscaledReducedCost(const UnscaledCheckInput& in, int32_t j) {
  return workingReducedCost(in, j) / scaleOf(in, j);
}

double formerPiNorm(const UnscaledCheckInput& in) {
  double norm = 1.0;
  if (!in.formerScales) return norm;
  const int32_t n = in.prob->n;
  for (int32_t i = 0; i < in.prob->m; ++i) norm = std::max(norm, std::fabs(in.pi[i] * (*in.formerScales)[n + i]));
  return norm;
}

DualViolation dualViolation(const UnscaledCheckInput& in, int32_t j, double formerPiNorm) {
  const int32_t h = in.hs[j];
  DualViolation v;
  v.workingReducedCost = workingReducedCost(in, j);
  const double d = v.workingReducedCost / scaleOf(in, j);
  v.reducedCost = d;
  v.wrongWay = h == kAtLower ? -d : (h == kAtUpper ? d : std::fabs(d));
  v.tolerance = in.optimalityTolerance * (1.0 + unscaledObjectiveCoefficient(in, j));
  if (in.formerScales) v.scaledRatio = v.wrongWay * (*in.formerScales)[j] / (in.optimalityTolerance * formerPiNorm);
  return v;
}

UnscaledCheckResult checkUnscaled(const UnscaledCheckInput& in, std::vector<double>& rowActivity) {
  const Problem& prob = *in.prob;
  const int32_t n = prob.n, m = prob.m;
  UnscaledCheckResult r;
  // Variables, and the row activities a_ij x_j = r_i (scaled a_ij) (scaled x_j) from them.
  std::fill(rowActivity.begin(), rowActivity.begin() + m, 0.0);
  for (int32_t j = 0; j < n; ++j) {
    const size_t uj = static_cast<size_t>(j);
    const double s = scaleOf(in, j);
    checkBounds(in, j, in.x[uj] * s, unscaledBound(in, prob.lower[uj], s), unscaledBound(in, prob.upper[uj], s), r);
    for (int32_t k = prob.a.colStart[uj]; k < prob.a.colStart[uj + 1]; ++k)
      rowActivity[prob.a.row[k]] += prob.a.value[k] * in.x[uj];
  }
  for (int32_t i = 0; i < m; ++i) {
    const size_t slack = static_cast<size_t>(n + i);
    const double s = scaleOf(in, n + i);
    const double activity = rowActivity[i] * s;
    // The slack holds minus the activity, so its bounds are the row's limits negated.
    checkBounds(in, n + i, -activity, unscaledBound(in, prob.lower[slack], s), unscaledBound(in, prob.upper[slack], s),
                r);
  }
  // Reduced costs of the nonbasic (and superbasic) variables.
  const double piNorm = formerPiNorm(in);
  for (int32_t j = 0; j < n + m; ++j) {
    const int32_t h = in.hs[j];
    if (h == kBasic || h == 4) continue;
    const DualViolation v = dualViolation(in, j, piNorm);
    record(r.worstDual, r.dualCount, j, v.wrongWay, v.tolerance);
    if (v.scaledRatio > 1.0) ++r.scaledDualCount;
  }
  return r;
}

}  // namespace kavro
