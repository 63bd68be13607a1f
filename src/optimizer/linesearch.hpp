#pragma once
// Interim stand-in for the linesearch: reports "no minimizer" without evaluating anything.
// Replaced by the safeguarded linesearch when it lands.

#include <cstdint>

#include "specs/parameters.hpp"

namespace kavro {

struct ReportChannels;

class LineFunction {
 public:
  virtual ~LineFunction() = default;
  virtual int evaluate(double alfa, bool wantGradient, double& f, double& gtp) = 0;
};

struct LinesearchSettings {
  double alfmax = 0.0, alfaInitial = 0.0, f0 = 0.0, gtp0 = 0.0;
  double differenceInterval = 0.0, functionPrecision = 0.0, linesearchTolerance = 0.1;
  double gNorm = 0.0, pNorm = 0.0, xNorm = 0.0, toltnyRatio = 0.0;
  bool derivatives = true, forwardDifferences = false, debug = false;
  int32_t itn = 0;
  MachineConstants machine;
};

struct LinesearchResult {
  int32_t searchResult = 6;
  double alfa = 0.0;
  int32_t numf = 0;
};

inline LinesearchResult m6srch(const LinesearchSettings&, LineFunction&, const ReportChannels&) { return {}; }

}  // namespace kavro
