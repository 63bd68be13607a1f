#include "nl/nl_curvature_probe.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "nl/nl_curvature.hpp"
#include "nl/nl_evaluator.hpp"

namespace kavro::nl {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The Lagrangian sigma f - y'c at x; NaN where a function cannot be evaluated.
class Lagrangian {
 public:
  Lagrangian(const Model& m, int32_t objective, const double* y, double sigma)
      : m_(m), ev_(m), objective_(objective), y_(y), sigma_(sigma) {}

  double at(const double* x) {
    ev_.setPoint(x);
    double sum = 0.0, v = 0.0;
    if (objective_ >= 0) {
      if (!ev_.value(m_.objExpression(objective_), v)) return std::nan("");
      sum += sigma_ * v;
    }
    for (int32_t i = 0; i < m_.nCons(); ++i) {
      if (y_[i] == 0.0) continue;
      if (!ev_.value(m_.conExpression(i), v)) return std::nan("");
      sum -= y_[i] * v;
    }
    return sum;
  }

 private:
  const Model& m_;
  Evaluator ev_;
  int32_t objective_;
  const double* y_;
  double sigma_;
};

// How far x may move along s d before a variable leaves its bounds.
double boundStep(const Model& m, const double* x, const std::vector<double>& d, double s) {
  double step = kInfinity;
  for (size_t j = 0; j < d.size(); ++j) {
    const double dj = s * d[j];
    if (dj > 0.0 && m.varUpper[j] < 1e20) step = std::min(step, (m.varUpper[j] - x[j]) / dj);
    if (dj < 0.0 && m.varLower[j] > -1e20) step = std::min(step, (m.varLower[j] - x[j]) / dj);
  }
  return std::max(step, 0.0);
}

// How far the rows' linearizations at x allow moving along s d before one crosses a limit
// (rows at a limit along d stay there to first order and do not count).
double rowStep(const Model& m, const double* x, const std::vector<double>& d, double s) {
  Evaluator ev(m);
  ev.setPoint(x);
  std::vector<double> gradient(std::max<size_t>(m.conLinear.terms.size(), 1));
  double step = kInfinity;
  for (int32_t i = 0; i < m.nCons(); ++i) {
    double body = 0.0, nonlinear = 0.0;
    const int32_t f = m.conExpression(i);
    if (!ev.value(f, body) || !ev.gradient(f, nonlinear, gradient.data())) continue;
    double rate = 0.0;
    const LinearTerm* t = m.conLinear.begin(i);
    for (int32_t k = 0; k < m.conLinear.size(i); ++k) rate += gradient[k] * s * d[t[k].var];
    const size_t row = static_cast<size_t>(i);
    if (std::fabs(rate) < 1e-9) continue;
    const double limit = rate > 0.0 ? m.conUpper[row] : m.conLower[row];
    if (std::fabs(limit) >= 1e20) continue;
    const double room = (limit - body) / rate;
    if (room > 1e-9) step = std::min(step, room);
  }
  return step;
}

struct Move {
  double value = kInfinity;  // the Lagrangian at the moved point
  std::vector<double> x;
};

// The longest halving of the largest step along s d that lowers the Lagrangian from `start`.
Move moveAlong(const Model& m, Lagrangian& lagrangian, const double* x, const std::vector<double>& d, double s,
               double start) {
  double norm = 1.0;
  for (size_t j = 0; j < d.size(); ++j) norm = std::max(norm, std::fabs(x[j]));
  double step = std::min({norm, boundStep(m, x, d, s), rowStep(m, x, d, s)});
  Move best;
  std::vector<double> trial(x, x + d.size());
  for (int k = 0; k < 40 && step > 0.0; ++k, step *= 0.5) {
    for (size_t j = 0; j < d.size(); ++j) trial[j] = std::clamp(x[j] + step * s * d[j], m.varLower[j], m.varUpper[j]);
    const double value = lagrangian.at(trial.data());
    if (std::isfinite(value) && value < start - 1e-10 * (1.0 + std::fabs(start))) {
      best.value = value;
      best.x = trial;
      break;
    }
  }
  return best;
}

}  // namespace

bool ModelCurvatureProbe::escape(const Problem& problem, const ProblemState& state, double sigma,
                                 CurvatureEscape& out) {
  const Model& m = model_;
  if (problem.n != m.nVars() || static_cast<int32_t>(state.pi.size()) < m.nCons()) return false;
  const double* x = state.x.data();
  const double* y = state.pi.data();
  const Curvature c = reducedCurvature(m, objective_, x, y, sigma, 1e-6, kMaxFree);
  if (!c.negative) return false;
  Lagrangian lagrangian(m, objective_, y, sigma);
  const double start = lagrangian.at(x);
  if (!std::isfinite(start)) return false;
  Move forward = moveAlong(m, lagrangian, x, c.direction, 1.0, start);
  Move backward = moveAlong(m, lagrangian, x, c.direction, -1.0, start);
  Move& best = forward.value <= backward.value ? forward : backward;
  if (best.x.empty()) return false;
  out.curvature = c.smallest;
  out.dimension = c.dimension;
  out.conclusive = c.conclusive;
  out.x = std::move(best.x);
  return true;
}

}  // namespace kavro::nl
