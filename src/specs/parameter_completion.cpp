// Completion of the parameter block once the problem's dimensions are known: undefined
// values get their problem-dependent defaults, out-of-range values are repaired and a few
// parameters are made consistent with each other. The order of the steps matters, since
// later defaults are derived from earlier completed values.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "specs/parameter_steps.hpp"

namespace kavro {
namespace {

constexpr int32_t kNever = 99999999;  // a frequency that never comes round
constexpr int32_t kMaxHessianDimension = 32768;

// Products of user-sized counts are formed in 64 bits and saturated, so that a huge problem
// size given by a caller cannot overflow a 32-bit field.
int32_t saturate(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void completeNonlinearCounts(Parameters& p) {
  if (p.nonlinearConstraints == 0) p.nonlinearJacobianVars = 0;
  if (p.nonlinearJacobianVars == 0) p.nonlinearConstraints = 0;
}

void completeFrequencies(Parameters& p, bool linear) {
  if (p.logFrequency == kUndefinedInt) p.logFrequency = 100;
  if (p.checkRowError == kUndefinedInt) p.checkRowError = 60;
  if (p.saveNewBasisMap == kUndefinedInt) p.saveNewBasisMap = 100;
  if (p.summaryFrequency == kUndefinedInt) p.summaryFrequency = 100;
  if (p.expandFrequency == kUndefinedInt) p.expandFrequency = 10000;
  if (p.factorizeBasis < 1) p.factorizeBasis = linear ? 100 : 50;
  for (int32_t* f : {&p.checkRowError, &p.logFrequency, &p.saveNewBasisMap, &p.summaryFrequency, &p.expandFrequency})
    if (*f < 1) *f = kNever;
}

void completePrintFlags(Parameters& p) {
  p.printBrief = p.printLevel == 0;
  p.printDetailed = p.printLevel > 0;
  if (p.printFile < 1) p.printBrief = p.printDetailed = false;
  if (p.summaryFile < 1) p.summaryBrief = p.summaryDetailed = false;
}

// Superbasics limit S and Hessian dimension H. Undefined values are negative, so "negative"
// below means "not given".
void completeSuperbasicsAndHessian(Parameters& p, bool linear) {
  int32_t& s = p.superbasicsLimit;
  int32_t& h = p.hessianDimension;
  if (linear) {
    if (s < 1) s = 1;
    h = std::max(h, 0);
  } else if (h < 1) {
    if (s < 1) {
      if (s < 0) s = 50;
      if (h < 0) h = 50;
    } else if (h < 0) {
      h = s;
    }
    if (s < 1) s = 1;
    h = std::max(h, 0);
  } else {
    if (s < 0) s = h;
    if (s == 0) s = 1;
  }
  s = std::max(s, h);
  h = std::min({h, s, kMaxHessianDimension});
}

void completeSwitches(Parameters& p, bool linear) {
  if (p.scaleOption < 0) p.scaleOption = linear ? 2 : 1;
  if (p.completion < 0) p.completion = p.nonlinearConstraints == 0 ? 1 : 0;
  if (p.partialPrice < 1) p.partialPrice = linear ? 10 : 1;
  if (p.pricingOption < 0 || p.pricingOption > 2) p.pricingOption = 0;
  if (p.crashOption < 0) p.crashOption = 3;
  if (p.multiplePrice < 1) p.multiplePrice = 1;
  if (p.hessianMemory < 0) p.hessianMemory = 0;
  if (p.hessianOption < 0) p.hessianOption = 0;
  if (p.solveStrategy < 0) p.solveStrategy = 0;
  if (p.timeLimit < 0.0) p.timeLimit = 0.0;
}

void completeTolerances(Parameters& p, bool linear) {
  const MachineConstants& mc = p.machine;
  // The optimality tolerance follows a Function precision the user gave, before that one
  // gets its own default.
  if (p.optimalityTolerance <= 0.0)
    p.optimalityTolerance = p.functionPrecision > 0.0 ? std::sqrt(p.functionPrecision) : 1.0e-6;
  if (p.unboundedObjectiveValue <= 0.0) p.unboundedObjectiveValue = 1.0e20;
  if (p.unboundedStepSize <= 0.0) p.unboundedStepSize = 1.0e10;
  if (p.functionPrecision <= 0.0) p.functionPrecision = mc.eps0;
  if (p.majorDampingParameter <= 0.0) p.majorDampingParameter = 2.0;
  if (p.minorDampingParameter <= 0.0) p.minorDampingParameter = 2.0;
  if (p.penaltyParameter < 0.0) p.penaltyParameter = 1.0;
  if (p.luSwapTolerance <= 0.0) p.luSwapTolerance = mc.eps4;
  if (p.crashTolerance < 0.0 || p.crashTolerance >= 1.0) p.crashTolerance = 0.1;
  if (p.subspaceTolerance <= 0.0 || p.subspaceTolerance > 1.0) p.subspaceTolerance = 0.5;
  if (p.linesearchTolerance < 0.0 || p.linesearchTolerance > 1.0) p.linesearchTolerance = 0.1;
  if (p.differenceInterval <= 0.0) p.differenceInterval = std::sqrt(p.functionPrecision);
  if (p.centralDifferenceInterval <= 0.0) p.centralDifferenceInterval = std::pow(p.functionPrecision, 0.333333);
  p.currentPenalty = p.penaltyParameter;
  if (p.luFactorTolerance < 1.0) p.luFactorTolerance = linear ? 100.0 : 5.0;
  if (p.luUpdateTolerance < 1.0) p.luUpdateTolerance = linear ? 10.0 : 5.0;
  if (p.luSingularityTol <= 0.0) p.luSingularityTol = mc.eps1;
  if (p.luSingularityTol2 <= 0.0) p.luSingularityTol2 = mc.eps1;
  if (p.luDensity <= 0.0) p.luDensity = 0.5;
  if (p.radiusOfConvergence <= mc.eps2) p.radiusOfConvergence = 0.1;
  if (p.rowTolerance <= mc.eps) p.rowTolerance = 1.0e-6;
  if (p.scaleTolerance <= 0.0) p.scaleTolerance = 0.9;
  if (p.pivotTolerance <= 0.0) p.pivotTolerance = mc.eps1;
  if (p.feasibilityTolerance <= 0.0) p.feasibilityTolerance = 1.0e-6;
  if (p.weightOnObjective < 0.0) p.weightOnObjective = 0.0;
}

void completeChecksBoundsAndSense(Parameters& p) {
  if (p.startObjectiveCheck < 0) p.startObjectiveCheck = 1;
  if (p.stopObjectiveCheck < 0) p.stopObjectiveCheck = p.nonlinearObjectiveVars;
  if (p.startConstraintCheck < 0) p.startConstraintCheck = 1;
  if (p.stopConstraintCheck < 0) p.stopConstraintCheck = p.nonlinearJacobianVars;
  if (p.upperBoundDefault < p.lowerBoundDefault) std::swap(p.lowerBoundDefault, p.upperBoundDefault);
  p.sensePrintText = p.objectiveSense >= 1 ? "Min " : "Max ";
}

void completeDimensions(Parameters& p) {
  if (p.rowLimit < 1) p.rowLimit = 100;
  if (p.columnLimit < 1) p.columnLimit = saturate(3 * int64_t{p.rowLimit});
  if (p.elementsLimit < 1) p.elementsLimit = saturate(5 * int64_t{p.columnLimit});
  if (p.iterationLimit < 0) p.iterationLimit = saturate(3 * int64_t{p.rowLimit} + 10 * int64_t{nonlinearVariables(p)});
  // No more superbasics than variables (and one spare).
  const int32_t variables = saturate(int64_t{p.rowLimit} + p.columnLimit + 1);
  p.hessianDimension = std::min(p.hessianDimension, variables);
  p.superbasicsLimit = std::min(p.superbasicsLimit, variables);
}

}  // namespace

void completeParameters(Parameters& p) {
  completeNonlinearCounts(p);
  const bool linear = nonlinearVariables(p) == 0;
  completeFrequencies(p, linear);
  completePrintFlags(p);
  completeSuperbasicsAndHessian(p, linear);
  completeSwitches(p, linear);
  completeTolerances(p, linear);
  completeChecksBoundsAndSense(p);
  if (p.backupBasisFile == p.newBasisFile) p.backupBasisFile = 0;
  completeDimensions(p);
  if (p.majorIterationsLimit < 0) p.majorIterationsLimit = 50;
  if (p.minorIterationsLimit < 0) p.minorIterationsLimit = p.nonlinearConstraints > 0 ? 40 : p.iterationLimit;
}

}  // namespace kavro
