#pragma once
// Random sparse problems for the tests of the pricing machinery.

#include <random>

#include "kavro/problem.hpp"

namespace kavro::test_support {

// A random sparse m x n matrix with every column nonzero, bounds [0, 10] everywhere.
inline Problem randomProblem(int32_t m, int32_t n, double density, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> value(-2.0, 2.0), coin(0.0, 1.0);
  Problem p;
  p.m = m;
  p.n = n;
  p.a.colStart.push_back(0);
  for (int32_t j = 0; j < n; ++j) {
    const int32_t forced = static_cast<int32_t>(rng() % static_cast<unsigned>(m));
    for (int32_t i = 0; i < m; ++i) {
      if (i != forced && coin(rng) > density) continue;
      p.a.row.push_back(i);
      p.a.value.push_back(value(rng));
    }
    p.a.colStart.push_back(static_cast<int32_t>(p.a.row.size()));
  }
  p.lower.assign(static_cast<size_t>(m + n), 0.0);
  p.upper.assign(static_cast<size_t>(m + n), 10.0);
  return p;
}

}  // namespace kavro::test_support
