#include "link/log_callback.hpp"

namespace kavro::link {

namespace {

constexpr int32_t kLinesPerHeading = 10;

void minorLine(LinkContext& ctx, const IterationLogEntry& e) {
  if (ctx.logSummaryFrequency <= 0 || e.minorItn % ctx.logSummaryFrequency != 0) return;
  ctx.minorLines %= kLinesPerHeading;
  if (ctx.minorLines == 0) {
    logLine(ctx, "%s", "    Itn  ninf      sinf       objective");
    ctx.majorLines = 0;
  }
  logLine(ctx, "%7d%6d %10.3e %16.8e", e.minorItn, e.ninf, e.sinf, e.objective);
  ++ctx.minorLines;
}

void majorLine(LinkContext& ctx, const IterationLogEntry& e) {
  ctx.majorLines %= kLinesPerHeading;
  if (ctx.majorLines == 0)
    logLine(ctx, "%s", " Major minor  step     objective  Feasible Optimal  nsb   ncon penalty BSswp");
  logLine(ctx, "%6d%6d%c %7.1e %12.5e %7.1e %7.1e %4d %6d %7.1e %5d", e.majorItn, e.minorItn, e.flag, e.step,
          e.objective, e.feasibility, e.optimality, e.nSuperbasics, e.nNonlinCons, e.penalty, e.basisSwaps);
  ++ctx.majorLines;
  ctx.minorLines = 0;
}

}  // namespace

int logIteration(LinkContext& ctx, const IterationLogEntry& entry) {
  if (ctx.qev().qevTerminateGet(ctx.env) != 0) {
    logLine(ctx, "%s", " Received interrupt signal, will stop shortly...");
    return 2;
  }
  if (ctx.qev().qevTimeDiffStart(ctx.env) > ctx.qev().qevGetDblOpt(ctx.env, "ResLim")) {
    logLine(ctx, "%s", " Resource limit exceeded, will stop shortly...");
    return 1;
  }
  if (entry.kind == kMinorLine) minorLine(ctx, entry);
  else if (entry.kind == kMajorLine) majorLine(ctx, entry);
  return 0;
}

}  // namespace kavro::link
