#include "optimizer/iteration_log.hpp"

#include <algorithm>

#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

constexpr int32_t kNever = 99999999;

int32_t frequency(int32_t f) { return f < 1 ? kNever : f; }

}  // namespace

IterationLog::IterationLog(const Parameters& params, const ReportChannels& out, const IterationCallback* callback,
                           bool nonlinearConstraints)
    : params_(params), out_(out), callback_(callback), nonlinearConstraints_(nonlinearConstraints) {}

int IterationLog::record(const IterationRecord& r) {
  const bool rgForm = rgForObjective_ || r.ns > 0;
  if (rgForm != rgForm_) {
    rgForm_ = rgForm;
    headerDue_ = summaryHeaderDue_ = true;
  }
  const bool printDue = r.itn % frequency(params_.logFrequency) == 0 || r.minorItn <= 1;
  const bool summaryDue = r.itn % frequency(params_.summaryFrequency) == 0 || r.minorItn <= 1;
  if (printDue && params_.printLevel >= 0 && out_.hasPrint() && (params_.printLevel > 0 || !nonlinearConstraints_))
    printLine(r);
  if (summaryDue && out_.hasSummary() && (params_.summaryDetailed || !nonlinearConstraints_)) summaryLine(r);
  if (!callback_ || !*callback_) return 0;
  IterationLogEntry e;
  e.kind = 1;
  e.majorItn = r.majorItn - 1;
  e.minorItn = r.minorItn;
  e.ninf = r.ninf;
  e.sinf = r.sinf;
  e.objective = r.objective;
  e.phase = r.ph;
  return (*callback_)(e);
}

void IterationLog::printLine(const IterationRecord& r) {
  const bool full = params_.printLevel > 0;
  const char* dj = rgForm_ ? "rg" : "dj";
  if (printLines_ >= 40 || headerDue_) {
    out_.print("%s", "");
    if (full && rgForm_)
      out_.print(
          "    Itn ph pp     rg     +sbs   -sbs    -bs    step    pivot     ninf  sinf,objective"
          "       L        U ncp   nobj   ncon    nsb Hmod cond(H) conv");
    else if (full)
      out_.print(
          "    Itn ph pp     dj     +sbs   -sbs    -bs    step    pivot     ninf  sinf,objective"
          "       L        U ncp");
    else if (rgForm_) out_.print("    Itn     rg     ninf   sinf       objective        LU   nobj    nsb  cond(H)");
    else out_.print("    Itn     %s     ninf   sinf       objective        LU", dj);
    printLines_ = 0;
    headerDue_ = false;
  }
  const int32_t itn = r.itn % 100000000;
  const char* flag = r.restricted ? "r" : r.exactHessian ? "h" : " ";
  const double sinfOrObj = r.ninf > 0 ? r.sinf : r.objective;
  if (full) {
    if (rgForm_)
      out_.print("%7d%s%2d%3d %9.1e%7d%7d%7d %8.1e %8.1e %5d %16.8e %7d %8d%4d %6d %6d %6d %2d %1d %7.1e %c%c%c%c", itn,
                 flag, r.ph, r.pp, r.djOrRg, r.entered, r.leftSuperbasic, r.leftBasis, r.step, r.pivot, r.ninf,
                 sinfOrObj, r.lenL, r.lenU, r.compressions, r.nobj, r.ncon, r.ns, r.hmod1, r.hmod2, r.condH,
                 r.conv.stepSmall ? 'T' : 'F', r.conv.objectiveSettled ? 'T' : 'F', r.conv.gradientSmall ? 'T' : 'F',
                 r.conv.gradientTiny ? 'T' : 'F');
    else
      out_.print("%7d%s%2d%3d %9.1e%7d%7d%7d %8.1e %8.1e %5d %16.8e %7d %8d%4d", itn, flag, r.ph, r.pp, r.djOrRg,
                 r.entered, r.leftSuperbasic, r.leftBasis, r.step, r.pivot, r.ninf, sinfOrObj, r.lenL, r.lenU,
                 r.compressions);
    if (r.exchangeOut > 0)
      out_.print("%15s|rg| moved into R %9.1e   variable moved out %7d   smallest |rg| inside %9.1e", "",
                 r.exchangeRgIn, r.exchangeOut, r.exchangeRgMin);
  } else if (rgForm_) {
    out_.print("%7d%s%9.1e %6d %9.3e %16.8e %8d %6d %6d %8.1e", itn, flag, r.djOrRg, r.ninf, r.sinf, r.objective,
               r.lenL + r.lenU, r.nobj, r.ns, r.condH);
  } else {
    out_.print("%7d%s%9.1e %6d %9.3e %16.8e %8d", itn, flag, r.djOrRg, r.ninf, r.sinf, r.objective, r.lenL + r.lenU);
  }
  ++printLines_;
}

