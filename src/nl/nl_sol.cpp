#include "nl/nl_sol.hpp"

#include <cstdio>

#include "kavro/solver.hpp"

namespace kavro::nl {

SolFile solFileFor(const Model& m, const std::string& message, int32_t solveResult) {
  SolFile sol;
  sol.message = message;
  sol.options = m.header.options;
  sol.hasVbtol = m.header.hasVbtol;
  sol.vbtol = m.header.vbtol;
  sol.nCons = m.nCons();
  sol.nVars = m.nVars();
  sol.solveResult = solveResult;
  return sol;
}

std::string solFileText(const SolFile& sol) {
  std::string text = sol.message + "\n\n";
  char number[40];
  auto line = [&](const char* format, auto value) {
    std::snprintf(number, sizeof number, format, value);
    text += number;
  };
  if (!sol.options.empty()) {
    line("Options\n%zu\n", sol.options.size());
    for (int32_t o : sol.options) line("%d\n", o);
    if (sol.hasVbtol) line("%.17g\n", sol.vbtol);
  }
  line("%d\n", sol.nCons);
  line("%zu\n", sol.duals.size());
  line("%d\n", sol.nVars);
  line("%zu\n", sol.primals.size());
  for (double y : sol.duals) line("%.17g\n", y);
  for (double x : sol.primals) line("%.17g\n", x);
  text += "objno " + std::to_string(sol.objno) + " " + std::to_string(sol.solveResult) + "\n";
  return text;
}

SolveResultCode solveResultCode(int32_t exitCode) {
  switch (exitCode) {
    case kOptimal: return {0, "optimal solution"};
    case kNearOptimal: return {100, "near optimal solution"};
    case kCannotImprove: return {101, "the current point cannot be improved"};
    case kFactorizationTwice: return {102, "basis factorization requested twice in a row"};
    case kInfeasible: return {200, "infeasible problem"};
    case kUnbounded: return {300, "unbounded (or badly scaled) problem"};
    case kTooManyIterations: return {400, "iteration limit"};
    case kObjectiveUnchanged: return {401, "the objective has not changed in many iterations"};
    case kSuperbasicsLimit: return {402, "the superbasics limit is too small"};
    case kTimeLimit: return {403, "time limit"};
    case kInterrupted: return {404, "interrupted"};
    case kFunctionError: return {500, "the functions could not be evaluated"};
    case kBadObjectiveGradient: return {501, "the objective gradient seems to be wrong"};
    case kBadConstraintGradient: return {502, "the constraint gradients seem to be wrong"};
    case kNumericalError: return {510, "numerical error: the constraints cannot be satisfied accurately"};
    case kNoSuperbasicToReplace: return {511, "no superbasic to replace a basic variable"};
    case kSingularBasis: return {512, "singular basis"};
    case kNoStorageForFactors:
    case kWorkspaceTooSmall: return {520, "not enough storage"};
    case kBasisPackageError: return {521, "basis factorization error"};
    case kBasisFileMismatch:
    case kTooManyBasics: return {530, "the basis file does not fit the problem"};
    case kInvalidProblemData: return {540, "the problem data are not valid"};
    case kFileClash: return {550, "an output file is an input or another output file"};
    case kOutOfMemory: return {560, "not enough memory"};
    default: return {590, "solver failure"};
  }
}

}  // namespace kavro::nl
