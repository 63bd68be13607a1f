#pragma once
// What a solve of a .nl model hands back: the AMPL solution file (values in the model's own
// order, duals in AMPL's sign convention) and the same JSON report as qarnhost writes, with the
// host's statuses and records worked out as the host link works them out.

#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_sol.hpp"
#include "solution_json.hpp"
#include "specs/parameters.hpp"

namespace kavro::app {

struct NlSolve {
  const nl::Model* model = nullptr;
  const nl::BuiltProblem* built = nullptr;
  const ProblemState* state = nullptr;
  SolveResult result;
  const Parameters* params = nullptr;  // the parameters of the solve, completed
  double seconds = 0.0;
  long long evaluationErrors = 0;
};

// The multiplier of every constraint in AMPL's convention (the change of the objective per unit
// increase of the constraint's bound).
std::vector<double> amplDuals(const NlSolve& s);

// Whether a run's point goes back to the user: a usable one, and the point a run stopped by a
// time limit or by the user reached (so that stopping a long run does not lose it).
bool pointReturned(int32_t exitCode);

// The .sol contents after a solve ending with message (values when pointReturned).
nl::SolFile solFile(const NlSolve& s, const std::string& message);

// The host's view of the solve, names from rowNames / columnNames (generated when empty).
SolutionReport solutionReport(const NlSolve& s, const std::string& modelPath, const std::vector<std::string>& rowNames,
                              const std::vector<std::string>& columnNames);

}  // namespace kavro::app
