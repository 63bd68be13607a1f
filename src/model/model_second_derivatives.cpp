#include <algorithm>
#include <cmath>
#include <limits>

#include "model/model_functions.hpp"

namespace kavro::model {

bool ModelFunctions::prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) {
  if (!data_.hessian.given() || failure_) return false;
  std::copy(data_.start.begin(), data_.start.end(), hessianPoint_.begin());
  for (int c = 0; c < nnv; ++c) hessianPoint_[static_cast<size_t>(layout_.variableOf[static_cast<size_t>(c)])] = x[c];
  hessianSigma_ = senseSign_ * sigma;
  for (size_t b = 0; b < data_.blocks.size(); ++b)
    for (int32_t k = 0; k < data_.blocks[b].count; ++k) {
      const int32_t row = layout_.blockRow[b] + k;
      lambda_[static_cast<size_t>(data_.blockFirst[b] + k)] = row < m ? senseSign_ * w[row] : 0.0;
    }
  // The product form is called with each vector; the values are had once per point.
  return data_.hessian.product ? true : attempt([&] { return callHessian(); });
}

bool ModelFunctions::callHessian() {
  ++counts_.hessian;
  if (!data_.hessian.values(hessianPoint_, hessianSigma_, lambda_, hessianValues_)) return false;
  return std::all_of(hessianValues_.begin(), hessianValues_.end(), [](double h) { return std::isfinite(h); });
}

// A NaN in hv tells the solver that the product failed: it keeps its quasi-Newton direction.
void ModelFunctions::hessianProduct(int nnv, const double* v, double* hv) {
  if (data_.hessian.product) {
    if (!attempt([&] { return callHessianProduct(nnv, v); }))
      std::fill(hv, hv + nnv, std::numeric_limits<double>::quiet_NaN());
    else
      for (int c = 0; c < nnv; ++c)
        hv[c] = senseSign_ * productOut_[static_cast<size_t>(layout_.variableOf[static_cast<size_t>(c)])];
    return;
  }
  // The lower triangle stands for the symmetric matrix: an entry off the diagonal acts twice.
  std::fill(hv, hv + nnv, 0.0);
  const int32_t* rows = layout_.hessianRow.data();
  const int32_t* columns = layout_.hessianColumn.data();
  const double* h = hessianValues_.data();
  for (size_t k = 0; k < hessianValues_.size(); ++k) {
    const int32_t i = rows[k], j = columns[k];
    if (i >= nnv || j >= nnv) continue;
    hv[i] += senseSign_ * h[k] * v[j];
    if (i != j) hv[j] += senseSign_ * h[k] * v[i];
  }
}

bool ModelFunctions::callHessianProduct(int nnv, const double* v) {
  ++counts_.hessian;
  std::fill(productIn_.begin(), productIn_.end(), 0.0);
  std::fill(productOut_.begin(), productOut_.end(), 0.0);
  for (int c = 0; c < nnv; ++c) productIn_[static_cast<size_t>(layout_.variableOf[static_cast<size_t>(c)])] = v[c];
  return data_.hessian.product(hessianPoint_, hessianSigma_, lambda_, productIn_, productOut_);
}

}  // namespace kavro::model
