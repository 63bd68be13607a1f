#include "link/option_translation.hpp"

#include <strings.h>
#include <algorithm>
#include <cstdio>

namespace kavro::link {

namespace {

constexpr int32_t kIterationsCap = 10000000;

// Writes the option object's messages to the log: all of them, or only those a user reads
// (types below 8, and 9).
void logOptionMessages(LinkContext& ctx, bool all) {
  const OptionApi& opt = ctx.opt();
  char text[kMessageLength];
  ctx.qev().qevStatCon(ctx.env);
  for (int k = 1; k <= opt.optMessageCount(ctx.options); ++k) {
    int type = 0;
    if (opt.optGetMessage(ctx.options, k, text, sizeof text, &type) != 0) continue;
    if (all || type < 8 || type == 9) ctx.qev().qevLogStatNoC(ctx.env, text);
  }
  ctx.qev().qevStatCoff(ctx.env);
  opt.optClearMessages(ctx.options);
}

bool sendLine(LinkContext& ctx, const std::string& line, const char* what) {
  if (ctx.optimizer->setSpecsLine(line) == 0) return true;
  raiseLinkError(ctx, kSolverError, "set option '%s'", what);
  return false;
}

bool sendInteger(LinkContext& ctx, const char* keywords, int64_t value, const char* what) {
  if (ctx.optimizer->setSpecsInteger(keywords, value) == 0) return true;
  raiseLinkError(ctx, kSolverError, "set option '%s'", what);
  return false;
}

std::string systemDirectoryFile(LinkContext& ctx, const char* fileName) {
  char dir[kMessageLength] = "";
  ctx.qev().qevGetStrOpt(ctx.env, "NameSysDir", dir, sizeof dir);
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + fileName;
}

// The option file asks for the solve strategy ("solve_strategy 1"; read before the host's
// defaults are sent, which it changes).
bool strategyAskedFor(LinkContext& ctx) {
  int value = kSingleSolve;
  return ctx.opt().optGetIntStr(ctx.options, "solve_strategy", &value) == 0 && value == kStrategySolve;
}

bool applyHostDefaults(LinkContext& ctx) {
  if (!sendLine(ctx, "Print Level 1", "Print Level") || !sendLine(ctx, "Jacobian Sparse", "Jacobian") ||
      !sendLine(ctx, "Solution No", "Solution") || !sendInteger(ctx, "Verify Level", -1, "Verify Level"))
    return false;
  ctx.domainErrorLimit = ctx.qev().qevGetIntOpt(ctx.env, "DomLim");
  const int32_t iterLim = ctx.qev().qevGetIntOpt(ctx.env, "IterLim");
  const int32_t k = std::min(iterLim, kIterationsCap);
  if (!sendInteger(ctx, "Iterations Limit", k, "Iterations Limit")) return false;
  // An IterLim at the cap limits nothing; under the solve strategy the major iterations are then
  // the strategy's to size, as for any caller that sets no limit.
  if (iterLim >= kIterationsCap && strategyAskedFor(ctx)) return true;
  return sendInteger(ctx, "Major Iterations Limit", k, "Major Iterations Limit");
}

// One option the user set, as a SPECS line.
bool applyUserOption(LinkContext& ctx, int number, int dataType) {
  char name[kMessageLength] = "", text[kMessageLength] = "";
  int intValue = 0;
  double realValue = 0.0;
  ctx.opt().optGetValuesNr(ctx.options, number, name, sizeof name, &intValue, &realValue, text, sizeof text);
  const std::string phrase = specsPhrase(name);
  char line[2 * kMessageLength];
  int rejected = 0;
  switch (dataType) {
    case 1: rejected = ctx.optimizer->setSpecsInteger(phrase, intValue); break;
    case 2:
      std::snprintf(line, sizeof line, "%s %g", phrase.c_str(), realValue);
      rejected = ctx.optimizer->setSpecsLine(line);
      break;
    case 3:
      std::snprintf(line, sizeof line, "%s %s", phrase.c_str(), text);
      rejected = ctx.optimizer->setSpecsLine(line);
      break;
    default: raiseLinkError(ctx, kDataError, "Unknown option type %d of option %s", dataType, name); return false;
  }
  if (rejected != 0) {
    raiseLinkError(ctx, kSolverError, "set option '%s'", name);
    return false;
  }
  if (strcasecmp(name, "superbasics_limit") == 0) ctx.userSuperbasicsLimit = true;
  if (strcasecmp(name, "hessian_option") == 0) ctx.userHessianOption = true;
  return true;
}

bool applyUserOptions(LinkContext& ctx) {
  const OptionApi& opt = ctx.opt();
  int frequency = 0;
  if (opt.optGetIntStr(ctx.options, "summary_frequency", &frequency) == 0) ctx.logSummaryFrequency = frequency;
  for (int k = 1; k <= opt.optCount(ctx.options); ++k) {
    int defined = 0, recent = 0, dataType = 0, group = 0;
    if (opt.optGetInfoNr(ctx.options, k, &defined, &recent, &dataType) != 0) continue;
    opt.optGetOptGroupNr(ctx.options, k, &group);
    if (dataType == 0 || !defined || group == 0) continue;
    if (!applyUserOption(ctx, k, dataType)) return false;
  }
  return true;
}

}  // namespace

std::string specsPhrase(const std::string& optionName) {
  std::string phrase = optionName;
  std::replace(phrase.begin(), phrase.end(), '_', ' ');
  return phrase;
}

bool readOptionDefinitions(LinkContext& ctx) {
  if (ctx.options) return true;
  if (const std::string error = bindOptionLibrary(ctx.host); !error.empty()) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "OPT", error.c_str());
    return false;
  }
  char message[kMessageLength] = "";
  if (ctx.opt().optCreate(&ctx.options, message, sizeof message) != 0 || !ctx.options) {
    raiseLinkError(ctx, kInitError, "Can't initialize %s: %s", "OPT", message);
    return false;
  }
  const std::string path = systemDirectoryFile(ctx, "optkavro.def");
  const int failed = ctx.opt().optReadDefinition(ctx.options, path.c_str());
  logOptionMessages(ctx, true);
  if (failed != 0) {
    raiseLinkError(ctx, kOptError, "Can't read '%s'", path.c_str());
    return false;
  }
  ctx.opt().optEOLOnlySet(ctx.options, 1);
  ctx.qev().qevSynchronizeOpt(ctx.env, ctx.options);
  return true;
}

void readOptionFile(LinkContext& ctx) {
  char path[kMessageLength] = "";
  if (ctx.qmo().qmoOptFile(ctx.model) == 0 || ctx.qmo().qmoNameOptFile(ctx.model, path, sizeof path) != 0 ||
      path[0] == '\0')
    return;
  const OptionApi& opt = ctx.opt();
  logLine(ctx, "%s", "");
  opt.optResetAllRecent(ctx.options);
  opt.optEchoSet(ctx.options, 1);
  opt.optReadParameterFile(ctx.options, path);
  logOptionMessages(ctx, false);
  opt.optEchoSet(ctx.options, 0);
  logLine(ctx, "%s", "");
}

bool translateOptions(LinkContext& ctx) {
  // What the user set is this option file's: an earlier set-up's file says nothing now.
  ctx.userSuperbasicsLimit = ctx.userHessianOption = false;
  return applyHostDefaults(ctx) && applyUserOptions(ctx);
}

}  // namespace kavro::link
