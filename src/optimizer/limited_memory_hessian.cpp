#include "optimizer/limited_memory_hessian.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

void LimitedMemoryHessian::resize(int32_t memory, int32_t maxS) {
  memory_ = std::max(memory, 1);
  stride_ = std::max(maxS, 1) + 1;
  const size_t size = static_cast<size_t>(memory_) * static_cast<size_t>(stride_);
  s_.assign(size, 0.0);
  y_.assign(size, 0.0);
  rho_.assign(memory_, 0.0);
  alpha_.assign(memory_, 0.0);
  reset();
}

void LimitedMemoryHessian::addColumn(int32_t ns) {
  for (int32_t k = 0; k < memory_; ++k) s(k)[ns - 1] = y(k)[ns - 1] = 0.0;
}

void LimitedMemoryHessian::deleteColumn(int32_t k, int32_t ns) {
  for (int32_t t = 0; t < memory_; ++t) {
    double* st = s(t);
    double* yt = y(t);
    std::copy(st + k + 1, st + ns, st + k);
    std::copy(yt + k + 1, yt + ns, yt + k);
  }
  // The curvature of the remaining coordinates changes with the lost component; the pairs whose
  // s'y is no longer positive are dropped.
  for (int32_t i = count_ - 1; i >= 0; --i) {
    const int32_t t = slot(i);
    double sy = 0.0;
    for (int32_t j = 0; j + 1 < ns; ++j) sy += s(t)[j] * y(t)[j];
    if (sy > 0.0) rho_[t] = 1.0 / sy;
    else count_ = std::min(count_, i);  // this pair and every older one go
  }
}

void LimitedMemoryHessian::swapColumns(int32_t j, int32_t k) {
  for (int32_t t = 0; t < memory_; ++t) {
    std::swap(s(t)[j], s(t)[k]);
    std::swap(y(t)[j], y(t)[k]);
  }
}

int LimitedMemoryHessian::update(int32_t ns, const double* g1, const double* g2, const double* p, double alpha) {
  double a = 0.0, c = 0.0;
  for (int32_t j = 0; j < ns; ++j) {
    a += g1[j] * p[j];
    c += g2[j] * p[j];
  }
  if (!(c > 0.91 * a) || !(a < 0.0) || !(alpha > 0.0)) return 0;
  newest_ = (newest_ + 1) % memory_;
  double* sn = s(newest_);
  double* yn = y(newest_);
  double sy = 0.0;
  for (int32_t j = 0; j < ns; ++j) {
    sn[j] = alpha * p[j];
    yn[j] = g2[j] - g1[j];
    sy += sn[j] * yn[j];
  }
  if (!(sy > 0.0)) {  // roundoff: the curvature test passed but the product did not
    newest_ = (newest_ - 1 + memory_) % memory_;
    return 0;
  }
  rho_[newest_] = 1.0 / sy;
  count_ = std::min(count_ + 1, memory_);
  return 1;
}

// The two-loop recursion: q = rg; for pairs newest to oldest: a_i = rho_i s_i'q, q -= a_i y_i;
// r = gamma q; for pairs oldest to newest: b = rho_i y_i'r, r += (a_i - b) s_i; pS = -r.
void LimitedMemoryHessian::direction(int32_t ns, const double* rg, double* pS) const {
  std::copy(rg, rg + ns, pS);
  for (int32_t i = 0; i < count_; ++i) {
    const int32_t t = slot(i);
    const double* st = s(t);
    const double* yt = y(t);
    double dot = 0.0;
    for (int32_t j = 0; j < ns; ++j) dot += st[j] * pS[j];
    const double a = rho_[t] * dot;
    alpha_[t] = a;
    for (int32_t j = 0; j < ns; ++j) pS[j] -= a * yt[j];
  }
  double gamma = 1.0;
  if (count_ > 0) {
    const double* yt = y(newest_);
    double yy = 0.0;
    for (int32_t j = 0; j < ns; ++j) yy += yt[j] * yt[j];
    if (yy > 0.0) gamma = 1.0 / (rho_[newest_] * yy);
  }
  for (int32_t j = 0; j < ns; ++j) pS[j] *= gamma;
  for (int32_t i = count_ - 1; i >= 0; --i) {
    const int32_t t = slot(i);
    const double* st = s(t);
    const double* yt = y(t);
    double dot = 0.0;
    for (int32_t j = 0; j < ns; ++j) dot += yt[j] * pS[j];
    const double b = rho_[t] * dot;
    const double coefficient = alpha_[t] - b;
    for (int32_t j = 0; j < ns; ++j) pS[j] += coefficient * st[j];
  }
  for (int32_t j = 0; j < ns; ++j) pS[j] = -pS[j];
}

}  // namespace kavro
