#include "driver/initial_basis.hpp"

#include <algorithm>
#include <cmath>
#include <span>

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "setup/crash.hpp"
#include "setup/scaling.hpp"

namespace kavro {

namespace {

// The run's scaling step; with Scale option 2 the nonlinear variables and rows are scaled too:
// the evaluator hands the user's routines unscaled values and scales what they return.
void scale(RunContext& ctx) {
  scaleProblem(ctx.scaling, ctx.prob, ctx.state.x, ctx.rowTypes, ctx.params, ctx.out);
  if (ctx.evaluator && ctx.params.scaleOption == 2) {
    const std::vector<double>& s = ctx.scaling.factors;
    const auto columns = std::span<const double>(s.data(), static_cast<size_t>(ctx.prob.nNonlinVars()));
    const auto rows = std::span<const double>(s.data() + ctx.n(), static_cast<size_t>(ctx.prob.nNonlinCons));
    ctx.evaluator->setScales(columns, rows);
  }
}

void crash(RunContext& ctx, int mode) {
  CrashSettings settings;
  settings.crashTolerance = ctx.params.crashTolerance;
  settings.tinyValue = ctx.params.machine.eps0;
  crashBasis(mode, ctx.prob, ctx.rowTypes, settings, ctx.state.hs, ctx.state.x, ctx.out);
}

void setupCycleZero(RunContext& ctx) {
  auto& x = ctx.state.x;
  auto& pi = ctx.state.pi;
  const int32_t n = ctx.n(), m = ctx.m();
  // A cold start owns no states of the caller's: slack values and linear multipliers start at
  // zero and a basis file, when one is named, supplies the states. Warm and hot starts keep
  // everything the caller gave.
  if (ctx.start.kind == StartClass::kCold) {
    std::fill(x.begin() + n, x.begin() + n + m, 0.0);
    std::fill(pi.begin() + ctx.prob.nNonlinCons, pi.end(), 0.0);
    ctx.start.gotbas = loadBasisFile(ctx);
    if (ctx.exitCode != kOptimal) return;
  }
  for (int32_t j = 0; j < ctx.prob.nNonlinVars(); ++j)
    x[j] = std::min(std::max(x[j], ctx.prob.lower[j]), ctx.prob.upper[j]);
}

void setupLaterCycle(RunContext& ctx) {
  const Parameters& p = ctx.params;
  if (ctx.prob.nNonlinCons > 0 && ctx.ninf == 0) checkInitialMultipliers(ctx);
  if (ctx.prob.objRow >= 0) ctx.state.pi[ctx.prob.objRow] = -p.objectiveSense;
  if (p.scaleOption > 0) scale(ctx);
  if (ctx.crashDone) return;
  ctx.crashDone = true;
  // The crash chooses a basis only when none was supplied: a caller's states or a basis file
  // are kept as they are (the factorization completes them with slacks where needed).
  if (ctx.start.gotbas) return;
  const int mode = (p.crashOption >= 1 && p.crashOption <= 3) ? p.crashOption : 0;
  // Crashing the nonlinear rows needs nonzero values where the Jacobian will be; reproducible
  // random ones stand in for it.
  const bool jacobianNeeded = mode == 1 && ctx.majors;
  if (jacobianNeeded) ctx.majors->randomJacobianForCrash(ctx.prob);
  crash(ctx, mode);
  if (jacobianNeeded) ctx.majors->restoreMatrixJacobian(ctx.prob);
  ctx.crashInequalitiesPending = mode == 3 && ctx.prob.nNonlinCons < ctx.m();
}

}  // namespace

void setupInitialBasis(RunContext& ctx, int cycle) {
  if (cycle == 0) setupCycleZero(ctx);
  else setupLaterCycle(ctx);
}

void checkBasisCounts(RunContext& ctx) {
  auto& hs = ctx.state.hs;
  auto& x = ctx.state.x;
  auto& lower = ctx.prob.lower;
  auto& upper = ctx.prob.upper;
  const Parameters& p = ctx.params;
  const int32_t n = ctx.n(), m = ctx.m(), nb = ctx.nb();

  for (int32_t& h : hs) {
    if (h < 0) h = 0;
    else if (h > 3) h -= 4;
  }
  if (ctx.prob.objRow >= 0) {
    const size_t j = static_cast<size_t>(n + ctx.prob.objRow);
    hs[j] = kBasic;
    lower[j] = -p.machine.infBound;
    upper[j] = p.machine.infBound;
  }

  // Cyclic scan from the first slack: extra basics and superbasics become nonbasic.
  auto scan = [&](bool recordSuperbasics) {
    int32_t basics = 0, superbasics = 0;
    if (recordSuperbasics) ctx.superbasicList.clear();
    for (int32_t k = 0; k < nb; ++k) {
      const size_t j = static_cast<size_t>(k < m ? n + k : k - m);
      if (hs[j] == kBasic) {
        if (++basics > m) hs[j] = kAtLower;
      } else if (hs[j] == kSuperbasic) {
        if (++superbasics > p.superbasicsLimit) hs[j] = kAtLower;
        else if (recordSuperbasics) ctx.superbasicList.push_back(static_cast<int32_t>(j));
      }
    }
    return std::pair{basics, superbasics};
  };
  auto [basics, superbasics] = scan(false);
  if (superbasics != ctx.state.ns) {
    ctx.out.both(" WARNING: %7d superbasics in hs(*);   previously ns = %7d.  Hessian not saved", superbasics,
                 ctx.state.ns);
    ctx.start.gothes = false;
    scan(true);
    ctx.state.ns = std::min(superbasics, p.superbasicsLimit);
  } else {
    scan(true);
  }
  if (basics != m) {
    ctx.out.both(" WARNING: %7d basics specified;   preferably should have been %7d", basics, m);
    ctx.start.gothes = false;
  }

  // Nonbasic variables go on or inside their bounds; near a bound means on it.
  const double near = p.machine.eps4, infinite = 0.9 * p.machine.infBound;
  for (int32_t k = 0; k < nb; ++k) {
    const size_t j = static_cast<size_t>(k);
    if (hs[j] > 1) continue;
    double v = std::fabs(x[j]) >= infinite ? 0.0 : x[j];
    v = std::min(std::max(v, lower[j]), upper[j]);
    if (v - lower[j] <= upper[j] - v) {
      if (v - lower[j] <= near) v = lower[j];
    } else if (upper[j] - v <= near) {
      v = upper[j];
    }
    x[j] = v;
    hs[j] = v <= lower[j] ? kAtLower : kAtUpper;
  }
}

}  // namespace kavro
