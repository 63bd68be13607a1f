// The B-S factorization: among the current basic and superbasic variables, the ones whose
// columns form the best-conditioned basis are chosen by a rank factorization of the transposed
// columns, so that a nearly singular basis can hand its weak columns to the superbasic set.

#include <algorithm>

#include "io/units.hpp"
#include "lu/basis_manager.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

int64_t entriesOf(const Problem& prob, const std::vector<int32_t>& vars) {
  int64_t count = 0;
  for (int32_t j : vars) count += j >= prob.n ? 1 : prob.a.colStart[j + 1] - prob.a.colStart[j];
  return count;
}

// One row per variable (basics first, then superbasics), one column per constraint row.
int32_t assembleTransposed(const Problem& prob, const std::vector<int32_t>& vars, BasisLU& lu) {
  double* a = lu.entries();
  int32_t* indc = lu.entryRows();
  int32_t* indr = lu.entryCols();
  int32_t nelem = 0;
  for (size_t k = 0; k < vars.size(); ++k) {
    const int32_t j = vars[k];
    if (j >= prob.n) {
      a[nelem] = 1.0;
      indc[nelem] = static_cast<int32_t>(k);
      indr[nelem] = j - prob.n;
      ++nelem;
      continue;
    }
    const size_t uj = static_cast<size_t>(j);
    for (int32_t e = prob.a.colStart[uj]; e < prob.a.colStart[uj + 1]; ++e) {
      a[nelem] = prob.a.value[e];
      indc[nelem] = static_cast<int32_t>(k);
      indr[nelem] = prob.a.row[e];
      ++nelem;
    }
  }
  return nelem;
}

}  // namespace

int32_t chooseBasicAndSuperbasics(BasisSet& b, BasisLU& lu, Parameters& params, const ReportChannels& out,
                                  std::vector<int32_t>& scratch) {
  const Problem& prob = *b.prob;
  const int32_t m = prob.m, ns = *b.ns;
  if (ns <= 0) return 0;
  auto& list = *b.basisList;
  auto& hs = *b.hs;
  buildBasicList(hs, m, list);
  // Candidates: every basic variable (index order), then the superbasics in their order.
  scratch.clear();
  for (int32_t k = 0; k < m; ++k)
    if (list[k] >= 0) scratch.push_back(list[k]);
  const int32_t basics = static_cast<int32_t>(scratch.size());
  for (int32_t k = 0; k < ns; ++k) scratch.push_back(list[m + k]);
  const int32_t rows = static_cast<int32_t>(scratch.size());
  // Without room for the entries the sets stay as they are, like after a failed rank check.
  if (entriesOf(prob, scratch) > lu.lena()) return 0;
  const int32_t nelem = assembleTransposed(prob, scratch, lu);
  const int32_t result = lu.rankFactorize(rows, m, nelem, params, out);
  if (result >= 3) return 0;  // the rank check failed: keep the sets as they are

  // The first m pivot rows name the new basic variables.
  const auto& rowPerm = lu.storage().rowPerm;
  std::vector<char> basic(static_cast<size_t>(rows), 0);
  for (int32_t k = 0; k < std::min(m, rows); ++k) basic[rowPerm[k]] = 1;
  int32_t swaps = 0;
  int32_t nsNew = 0;
  // Superbasics that stay superbasic keep their order; former basics join behind them.
  for (int32_t k = basics; k < rows; ++k)
    if (!basic[k]) list[m + nsNew++] = scratch[k];
  for (int32_t k = 0; k < basics; ++k) {
    if (basic[k]) continue;
    const int32_t j = scratch[k];
    hs[j] = kSuperbasic;
    list[m + nsNew++] = j;
    ++swaps;
  }
  for (int32_t k = basics; k < rows; ++k)
    if (basic[k]) hs[scratch[k]] = kBasic;
  *b.ns = nsNew;
  buildBasicList(hs, m, list);
  if (params.debugLevel == 100) printBasicAndSuperbasicValues(b, out);
  return swaps;
}

void printBasicAndSuperbasicValues(const BasisSet& b, const ReportChannels& out) {
  const auto& list = *b.basisList;
  const auto& x = *b.x;
  out.print("%s", " BS and SB values:");
  const int32_t total = b.prob->m + *b.ns;
  for (int32_t k = 0; k < total; ++k) {
    const int32_t j = list[k];
    if (j >= 0) out.print(" %7d %16.8e", j + 1, x[j]);
  }
}

}  // namespace kavro
