#include <algorithm>
#include <cmath>

#include "nonlinear/function_evaluator.hpp"

namespace kavro {

// The routines see the point in their own units, and a constraint divided by r_i in ours is
// weighted by w_i / r_i in theirs.
bool FunctionEvaluator::prepareHessian(const double* x, double sigma, const double* w) {
  if (!secondDerivativesOffered()) return false;
  loadPoint(x, nVars_);
  hessianScaled_ = userScaled_;
  double* weights = hessianWeights_.data();
  for (int32_t i = 0; i < nCon_; ++i) weights[i] = hessianScaled_ ? w[i] / rowScale_[i] : w[i];
  return functions_->prepareHessian(nVars_, userX_, sigma, nCon_, weights);
}

bool FunctionEvaluator::hessianProduct(const double* v, double* hv) {
  ++hessianProducts_;
  if (!hessianScaled_) {
    functions_->hessianProduct(nVars_, v, hv);
  } else {
    const double* c = colScale_.data();
    double* cv = hessianVector_.data();
    for (int32_t j = 0; j < nVars_; ++j) cv[j] = c[j] * v[j];
    functions_->hessianProduct(nVars_, cv, hv);
    for (int32_t j = 0; j < nVars_; ++j) hv[j] *= c[j];
  }
  return std::all_of(hv, hv + nVars_, [](double h) { return std::isfinite(h); });
}

// The pattern never changes, so the scaled copy is sized once.
bool FunctionEvaluator::hessianTriangle(NonlinearFunctions::HessianTriangle& triangle) {
  if (!functions_->hessianTriangle(triangle)) return false;
  if (!hessianScaled_) return true;
  scaledTriangle_.resize(static_cast<size_t>(triangle.nnz));
  const double* c = colScale_.data();
  double* scaled = scaledTriangle_.data();
  for (int64_t k = 0; k < triangle.nnz; ++k) {
    const int32_t i = triangle.rows[k], j = triangle.cols[k];
    const bool inside = i < nVars_ && j < nVars_;  // entries beyond the nonlinear variables go unused
    scaled[k] = inside ? c[i] * triangle.values[k] * c[j] : triangle.values[k];
  }
  triangle.values = scaled;
  return true;
}

}  // namespace kavro
