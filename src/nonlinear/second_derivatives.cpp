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
  for (int32_t i = 0; i < nCon_; ++i) weights[i] = hessianScaled_ ? w[i] / rowScale_[static_cast<size_t>(i)] : w[i];
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

}  // namespace kavro
