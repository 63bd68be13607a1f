#pragma once
// Sizing of the optimizer's work array from the model's dimensions and the host's "WorkSpace"
// (megabytes) and "WorkFactor" options.

#include <cstdint>
#include <string>
#include <vector>

#include "link/link_context.hpp"

namespace kavro::link {

inline constexpr int64_t kMaxWorkWords = 2147483647;

struct WorkSpaceSizing {
  int64_t solverWords = 0;  // the solver's estimate, margin included
  double userWords = 0.0;   // WorkSpace in 8-byte words
  int64_t workWords = 0;    // what is allocated
  bool capped = false;      // the request was 2^31 words or more
};

// nonlinearEntries is the host's count of nonlinear entries (qmoNLN). A request below one word
// (a negative WorkSpace or WorkFactor) is raised to one: the solver then reports how much it
// needs.
WorkSpaceSizing computeWorkSpace(int32_t m, int32_t n, int32_t nz, int32_t nonlinearEntries, double workSpace,
                                 double workFactor);

// The log lines that report the sizing, the empty first and last lines included.
std::vector<std::string> workSpaceLogLines(const WorkSpaceSizing& sizing, double workSpace, double workFactor);

// Computes, stores ctx.workWords and logs (with the cap warning when it applies).
void sizeWorkSpace(LinkContext& ctx);

}  // namespace kavro::link
