#pragma once
// Vector operations shared by the optimizer, the LU package and the reports.
// The four BLAS level-1 operations go to the system CBLAS; the small helpers are ours.
// All take plain pointers and a count so that they can work on slices of larger arrays.

#include <cstdint>

namespace kavro::kernels {

// y := x (n entries, unit stride).
void dcopy(int n, const double* x, double* y);
// x := alpha * x.
void dscal(int n, double alpha, double* x);
// sum |x_i|.
double dasum(int n, const double* x);
// 0-based index of the first entry of largest magnitude; -1 when n <= 0.
int idamax(int n, const double* x);

// x := value.
void fill(int n, double value, double* x);
void fill(int n, int32_t value, int32_t* x);
// y := x for integer vectors.
void icopy(int n, const int32_t* x, int32_t* y);
// x := x / divisor, guarded: when |divisor| is so small that some 1/divisor would overflow
// the entries are scaled one by one with a saturated quotient instead.
void scaleByReciprocal(int n, double divisor, double* x);
// max |x_i|; 0 for n <= 0.
double maxNorm(int n, const double* x);

}  // namespace kavro::kernels
