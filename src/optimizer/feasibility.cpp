#include "optimizer/feasibility.hpp"

#include "setup/problem_statistics.hpp"

namespace kavro {

void Feasibility::count(int32_t m, const int32_t* basic, const double* x, const double* lower, const double* upper,
                        double tolerance) {
  ninf_ = 0;
  sinf_ = 0.0;
  int32_t* marks = marks_.data();
  for (int32_t k = 0; k < m; ++k) {
    const int32_t j = basic[k];
    const double v = x[j], lo = lower[j], up = upper[j];
    int32_t mark = 0;
    if (v < lo - tolerance) {
      mark = -2;
      sinf_ += lo - v;
    } else if (v > up + tolerance) {
      mark = 2;
      sinf_ += v - up;
    }
    if (mark != 0) ++ninf_;
    marks[k] = mark;
  }
}

bool Feasibility::equalityRowsSatisfied(int32_t m, int32_t n, const int32_t* basic,
                                        const std::vector<int32_t>& rowTypes) const {
  const int32_t* marks = marks_.data();
  for (int32_t k = 0; k < m; ++k) {
    const int32_t j = basic[k];
    if (j >= n && rowTypes[j - n] == kEqualityRow && marks[k] != 0) return false;
  }
  return true;
}

}  // namespace kavro
