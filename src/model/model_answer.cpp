#include "model/model_answer.hpp"

namespace kavro::model {

namespace {

// The solver's multipliers belong to the problem it minimizes (the objective negated for
// maximization). A slack's reduced cost is then the row's multiplier in the model's convention
// and minus a column's reduced cost is its bound's; maximizing turns both.
double senseSign(const ModelData& d) { return d.sense == Sense::kMaximize ? -1.0 : 1.0; }

}  // namespace

ModelStatus statusOf(int32_t exitCode, bool callbackFailed) {
  if (callbackFailed) return ModelStatus::kCallbackError;
  switch (exitCode) {
    case kOptimal: return ModelStatus::kOptimal;
    case kInfeasible: return ModelStatus::kInfeasible;
    case kUnbounded: return ModelStatus::kUnbounded;
    case kTooManyIterations: return ModelStatus::kIterationLimit;
    case kTimeLimit: return ModelStatus::kTimeLimit;
    case kInterrupted: return ModelStatus::kInterrupted;
    case kFunctionError: return ModelStatus::kUndefinedFunctions;
    case kNumericalError:
    case kNoSuperbasicToReplace:
    case kFactorizationTwice:
    case kBasisPackageError:
    case kSingularBasis:
    case kTooManyBasics: return ModelStatus::kNumericalTrouble;
    case kNoStorageForFactors:
    case kNoStorageForMps:
    case kWorkspaceTooSmall: return ModelStatus::kStorageLimit;
    case kInvalidProblemData:
    case kMpsFatalErrors: return ModelStatus::kInvalidModel;
    default: return ModelStatus::kNotOptimal;
  }
}

void mapAnswer(const ModelData& d, const Layout& layout, const ProblemState& s, const std::vector<double>& rowValues,
               ModelResult& r) {
  const Problem& p = layout.problem;
  const double sign = senseSign(d);
  const int32_t n = d.variables();
  r.x.assign(static_cast<size_t>(n), 0.0);
  r.boundMultipliers.assign(static_cast<size_t>(n), 0.0);
  r.variableStates.assign(static_cast<size_t>(n), 0);
  for (int32_t v = 0; v < n; ++v) {
    const size_t c = static_cast<size_t>(layout.columnOf[v]);
    r.x[v] = s.x[c];
    r.boundMultipliers[v] = -sign * s.reducedCost[c] + 0.0;
    r.variableStates[v] = s.hs[c];
  }
  const int32_t m = d.constraints();
  r.constraintValues.assign(static_cast<size_t>(m), 0.0);
  r.constraintMultipliers.assign(static_cast<size_t>(m), 0.0);
  r.constraintStates.assign(static_cast<size_t>(m), 0);
  for (int32_t i = 0; i < m; ++i) {
    const int32_t row = layout.rowOf[i];
    const size_t k = static_cast<size_t>(p.n + row);
    const bool evaluated = row < p.nNonlinCons && !rowValues.empty();
    r.constraintValues[i] = evaluated ? rowValues[static_cast<size_t>(row)] : -s.x[k] + 0.0;
    r.constraintMultipliers[i] = sign * s.reducedCost[k] + 0.0;
    r.constraintStates[i] = s.hs[k];
  }
}

void warmState(const ModelData& d, const Layout& layout, const ModelResult& previous, ProblemState& s) {
  const Problem& p = layout.problem;
  const double sign = senseSign(d);
  for (int32_t v = 0; v < d.variables() && v < static_cast<int32_t>(previous.x.size()); ++v) {
    const size_t c = static_cast<size_t>(layout.columnOf[v]);
    s.x[c] = previous.x[v];
    if (static_cast<size_t>(v) < previous.variableStates.size()) s.hs[c] = previous.variableStates[v];
  }
  for (int32_t i = 0; i < d.constraints() && i < static_cast<int32_t>(previous.constraintValues.size()); ++i) {
    const int32_t row = layout.rowOf[i];
    const size_t k = static_cast<size_t>(p.n + row);
    s.x[k] = -previous.constraintValues[i];
    if (static_cast<size_t>(i) < previous.constraintStates.size()) s.hs[k] = previous.constraintStates[i];
    // pi is minus the slack's reduced cost (its column is the unit vector of its row).
    if (static_cast<size_t>(i) < previous.constraintMultipliers.size())
      s.pi[static_cast<size_t>(row)] = -sign * previous.constraintMultipliers[i];
  }
  s.hs[static_cast<size_t>(p.n + p.objRow)] = kBasic;
  s.ns = 0;
  for (int32_t h : s.hs) s.ns += h == kSuperbasic ? 1 : 0;
}

}  // namespace kavro::model
