#include "driver/strategy/strategy_settings.hpp"

#include <algorithm>

#include "driver/solver_entry.hpp"
#include "driver/work_estimate.hpp"
#include "specs/specs.hpp"

namespace kavro {

namespace {

// The library's default iteration limit (3 x rows) suits a caller that restarts often; a caller
// of the strategy wants the problem solved, and degenerate problems can need many times more
// simplex iterations than rows (Netlib's dfl001 takes 2.1 million with 18,301 rows and columns).
constexpr int64_t kIterationsFloor = 10'000'000;
constexpr int64_t kIterationsPerVariable = 10;
constexpr int64_t kLargestIterationLimit = 99'999'999;  // the largest integer a SPECS line takes
// The largest quasi-Newton factor sized here: its updates cost the square of its order every
// iteration.
constexpr int64_t kHessianDimensionCap = 2000;
// Beyond that many nonlinear variables the quasi-Newton model keeps this many recent updates
// instead of a dense factor (measured over the models of 1000 to 5000 variables: ten pairs
// stall on ill-conditioned quadratics that thirty solve; a hundred cost more and solve no more).
constexpr int64_t kLimitedMemoryPairs = 30;
// Models with nonlinear constraints often need more than the library's 50 major iterations
// (measured: 14 more of the 493 .nl models converge, all within 200); each one is cheap. Their
// subproblems, solved further than the library's 40 minor iterations allow, give better
// multipliers and linearization points (measured: about 18 more of the 493 converge).
constexpr int64_t kMajorIterationsLimit = 500;
constexpr int64_t kMinorIterationsLimit = 500;
// Steepest-edge pricing takes the fewest iterations and mostly the least time on linear
// programs (Netlib: 1.1 times GLPK's iterations, the default rule 4.3 times; bench/README.md).
constexpr int64_t kLinearPricing = 2;

bool unset(int32_t value) { return value == kUndefinedInt; }

// Choices go through the decoder, which shows them on the print file.
struct Chooser {
  Parameters& p;
  const ReportChannels& out;
  void set(const char* keywords, int64_t value) {
    int errors = 0;
    setSpecsInteger(p, keywords, value, out, errors);
  }
};

// A nonlinear model may need every nonlinear variable superbasic at once; the quasi-Newton
// factor's order is kept where its dense updates stay cheap. Pricing admits every candidate
// close to the best at once, so that a large subspace is not built one variable a time.
void sizeSubspace(Chooser& c, const ProblemShape& s) {
  const Parameters& p = c.p;
  if (!unset(p.superbasicsLimit) || !unset(p.hessianDimension)) return;
  int64_t limit = superbasicsEstimate(s.nonlinearEntries);
  if (s.nonlinear()) limit = std::max<int64_t>(limit, int64_t{s.nonlinearVariables} + 1);
  limit = std::min<int64_t>(limit, int64_t{s.columns} + s.rows + 1);
  c.set("Superbasics limit", limit);
  c.set("Hessian dimension", std::min(limit, kHessianDimensionCap));
  if (s.nonlinearVariables > kHessianDimensionCap && unset(p.hessianMemory))
    c.set("Hessian memory", kLimitedMemoryPairs);
  if (s.nonlinear() && unset(p.multiplePrice)) c.set("Multiple price", limit);
}

}  // namespace

int32_t strategyIterationLimit(int32_t m, int32_t n) {
  return static_cast<int32_t>(
      std::min(std::max(kIterationsFloor, kIterationsPerVariable * (int64_t{m} + n)), kLargestIterationLimit));
}

ProblemShape shapeOf(const Problem& problem, int64_t nonlinearEntries) {
  ProblemShape s;
  s.rows = problem.m;
  s.columns = problem.n;
  s.nonlinearVariables = problem.nNonlinVars();
  s.nonlinearConstraints = problem.nNonlinCons;
  s.nonlinearEntries = nonlinearEntries > 0 ? nonlinearEntries
                                            : int64_t{countJacobianElements(problem)} + problem.nNonlinObjVars;
  return s;
}

void chooseSettings(Parameters& p, const ProblemShape& s, const ReportChannels& out) {
  Chooser c{p, out};
  if (unset(p.iterationLimit)) c.set("Iterations limit", strategyIterationLimit(s.rows, s.columns));
  sizeSubspace(c, s);
  if (s.nonlinearConstraints > 0 && unset(p.majorIterationsLimit)) c.set("Major iterations", kMajorIterationsLimit);
  if (s.nonlinearConstraints > 0 && unset(p.minorIterationsLimit)) c.set("Minor iterations", kMinorIterationsLimit);
  if (!s.nonlinear() && unset(p.pricingOption) && unset(p.partialPrice)) c.set("Pricing option", kLinearPricing);
}

}  // namespace kavro
