#include "optimizer/ratio_test.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

namespace {

// Whether position i takes part: a variable moving further into its violation never blocks.
inline bool skipped(int32_t mark, double pi) { return (pi > 0.0 && mark > 0) || (pi < 0.0 && mark < 0); }

inline size_t variableAt(const RatioTestInput& in, int32_t i) {
  if (in.lastVar >= 0 && i == in.count - 1) return static_cast<size_t>(in.lastVar);
  return static_cast<size_t>(in.var ? in.var[i] : i);
}

}  // namespace

BlockingResult chooseBlockingVar(const RatioTestInput& in) {
  BlockingResult r;
  const double delta = in.expandTol;
  const double* const p = in.p;
  const double* const x = in.x;
  const double* const lower = in.lower;
  const double* const upper = in.upper;
  const int32_t* const infMark = in.infMark;
  int32_t* const list = in.candidates;
  double* const rooms = in.rooms;

  // Pass 1: largest step that keeps every variable within its relaxed bounds. Directions are
  // often sparse and their signs irregular, so the positions with a usable pivot are first
  // gathered without branching, and only those are examined and kept for pass 2.
  const double pivotTol = in.pivotTol;
  int32_t nUsable = 0;
  for (int32_t i = 0; i < in.count; ++i) {
    list[nUsable] = i;
    nUsable += std::fabs(p[i]) > pivotTol ? 1 : 0;
  }
  // Locals, since stores into the lists could alias the input's fields.
  const int32_t* const var = in.var;
  const int32_t lastPos = in.lastVar >= 0 ? in.count - 1 : -1;
  const size_t lastVar = static_cast<size_t>(std::max(in.lastVar, 0));
  auto variable = [&](int32_t i) {
    if (i == lastPos) return lastVar;
    return static_cast<size_t>(var ? var[i] : i);
  };
  double step1 = in.stepMax;
  double pMaxInf = 0.0;
  int32_t nList = 0;
  for (int32_t k = 0; k < nUsable; ++k) {
    const int32_t i = list[k];
    const double pi = p[i];
    const double absP = std::fabs(pi);
    const int32_t mark = infMark[i];
    const bool up = pi > 0.0;
    const bool skip = skipped(mark, pi);
    const size_t j = variable(i);
    const double xj = x[j], bound = up ? upper[j] : lower[j];
    const double relaxed = up ? bound + delta - xj : xj + delta - bound;
    // Written always, kept only when not skipped (nList <= k: compacted in place).
    list[nList] = i;
    rooms[nList] = up ? bound - xj : xj - bound;
    nList += skip ? 0 : 1;
    if (skip) continue;
    if (step1 * absP > relaxed) step1 = relaxed / absP;
    if (mark != 0 && ((up && mark < 0) || (!up && mark > 0))) pMaxInf = std::max(pMaxInf, absP);
  }
  pMaxInf *= 0.001;

  // Pass 2: among the variables that block within step1, the largest pivot; and the infeasible
  // variable that becomes feasible last.
  int32_t blockPos = -1, infPos = -1;
  double bestPivot = 0.0, stepInf = 0.0;
  for (int32_t k = 0; k < nList; ++k) {
    const int32_t i = list[k];
    const double pi = p[i];
    const double absP = std::fabs(pi);
    if (absP > bestPivot && rooms[k] <= step1 * absP) {
      bestPivot = absP;
      blockPos = i;
    }
    if (infMark[i] != 0 && absP >= pMaxInf) {
      const size_t j = variable(i);
      const double distance = pi > 0.0 ? lower[j] - x[j] : x[j] - upper[j];
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
    r.hitLower = p[chosen] < 0.0;
  } else if (infPos >= 0) {
    chosen = infPos;
    r.hitLower = p[chosen] > 0.0;
  }
  if (chosen < 0) {
    r.unbounded = true;
    r.step = in.stepMax;
    return r;
  }
  const size_t jc = variableAt(in, chosen);
  r.blockPos = chosen;
  r.blockBound = r.hitLower ? lower[jc] : upper[jc];
  if (std::fabs(r.blockBound) >= in.infiniteBound) {
    r.unbounded = true;
    r.step = in.stepMax;
    return r;
  }
  const double absP = std::fabs(p[chosen]);
  r.exactStep = (r.blockBound - x[jc]) / p[chosen];
  const double minStep = in.expandStep / absP;
  r.step = std::max(r.exactStep, minStep);
  r.notForced = r.step == r.exactStep;
  r.degenerate = r.exactStep < minStep;
  return r;
}

}  // namespace kavro
