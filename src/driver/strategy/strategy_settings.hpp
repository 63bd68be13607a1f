#pragma once
// The options the solve strategy chooses from the problem's shape, for every option the caller
// left unset (an option the caller set is never changed). With L the variables occurring
// nonlinearly summed over the functions, N the nonlinear variables, m rows and n columns:
//
//   Iterations limit        max(10,000,000, 10 (m + n)), at most 99,999,999
//   Superbasics limit S     k = 5 L / 4: 3 when k < 1, k + 2 when k < 4998, else 5000 (the
//                           host's estimate); for a nonlinear problem at least N + 1; at most
//                           n + m + 1
//   Hessian dimension       min(S, 2000)
//   Hessian memory          30 when N > 2000
//   Multiple price          S, for a nonlinear problem
//   Major iterations limit  500, with nonlinear constraints
//   Minor iterations limit  500, with nonlinear constraints
//   Pricing option          2, for a linear program
//
// Rules:
//   - "Superbasics limit" or "Hessian dimension" set by the caller leaves the superbasics
//     limit, Hessian dimension, Hessian memory and multiple pricing to the caller: they are
//     sized together;
//   - a linear program keeps the caller's pricing when the caller chose "Pricing option" or
//     "Partial price";
//   - each choice reaches the parameter block as a SPECS line, so the print file shows it
//     before the parameter listing.

#include <cstdint>

#include "kavro/problem.hpp"
#include "specs/parameters.hpp"

namespace kavro {

struct ReportChannels;

struct ProblemShape {
  int32_t rows = 0, columns = 0;
  int32_t nonlinearVariables = 0;  // max(Nonlinear Jacobian vars, Nonlinear objectiv vars)
  int32_t nonlinearConstraints = 0;
  int64_t nonlinearEntries = 0;  // L above
  bool nonlinear() const { return nonlinearVariables > 0; }
};

// The shape of problem; nonlinearEntries as the caller counted them, or (when 0) the
// Jacobian's entries plus the nonlinear objective variables.
ProblemShape shapeOf(const Problem& problem, int64_t nonlinearEntries);

// The iteration limit of the table for m rows and n columns.
int32_t strategyIterationLimit(int32_t m, int32_t n);

// Sets in p what the caller left unset, as the table above says.
void chooseSettings(Parameters& p, const ProblemShape& shape, const ReportChannels& out);

}  // namespace kavro
