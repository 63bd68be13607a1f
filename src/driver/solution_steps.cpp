// The solution output of the run driver: the reports and files written after each cycle from
// the unscaled problem and solution.

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "files/basis_files.hpp"
#include "files/solution_output.hpp"

namespace kavro {

void solutionOutput(RunContext& ctx, int stage) {
  SolutionReport report;
  report.problem = &ctx.prob;
  report.state = &ctx.state;
  if (ctx.scaling.computed) report.scales = ctx.scaling.factors;
  report.exitCode = ctx.exitCode;
  report.iterations = ctx.itn;
  report.ninf = ctx.ninf;
  report.sinf = ctx.sinf;
  report.objValue = ctx.objValue;
  report.piNorm = ctx.piNorm;
  report.nonlinViolation = ctx.absoluteViolation;
  report.objGradient = ctx.objectiveGradient;

  // After the optimizer the problem is unscaled, so the basis writers get no factors.
  const BasisFileChannel io{ctx.units, ctx.out, ctx.params};
  const BasisSource source{ctx.prob, {}, ctx.state.hs, ctx.state.x};
  SolutionFileWriters writers;
  writers.punch = [&](int unit) { writePunch(io, unit, source); };
  writers.dump = [&](int unit) { writeDump(io, unit, source); };

  SolutionMarks marks{ctx.maxPrimalInfeasVar, ctx.maxDualInfeasVar};
  writeSolutionOutput(stage, report, ctx.params, ctx.units, ctx.out, marks, writers);
  ctx.maxPrimalInfeasVar = marks.maxPrimalInfeasVar;
  ctx.maxDualInfeasVar = marks.maxDualInfeasVar;
}

}  // namespace kavro
