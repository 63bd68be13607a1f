#include "link/solution_return.hpp"

#include "driver/optimizer_impl.hpp"
#include "files/variable_class.hpp"

namespace kavro::link {

namespace {

ClassificationContext classification(const LinkContext& ctx, const Problem& p, const SolveResult& r) {
  const Parameters& params = internalsOf(*ctx.optimizer).params;
  ClassificationContext c;
  c.n = p.n;
  c.primalTol = params.feasibilityTolerance;
  c.dualTol = params.optimalityTolerance * r.piNorm;
  c.objectiveSense = params.objectiveSense;
  c.ninf = r.ninf;
  c.exitCode = r.exitCode;
  c.maxPrimalInfeasVar = r.maxPrimalInfeasVar;
  c.maxDualInfeasVar = r.maxDualInfeasVar;
  return c;
}

// Rows (without the added objective row) and then columns. False when the host refused one.
bool writeRecords(LinkContext& ctx, const TransferredModel& model, const SolveResult& r, bool& anyInfeasible) {
  const Problem& p = model.problem;
  const ProblemState& s = model.state;
  const ClassificationContext c = classification(ctx, p, r);
  const bool maximize = c.objectiveSense < 0;
  auto record = [&](int32_t j, double level, double marginal, bool row) {
    const size_t k = static_cast<size_t>(j);
    const VariableClass vc = classifyVariable(j, s.hs[k], s.x[k], p.lower[k], p.upper[k], s.reducedCost[k], c);
    const int32_t basis = hostBasisStatus(vc.state, marginal, maximize);
    if (basis == 2) marginal = 0.0;
    anyInfeasible = anyInfeasible || vc.flag == kFlagInfeasible;
    const int32_t condition = hostCondition(vc.flag, r.exitCode);
    level += 0.0;  // no negative zeros for the host
    marginal += 0.0;
    return row ? ctx.qmo().qmoSetSolutionEquRec(ctx.model, j - p.n, level, marginal, basis, condition)
               : ctx.qmo().qmoSetSolutionVarRec(ctx.model, j, level, marginal, basis, condition);
  };
  for (int32_t i = 0; i < model.hostRows; ++i) {
    const size_t k = static_cast<size_t>(p.n + i);
    if (record(p.n + i, -s.x[k], -s.reducedCost[k], true) != 0) {
      raiseLinkError(ctx, kQmoError, "Failed calling QMO: %s", "set solution equation record");
      return false;
    }
  }
  for (int32_t j = 0; j < p.n; ++j) {
    const size_t k = static_cast<size_t>(j);
    if (record(j, s.x[k], s.reducedCost[k], false) != 0) {
      raiseLinkError(ctx, kQmoError, "Failed calling QMO: %s", "set solution variable record");
      return false;
    }
  }
  return true;
}

// The host's head-and-tail fields: the statistics, then the certificate of the returned point.
enum HeadField : int {
  kIterationsUsed = 3,
  kTimeUsed = 4,
  kObjectiveValue = 5,
  kEvaluationErrors = 6,
  kPrimalInfeasibility = 7,
  kPrimalInfeasibilityRelative = 8,
  kDualInfeasibility = 9,
  kDualInfeasibilityRelative = 10,
  kCertified = 11,  // 1 passed, 0 failed, -1 not made (no point, or the functions failed there)
};

void returnCertificate(const LinkContext& ctx, const Certificate& c) {
  const ModelApi& qmo = ctx.qmo();
  qmo.qmoSetHeadnTail(ctx.model, kPrimalInfeasibility, c.maxPrimalInfeas);
  qmo.qmoSetHeadnTail(ctx.model, kPrimalInfeasibilityRelative, c.maxPrimalInfeasRelative);
  qmo.qmoSetHeadnTail(ctx.model, kDualInfeasibility, c.maxDualInfeas);
  qmo.qmoSetHeadnTail(ctx.model, kDualInfeasibilityRelative, c.maxDualInfeasRelative);
  qmo.qmoSetHeadnTail(ctx.model, kCertified, !c.evaluated ? -1.0 : c.passed ? 1.0 : 0.0);
}

bool feasibleStatus(int status) {
  return status == 1 || status == 2 || status == 7 || status == 15 || status == 16 || status == 17;
}

}  // namespace

void returnSolution(LinkContext& ctx, const TransferredModel& model, const SolveResult& r) {
  const ModelApi& qmo = ctx.qmo();
  qmo.qmoModelStatSet(ctx.model, r.ninf == 0 && r.nonlinearStatus < 2 ? 7 : 6);
  logLine(ctx, "%s", "");

  ExitFacts facts;
  facts.exitCode = r.exitCode;
  facts.objValue = r.objValue;
  facts.minWorkWords = r.minWorkWords;
  facts.domainErrorLimit = ctx.domainErrorLimit;
  facts.evaluationErrors = ctx.evaluationErrors;
  facts.modelType = model.modelType;
  facts.nonlinear = model.nonlinear;
  facts.nonlinearRows = qmo.qmoNLNZ(ctx.model) > 0;
  const ExitReport report = exitReport(facts);
  for (const std::string& line : report.lines) logLine(ctx, "%s", line.c_str());
  if (report.modelStatus >= 0) qmo.qmoModelStatSet(ctx.model, report.modelStatus);
  qmo.qmoSolveStatSet(ctx.model, report.solveStatus);

  if (report.writeRecords) {
    bool anyInfeasible = false;
    if (!writeRecords(ctx, model, r, anyInfeasible)) return;
    if (anyInfeasible && feasibleStatus(qmo.qmoModelStat(ctx.model)))
      logWarning(ctx, "Feasible w.r.t. scaled model. Unscaled model has infeasibilities.");
  }
  qmo.qmoSetHeadnTail(ctx.model, kIterationsUsed, static_cast<double>(r.minorIterations));
  qmo.qmoSetHeadnTail(ctx.model, kTimeUsed, ctx.qev().qevTimeDiffStart(ctx.env));
  qmo.qmoSetHeadnTail(ctx.model, kEvaluationErrors, ctx.evaluationErrors);
  if (ctx.hasObjective) qmo.qmoSetHeadnTail(ctx.model, kObjectiveValue, r.objValue);
  returnCertificate(ctx, r.certificate);
  qmo.qmoCompleteSolution(ctx.model);
}

}  // namespace kavro::link
