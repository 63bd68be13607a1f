#pragma once
// The object the host holds between the entry points, the error record and the log helpers.
//
// Errors. Every failure of the library goes through raiseLinkError: the model's statuses are
// set at once from the error class, and the message waits in the error record until the entry
// point returns (finishEntry), which prints it and returns 1. A second error raised in the same
// call prints the pending one first.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "link/host_api.hpp"
#include "link/print_file.hpp"

struct kavLinkContext;

namespace kavro::link {

enum ErrorClass : int32_t {
  kErrorNone = 0,
  kError = 1,
  kInitError = 2,
  kQmoError = 5,
  kCapabilityError = 6,
  kQdxError = 7,
  kDictionaryError = 8,
  kOptError = 9,
  kSolverError = 10,
  kDataError = 11,
  kMemoryError = 12,
  kBchError = 13,
  kIoError = 14,
};

struct ErrorClassInfo {
  int32_t code;
  const char* text;
  int32_t modelStatus;
  int32_t solveStatus;
};
// nullptr for a code outside the table.
const ErrorClassInfo* errorClassInfo(int32_t code);

inline constexpr size_t kMessageLength = 256;

struct ErrorRecord {
  qmoHandle_t model = nullptr;
  qevHandle_t env = nullptr;
  int32_t code = kErrorNone;
  std::string message;
};

inline constexpr int kPrintUnit = 14;

}  // namespace kavro::link

// The library's context. Declared outside the namespace so that the C handle type of
// kavro_link.h names it.
struct kavLinkContext {
  kavro::link::ErrorRecord error;
  kavro::link::HostBinding host;
  qmoHandle_t model = nullptr;
  qevHandle_t env = nullptr;
  optHandle_t options = nullptr;

  int64_t workWords = 0;
  bool automaticWorkSpace = true;  // "WorkSpace" was not set: the solver sizes and grows its storage
  int32_t majorLines = 0, minorLines = 0;
  int32_t logSummaryFrequency = 100;
  int32_t domainErrorLimit = 0;
  bool userSuperbasicsLimit = false;  // the option file set "superbasics_limit"
  bool userHessianOption = false;     // the option file set "hessian_option"
  bool setUpDone = false;             // the last kavReadyAPI succeeded

  bool hasObjective = false;
  int32_t objRow = -1;
  std::vector<int32_t> jacobianStart;
  int32_t evaluationErrors = 0;

  // The optimizer, made anew by each initialisation, and its print unit: 14, or 0 when the
  // print file could not be opened.
  std::unique_ptr<kavro::Optimizer> optimizer;
  int printUnit = 0;
  kavro::link::PrintFile printFile;  // outlives the optimizers that write to it

  kavLinkContext() = default;
  ~kavLinkContext();
  kavLinkContext(const kavLinkContext&) = delete;
  kavLinkContext& operator=(const kavLinkContext&) = delete;

  const kavro::link::ModelApi& qmo() const { return host.qmo; }
  const kavro::link::EnvironmentApi& qev() const { return host.qev; }
  const kavro::link::OptionApi& opt() const { return host.opt; }
};

namespace kavro::link {

using LinkContext = kavLinkContext;

void raiseLinkError(LinkContext& ctx, int32_t code, const char* format, ...) __attribute__((format(printf, 3, 4)));
void printLinkError(const LinkContext& ctx, int32_t code, const std::string& message);
// End of an entry point: prints a pending error and clears it. Returns 1 when there was one.
int finishEntry(LinkContext& ctx);
bool errorPending(const LinkContext& ctx);

// Log helpers: a plain line (at most 255 characters) to the host's log and status file, and a
// warning "*** WARNING: ..." as a status-file message. Without an environment, standard error.
void logLine(const LinkContext& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logWarning(const LinkContext& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The context made current by kavCreate (kavFree clears it).
LinkContext* currentContext();
void setCurrentContext(LinkContext* ctx);

}  // namespace kavro::link
