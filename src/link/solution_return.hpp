#pragma once
// The outcome of a solve as the host sees it: the exit message, the model and solve status,
// the level, marginal, basis status and condition flag of every row and column, and the
// statistics (head and tail: iterations, time, objective, evaluation errors and the certificate
// of the returned point in fields 7 to 11).

#include <cstdint>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "link/link_context.hpp"
#include "link/model_transfer.hpp"

namespace kavro::link {

struct ExitFacts {
  ExitCode exitCode = kOptimal;
  double objValue = 0.0;
  int64_t minWorkWords = 0;
  int32_t domainErrorLimit = 0;
  int32_t evaluationErrors = 0;
  int32_t modelType = 1;
  bool nonlinear = false;      // nonlinear entries in rows or objective
  bool nonlinearRows = false;  // nonlinear entries in rows (qmoNLNZ > 0)
};

struct ExitReport {
  std::vector<std::string> lines;
  int32_t modelStatus = -1;  // -1: the status set before stays
  int32_t solveStatus = 0;
  bool writeRecords = false;
};

// The exit table: message lines, statuses and whether the solution is returned.
ExitReport exitReport(const ExitFacts& facts);

// Host basis status of a variable from its report state (ReportState) and returned marginal.
int32_t hostBasisStatus(int32_t reportState, double marginal, bool maximize);
// Host condition flag from the classification flag (ReportFlag): 2 infeasible, 1 non-optimal
// when the run did not end optimal, else 0.
int32_t hostCondition(int32_t flag, ExitCode exitCode);

// Reports the outcome of the solve to the host (raises an error if a record is refused).
void returnSolution(LinkContext& ctx, const TransferredModel& model, const SolveResult& result);

}  // namespace kavro::link
