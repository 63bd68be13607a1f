#pragma once
// A limited-memory quasi-Newton approximation of the reduced Hessian, for subspaces too large for
// a dense triangular factor: the last few steps and gradient changes (s, y) in the coordinates of
// the superbasic variables, applied by the two-loop recursion with an initial scaling
// gamma = s'y / y'y of the latest pair. Its cost per iteration is proportional to the number of
// superbasics times the number of pairs kept, where the dense factor's is the square of its order.
//
// The pairs live in the superbasics' coordinates, so they follow the superbasic set: a new
// superbasic gets a zero component in every pair, a leaving one loses its component; a change of
// the null-space basis itself (a superbasic replacing a basic variable, a new choice of basic
// columns) makes them meaningless, and they are forgotten.
//
// Indices are 0-based; ns is the current number of superbasics. All storage is sized once.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

class LimitedMemoryHessian {
 public:
  // memory: pairs kept (>= 1); maxS: the superbasics limit.
  void resize(int32_t memory, int32_t maxS);
  int32_t memory() const { return memory_; }
  int32_t pairs() const { return count_; }

  void reset() { count_ = 0; }
  // Superbasic ns-1 (ns after the increment) is new.
  void addColumn(int32_t ns);
  // Superbasic k leaves (ns before the decrement); the later ones move up.
  void deleteColumn(int32_t k, int32_t ns);
  // Superbasics j and k change places.
  void swapColumns(int32_t j, int32_t k);
  // Keeps the pair (alpha p, g2 - g1) when it shows enough curvature (c = g2'p > 0.91 g1'p);
  // returns 1 when kept, else 0 (the log's "Hmod").
  int update(int32_t ns, const double* g1, const double* g2, const double* p, double alpha);
  // pS = -H rg over the ns superbasics (rg and pS may not alias).
  void direction(int32_t ns, const double* rg, double* pS) const;

 private:
  double* s(int32_t k) { return s_.data() + static_cast<size_t>(k) * stride_; }
  double* y(int32_t k) { return y_.data() + static_cast<size_t>(k) * stride_; }
  const double* s(int32_t k) const { return s_.data() + static_cast<size_t>(k) * stride_; }
  const double* y(int32_t k) const { return y_.data() + static_cast<size_t>(k) * stride_; }
  // Slot of the i-th newest pair (i = 0 the newest).
  int32_t slot(int32_t i) const { return (newest_ - i + memory_) % memory_; }

  int32_t memory_ = 0, stride_ = 0;
  int32_t count_ = 0, newest_ = -1;
  std::vector<double> s_, y_, rho_;
  mutable std::vector<double> alpha_;
};

}  // namespace kavro
