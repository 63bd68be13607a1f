// luCheckSingularity: measures the diagonal of U against the largest entry of its column and
// flags the pivots that are too small.
#include <algorithm>
#include <cmath>
#include <limits>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {
namespace {

// The column measures of U when the rows were not moved into place (no factors kept, or no room).
UColumnMeasures measureColumnsOfU(int32_t n, int32_t rank, LuStorage& lu) {
  double* work = lu.luWork.data();
  int32_t* colLen = lu.colLength.data();
  std::fill(work, work + n, 0.0);
  std::fill(colLen, colLen + n, 0);
  double dumax = 0.0;
  for (int32_t k = 0; k < rank; ++k) {
    const int32_t i = lu.rowPerm[k];
    const int32_t rs = lu.rowStart[i];
    for (int32_t e = rs; e < rs + lu.rowLength[i]; ++e) {
      const int32_t j = lu.indr[e];
      work[j] = std::max(work[j], std::fabs(lu.a[e]));
      ++colLen[j];
    }
    dumax = std::max(dumax, std::fabs(lu.a[rs]));
  }
  return {true, dumax};
}

}  // namespace

int32_t luCheckSingularity(int32_t m, int32_t n, LuParams& params, LuStorage& lu, const Printer& print,
                           const UColumnMeasures& measures) {
  const int32_t rank = params.rank();
  double* work = lu.luWork.data();
  const double dumax = measures.measured ? measures.dumax : measureColumnsOfU(n, rank, lu).dumax;
  double absTol = params.absSingularTol();
  const double relTol = params.relSingularTol();
  if (params.pivotRule() == kRook) absTol = std::max(absTol, relTol * dumax);

  double dumin = std::numeric_limits<double>::infinity();
  int32_t nsing = 0, jsing = -1, jumin = -1;
  for (int32_t k = 0; k < rank; ++k) {
    const int32_t j = lu.colPerm[k];
    const double diag = std::fabs(lu.a[lu.rowStart[lu.rowPerm[k]]]);
    if (diag < dumin) {
      dumin = diag;
      jumin = j;
    }
    if (diag <= absTol || diag <= relTol * work[j]) {
      work[j] = -work[j];
      ++nsing;
      jsing = j;
    }
  }
  // Columns that received no pivot are dependent on the others.
  for (int32_t k = rank; k < n; ++k) {
    const int32_t j = lu.colPerm[k];
    work[j] = -work[j];
    ++nsing;
    jsing = j;
  }
  if (rank < std::min(m, n) || rank == 0) {
    dumin = 0.0;
    if (rank < n && rank < m) jumin = lu.colPerm[rank];
  }
  params.dumax() = dumax;
  params.dumin() = dumin;
  params.nsing() = nsing;
  params.lastSingular() = jsing;
  params.minDiagColumn() = jumin;
  if (nsing == 0) return kFactorOk;
  const char shape = m > n ? '>' : (m == n ? '=' : '<');
  print.line(0, " Singular(m%cn)  rank%9d  n-rank%8d  nsing%9d", shape, rank, n - rank, nsing);
  return kFactorSingular;
}

}  // namespace kavro::lu::detail
