#include "kernels/vector_ops.hpp"

#include <cblas.h>

#include <cmath>
#include <limits>

namespace kavro::kernels {

void dcopy(int n, const double* x, double* y) {
  if (n > 0) cblas_dcopy(n, x, 1, y, 1);
}

void dscal(int n, double alpha, double* x) {
  if (n > 0) cblas_dscal(n, alpha, x, 1);
}

double dasum(int n, const double* x) { return n > 0 ? cblas_dasum(n, x, 1) : 0.0; }

int idamax(int n, const double* x) { return n > 0 ? static_cast<int>(cblas_idamax(n, x, 1)) : -1; }

void fill(int n, double value, double* x) {
  for (int i = 0; i < n; ++i) x[i] = value;
}

void fill(int n, int32_t value, int32_t* x) {
  for (int i = 0; i < n; ++i) x[i] = value;
}

void icopy(int n, const int32_t* x, int32_t* y) {
  for (int i = 0; i < n; ++i) y[i] = x[i];
}

void scaleByReciprocal(int n, double divisor, double* x) {
  constexpr double kHuge = std::numeric_limits<double>::max();
  const double absDivisor = std::fabs(divisor);
  if (absDivisor > 1.0 / kHuge * 4.0) {
    dscal(n, 1.0 / divisor, x);
    return;
  }
  // A tiny divisor: divide entry by entry and saturate instead of producing infinities.
  for (int i = 0; i < n; ++i) {
    const double xi = x[i];
    if (xi == 0.0) continue;
    if (std::fabs(xi) >= absDivisor * kHuge) {
      x[i] = std::copysign(kHuge, xi) * (divisor < 0 ? -1.0 : 1.0);
    } else {
      x[i] = xi / divisor;
    }
  }
}

double maxNorm(int n, const double* x) {
  const int k = idamax(n, x);
  return k < 0 ? 0.0 : std::fabs(x[k]);
}

}  // namespace kavro::kernels
