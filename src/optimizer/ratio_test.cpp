#include "optimizer/ratio_test.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

namespace {

// Whether position i takes part: a variable moving further into its violation never blocks.
inline bool skipped(int32_t mark, double pi) { return (pi > 0.0 && mark > 0) || (pi < 0.0 && mark < 0); }

// The variable of each position: the basis list's, or the entering variable's at the last one.
struct Variables {
  const int32_t* var;
  int32_t lastPos;
  size_t lastVar;
  explicit Variables(const RatioTestInput& in)
      : var(in.var),
        lastPos(in.lastVar >= 0 ? in.count - 1 : -1),
        lastVar(static_cast<size_t>(std::max(in.lastVar, 0))) {}
  size_t operator()(int32_t i) const {
    if (i == lastPos) return lastVar;
    return static_cast<size_t>(var ? var[i] : i);
  }
};

struct PassOne {
  double step1;    // the largest step within the relaxed bounds
  double pMaxInf;  // the smallest pivot an infeasible variable may block with
  int32_t nList;   // the positions kept for pass 2 (in.candidates, their rooms in in.rooms)
};

// Pass 1: the largest step that keeps every variable within its relaxed bounds. Directions are
// often sparse and their signs irregular, so the positions with a usable pivot are first gathered
// without branching, and only those are examined and kept for pass 2.
PassOne relaxedStep(const RatioTestInput& in, const Variables& variable) {
  const double delta = in.expandTol;
  const double* const p = in.p;
  const double* const x = in.x;
  const double* const lower = in.lower;
  const double* const upper = in.upper;
  const int32_t* const infMark = in.infMark;
  int32_t* const list = in.candidates;
  double* const rooms = in.rooms;
  const double pivotTol = in.pivotTol;
  int32_t nUsable = 0;
  for (int32_t i = 0; i < in.count; ++i) {
    list[nUsable] = i;
    nUsable += std::fabs(p[i]) > pivotTol ? 1 : 0;
  }
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
  return PassOne{step1, pMaxInf * 0.001, nList};
}

struct PassTwo {
  int32_t blockPos = -1;  // the largest pivot among the variables that block within step1
  int32_t infPos = -1;    // the infeasible variable that becomes feasible last
  double stepInf = 0.0;   // and its step
};

PassTwo blockingCandidates(const RatioTestInput& in, const Variables& variable, const PassOne& one) {
  const double* const p = in.p;
  const double* const x = in.x;
  const int32_t* const list = in.candidates;
  const double* const rooms = in.rooms;
  PassTwo two;
  double bestPivot = 0.0;
  for (int32_t k = 0; k < one.nList; ++k) {
    const int32_t i = list[k];
    const double pi = p[i];
    const double absP = std::fabs(pi);
    if (absP > bestPivot && rooms[k] <= one.step1 * absP) {
      bestPivot = absP;
      two.blockPos = i;
    }
    if (in.infMark[i] != 0 && absP >= one.pMaxInf) {
      const size_t j = variable(i);
      const double distance = pi > 0.0 ? in.lower[j] - x[j] : x[j] - in.upper[j];
      const double ratio = distance / absP;
      if (ratio > two.stepInf) {
        two.stepInf = ratio;
        two.infPos = i;
      }
    }
  }
  return two;
}

// Nothing blocks, or the chosen variable's bound is infinite.
BlockingResult& unbounded(BlockingResult& r, const RatioTestInput& in) {
  r.unbounded = true;
  r.step = in.stepMax;
  return r;
}

}  // namespace

BlockingResult chooseBlockingVar(const RatioTestInput& in) {
  const Variables variable(in);
  const PassOne one = relaxedStep(in, variable);
  const PassTwo two = blockingCandidates(in, variable, one);
  const double* const p = in.p;
  BlockingResult r;
  int32_t chosen = -1;
  if (two.blockPos >= 0 && (two.infPos < 0 || two.stepInf > one.step1)) {
    chosen = two.blockPos;
    r.hitLower = p[chosen] < 0.0;
  } else if (two.infPos >= 0) {
    chosen = two.infPos;
    r.hitLower = p[chosen] > 0.0;
  }
  if (chosen < 0) return unbounded(r, in);
  const size_t jc = variable(chosen);
  r.blockPos = chosen;
  r.blockBound = r.hitLower ? in.lower[jc] : in.upper[jc];
  if (std::fabs(r.blockBound) >= in.infiniteBound) return unbounded(r, in);
  const double absP = std::fabs(p[chosen]);
  r.exactStep = (r.blockBound - in.x[jc]) / p[chosen];
  const double minStep = in.expandStep / absP;
  r.step = std::max(r.exactStep, minStep);
  r.notForced = r.step == r.exactStep;
  r.degenerate = r.exactStep < minStep;
  return r;
}

}  // namespace kavro
