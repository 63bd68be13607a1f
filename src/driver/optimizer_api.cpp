// The public Optimizer object: one parameter block, one unit table and one set of timers.

#include <new>
#include <stdexcept>

#include "driver/optimizer_impl.hpp"
#include "driver/strategy/solve_strategy.hpp"

namespace kavro {

Optimizer::Optimizer() : impl_(std::make_unique<Impl>()) { initialize({}); }
Optimizer::~Optimizer() = default;

void Optimizer::initialize(const UnitSettings& units) {
  Impl& s = *impl_;
  s.params = Parameters{};
  s.params.printFile = units.printUnit;
  s.params.summaryFile = units.summaryUnit;
  s.params.specsFile = units.specsUnit;
  setParameters(s.params, 1, s.channels());
  if (units.specsUnit > 0) s.units.openInput(units.specsUnit);
}

void Optimizer::connectUnit(int unit, std::string path) { impl_->units.connect(unit, std::move(path)); }
void Optimizer::connectStream(int unit, std::FILE* stream, std::string name) {
  impl_->units.connectStream(unit, stream, std::move(name));
}

SolveResult Optimizer::solve(const Problem& problem, ProblemState& state, const SolveOptions& options) {
  Impl& s = *impl_;
  try {
    return solveWithStrategy(s.params, s.units, s.timers, problem, state, options);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  // The run's storage is gone with the exception; what is left is to say so.
  s.channels().both(" EXIT -- not enough memory for a model of %d variables and %d constraints", problem.n, problem.m);
  s.units.flushAll();
  SolveResult r;
  r.exitCode = kOutOfMemory;
  return r;
}

}  // namespace kavro
