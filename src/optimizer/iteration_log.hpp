#pragma once
// The iteration log: one line per counted iteration on the print file and the summary file,
// each with a repeated header, offered afterwards to the caller's progress callback; and the
// statistics block at the end of a run.

#include <cstdint>
#include <string>

#include "kavro/solver.hpp"

namespace kavro {

struct Parameters;
struct ReportChannels;

// The subspace-convergence tests of the last reduced-gradient step (the log's "conv" column).
struct SubspaceConvergence {
  bool stepSmall = false;         // convX: the step moved the point by little
  bool objectiveSettled = false;  // convF: the objective changed by little
  bool gradientSmall = false;     // convG: rgNorm within tolrg
  bool gradientTiny = false;      // convStrong: rgNorm within tolrg / 10, or negligible beside piNorm
};

// The values of one iteration as the optimizer produced them.
struct IterationRecord {
  int32_t itn = 0;
  bool restricted = false;    // search restricted to the first Hessian-dimension superbasics
  bool exactHessian = false;  // the direction came from exact second derivatives
  int32_t ph = 0;
  int32_t pp = 0;  // pricing section of the last pricing
  double djOrRg = 0.0;
  int32_t entered = 0;  // 1-based variable number, 0 none
  int32_t leftSuperbasic = 0;
  int32_t leftBasis = 0;
  double step = 0.0;
  double pivot = 0.0;
  int32_t ninf = 0;
  double sinf = 0.0;
  double objective = 0.0;
  int32_t lenL = 0, lenU = 0, compressions = 0;
  int32_t nobj = 0, ncon = 0, ns = 0;
  int32_t hmod1 = 0, hmod2 = 0;
  double condH = 1.0;
  SubspaceConvergence conv;
  int32_t majorItn = 1;
  int32_t minorItn = 0;
  // A superbasic moved into R this iteration: its |rg|, the variable moved out (1-based, 0 for
  // none) and the smallest |rg| inside R before the exchange.
  double exchangeRgIn = 0.0;
  int32_t exchangeOut = 0;
  double exchangeRgMin = 0.0;
};

class IterationLog {
 public:
  IterationLog(const Parameters& params, const ReportChannels& out, const IterationCallback* callback,
               bool nonlinearConstraints);

  // Whether the columns are labelled "rg" (nonlinear objective or superbasics) or "dj".
  // rg heads the column for a nonlinear objective, and while superbasics exist.
  void setReducedGradientForm(bool rg) { rgForObjective_ = rgForm_ = rg; }
  // The next print line gets a fresh header (after a factorization at higher print levels).
  void headerDue() { headerDue_ = true; }

  // Writes the due lines and calls the callback; returns its stop flag (0, 1 or 2).
  int record(const IterationRecord& r);

 private:
  void printLine(const IterationRecord& r);
  void summaryLine(const IterationRecord& r);
  const Parameters& params_;
  const ReportChannels& out_;
  const IterationCallback* callback_;
  bool nonlinearConstraints_;
  bool rgForm_ = false;
  bool rgForObjective_ = false;
  bool summaryHeaderDue_ = false;
  bool headerDue_ = true;
  int printLines_ = 0;
  int summaryLines_ = 0;
};

// The end-of-run statistics block (print file, then summary file).
struct RunStatistics {
  std::string problemName;
  int32_t itn = 0;
  double objective = 0.0;
  int32_t ninf = 0;
  double sinf = 0.0;
  bool nonlinear = false;
  int32_t ns = 0;
  int32_t basicNonlinears = 0;
  int32_t nDegenerate = 0;
  // Problems with nonlinear functions.
  int32_t majorItn = 0;
  double linearObjective = 0.0, nonlinearObjective = 0.0, penalty = 0.0;
  int64_t objCalls[4] = {0, 0, 0, 0};  // all, mode 2, forward differences, central differences
  int64_t conCalls[4] = {0, 0, 0, 0};
  bool differencing = false;                      // "Derivative level" below 3
  int64_t hessianProducts = 0, cgIterations = 0;  // exact second derivatives, when used
  Certificate certificate;                        // of the returned point (not printed when not evaluated)
};
void printRunStatistics(const RunStatistics& s, const ReportChannels& out);

}  // namespace kavro
