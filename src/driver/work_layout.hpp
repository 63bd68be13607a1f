#pragma once
// Partition of the optimizer's work storage.
//
// The storage is sized in 8-byte words, as the caller gives it ("Workspace (total)"). The
// optimizer's regions follow the caller's own words in a fixed order; the LU factors take the
// rest. The vectors themselves are allocated as separate typed arrays of exactly these lengths
// (integer vectors take k/2 + 1 words for k entries), but the arithmetic below decides how much
// room the LU factors get and whether a run can start at all.

#include <cstdint>

namespace kavro {

struct Parameters;

struct WorkLayout {
  // Sizes used by the regions.
  int64_t basisListLength = 0;  // L = m + Superbasics limit
  int64_t hessianOrder = 0;     // h = max(1, Hessian dimension)
  int64_t nJacElements = 0;
  // Words used before the element area of the LU factors (caller's words included).
  int64_t wordsBeforeFactors = 0;
  // Words taken by the LU integer index vectors and their real work vector.
  int64_t luIndexWords = 0;
  // Factor elements the work length allows (the count, one of which is kept in reserve).
  int64_t factorElements = 0;
  // Elements the LU factors may use: printed as "Nonzeros allowed for in LU factors".
  int64_t factorElementsAllowed = 0;
  // Least acceptable work length.
  int64_t minWorkWords = 0;
  // The element count the minimum is built around.
  int64_t minFactorElements = 0;
};

// Computes the layout for a problem of m rows, n columns and nElements stored elements after
// parameter completion. workLength is the total length in words.
WorkLayout computeWorkLayout(const Parameters& params, int32_t m, int32_t n, int32_t nElements, int32_t nJacElements,
                             int64_t workLength);

// Words an integer vector of k entries takes in the work storage.
inline int64_t packedIntegerWords(int64_t k) { return k / 2 + 1; }

}  // namespace kavro
