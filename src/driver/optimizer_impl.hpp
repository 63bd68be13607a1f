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

}  // namespace kavro
