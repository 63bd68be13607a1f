#include "specs/parameters.hpp"

#include "driver/units.hpp"

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

void setParameters(Parameters&, int, const ReportChannels&) {}

}  // namespace kavro
