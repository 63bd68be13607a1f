#pragma once
// The host's model as the optimizer's problem: nonlinear columns and rows first (through the
// model object's view), unsupported row types refused, a free objective row added last for
// the linear objective terms, the matrix by columns, bounds, starting point and, when the host
// has one, a starting basis. Then the objective sense and the superbasics limit as SPECS lines.

#include <cstdint>
#include <string>

#include "kavro/problem.hpp"
#include "link/link_context.hpp"

namespace kavro::link {

struct TransferredModel {
  Problem problem;
  ProblemState state;
  std::string start = "Cold";  // "Cold" or "Warm"
  int32_t hostRows = 0;        // rows that go back to the host (the objective row not counted)
  int32_t modelType = 0;
  bool nonlinear = false;  // the host has nonlinear entries in rows or objective
};

// False with the error raised (and everything allocated freed) when the model cannot be taken.
bool transferModel(LinkContext& ctx, TransferredModel& model);

// "Minimize" / "Maximize" (with an objective) and "Superbasics Limit" (unless the user's
// option file set it or asked for the solve strategy, which sizes it). False with the error
// raised.
bool sendModelOptions(LinkContext& ctx);

// State of a variable in a warm start: the host's basis status 2 is basic; otherwise the
// level decides with a tolerance of 1.0e-7.
int32_t warmStartState(int hostStatus, double value, double lower, double upper);

}  // namespace kavro::link
