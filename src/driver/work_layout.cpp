#include "driver/work_layout.hpp"

#include <algorithm>

#include "specs/parameters.hpp"

namespace kavro {

namespace {

// Words of the optimizer's own regions, in their fixed order.
int64_t optimizerRegionWords(const Parameters& p, int64_t m, int64_t n, int64_t nJac, int64_t L, int64_t h) {
  const int64_t S = p.superbasicsLimit;
  const int64_t nb = m + n;
  const int64_t N = nonlinearVariables(p);
  const int64_t V = std::max(L, N);
  const int64_t C = p.nonlinearConstraints;
  const int64_t J = std::max<int64_t>(1, nJac);
  const int64_t nObj = p.nonlinearObjectiveVars;

  int64_t words = 0;
  words += packedIntegerWords(L);       // basis list
  words += packedIntegerWords(L);       // basis list companion
  words += p.scaleOption > 0 ? nb : 1;  // scale factors
  words += 2 * V;                       // two work vectors
  words += p.scaleOption >= 2 ? N : 0;  // extra scaling vector
  words += 2 * V;                       // two work vectors
  words += N;                           // work vector
  words += L;                           // work vector
  words += h * (h + 1) / 2 + S - h;     // reduced-Hessian factor
  words += 2 * S;                       // superbasic work vectors
  words += 2 * nObj;                    // objective-gradient vectors
  words += 6 * C;                       // nonlinear-constraint vectors
  words += C > 0 ? m : 0;               // row vector
  words += C;                           // nonlinear-constraint vector
  words += 2 * J;                       // Jacobian vectors
  words += C > 0 ? 2 * nb : 0;          // full-length vectors
  words += 3 * L;                       // work vectors
  return words;
}

// The LU package's index vectors: ten integer vectors sized for the largest matrix it is
// asked to factorize (L rows for the basic-superbasic rank check), and one real vector.
int64_t luIndexRegionWords(int64_t L) { return 10 * packedIntegerWords(L) + L; }

}  // namespace

WorkLayout computeWorkLayout(const Parameters& p, int32_t m, int32_t n, int32_t nElements, int32_t nJacElements,
                             int64_t workLength) {
  WorkLayout w;
  const int64_t L = static_cast<int64_t>(m) + p.superbasicsLimit;
  w.basisListLength = L;
  w.hessianOrder = std::max<int64_t>(1, p.hessianDimension);
  w.nJacElements = nJacElements;
  w.luIndexWords = luIndexRegionWords(L);
  w.wordsBeforeFactors = p.workspaceUser + optimizerRegionWords(p, m, n, nJacElements, L, w.hessianOrder) +
                         w.luIndexWords;

  // s is the first (1-based) word of the element area; each element needs a real word and two
  // indices packed by nwordh.
  const int64_t s = w.wordsBeforeFactors + 1;
  const int64_t nwordh = p.machine.nwordh;
  const int64_t R = workLength - s - 1;
  w.factorElements = R > 0 ? R * nwordh / (nwordh + 2) : 0;
  w.factorElementsAllowed = std::max<int64_t>(0, w.factorElements - 1);

  const int64_t nb = static_cast<int64_t>(m) + n;
  const int64_t density = std::max<int64_t>(n > 0 ? nElements / n : 0, 10);
  const int64_t E = nb + 6 * density * std::min<int64_t>(n, L) + 10000;
  w.minFactorElements = E;
  w.minWorkWords = s + E + 2 * E / nwordh;
  return w;
}

}  // namespace kavro
