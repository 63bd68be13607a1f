#include "link/ready_api.hpp"

#include <cstdio>

#include "driver/optimizer_impl.hpp"
#include "link/option_translation.hpp"
#include "link/work_space.hpp"

namespace kavro::link {

namespace {

constexpr const char* kTitle = "K A V R O  5.6      (Jul 2016)";
constexpr const char* kFrame = "==============================";
constexpr int64_t kMaxNonzeros = 2147483647;

bool bindHost(LinkContext& ctx, qmoHandle_t model) {
  if (const std::string error = bindModelLibrary(ctx.host); !error.empty()) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "QMO", error.c_str());
    return false;
  }
  if (!model) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "QMO", "no model object");
    return false;
  }
  ctx.model = ctx.error.model = model;
  if (const std::string error = bindEnvironmentLibrary(ctx.host); !error.empty()) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "QEV", error.c_str());
    return false;
  }
  ctx.env = ctx.error.env = ctx.qmo().qmoEnvironment(model);
  if (!ctx.env) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "QEV", "the model has no environment object");
    return false;
  }
  return true;
}

bool checkCapacity(LinkContext& ctx) {
  if (ctx.qmo().qmoNLNZ64(ctx.model) > kMaxNonzeros || ctx.qmo().qmoNZ64(ctx.model) > kMaxNonzeros) {
    raiseLinkError(ctx, kCapabilityError, "More than 2^31 nonzeros not supported.");
    return false;
  }
  // The work-space estimate and the transfer need at least one column.
  if (ctx.qmo().qmoN(ctx.model) < 1) {
    raiseLinkError(ctx, kDataError, "The model has no variables.");
    return false;
  }
  return true;
}

void logBanner(const LinkContext& ctx) {
  logLine(ctx, "%s", kTitle);
  logLine(ctx, "%s", "");
  logLine(ctx, "%s", "    QARN/KAVRO 5.6, Large Scale Nonlinear Solver");
}

// These two are reset again by the second initialisation; a rejection still counts.
bool setEarlyOptions(LinkContext& ctx) {
  if (ctx.optimizer->setSpecsLine("Jacobian Sparse") != 0) {
    raiseLinkError(ctx, kSolverError, "set option 'Jacobian'");
    return false;
  }
  if (ctx.optimizer->setSpecsInteger("Superbasics Limit", 5000) != 0) {
    raiseLinkError(ctx, kSolverError, "set option 'Superbasics Limit'");
    return false;
  }
  return true;
}

}  // namespace

void initialiseOptimizer(LinkContext& ctx, bool warnOnFailure) {
  char path[kMessageLength] = "";
  ctx.optimizer.reset();
  ctx.optimizer = std::make_unique<Optimizer>();
  ctx.printUnit = 0;
  // Created when missing, emptied otherwise, and locked while the context holds it.
  if (ctx.qev().qevGetScratchName(ctx.env, "kavro55Print", path, sizeof path) == 0 && ctx.printFile.open(path)) {
    ctx.optimizer->connectStream(kPrintUnit, ctx.printFile.stream(), ctx.printFile.path());
    ctx.printUnit = kPrintUnit;
    if (warnOnFailure && ctx.printFile.path() != path)
      logWarning(ctx, "KAVRO print file %s is in use by another run; this run prints to %s", path,
                 ctx.printFile.path().c_str());
  }
  if (ctx.printUnit == 0 && warnOnFailure)
    logWarning(ctx, "Can't open KAVRO print file (%s). It will be suppressed from the sysout file", path);
  ctx.optimizer->initialize({ctx.printUnit, 0, 0});
  if (ctx.printUnit != 0) {
    UnitTable& units = internalsOf(*ctx.optimizer).units;
    units.writeLine(kPrintUnit, kFrame);
    units.writeLine(kPrintUnit, kTitle);
    units.writeLine(kPrintUnit, kFrame);
  }
}

void readyApi(LinkContext& ctx, qmoHandle_t model) {
  ctx.setUpDone = false;
  if (!bindHost(ctx, model) || !readOptionDefinitions(ctx) || !checkCapacity(ctx)) return;
  logBanner(ctx);
  initialiseOptimizer(ctx, true);
  if (!setEarlyOptions(ctx)) return;
  sizeWorkSpace(ctx);
  initialiseOptimizer(ctx, false);
  readOptionFile(ctx);
  ctx.setUpDone = translateOptions(ctx);
}

}  // namespace kavro::link
