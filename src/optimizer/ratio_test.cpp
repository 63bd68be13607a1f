#include "optimizer/ratio_test.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

namespace {

// Whether position i takes part: a variable moving further into its violation never blocks.
inline bool skipped(int32_t mark, double pi) { return (pi > 0.0 && mark > 0) || (pi < 0.0 && mark < 0); }

}  // namespace

BlockingResult chooseBlockingVar(const RatioTestInput& in) {
  BlockingResult r;
  const double delta = in.expandTol;

  // Pass 1: largest step that keeps every variable within its relaxed bounds.
  double step1 = in.stepMax;
  double pMaxInf = 0.0;
  for (int32_t i = 0; i < in.count; ++i) {
    const double pi = in.p[i];
    const double absP = std::fabs(pi);
    if (!(absP > in.pivotTol)) continue;
    const int32_t mark = in.infMark[i];
    if (skipped(mark, pi)) continue;
    const double room = pi > 0.0 ? in.upper[i] + delta - in.x[i] : in.x[i] + delta - in.lower[i];
    if (step1 * absP > room) step1 = room / absP;
    if ((pi > 0.0 && mark < 0) || (pi < 0.0 && mark > 0)) pMaxInf = std::max(pMaxInf, absP);
  }
  pMaxInf *= 0.001;

  // Pass 2: among the variables that block within step1, the largest pivot; and the infeasible
  // variable that becomes feasible last.
  int32_t blockPos = -1, infPos = -1;
  double bestPivot = 0.0, stepInf = 0.0;
  for (int32_t i = 0; i < in.count; ++i) {
    const double pi = in.p[i];
    const double absP = std::fabs(pi);
    if (!(absP > in.pivotTol)) continue;
    const int32_t mark = in.infMark[i];
    if (skipped(mark, pi)) continue;
    const double room = pi > 0.0 ? in.upper[i] - in.x[i] : in.x[i] - in.lower[i];
    if (absP > bestPivot && room <= step1 * absP) {
      bestPivot = absP;
      blockPos = i;
    }
    if (mark != 0 && absP >= pMaxInf) {
      const double distance = pi > 0.0 ? in.lower[i] - in.x[i] : in.x[i] - in.upper[i];
      const double ratio = distance / absP;
      if (ratio > stepInf) {
        stepInf = ratio;
        infPos = i;
      }
    }
  }

  int32_t chosen = -1;
  if (blockPos >= 0 && (infPos < 0 || stepInf > step1)) {
    chosen = blockPos;
    r.hitLower = in.p[chosen] < 0.0;
  } else if (infPos >= 0) {
    chosen = infPos;
    r.hitLower = in.p[chosen] > 0.0;
  }
  if (chosen < 0) {
    r.unbounded = true;
    r.step = in.stepMax;
    return r;
  }
  r.blockPos = chosen;
  r.blockBound = r.hitLower ? in.lower[chosen] : in.upper[chosen];
  if (std::fabs(r.blockBound) >= in.infiniteBound) {
    r.unbounded = true;
    r.step = in.stepMax;
    return r;
  }
  const double absP = std::fabs(in.p[chosen]);
  r.exactStep = (r.blockBound - in.x[chosen]) / in.p[chosen];
  const double minStep = in.expandStep / absP;
  r.step = std::max(r.exactStep, minStep);
  r.notForced = r.step == r.exactStep;
  r.degenerate = r.exactStep < minStep;
  return r;
}

}  // namespace kavro
