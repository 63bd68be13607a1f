// The major log and the diagnostics of each major iteration: the changes the subproblem
// proposed, and, as the digits of "Print level" (JFLXB) ask, the point, the constraint values,
// the multiplier estimates and the Jacobian, all in the optimizer's units.

#include <cstdio>

#include "nonlinear/major_iterations.hpp"

namespace kavro {

namespace {

// "Print level" JFLXB: any positive level the changes of each major iteration; digit 10 (X) the
// Jacobian variables and the largest changes, 100 (L) the multiplier estimates, 1000 (F) the
// constraint functions, 10000 (J) the Jacobian.
bool printDigitSet(int32_t printLevel, int32_t digit) { return printLevel / digit % 10 > 0; }

// Numbered values, five to a line.
void printNumbered(const ReportChannels& out, const char* title, int32_t n, const double* v) {
  out.print("%s", "");
  out.print(" %s", title);
  char line[160];
  int used = 0;
  for (int32_t k = 0; k < n; ++k) {
    used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), "%7d %13.5e", k + 1, v[k]);
    if ((k + 1) % 5 == 0 || k + 1 == n) {
      out.print("%s", line);
      used = 0;
    }
  }
}

}  // namespace

// Other lines between two log lines (the minor iterations' log with its own heading, factorization
// reports) push the heading out of sight; one or two messages do not.
namespace {
constexpr long kLinesHidingTheHeading = 4;
}  // namespace

void MajorIterations::markDiagnosticsStart() {
  if (out_.hasPrint()) printMark_.beforeDiagnostics = out_.units->linesWritten(out_.printUnit);
  if (out_.hasSummary()) summaryMark_.beforeDiagnostics = out_.units->linesWritten(out_.summaryUnit);
}

bool MajorIterations::headingOutOfSight(const LogMark& mark) const {
  return mark.afterLogLine >= 0 && mark.beforeDiagnostics - mark.afterLogLine >= kLinesHidingTheHeading;
}

void MajorIterations::printChanges(const MajorChanges& c) const {
  if (!out_.hasPrint() || params_.printLevel <= 0) return;
  out_.print(" Change in Jacobn vars  = %12.4e     Change in multipliers  = %12.4e", c.normalizedDx,
             c.normalizedDLambda);
  if (!printDigitSet(params_.printLevel, 10)) return;
  out_.print(" Maximum change in Jacobian vars = %12.4e", c.dx);
  out_.print(" Maximum change in multipliers   = %12.4e", c.dLambda);
}

void MajorIterations::printPointAndEstimates(const MajorView& view) const {
  const int32_t level = params_.printLevel;
  if (!out_.hasPrint() || level < 10) return;
  const double* x = view.x->data();
  if (printDigitSet(level, 10000)) printPointAndJacobian(x);
  if (printDigitSet(level, 1000)) printNumbered(out_, "Constraint functions", C_, F_.data());
  if (printDigitSet(level, 100)) printNumbered(out_, "Multiplier estimates", C_, lambda_.data());
  if (printDigitSet(level, 10)) printNumbered(out_, "Jacobian variables", nJ_, x);
}

// Each Jacobian variable with its value, then its elements as (row, value) pairs.
void MajorIterations::printPointAndJacobian(const double* x) const {
  out_.print("%s", "");
  out_.print("%s", " x  and  Jacobian");
  char line[160];
  for (int32_t j = 0; j < nJ_; ++j) {
    out_.print(" %7d %13.5e", j + 1, x[j]);
    int used = 0;
    const int32_t first = jac_.colStart[j], last = jac_.colStart[j + 1];
    for (int32_t e = first; e < last; ++e) {
      used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), "%15d %13.5e", jac_.row[e] + 1,
                            J_[e]);
      if ((e - first + 1) % 4 == 0 || e + 1 == last) {
        out_.print("%s", line);
        used = 0;
      }
    }
  }
}

// ---------------------------------------------------------------- the major log

void MajorIterations::printLogLine(int32_t k, const SubproblemSummary& s, const MajorView& view) {
  const char flag = s.status == kSubproblemInfeasible  ? 'I'
                    : s.status == kSubproblemUnbounded ? 'U'
                    : s.status == kSubproblemLimit     ? 'T'
                                                       : ' ';
  double objective = objective_ + view.objConstant;
  if (view.objSlack >= 0) objective -= (*view.x)[view.objSlack] * view.objScale;
  const double rho = params_.currentPenalty;
  if (out_.hasPrint()) {
    if (printLines_ % 20 == 0 || headingOutOfSight(printMark_)) {
      out_.print("%s", "");
      out_.print(
          "%s",
          " Major minor   total ninf   step      objective   Feasible  Optimal  nsb   ncon      LU penalty BSwap");
    }
    out_.print("%6d%6d%8d%5d %7.1e %14.7e %8.1e %8.1e %4d %6lld %7d %7.1e %5d %c", k - 1, s.minorItn, s.totalItn,
               s.ninf, step_, objective, feasible_, optimal_, s.ns,
               static_cast<long long>(fe_.constraintCounts().calls), s.luNonzeros, rho, s.basisSwaps, flag);
    ++printLines_;
    printMark_.afterLogLine = out_.units->linesWritten(out_.printUnit);
  }
  if (out_.hasSummary()) {
    if (summaryLines_ % 10 == 0 || headingOutOfSight(summaryMark_)) {
      out_.summary("%s", "");
      out_.summary("%s", " Major minor   step      objective   Feasible  Optimal  nsb   ncon penalty BSwap");
    }
    out_.summary("%6d%6d %7.1e %14.7e %8.1e %8.1e %4d %6lld %7.1e %5d %c", k - 1, s.minorItn, step_, objective,
                 feasible_, optimal_, s.ns, static_cast<long long>(fe_.constraintCounts().calls), rho, s.basisSwaps,
                 flag);
    ++summaryLines_;
    summaryMark_.afterLogLine = out_.units->linesWritten(out_.summaryUnit);
  }
  if (callback_ && *callback_) {
    IterationLogEntry e;
    e.kind = 2;
    e.majorItn = k - 1;
    e.minorItn = s.minorItn;
    e.ninf = s.ninf;
    e.sinf = s.sinf;
    e.flag = flag;
    e.step = step_;
    e.objective = objective;
    e.feasibility = feasible_;
    e.optimality = optimal_;
    e.nSuperbasics = s.ns;
    e.nNonlinCons = C_;
    e.penalty = rho;
    e.basisSwaps = s.basisSwaps;
    const int stop = (*callback_)(e);
    if (stop == kStopForLimit || stop == kStopForInterrupt) {
      stopFlag_ = true;
      stopCode_ = stop == kStopForLimit ? kTimeLimit : kInterrupted;
    }
  }
}

}  // namespace kavro
