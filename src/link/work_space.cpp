#include "link/work_space.hpp"

#include <cmath>
#include <cstdio>

#include "driver/work_estimate.hpp"

namespace kavro::link {

namespace {

constexpr double kWordsPerMb = 131072.0;
constexpr double kMbPerWord = 7.62939453125e-06;  // 8 / 2^20

std::string megabytes(const char* label, double words) {
  char line[96];
  std::snprintf(line, sizeof line, " %s -- %9.2f Mb", label, words * kMbPerWord);
  return line;
}

}  // namespace

WorkSpaceSizing computeWorkSpace(int32_t m, int32_t n, int32_t nz, int32_t nonlinearEntries, double workSpace,
                                 double workFactor) {
  WorkSpaceSizing s;
  s.userWords = workSpace * kWordsPerMb;
  s.solverWords = estimateWorkWords(m, n, nz, nonlinearEntries);
  const double request = workSpace == 0.0 ? static_cast<double>(s.solverWords) * workFactor : std::ceil(s.userWords);
  if (!(request >= 1.0)) {
    s.workWords = 1;
  } else if (request >= 2147483648.0) {
    s.workWords = kMaxWorkWords;
    s.capped = true;
  } else {
    s.workWords = static_cast<int64_t>(request);
  }
  return s;
}

std::vector<std::string> workSpaceLogLines(const WorkSpaceSizing& s, double workSpace, double workFactor) {
  std::vector<std::string> lines{""};
  if (workSpace != 0.0 && workFactor != 1.0)
    lines.emplace_back(" workspace and workfactor both set: workfactor ignored");
  if (workSpace != 0.0 || workFactor != 1.0)
    lines.push_back(megabytes("Work space requested by solver", static_cast<double>(s.solverWords)));
  if (workSpace != 0.0) lines.push_back(megabytes("Work space requested by user  ", s.userWords));
  lines.push_back(megabytes("Work space allocated          ", static_cast<double>(s.workWords)));
  lines.emplace_back("");
  return lines;
}

void sizeWorkSpace(LinkContext& ctx) {
  const double workSpace = ctx.qev().qevGetDblOpt(ctx.env, "WorkSpace");
  const double workFactor = ctx.qev().qevGetDblOpt(ctx.env, "WorkFactor");
  const WorkSpaceSizing s = computeWorkSpace(ctx.qmo().qmoM(ctx.model), ctx.qmo().qmoN(ctx.model),
                                             ctx.qmo().qmoNZ(ctx.model), ctx.qmo().qmoNLN(ctx.model), workSpace,
                                             workFactor);
  ctx.workWords = s.workWords;
  ctx.automaticWorkSpace = workSpace == 0.0;
  if (s.capped) logWarning(ctx, "internal allocation limit exceeded: work space request was capped");
  for (const std::string& line : workSpaceLogLines(s, workSpace, workFactor)) logLine(ctx, "%s", line.c_str());
}

}  // namespace kavro::link
