// What each SPECS keyword sets. Words in the comments' parentheses are optional and not
// checked; keywords that check their second word call requireSecond(), after which a known
// second word that means nothing for the keyword is accepted and changes nothing.

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

#include "io/units.hpp"
#include "specs/parameter_ranges.hpp"
#include "specs/specs_line.hpp"

namespace kavro::specs {
namespace {

std::string name8(const Field& token) { return std::string(token.data(), 8); }

// The subscript is shown as written, so that a huge one is not reported as another number.
void applyParm(SpecsLine& l, bool integer) {
  if (!l.requireValue()) return;
  if (l.real() < 1.0 || l.real() >= 31.0) {
    l.reject(kSubscriptError, " " + std::string(text(l.valueToken())));
    return;
  }
  const int k = static_cast<int>(l.real());
  const std::string_view w = text(l.token(2));
  if (w.empty()) return l.reject(kValueMissing, text(l.token(1)));
  std::string range;
  if (integer) {
    const auto v = readInteger(w);
    if (!v) return l.reject(kParmIntegerError, w);
    int32_t& slot = iparmSlot(l.params(), k);
    range = outOfRange(l.params(), slot, *v);
    if (range.empty()) slot = *v;
  } else {
    const auto v = readReal(w);
    if (!v) return l.reject(kParmRealError, w);
    double& slot = rparmSlot(l.params(), k);
    range = outOfRange(l.params(), slot, *v);
    if (range.empty()) slot = *v;
  }
  if (!range.empty()) l.reject(kRangeError, std::string(w) + "  (" + range + ")");
}

// SCALE with any second word but OPTION. A positive value sets Scale tolerance even when the
// second word is then rejected.
void applyScale(SpecsLine& l) {
  Parameters& p = l.params();
  if (l.secondIs("OPTION")) {
    l.set(p.scaleOption);
    return;
  }
  if (!l.valueOk()) return;
  if (l.real() > 0.0) p.scaleTolerance = l.real();
  if (l.secondBlank()) {
    p.scaleOption = kUndefinedInt;
    return;
  }
  if (!l.requireSecond()) return;
  if (l.secondIs("PRINT")) p.scalePrint = 1;
  else if (l.secondIs("ALL") || l.secondIs("NONLINEAR")) p.scaleOption = 2;
  else if (l.secondIs("LINEAR")) p.scaleOption = 1;
  else if (l.secondIs("NO")) p.scaleOption = 0;
  else if (l.secondIs("YES")) p.scaleOption = kUndefinedInt;
}

// START: the fourth token chooses what is started.
void applyStart(SpecsLine& l) {
  Parameters& p = l.params();
  const auto fourth = lookup(Table::second, l.token(3));
  if (!fourth) return l.reject(kFourthError, text(l.token(3)));
  if (sameKeyword(*fourth, "SUPERBASIC")) p.startAssignment = 2;
  else if (sameKeyword(*fourth, "BASIC")) p.startAssignment = 3;
  else if (sameKeyword(*fourth, "NONBASIC")) p.startAssignment = 4;
  else if (sameKeyword(*fourth, "ELIGIBLE")) p.startAssignment = 1;
  else if (sameKeyword(*fourth, "OBJECTIVE")) l.set(p.startObjectiveCheck);
  else if (sameKeyword(*fourth, "CONSTRAINTS")) l.set(p.startConstraintCheck);
}

void applyVerify(SpecsLine& l) {
  Parameters& p = l.params();
  if (l.secondBlank()) {
    p.verifyLevel = 3;
    return;
  }
  if (!l.requireSecond()) return;
  if (l.secondIs("OBJECTIVE")) p.verifyLevel = 1;
  else if (l.secondIs("CONSTRAINTS")) p.verifyLevel = 2;
  else if (l.secondIs("GRADIENTS") || l.secondIs("YES")) p.verifyLevel = 3;
  else if (l.secondIs("NO")) p.verifyLevel = 0;
  else if (l.secondIs("LEVEL")) l.set(p.verifyLevel);
}

void applyLU(SpecsLine& l) {
  Parameters& p = l.params();
  if (!l.requireSecond()) return;
  if (l.secondIs("FACTORIZATION")) l.set(p.luFactorTolerance);
  else if (l.secondIs("UPDATE")) l.set(p.luUpdateTolerance);
  else if (l.secondIs("DENSITY")) l.set(p.luDensity);
  else if (l.secondIs("SINGULARITY")) {
    if (l.set(p.luSingularityTol)) p.luSingularityTol2 = p.luSingularityTol;
  } else if (l.secondIs("SWAP")) l.set(p.luSwapTolerance);
  else if (l.secondIs("PARTIAL")) p.luPivoting = 0;
  else if (l.secondIs("ROOK")) p.luPivoting = 1;
  else if (l.secondIs("COMPLETE")) p.luPivoting = 2;
}

// Keywords with two or three meanings told apart by the second word.
struct Choice {
  std::string_view word;
  std::function<void(SpecsLine&)> apply;
};

template <class T>
Choice setTo(std::string_view word, T Parameters::*member) {
  return {word, [member](SpecsLine& s) { s.set(s.params().*member); }};
}

Choice assign(std::string_view word, int32_t Parameters::*member, int32_t value) {
  return {word, [member, value](SpecsLine& s) { s.params().*member = value; }};
}

void choose(SpecsLine& l, std::initializer_list<Choice> choices) {
  if (!l.requireSecond()) return;
  for (const Choice& c : choices)
    if (l.secondIs(c.word)) return c.apply(l);
}

}  // namespace

bool applyFirstKeyword(SpecsLine& l) {
  Parameters& p = l.params();
  if (l.keyIs("CHECK")) l.set(p.checkRowError);
  else if (l.keyIs("COMPLETION"))
    choose(l, {assign("PARTIAL", &Parameters::completion, 0), assign("FULL", &Parameters::completion, 1)});
  else if (l.keyIs("CRASH"))
    choose(l, {setTo("OPTION", &Parameters::crashOption), setTo("TOLERANCE", &Parameters::crashTolerance)});
  else if (l.keyIs("DEBUG")) l.set(p.debugLevel);
  else if (l.keyIs("DEFAULTS")) setParameters(p, 1, l.channels());
  else if (l.keyIs("EXPAND")) l.set(p.expandFrequency);
  else if (l.keyIs("FACTORIZATION")) l.set(p.factorizeBasis);
  else if (l.keyIs("FEASIBILITY")) l.set(p.feasibilityTolerance);
  else if (l.keyIs("HESSIAN")) {
    // "Hessian memory k" chooses the limited-memory model; any other second word is the
    // dimension of the dense factor, as it always was.
    if (l.secondIs("MEMORY")) l.set(p.hessianMemory);
    else if (l.secondIs("OPTION")) l.set(p.hessianOption);
    else l.set(p.hessianDimension);
  } else if (l.keyIs("IPARM")) applyParm(l, true);
  else if (l.keyIs("ITERATIONS")) l.set(p.iterationLimit);
  else if (l.keyIs("LAGRANGIAN"))
    choose(l, {assign("YES", &Parameters::lagrangian, 1), assign("NO", &Parameters::lagrangian, 0)});
  else if (l.keyIs("LINESEARCH"))
    choose(l,
           {setTo("TOLERANCE", &Parameters::linesearchTolerance), setTo("DEBUG", &Parameters::linesearchDebugAfter)});
  else if (l.keyIs("LOG")) l.set(p.logFrequency);
  else if (l.keyIs("LU")) applyLU(l);
  else if (l.keyIs("MAJOR"))
    choose(l, {setTo("DAMPING", &Parameters::majorDampingParameter),
               setTo("ITERATIONS", &Parameters::majorIterationsLimit)});
  else if (l.keyIs("MINOR"))
    choose(l, {setTo("DAMPING", &Parameters::minorDampingParameter),
               setTo("ITERATIONS", &Parameters::minorIterationsLimit)});
  else if (l.keyIs("MULTIPLE")) l.set(p.multiplePrice);
  else if (l.keyIs("OPTIMALITY")) l.set(p.optimalityTolerance);
  else if (l.keyIs("PARTIAL")) l.set(p.partialPrice);
  else if (l.keyIs("PENALTY")) {
    if (l.set(p.penaltyParameter)) p.currentPenalty = p.penaltyParameter;
  } else if (l.keyIs("PIVOT")) l.set(p.pivotTolerance);
  else if (l.keyIs("PRINT"))
    choose(l, {setTo("FILE", &Parameters::printFile), setTo("FREQUENCY", &Parameters::logFrequency),
               setTo("LEVEL", &Parameters::printLevel)});
  else if (l.keyIs("RADIUS")) l.set(p.radiusOfConvergence);
  else if (l.keyIs("ROWS")) {
    if (l.secondIs("TOLERANCE")) l.set(p.rowTolerance);
    else l.set(p.rowLimit);
  } else if (l.keyIs("RPARM")) applyParm(l, false);
  else if (l.keyIs("SCALE")) applyScale(l);
  else if (l.keyIs("SOLUTION"))
    choose(l, {assign("YES", &Parameters::solution, 2), assign("NO", &Parameters::solution, 0),
               setTo("FILE", &Parameters::solutionFile)});
  else if (l.keyIs("START")) applyStart(l);
  else if (l.keyIs("SUBSPACE")) l.set(p.subspaceTolerance);
  else if (l.keyIs("SUMMARY"))
    choose(l, {setTo("FILE", &Parameters::summaryFile),
               setTo("FREQUENCY", &Parameters::summaryFrequency),
               {"LEVEL", [](SpecsLine& s) {
                  if (!s.requireInteger()) return;
                  s.params().summaryBrief = s.integer() == 0;
                  s.params().summaryDetailed = s.integer() > 0;
                }}});
  else if (l.keyIs("SUPERBASICS")) l.set(p.superbasicsLimit);
  else if (l.keyIs("TIMING")) l.set(p.timingLevel);
  else if (l.keyIs("UNBOUNDED"))
    choose(l,
           {setTo("OBJECTIVE", &Parameters::unboundedObjectiveValue), setTo("STEP", &Parameters::unboundedStepSize)});
  else if (l.keyIs("VERIFY")) applyVerify(l);
  else if (l.keyIs("WEIGHT")) l.set(p.weightOnObjective);
  else return false;
  return true;
}

bool applyFurtherKeyword(SpecsLine& l) {
  Parameters& p = l.params();
  if (l.keyIs("AIJ")) l.set(p.aijTolerance);
  else if (l.keyIs("BACKUP")) l.set(p.backupBasisFile);
  else if (l.keyIs("BOUNDS")) p.boundsName = name8(l.token(1));
  else if (l.keyIs("CENTRAL")) l.set(p.centralDifferenceInterval);
  else if (l.keyIs("COEFFICIENTS") || l.keyIs("ELEMENTS")) l.set(p.elementsLimit);
  else if (l.keyIs("COLUMNS")) l.set(p.columnLimit);
  else if (l.keyIs("CYCLE"))
    choose(l, {setTo("LIMIT", &Parameters::cycleLimit), setTo("PRINT", &Parameters::cyclePrint),
               setTo("TOLERANCE", &Parameters::cycleTolerance)});
  else if (l.keyIs("DERIVATIVE")) l.set(p.derivativeLevel);
  else if (l.keyIs("DIFFERENCE")) l.set(p.differenceInterval);
  else if (l.keyIs("DUMP")) l.set(p.dumpFile);
  else if (l.keyIs("ERROR")) l.set(p.errorMessageLimit);
  else if (l.keyIs("FUNCTION")) l.set(p.functionPrecision);
  else if (l.keyIs("INSERT")) l.set(p.insertFile);
  else if (l.keyIs("JACOBIAN"))
    choose(l, {assign("DENSE", &Parameters::jacobian, 1), assign("SPARSE", &Parameters::jacobian, 2)});
  else if (l.keyIs("LIST")) l.set(p.listLimit);
  else if (l.keyIs("LOAD")) l.set(p.loadFile);
  else if (l.keyIs("LOWER")) l.set(p.lowerBoundDefault);
  else if (l.keyIs("MAXIMIZE")) p.objectiveSense = -1, p.objectiveSenseGiven = true;
  else if (l.keyIs("MINIMIZE")) p.objectiveSense = 1, p.objectiveSenseGiven = true;
  else if (l.keyIs("MPS")) l.set(p.mpsFile);
  else if (l.keyIs("NEW")) l.set(p.newBasisFile);
  else if (l.keyIs("NONLINEAR"))
    choose(l, {setTo("CONSTRAINTS", &Parameters::nonlinearConstraints),
               setTo("OBJECTIVE", &Parameters::nonlinearObjectiveVars),
               setTo("JACOBIAN", &Parameters::nonlinearJacobianVars),
               {"VARIABLES", [](SpecsLine& s) {
                  Parameters& p = s.params();
                  if (s.set(p.nonlinearObjectiveVars)) p.nonlinearJacobianVars = p.nonlinearObjectiveVars;
                }}});
  else if (l.keyIs("OBJECTIVE")) p.objectiveName = name8(l.token(1));
  else if (l.keyIs("OLD")) l.set(p.oldBasisFile);
  else if (l.keyIs("PHANTOM"))
    choose(l, {setTo("COLUMNS", &Parameters::phantomColumns), setTo("ELEMENTS", &Parameters::phantomElements)});
  else if (l.keyIs("PRICING")) choose(l, {setTo("OPTION", &Parameters::pricingOption)});
  else if (l.keyIs("PROBLEM")) l.set(p.problemNumber);
  else if (l.keyIs("PUNCH")) l.set(p.punchFile);
  else if (l.keyIs("RANGES")) p.rangesName = name8(l.token(1));
  else if (l.keyIs("REPORT")) l.set(p.reportFile);
  else if (l.keyIs("RHS")) p.rhsName = name8(l.token(1));
  else if (l.keyIs("SAVE")) l.set(p.saveNewBasisMap);
  else if (l.keyIs("SOLVE")) choose(l, {setTo("STRATEGY", &Parameters::solveStrategy)});
  else if (l.keyIs("STOP"))
    choose(l, {setTo("OBJECTIVE", &Parameters::stopObjectiveCheck),
               setTo("CONSTRAINTS", &Parameters::stopConstraintCheck)});
  else if (l.keyIs("TIME")) choose(l, {setTo("LIMIT", &Parameters::timeLimit)});
  else if (l.keyIs("UPPER")) l.set(p.upperBoundDefault);
  else if (l.keyIs("WORKSPACE"))
    choose(l, {setTo("(USER)", &Parameters::workspaceUser), setTo("(TOTAL)", &Parameters::workspaceTotal)});
  else return false;
  return true;
}

}  // namespace kavro::specs
