#pragma once
// The two-pass ratio test: how far the point may move along a direction before a variable
// reaches a bound. Pass 1 uses bounds relaxed by the working feasibility tolerance to find the
// largest acceptable step; pass 2 chooses, among the variables that block within it, the one
// with the largest pivot. Infeasible variables block where they become feasible, last first.

#include <cstdint>

namespace kavro {

struct BlockingResult {
  int32_t blockPos = -1;    // position of the blocking variable, -1 when none
  bool hitLower = false;    // it stops at its lower bound (else at its upper bound)
  bool unbounded = false;   // no finite blocking bound
  bool notForced = false;   // the step is the exact ratio, not raised to the minimum step
  bool degenerate = false;  // the exact step was below the anti-degeneracy minimum
  double exactStep = 0.0;
  double step = 0.0;
  double blockBound = 0.0;
};

// Positions index p and infMark; variables index x and the bounds. var maps a position to its
// variable (nullptr: the same index), so callers need not gather basic values every step; the
// last position may instead be a variable of its own (the one entering the basis).
struct RatioTestInput {
  int32_t count = 0;     // positions examined
  double stepMax = 0.0;  // a-priori limit on the step
  double infiniteBound = 1e20;
  double pivotTol = 0.0;             // smallest |p_i| that may block
  double expandTol = 0.0;            // working feasibility tolerance (bounds relaxed by it in pass 1)
  double expandStep = 0.0;           // anti-degeneracy: least movement of the blocking variable
  const int32_t* infMark = nullptr;  // <0 below lower, >0 above upper, 0 feasible
  const double* lower = nullptr;
  const double* upper = nullptr;
  const double* x = nullptr;
  const double* p = nullptr;
  const int32_t* var = nullptr;
  int32_t lastVar = -1;           // when >= 0, the variable at position count - 1
  int32_t* candidates = nullptr;  // scratch of count entries: positions that may block
  double* rooms = nullptr;        // scratch of count entries: their distances to the bound
};

BlockingResult chooseBlockingVar(const RatioTestInput& in);

}  // namespace kavro
