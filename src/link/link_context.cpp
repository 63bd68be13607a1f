#include "link/link_context.hpp"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace kavro::link {

namespace {

constexpr ErrorClassInfo kErrorClasses[] = {
    {kError, "ERROR", 13, 13},          {kInitError, "INIT ERROR", 13, 9},
    {kQmoError, "QMO ERROR", 13, 9},    {kCapabilityError, "CAPABILITY ERROR", 14, 6},
    {kQdxError, "QDX ERROR", 13, 9},    {kDictionaryError, "DICTIONARY ERROR", 13, 9},
    {kOptError, "OPT ERROR", 13, 9},    {kSolverError, "SOLVER ERROR", 13, 10},
    {kDataError, "DATA ERROR", 13, 13}, {kMemoryError, "MEMORY ERROR", 13, 9},
    {kBchError, "BCH ERROR", 13, 13},   {kIoError, "IO ERROR", 13, 13},
};

constexpr const char* kSupportLine = "*** Contact support@kavro-solver.org for help.";

std::string formatted(const char* format, va_list args) {
  char buffer[kMessageLength];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return buffer;
}

// The host contract keeps the current context in one process-wide variable. Atomic, so that
// hosts that create contexts on several threads do not race on it.
std::atomic<LinkContext*> gCurrentContext{nullptr};

}  // namespace

const ErrorClassInfo* errorClassInfo(int32_t code) {
  for (const ErrorClassInfo& info : kErrorClasses)
    if (info.code == code) return &info;
  return nullptr;
}

void printLinkError(const LinkContext& ctx, int32_t code, const std::string& message) {
  const ErrorClassInfo* info = errorClassInfo(code);
  const std::string line = std::string("*** ") + (info ? info->text : "ERROR") + ": " + message;
  const bool support = code != kCapabilityError;
  if (ctx.error.env && ctx.qev().qevLogStat) {
    ctx.qev().qevStatCon(ctx.error.env);
    ctx.qev().qevLogStatNoC(ctx.error.env, line.c_str());
    ctx.qev().qevStatCoff(ctx.error.env);
    if (support) ctx.qev().qevLogStat(ctx.error.env, kSupportLine);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
    if (support) std::fprintf(stderr, "%s\n", kSupportLine);
  }
}

void raiseLinkError(LinkContext& ctx, int32_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = formatted(format, args);
  va_end(args);
  const ErrorClassInfo* info = errorClassInfo(code);
  if (code != kErrorNone && !info) {
    std::fprintf(stderr, "### UNKNOWN ERROR CODE: %d\n", code);
    return;
  }
  if (info && ctx.error.model && ctx.qmo().qmoModelStatSet) {
    ctx.qmo().qmoModelStatSet(ctx.error.model, info->modelStatus);
    ctx.qmo().qmoSolveStatSet(ctx.error.model, info->solveStatus);
  }
  if (code == kErrorNone) return;
  if (ctx.error.code != kErrorNone && !ctx.error.message.empty())
    printLinkError(ctx, ctx.error.code, ctx.error.message);
  ctx.error.code = code;
  ctx.error.message = std::move(message);
}

bool errorPending(const LinkContext& ctx) { return ctx.error.code != kErrorNone; }

int finishEntry(LinkContext& ctx) {
  if (ctx.error.code == kErrorNone) return 0;
  if (!ctx.error.message.empty()) printLinkError(ctx, ctx.error.code, ctx.error.message);
  ctx.error.code = kErrorNone;
  ctx.error.message.clear();
  return 1;
}

void logLine(const LinkContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string line = formatted(format, args);
  va_end(args);
  if (ctx.env && ctx.qev().qevLogStat) ctx.qev().qevLogStat(ctx.env, line.c_str());
  else std::fprintf(stderr, "%s\n", line.c_str());
}

void logWarning(const LinkContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string line = "*** WARNING: " + formatted(format, args);
  va_end(args);
  if (ctx.env && ctx.qev().qevLogStat) {
    ctx.qev().qevStatCon(ctx.env);
    ctx.qev().qevLogStatNoC(ctx.env, line.c_str());
    ctx.qev().qevStatCoff(ctx.env);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

LinkContext* currentContext() { return gCurrentContext.load(); }
void setCurrentContext(LinkContext* ctx) { gCurrentContext.store(ctx); }

}  // namespace kavro::link

kavLinkContext::~kavLinkContext() {
  optimizer.reset();
  if (options && host.opt.optFree) host.opt.optFree(&options);
}
