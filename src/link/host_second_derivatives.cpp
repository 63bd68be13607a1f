// HostFunctions: the second derivatives of the host's model (host_functions.hpp).

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "link/host_functions.hpp"

namespace kavro::link {

void HostFunctions::setUpHessian(int nnv) {
  const ModelApi& qmo = ctx_.qmo();
  hessianForm_ = HessianForm::kNone;
  int64_t nz = 0;
  const bool triangle = qmo.qmoHessLagNZ && qmo.qmoHessLagStruct && qmo.qmoHessLagValues &&
                        qmo.qmoHessLagNZ(ctx_.model, &nz) == 0 && nz >= 0;
  try {
    if (!triangle) {
      if (!qmo.qmoHessLagVec) return;
      productVector_.assign(point_.size(), 0.0);
      productResult_.assign(point_.size(), 0.0);
      hessianForm_ = HessianForm::kProducts;
      return;
    }
    std::vector<int> rows(static_cast<size_t>(nz)), columns(static_cast<size_t>(nz));
    if (qmo.qmoHessLagStruct(ctx_.model, rows.data(), columns.data(), nz) != 0) {
      logWarning(ctx_, "%s", "QMO: get the structure of the Hessian failed!");
      return;
    }
    hostValues_.assign(static_cast<size_t>(nz), 0.0);
    for (int64_t k = 0; k < nz; ++k) {
      int32_t i = rows[static_cast<size_t>(k)], j = columns[static_cast<size_t>(k)];
      if (i < j) std::swap(i, j);
      if (j < 0 || i >= nnv) continue;  // no second derivatives outside the nonlinear variables
      triangleRows_.push_back(i);
      triangleColumns_.push_back(j);
      hostEntry_.push_back(k);
    }
    triangleValues_.assign(hostEntry_.size(), 0.0);
    hessianForm_ = HessianForm::kTriangle;
  } catch (const std::bad_alloc&) {
    logWarning(ctx_, "%s", "Not enough memory for the Hessian: the run goes on without it.");
    hessianForm_ = HessianForm::kNone;
  }
}

bool HostFunctions::prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) {
  if (!secondDerivatives_) return false;
  if (hessianForm_ == HessianForm::kNotSetUp) setUpHessian(nnv);
  if (hessianForm_ == HessianForm::kNone) return false;
  std::copy(x, x + std::min<size_t>(static_cast<size_t>(nnv), hessianPoint_.size()), hessianPoint_.begin());
  std::copy(w, w + std::min<size_t>(static_cast<size_t>(std::max(m, 0)), rowWeights_.size()), rowWeights_.begin());
  objectiveWeight_ = ctx_.hasObjective ? sigma : 0.0;
  return hessianForm_ == HessianForm::kProducts || evaluateTriangle();
}

bool HostFunctions::evaluateTriangle() {
  int errors = 0;
  if (ctx_.qmo().qmoHessLagValues(ctx_.model, hessianPoint_.data(), objectiveWeight_, rowWeights_.data(),
                                  hostValues_.data(), &errors) != 0) {
    logWarning(ctx_, "%s", "QMO: evaluate Hessian of the Lagrangian failed!");
    errors = std::max(errors, 1);
  }
  if (errors > 0) {
    countErrors(errors, 0);
    return false;
  }
  const double* host = hostValues_.data();
  const int64_t* entry = hostEntry_.data();
  double* kept = triangleValues_.data();
  for (size_t k = 0; k < triangleValues_.size(); ++k) kept[k] = host[entry[k]];
  return true;
}

// The triangle stands for the symmetric matrix: an entry below the diagonal counts twice.
void HostFunctions::hessianProduct(int nnv, const double* v, double* hv) {
  if (hessianForm_ == HessianForm::kProducts) return productFromHost(nnv, v, hv);
  std::fill(hv, hv + nnv, 0.0);
  if (hessianForm_ != HessianForm::kTriangle) return;
  const int32_t* rows = triangleRows_.data();
  const int32_t* columns = triangleColumns_.data();
  const double* h = triangleValues_.data();
  const size_t nz = triangleValues_.size();
  for (size_t k = 0; k < nz; ++k) {
    const int32_t i = rows[k], j = columns[k];
    hv[i] += h[k] * v[j];
    if (i != j) hv[j] += h[k] * v[i];
  }
}

// A product the host could not make is not a number: the optimizer then steps without it.
void HostFunctions::productFromHost(int nnv, const double* v, double* hv) {
  const size_t count = std::min<size_t>(static_cast<size_t>(nnv), productVector_.size());
  std::copy(v, v + count, productVector_.begin());
  int errors = 0;
  if (ctx_.qmo().qmoHessLagVec(ctx_.model, hessianPoint_.data(), objectiveWeight_, rowWeights_.data(),
                               productVector_.data(), productResult_.data(), &errors) != 0) {
    logWarning(ctx_, "%s", "QMO: evaluate Hessian-vector product failed!");
    errors = std::max(errors, 1);
  }
  if (errors > 0) {
    countErrors(errors, 0);
    std::fill(hv, hv + nnv, std::numeric_limits<double>::quiet_NaN());
    return;
  }
  std::copy(productResult_.begin(), productResult_.begin() + static_cast<std::ptrdiff_t>(count), hv);
}

bool HostFunctions::hessianTriangle(HessianTriangle& triangle) const {
  if (hessianForm_ != HessianForm::kTriangle) return false;
  triangle = {static_cast<int64_t>(triangleValues_.size()), triangleRows_.data(), triangleColumns_.data(),
              triangleValues_.data()};
  return true;
}

}  // namespace kavro::link
