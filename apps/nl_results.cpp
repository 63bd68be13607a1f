#include "nl_results.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "files/variable_class.hpp"
#include "link/solution_return.hpp"

namespace kavro::app {

// The optimizer returns the multipliers of the problem it minimizes (the objective negated for
// maximization): minus the slack's reduced cost is the change of that objective per unit
// increase of the row's limit, so for maximization (the sense the run used, which an option may
// have given) the sign turns.
std::vector<double> amplDuals(const NlSolve& s) {
  const int32_t n = s.built->problem.n;
  const double sign = s.params->objectiveSense < 0 ? 1.0 : -1.0;
  std::vector<double> y(static_cast<size_t>(s.model->nCons()));
  for (size_t i = 0; i < y.size(); ++i) y[i] = sign * s.state->reducedCost[static_cast<size_t>(n) + i] + 0.0;
  return y;
}

bool pointReturned(int32_t exitCode) { return exitCode < 10 || exitCode == kTimeLimit || exitCode == kInterrupted; }

nl::SolFile solFile(const NlSolve& s, const std::string& message) {
  nl::SolFile sol = nl::solFileFor(*s.model, message, nl::solveResultCode(s.result.exitCode).code);
  sol.objno = s.built->objective;
  if (pointReturned(s.result.exitCode)) {
    sol.primals.assign(s.state->x.begin(), s.state->x.begin() + s.built->problem.n);
    sol.duals = amplDuals(s);
  }
  return sol;
}

namespace {

ClassificationContext classification(const NlSolve& s) {
  ClassificationContext c;
  c.n = s.built->problem.n;
  c.primalTol = s.params->feasibilityTolerance;
  c.dualTol = s.params->optimalityTolerance * s.result.piNorm;
  c.objectiveSense = s.params->objectiveSense;
  c.ninf = s.result.ninf;
  c.exitCode = s.result.exitCode;
  c.maxPrimalInfeasVar = s.result.maxPrimalInfeasVar;
  c.maxDualInfeasVar = s.result.maxDualInfeasVar;
  return c;
}

// Rows (without the objective row) and columns as the host link returns them.
void records(const NlSolve& s, SolutionReport& r) {
  const Problem& p = s.built->problem;
  const ProblemState& st = *s.state;
  const ClassificationContext c = classification(s);
  auto record = [&](int32_t j, double level, double marginal, SolutionRecord& out) {
    const size_t k = static_cast<size_t>(j);
    const VariableClass vc = classifyVariable(j, st.hs[k], st.x[k], p.lower[k], p.upper[k], st.reducedCost[k], c);
    out.basisStatus = link::hostBasisStatus(vc.state, marginal, c.objectiveSense < 0);
    if (out.basisStatus == 2) marginal = 0.0;
    out.condition = link::hostCondition(vc.flag, s.result.exitCode);
    out.level = level + 0.0;  // no negative zeros
    out.marginal = marginal + 0.0;
    out.returned = true;
  };
  for (size_t i = 0; i < r.rows.size(); ++i) {
    const size_t k = static_cast<size_t>(p.n) + i;
    record(static_cast<int32_t>(k), -st.x[k], -st.reducedCost[k], r.rows[i]);
  }
  for (size_t j = 0; j < r.columns.size(); ++j)
    record(static_cast<int32_t>(j), st.x[j], st.reducedCost[j], r.columns[j]);
}

std::vector<SolutionRecord> named(const std::vector<std::string>& names, int count, const char* prefix) {
  std::vector<SolutionRecord> list(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k)
    list[static_cast<size_t>(k)].name = static_cast<size_t>(k) < names.size() ? names[static_cast<size_t>(k)]
                                                                              : prefix + std::to_string(k + 1);
  return list;
}

}  // namespace

SolutionReport solutionReport(const NlSolve& s, const std::string& modelPath, const std::vector<std::string>& rowNames,
                              const std::vector<std::string>& columnNames) {
  SolutionReport r;
  r.model = modelPath;
  r.rows = named(rowNames, s.model->nCons(), "r");
  r.columns = named(columnNames, s.model->nVars(), "x");
  link::ExitFacts facts;
  facts.exitCode = s.result.exitCode;
  facts.objValue = s.result.objValue;
  facts.minWorkWords = s.result.minWorkWords;
  facts.domainErrorLimit = INT32_MAX;  // the command sets no limit on evaluation errors
  facts.evaluationErrors = static_cast<int32_t>(std::min<long long>(s.evaluationErrors, INT32_MAX));
  facts.nonlinear = s.built->nonlinear();
  facts.modelType = s.built->objective < 0 ? 8 : (facts.nonlinear ? 2 : 1);
  facts.nonlinearRows = s.built->problem.nNonlinCons > 0;
  const link::ExitReport exit = link::exitReport(facts);
  r.modelStatus = s.result.ninf == 0 && s.result.nonlinearStatus < 2 ? 7 : 6;
  if (exit.modelStatus >= 0) r.modelStatus = exit.modelStatus;
  r.solveStatus = exit.solveStatus;
  if (exit.writeRecords) records(s, r);
  r.complete = true;
  r.iterations = s.result.minorIterations;
  r.majorIterations = s.result.majorIterations;
  r.exitCode = s.result.exitCode;
  r.time = s.seconds;
  r.objective = s.built->objective >= 0 ? s.result.objValue : 0.0;
  r.evaluationErrors = s.evaluationErrors;
  const Certificate& c = s.result.certificate;
  r.certificate = {true,
                   c.evaluated,
                   c.passed,
                   c.maxPrimalInfeas,
                   c.maxPrimalInfeasRelative,
                   c.maxDualInfeas,
                   c.maxDualInfeasRelative};
  return r;
}

}  // namespace kavro::app
