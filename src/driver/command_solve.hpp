#pragma once
// One solve as the kavro command makes it, for MPS and .nl problems alike: the command's
// iteration limit, work storage sized from the problem unless "Workspace (total)" is given, and
// one more attempt with the least storage the problem needs when that was too small. The solve
// itself, with its strategy, is Optimizer::solve. Every front end that promises to solve a file
// "as the kavro command does" goes through here.

#include <cstdint>

#include "kavro/solver.hpp"

namespace kavro {

struct CommandSolve {
  NonlinearFunctions* functions = nullptr;
  // The variables occurring nonlinearly, summed over the functions (they size the work storage
  // and the strategy's superbasics limit).
  int64_t nonlinearEntries = 0;
  // The strategy when no "Solve strategy" option chose one: the single specified solve for MPS
  // problems, the solve strategy for .nl models.
  SolveStrategy defaultStrategy = kSingleSolve;
  // Second derivatives for the strategy's test of a final point (.nl models), or none.
  CurvatureProbe* curvature = nullptr;
  IterationCallback progress;
};

SolveResult solveAsCommand(Optimizer& opt, const Problem& problem, ProblemState& state, const CommandSolve& how = {});

}  // namespace kavro