void IterationLog::summaryLine(const IterationRecord& r) {
  if (summaryLines_ >= 10 || r.minorItn <= 1 || summaryHeaderDue_) {
    summaryHeaderDue_ = false;
    out_.summary("%s", "");
    const bool full = params_.summaryDetailed;
    if (rgForm_)
      out_.summary(full ? "    Itn       rg   ninf      sinf       objective   nobj   ncon    nsb"
                        : "    Itn     rg     ninf   sinf       objective   nobj    nsb");
    else
      out_.summary(full ? "    Itn       dj   ninf      sinf       objective"
                        : "    Itn     dj     ninf   sinf       objective");
    summaryLines_ = 0;
  }
  const int32_t itn = r.itn % 100000000;
  if (params_.summaryDetailed) {
    if (rgForm_)
      out_.summary("%7d %8.1e %6d %9.3e %15.8e %6d %6d %6d", itn, r.djOrRg, r.ninf, r.sinf, r.objective, r.nobj, r.ncon,
                   r.ns);
    else out_.summary("%7d %8.1e %6d %9.3e %15.8e", itn, r.djOrRg, r.ninf, r.sinf, r.objective);
  } else {
    if (rgForm_)
      out_.summary("%7d %8.1e %6d %9.3e %15.8e %6d %6d", itn, r.djOrRg, r.ninf, r.sinf, r.objective, r.nobj, r.ns);
    else out_.summary("%7d %8.1e %6d %9.3e %15.8e", itn, r.djOrRg, r.ninf, r.sinf, r.objective);
  }
  ++summaryLines_;
}

void printRunStatistics(const RunStatistics& s, const ReportChannels& out) {
  const double percentage = 100.0 * s.nDegenerate / std::max(1, s.itn);
  auto block = [&](void (ReportChannels::*emit)(const char*, ...) const) {
    (out.*emit)("%s", "");
    (out.*emit)(" Problem name                 %-8.8s", s.problemName.c_str());
    (out.*emit)(" No. of iterations         %10d     Objective value      %20.10E", s.itn, s.objective);
    if (s.ninf > 0) (out.*emit)(" No. of infeasibilities    %10d     Sum of infeas        %20.10E", s.ninf, s.sinf);
    if (s.nonlinear) {
      (out.*emit)(" No. of major iterations   %10d     Linear objective     %20.10E", s.majorItn, s.linearObjective);
      (out.*emit)(" Penalty parameter         %10.6f     Nonlinear objective  %20.10E", s.penalty,
                  s.nonlinearObjective);
      (out.*emit)(" No. of calls to funobj    %10lld     No. of calls to funcon     %10lld",
                  static_cast<long long>(s.objCalls[0]), static_cast<long long>(s.conCalls[0]));
      if (s.differencing) {
        const char* labels[3] = {"Calls with mode=2 (f, known g)", "Calls for forward differencing",
                                 "Calls for central differencing"};
        for (int k = 0; k < 3; ++k)
          (out.*emit)(" %-30s %10lld %10lld", labels[k], static_cast<long long>(s.objCalls[k + 1]),
                      static_cast<long long>(s.conCalls[k + 1]));
      }
    }
    if (s.hessianProducts > 0)
      (out.*emit)(" Hessian-vector products   %10lld     CG iterations              %10lld",
                  static_cast<long long>(s.hessianProducts), static_cast<long long>(s.cgIterations));
    if (s.nonlinear || s.ns > 0)
      (out.*emit)(" No. of superbasics        %10d     No. of basic nonlinears    %10d", s.ns, s.basicNonlinears);
    (out.*emit)(" No. of degenerate steps   %10d     Percentage                 %10.2f", s.nDegenerate, percentage);
    // The returned point on the user's problem: the largest violations relative to
    // 1 + |bound| and 1 + max |multiplier|, and the variables they belong to.
    const Certificate& c = s.certificate;
    if (c.evaluated)
      (out.*emit)(" Max primal infeas %7d %10.1E     Max dual infeas   %7d %10.1E", c.primalWorst + 1,
                  c.maxPrimalInfeasRelative, c.dualWorst + 1, c.maxDualInfeasRelative);
  };
  block(&ReportChannels::print);
  block(&ReportChannels::summary);
}

}  // namespace kavro
