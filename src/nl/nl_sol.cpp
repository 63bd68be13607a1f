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

std::string writeSolFile(const std::string& path, const SolFile& sol) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return "cannot write " + path;
  bool ok = std::fprintf(f, "%s\n\n", sol.message.c_str()) > 0;
  if (!sol.options.empty()) {
    ok = ok && std::fprintf(f, "Options\n%zu\n", sol.options.size()) > 0;
    for (int32_t o : sol.options) ok = ok && std::fprintf(f, "%d\n", o) > 0;
    if (sol.hasVbtol) ok = ok && std::fprintf(f, "%.17g\n", sol.vbtol) > 0;
  }
  ok = ok && std::fprintf(f, "%d\n%zu\n%d\n%zu\n", sol.nCons, sol.duals.size(), sol.nVars, sol.primals.size()) > 0;
  for (double y : sol.duals) ok = ok && std::fprintf(f, "%.17g\n", y) > 0;
  for (double x : sol.primals) ok = ok && std::fprintf(f, "%.17g\n", x) > 0;
  ok = ok && std::fprintf(f, "objno %d %d\n", sol.objno, sol.solveResult) > 0;
  ok = std::fclose(f) == 0 && ok;
  return ok ? std::string() : "cannot write " + path;
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
    case kNoStorageForFactors: case kWorkspaceTooSmall: return {520, "not enough storage"};
    case kBasisPackageError: return {521, "basis factorization error"};
    case kBasisFileMismatch: case kTooManyBasics: return {530, "the basis file does not fit the problem"};
    case kInvalidProblemData: return {540, "the problem data are not valid"};
    default: return {590, "solver failure"};
  }
}

}  // namespace kavro::nl
