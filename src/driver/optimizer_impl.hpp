#pragma once
// What an Optimizer object owns.

#include "io/timers.hpp"
#include "io/units.hpp"
#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro {

struct Optimizer::Impl {
  Parameters params;
  UnitTable units;
  Timers timers;

  ReportChannels channels() { return ReportChannels{&units, params.printFile, params.summaryFile}; }
};

// The parts of an Optimizer, for the library's own front ends (the command, the host link),
// which set parameters and files beyond what the public calls offer.
inline Optimizer::Impl& internalsOf(Optimizer& optimizer) { return *optimizer.impl_; }

}  // namespace kavro
