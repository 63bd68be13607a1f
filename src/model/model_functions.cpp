#include "model/model_functions.hpp"

#include <algorithm>
#include <cmath>
#include <span>

namespace kavro::model {

ModelFunctions::ModelFunctions(const ModelData& data, const Layout& layout)
    : data_(data),
      layout_(layout),
      point_(data.start),
      gradient_(data.start.size(), 0.0),
      senseSign_(data.sense == Sense::kMaximize ? -1.0 : 1.0) {
  if (data.hessian.given()) {
    hessianPoint_ = data.start;
    lambda_.assign(static_cast<size_t>(data.constraints()), 0.0);
    hessianValues_.assign(data.hessian.pattern.size(), 0.0);
    if (data.hessian.product) {
      productIn_.assign(data.start.size(), 0.0);
      productOut_.assign(data.start.size(), 0.0);
    }
  }
  for (size_t b = 0; b < data.blocks.size(); ++b) {
    values_.emplace_back(static_cast<size_t>(data.blocks[b].count), 0.0);
    jacobian_.emplace_back(layout.jacobianPlace[b].size(), 0.0);
  }
}

void ModelFunctions::load(const double* x, int n) {
  for (int c = 0; c < n; ++c) point_[static_cast<size_t>(layout_.variableOf[static_cast<size_t>(c)])] = x[c];
}

template <class Call>
void ModelFunctions::guarded(int& mode, Call&& call) {
  if (!attempt(call)) mode = failure_ ? -2 : -1;
}

void ModelFunctions::objective(int& mode, int n, const double* x, double& f, double* g, int) {
  f = 0.0;
  if (!data_.nonlinearObjective()) return;
  const bool withGradient = mode != 0 && g != nullptr && data_.objective.hasGradient;
  guarded(mode, [&] {
    load(x, n);
    return callObjective(n, x, f, withGradient ? g : nullptr);
  });
}

bool ModelFunctions::callObjective(int n, const double* x, double& f, double* g) {
  ++counts_.objective;
  bool ok;
  if (g) {
    ++counts_.gradient;
    std::fill(gradient_.begin(), gradient_.end(), 0.0);
    ok = data_.objective.function(point_, f, gradient_);
  } else {
    ok = data_.objective.function(point_, f, std::span<double>());
  }
  if (!ok || !std::isfinite(f)) return false;
  for (int c = 0; c < n; ++c) f += layout_.objectiveInF[static_cast<size_t>(c)] * x[c];
  f += layout_.constantInF;
  if (!g) return true;
  for (int c = 0; c < n; ++c) {
    g[c] = gradient_[static_cast<size_t>(layout_.variableOf[static_cast<size_t>(c)])] +
           layout_.objectiveInF[static_cast<size_t>(c)];
    if (!std::isfinite(g[c])) return false;
  }
  return true;
}

void ModelFunctions::constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int) {
  guarded(mode, [&] {
    load(x, n);
    return callBlocks(m, f, mode != 0 ? g : nullptr, njac);
  });
}

bool ModelFunctions::callBlocks(int m, double* f, double* g, int njac) {
  ++counts_.constraints;
  bool anyJacobian = false;
  for (size_t b = 0; b < data_.blocks.size(); ++b) {
    const NonlinearConstraintSpec& block = data_.blocks[b];
    const bool withJacobian = g != nullptr && block.hasJacobian;
    anyJacobian = anyJacobian || withJacobian;
    std::vector<double>& values = values_[b];
    std::vector<double>& jacobian = jacobian_[b];
    if (!block.function(point_, values, withJacobian ? std::span<double>(jacobian) : std::span<double>())) return false;
    const int32_t first = layout_.blockRow[b];
    for (int32_t i = 0; i < block.count && first + i < m; ++i) {
      if (!std::isfinite(values[static_cast<size_t>(i)])) return false;
      f[first + i] = values[static_cast<size_t>(i)];
    }
    if (!withJacobian) continue;
    const std::vector<int32_t>& places = layout_.jacobianPlace[b];
    for (size_t k = 0; k < places.size(); ++k) {
      if (!std::isfinite(jacobian[k])) return false;
      if (places[k] < njac) g[places[k]] = jacobian[k];
    }
  }
  if (anyJacobian) ++counts_.jacobian;
  return true;
}

bool ModelFunctions::evaluateRows(const std::vector<double>& point, bool withJacobian, std::vector<double>& values,
                                  std::vector<double>& jacobian) {
  point_ = point;
  const int m = layout_.problem.nNonlinCons;
  const int njac = static_cast<int>(layout_.jacobianElement.size());
  values.assign(static_cast<size_t>(m), 0.0);
  jacobian.assign(static_cast<size_t>(njac), 0.0);
  int mode = withJacobian ? 2 : 0;
  guarded(mode, [&] { return callBlocks(m, values.data(), withJacobian ? jacobian.data() : nullptr, njac); });
  point_ = data_.start;
  return mode >= 0;
}

}  // namespace kavro::model
