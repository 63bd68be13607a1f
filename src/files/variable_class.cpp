#include "files/variable_class.hpp"

#include <cmath>

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"

namespace kavro {

namespace {

// States inside a run may still carry the internal codes: -1 (between bounds) and 4, 5.
int32_t normalisedState(int32_t hs) {
  if (hs < 0) return kAtLower;
  if (hs > 3) return hs - 4 <= 1 ? hs - 4 : kAtLower;
  return hs;
}

}  // namespace

VariableClass classifyVariable(int32_t j, int32_t hs, double x, double lower, double upper, double reducedCost,
                               const ClassificationContext& ctx) {
  const double ftol = ctx.primalTol;
  const double dtol = ctx.dualTol;
  int32_t state = normalisedState(hs);
  // A column's multiplier is minus its reduced cost; a slack is seen from its row (activity
  // = -slack, limits negated and exchanged, lower and upper states exchanged).
  double d = -reducedCost;
  if (j >= ctx.n) {
    d = reducedCost;
    const double rowLower = -upper;
    upper = -lower;
    lower = rowLower;
    x = -x;
    if (state == kAtLower) state = kAtUpper;
    else if (state == kAtUpper) state = kAtLower;
  }
  if (ctx.objectiveSense < 0 && ctx.ninf == 0) d = -d;

  VariableClass c;
  c.state = state;
  if (state == kAtLower || state == kAtUpper) {
    if (lower == upper) c.state = kReportFixed;
    else if (x > lower + ftol && x < upper - ftol) c.state = kReportBetween;
    if (std::fabs(d) <= dtol) c.flag = kFlagAlternative;
    const bool wrongWay = (c.state == kReportLower && d > dtol) || (c.state == kReportUpper && -d > dtol) ||
                          (c.state == kReportBetween && std::fabs(d) > dtol);
    if (wrongWay) c.flag = kFlagNonOptimal;
  } else {
    if (std::fabs(x - lower) <= ftol || std::fabs(x - upper) <= ftol) c.flag = kFlagDegenerate;
    if (state == kSuperbasic && std::fabs(d) > dtol) c.flag = kFlagNonOptimal;
    if (x < lower - ftol || x > upper + ftol) c.flag = kFlagInfeasible;
  }
  // The variables the solution output singled out.
  if (ctx.exitCode != kOptimal && j == ctx.maxDualInfeasVar) c.flag = kFlagNonOptimal;
  if (ctx.ninf > 0 && j == ctx.maxPrimalInfeasVar && (state == kSuperbasic || state == kBasic))
    c.flag = kFlagInfeasible;
  return c;
}

}  // namespace kavro
