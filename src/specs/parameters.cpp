#include "specs/parameters.hpp"

#include <algorithm>

#include "io/units.hpp"
#include "specs/parameter_steps.hpp"

namespace kavro {

int32_t& iparmSlot(Parameters& p, int k) {
  switch (k) {
    case 1: return p.crashOption;
    case 2: return p.linesearchDebugAfter;
    case 3: return p.listParameters;
    case 4: return p.scalePrint;
    case 5: return p.startAssignment;
    default: return p.iparmExtra[static_cast<size_t>(k)];
  }
}

double& rparmSlot(Parameters& p, int k) {
  switch (k) {
    case 1: return p.unboundedObjectiveValue;
    case 2: return p.unboundedStepSize;
    case 3: return p.functionPrecision;
    case 4: return p.majorDampingParameter;
    case 5: return p.crashTolerance;
    case 6: return p.minorDampingParameter;
    case 7: return p.currentPenalty;
    case 8: return p.luSwapTolerance;
    default: return p.rparmExtra[static_cast<size_t>(k)];
  }
}

void refreshInternalValues(Parameters& p) {
  const MachineConstants& mc = p.machine;
  p.smallTolerance = std::max(1.0e-6, mc.eps2);
  p.smallToleranceSquared = p.smallTolerance * p.smallTolerance;
  p.milliTolerance = std::max(1.0e-3, mc.eps4);
  p.hundredth = 0.010000000000000002;
  p.tenth = 0.1;
  p.rootEps = mc.eps2;
}

void resetParameters(Parameters& p) {
  // The member initialisers of Parameters are the reset values. The machine constants, the
  // print, summary and SPECS units and the size of the work array belong to the caller and
  // outlive any reset, including one asked for by "DEFAULTS" or a new "BEGIN".
  Parameters fresh;
  fresh.machine = p.machine;
  fresh.printFile = p.printFile;
  fresh.summaryFile = p.summaryFile;
  fresh.specsFile = p.specsFile;
  fresh.workspaceTotal = p.workspaceTotal;
  fresh.rowCheckTolerance = std::max(1.0e-4, p.machine.eps3);
  p = std::move(fresh);
}

void setParameters(Parameters& p, int mode, const ReportChannels& out) {
  refreshInternalValues(p);
  switch (mode) {
    case 1:
      resetParameters(p);
      refreshInternalValues(p);
      break;
    case 2: completeParameters(p); break;
    case 3: printParameterListing(p, out); break;
    default: break;
  }
}

}  // namespace kavro
