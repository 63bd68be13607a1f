#include "driver/strategy/strategy_repeats.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "specs/specs.hpp"

namespace kavro {

namespace {

struct TableEntry {
  double penalty;
  bool slackBasis;
};
constexpr TableEntry kTable[] = {{10.0, false}, {100.0, false}, {1.0, true}, {10.0, true}};

// The values completion gives an unset Penalty parameter and Crash option.
constexpr double kDefaultPenalty = 1.0;
constexpr int32_t kDefaultCrash = 3;
constexpr int32_t kSlackBasis = 0;

}  // namespace

namespace {

std::string penaltyLine(double penalty) {
  char line[64];
  std::snprintf(line, sizeof line, "Penalty parameter %g", penalty);
  return line;
}

constexpr const char* kSlackBasisLine = "Crash option 0";

}  // namespace

std::string Repeat::describe() const {
  std::string text = penalty >= 0.0 ? penaltyLine(penalty) : "";
  if (slackBasis) text += text.empty() ? kSlackBasisLine : std::string(" and ") + kSlackBasisLine;
  return text;
}

void Repeat::apply(Parameters& p, const ReportChannels& out) const {
  int errors = 0;
  if (penalty >= 0.0) setSpecsLine(p, penaltyLine(penalty), out, errors);
  if (slackBasis) setSpecsLine(p, kSlackBasisLine, out, errors);
}

RepeatPlan::RepeatPlan(const Parameters& callerSet) {
  const bool callerPenalty = callerSet.penaltyParameter != kUndefinedReal;
  const bool callerCrash = callerSet.crashOption != kUndefinedInt;
  // The settings each run has, as (penalty, crash option); the first run's come first.
  std::vector<std::pair<double, int32_t>> runs{{callerPenalty ? callerSet.penaltyParameter : kDefaultPenalty,
                                                callerCrash ? callerSet.crashOption : kDefaultCrash}};
  for (const TableEntry& t : kTable) {
    Repeat r;
    r.penalty = callerPenalty ? -1.0 : t.penalty;
    r.slackBasis = t.slackBasis && !callerCrash;
    const std::pair<double, int32_t> settings{r.penalty >= 0.0 ? r.penalty : runs.front().first,
                                              r.slackBasis ? kSlackBasis : runs.front().second};
    if (std::find(runs.begin(), runs.end(), settings) != runs.end()) continue;
    runs.push_back(settings);
    repeats_.push_back(r);
  }
}

bool worthRepeating(const SolveResult& r) {
  switch (r.exitCode) {
    case kOptimal:
      // An "optimal" exit whose point fails its certificate is no solution either.
      return r.certificate.evaluated && !r.certificate.passed;
    case kInfeasible:
    case kUnbounded:
    case kTooManyIterations:
    case kObjectiveUnchanged:
    case kSuperbasicsLimit:
    case kFunctionError:
    case kCannotImprove:
    case kNumericalError:
    case kNoSuperbasicToReplace:
    case kFactorizationTwice:
    case kNearOptimal:
    case kSingularBasis: return true;
    default: return false;
  }
}

}  // namespace kavro
