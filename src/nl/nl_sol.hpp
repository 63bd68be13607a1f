#pragma once
// The AMPL solution file (STUB.sol, text variant): the solver's message, the options block of
// the .nl header, the dual values of the constraints and the primal values of the variables
// (in the .nl file's order), and "objno N R" with N the 0-based index of the objective used (AMPL's
// writer and reader take it as an index; -1: none) and the solve result number R:
//   0-99 solved, 100-199 solved?, 200-299 infeasible, 300-399 unbounded, 400-499 a limit was
//   reached, 500-599 failure.
// Dual values are in AMPL's sign convention: the change of the objective per unit increase of
// the constraint's bound, for minimization and maximization alike.

#include <cstdint>
#include <string>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct SolFile {
  std::string message;           // one or more lines, no empty line among them
  std::vector<int32_t> options;  // Header::options
  bool hasVbtol = false;
  double vbtol = 0.0;
  int32_t nCons = 0, nVars = 0;
  std::vector<double> duals, primals;  // nCons and nVars values, or empty when not known
  int32_t objno = 0;                   // 0-based index of the objective used, -1 for none
  int32_t solveResult = 0;
};

// A .sol for model m with the given message and result; the values are left empty.
SolFile solFileFor(const Model& m, const std::string& message, int32_t solveResult);

// The contents of the file (the caller writes them, as a save that replaces the file whole).
std::string solFileText(const SolFile& sol);

struct SolveResultCode {
  int32_t code = 0;  // solve_result_num
  const char* text;  // for the message
};

// The solve result number and text for an optimizer exit code.
SolveResultCode solveResultCode(int32_t exitCode);

}  // namespace kavro::nl
