#include "link/host_functions.hpp"

#include <algorithm>

namespace kavro::link {

HostFunctions::HostFunctions(LinkContext& ctx, int32_t n, int32_t hostRows, bool offerSecondDerivatives)
    : ctx_(ctx),
      columns_(static_cast<size_t>(n), 0),
      nonlinear_(static_cast<size_t>(n), 0),
      values_(static_cast<size_t>(n), 0.0),
      gradient_(static_cast<size_t>(n), 0.0),
      point_(static_cast<size_t>(n), 0.0),
      filled_(static_cast<size_t>(n), 0) {
  const ModelApi& qmo = ctx.qmo();
  const bool triangle = qmo.qmoHessLagNZ && qmo.qmoHessLagStruct && qmo.qmoHessLagValues;
  secondDerivatives_ = offerSecondDerivatives && qmo.qmoHaveHessLag && (triangle || qmo.qmoHessLagVec) &&
                       qmo.qmoHaveHessLag(ctx.model) == 1;
  if (!secondDerivatives_) return;
  hessianPoint_.assign(static_cast<size_t>(n), 0.0);
  rowWeights_.assign(static_cast<size_t>(std::max(hostRows, 0)), 0.0);
}

const double* HostFunctions::fullPoint(const double* x, int n) {
  std::copy(x, x + std::min<size_t>(static_cast<size_t>(n), point_.size()), point_.begin());
  return point_.data();
}

int HostFunctions::countErrors(int errors, int mode) {
  if (errors <= 0) return mode;
  ctx_.evaluationErrors += errors;
  if (ctx_.evaluationErrors > ctx_.domainErrorLimit) return -2;
  return mode < 0 ? mode : -1;
}

void HostFunctions::objective(int& mode, int n, const double* x, double& f, double* g, int) {
  std::fill(gradient_.begin(), gradient_.end(), 0.0);
  std::fill(g, g + n, 0.0);
  f = 0.0;
  if (!ctx_.hasObjective) return;
  const ModelApi& qmo = ctx_.qmo();
  int nz = 0, nlnz = 0;
  if (qmo.qmoGetObjSparse(ctx_.model, columns_.data(), values_.data(), nonlinear_.data(), &nz, &nlnz) != 0) {
    logWarning(ctx_, "%s", "QMO: evaluate objective gradient failed!");
    mode = -1;
    return;
  }
  int errors = 0;
  if (nlnz > 0 && qmo.qmoEvalGradNLObj(ctx_.model, fullPoint(x, n), &f, gradient_.data(), &errors) != 0) {
    logWarning(ctx_, "%s", "QMO: evaluate objective gradient failed!");
    errors = std::max(errors, 1);
  }
  for (int k = 0; k < nz; ++k) {
    const int j = columns_[k];
    if (j < 0 || j >= n) continue;  // later columns belong to the objective row
    if (nonlinear_[k]) {
      g[j] = gradient_[j];
    } else {
      g[j] = values_[k];
      f += values_[k] * x[j];
    }
  }
  mode = countErrors(errors, mode);
}

void HostFunctions::constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int) {
  std::fill(gradient_.begin(), gradient_.end(), 0.0);
  std::fill(filled_.begin(), filled_.end(), 0);
  std::fill(g, g + njac, 0.0);
  const ModelApi& qmo = ctx_.qmo();
  const double* point = fullPoint(x, n);
  qmo.qmoEvalNewPoint(ctx_.model, point);
  const auto& start = ctx_.jacobianStart;
  for (int i = 0; i < m; ++i) {
    f[i] = 0.0;
    int nz = 0, nlnz = 0, errors = 0;
    if (qmo.qmoGetRowSparse(ctx_.model, i, columns_.data(), values_.data(), nonlinear_.data(), &nz, &nlnz) != 0 ||
        qmo.qmoEvalGradNL(ctx_.model, i, point, &f[i], gradient_.data(), &errors) != 0) {
      logWarning(ctx_, "QMO: evaluate constraint gradient %d failed!", i);
      errors = std::max(errors, 1);
    }
    for (int k = 0; k < nz; ++k) {
      const int j = columns_[k];
      if (j < 0 || j >= n || static_cast<size_t>(j) + 1 >= start.size()) continue;
      const int32_t position = start[j] + filled_[j]++;
      if (position >= start[j + 1]) continue;  // more entries than the pattern holds
      if (nonlinear_[k]) {
        g[position] = gradient_[j];
      } else {
        g[position] = values_[k];
        f[i] += values_[k] * x[j];
      }
    }
    mode = countErrors(errors, mode);
    if (mode == -2) return;
  }
}

}  // namespace kavro::link
