#pragma once
// Scaling of the linear part of the problem by an iterative geometric-mean method, so that the
// matrix elements are closer to 1 in magnitude. Factors are computed once per run and applied
// before each cycle; every value that leaves the optimizer is unscaled first.
//
// Meaning of the factors (scales: n column factors, then m row factors):
//   x(j) = c(j) * scaled x(j),    a(i,j) = r(i) * scaled a(i,j) / c(j).

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct Parameters;
struct ReportChannels;

// The scaling of a run: its factors (nb: columns, then rows; empty until computed, which is done
// once per run) and whether the working problem and state are scaled by them now.
struct RunScaling {
  std::vector<double> factors;
  bool computed = false;
  bool applied = false;
};

// Computes the factors for Scale option 1 (linear part only) or 2 (everything) and prints the
// report. May change Scale tolerance (a value of 1 or more becomes 0.99).
void computeScales(const Problem& prob, const std::vector<int32_t>& rowTypes, Parameters& params,
                   const ReportChannels& out, std::vector<double>& scales);

// mode 1 scales, mode 2 unscales the matrix, the bounds and x in place. Infinite bounds
// (magnitude at least 0.9 x infBound) are left alone.
void applyScales(int mode, Problem& prob, std::vector<double>& x, const std::vector<double>& scales, double infBound);

// Multipliers and reduced costs of the scaled problem in terms of the unscaled one:
// pi(i) / r(i) and d(j) / s(j).
void unscaleMultipliers(const Problem& prob, const std::vector<double>& scales, std::vector<double>& pi,
                        std::vector<double>& reducedCost);

// The run's scaling step: factors on first use, then applied to the working problem and values.
void scaleProblem(RunScaling& s, Problem& prob, std::vector<double>& x, const std::vector<int32_t>& rowTypes,
                  Parameters& params, const ReportChannels& out);
// Undoes it after a cycle, multipliers and reduced costs included, for the reports and the caller.
void unscaleProblem(RunScaling& s, Problem& prob, ProblemState& state, double infBound);
// Unscales the working problem and state in place and makes every factor 1, so that the rest
// of the run (the iterations that go on after the optimality check on the user's problem
// failed, and any later cycle) works on the problem as the user gave it.
void dropScaling(RunScaling& s, Problem& prob, ProblemState& state, double infBound);

}  // namespace kavro
