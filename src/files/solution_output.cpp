// The solution output after a cycle: the largest infeasibilities, the optional files, and the
// listing on the print file.

#include "files/solution_output.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "files/fortran_format.hpp"

namespace kavro {

namespace {

// The largest |x|, |pi| and primal and dual infeasibilities, with their 0-based indices
// (-1 when nothing was found). Only a strictly larger value replaces the current one.
struct Largest {
  int32_t x = -1, pi = -1, primal = -1, dual = -1;
  double xValue = 0.0, piValue = 0.0, primalValue = 0.0, dualValue = 0.0;
};

void keepLarger(double value, int32_t index, double& best, int32_t& bestIndex) {
  if (value > best) {
    best = value;
    bestIndex = index;
  }
}

// With `scaled`, the values of the scaled problem: x / s, bounds / s (infinite ones as they
// are), reduced costs * s and pi(i) * r(i).
Largest findLargest(const SolutionReport& r, const Parameters& params, bool scaled) {
  const Problem& p = *r.problem;
  const ProblemState& s = *r.state;
  const double inf = 0.9 * params.machine.infBound;
  const bool useScales = scaled && r.scales.size() == static_cast<size_t>(p.nb());
  // The reduced costs' sign follows the objective sense once the point is feasible, as in the
  // classification of variables; the measure below is for minimization.
  const double sense = (params.objectiveSense < 0 && r.ninf == 0) ? -1.0 : 1.0;
  const int32_t objSlack = p.objRow >= 0 ? p.n + p.objRow : -1;
  Largest L;
  for (int32_t j = 0; j < p.nb(); ++j) {
    const double scale = useScales ? r.scales[j] : 1.0;
    const double x = s.x[j] / scale;
    const double lower = p.lower[j] <= -inf ? p.lower[j] : p.lower[j] / scale;
    const double upper = p.upper[j] >= inf ? p.upper[j] : p.upper[j] / scale;
    keepLarger(std::fabs(x), j, L.xValue, L.x);
    keepLarger(std::fmax(lower - x, x - upper), j, L.primalValue, L.primal);
    if (lower < upper && j != objSlack) {
      const double d = sense * s.reducedCost[j] * scale;
      const double infeasibility = x <= lower ? -d : (x >= upper ? d : std::fabs(d));
      keepLarger(infeasibility, j, L.dualValue, L.dual);
    }
  }
  for (int32_t i = 0; i < p.m; ++i) {
    const double scale = useScales ? r.scales[p.n + i] : 1.0;
    keepLarger(std::fabs(s.pi[i] * scale), i, L.piValue, L.pi);
  }
  return L;
}

std::string item(const char* label, int32_t index, double value) {
  char text[64];
  std::snprintf(text, sizeof text, " %-20s%9d%s", label, index + 1, formatExponent(value, 8, 1).c_str());
  return text;
}

void printLargest(const ReportChannels& out, const Largest& scaled, const Largest& unscaled) {
  out.printLine("");
  out.printLine(item("Max x       (scaled)", scaled.x, scaled.xValue) + "    " +
                item("Max pi      (scaled)", scaled.pi, scaled.piValue));
  out.printLine(item("Max x", unscaled.x, unscaled.xValue) + "    " + item("Max pi", unscaled.pi, unscaled.piValue));
  out.printLine(item("Max Prim inf(scaled)", scaled.primal, scaled.primalValue) + "    " +
                item("Max Dual inf(scaled)", scaled.dual, scaled.dualValue));
  out.printLine(item("Max Primal infeas", unscaled.primal, unscaled.primalValue) + "    " +
                item("Max Dual infeas", unscaled.dual, unscaled.dualValue));
}

void stage1(const SolutionReport& r, const Parameters& params, UnitTable& units, const ReportChannels& out,
            SolutionMarks& marks, const SolutionFileWriters& writers) {
  const Largest scaled = findLargest(r, params, true);
  const Largest unscaled = findLargest(r, params, false);
  printLargest(out, scaled, unscaled);
  if (r.problem->nNonlinCons > 0)
    out.print(" Nonlinear constraint violn%s", formatExponent(r.nonlinViolation, 11, 1).c_str());
  marks.maxPrimalInfeasVar = unscaled.primal;
  marks.maxDualInfeasVar = unscaled.dual;

  if (params.punchFile >= 1 && writers.punch) writers.punch(params.punchFile);
  if (params.dumpFile >= 1 && writers.dump) writers.dump(params.dumpFile);
  if (params.solutionFile >= 1) writeSolutionListing(params.solutionFile, r, params, marks, units, out);
  if (params.reportFile >= 1) writeSolutionExport(params.reportFile, r, params, marks, units, out);
}

void stage2(const SolutionReport& r, const Parameters& params, UnitTable& units, const ReportChannels& out,
            const SolutionMarks& marks) {
  if (params.solution == 2 && out.hasPrint()) {
    writeSolutionListing(out.printUnit, r, params, marks, units, out);
    out.summary(" Solution printed on file%4d", out.printUnit);
  } else {
    out.summary(" Solution not printed");
  }
}

}  // namespace

void writeSolutionOutput(int stage, const SolutionReport& report, const Parameters& params, UnitTable& units,
                         const ReportChannels& out, SolutionMarks& marks, const SolutionFileWriters& writers) {
  if (!report.problem || !report.state) return;
  if (stage == 1) stage1(report, params, units, out, marks, writers);
  else if (stage == 2) stage2(report, params, units, out, marks);
}

}  // namespace kavro
