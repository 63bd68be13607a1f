// lu7rnk: after a replacement, decides whether the last row of U still carries a pivot.
#include <cmath>
#include <cstdio>
#include <utility>

#include "lu/lu_update_file.hpp"

namespace kavro::lu {

int32_t lu7rnk(int32_t m, int32_t n, int32_t jsing, LuParams& params, LuStorage& lu, double& diag) {
  diag = 0.0;
  const int32_t r = params.rank();
  if (r <= 0) return 0;
  const detail::Printer quiet{};
  detail::UpdateFile file(m, params, lu, quiet);
  const int32_t i = lu.rowPerm[r - 1];
  const int32_t len = lu.rowLength[i];
  if (len == 0) {
    params.rank() = r - 1;
    file.trim();
    return -1;
  }
  const int32_t rs = lu.rowStart[i];
  int32_t emax = rs;
  for (int32_t e = rs + 1; e < rs + len; ++e)
    if (std::fabs(lu.a[e]) > std::fabs(lu.a[emax])) emax = e;
  const int32_t jmax = lu.indr[emax];
  const int32_t kmax = lu.colPermInv[jmax];
  if (kmax < r - 1 || kmax >= n) {
    std::printf("Fatal error in TRIAX lu7rnk\n");
    return 1;
  }
  // The largest entry becomes the diagonal: its column moves to position r-1.
  const int32_t jr = lu.colPerm[r - 1];
  lu.colPerm[r - 1] = jmax;
  lu.colPermInv[jmax] = r - 1;
  lu.colPerm[kmax] = jr;
  lu.colPermInv[jr] = kmax;
  std::swap(lu.a[rs], lu.a[emax]);
  std::swap(lu.indr[rs], lu.indr[emax]);
  diag = lu.a[rs];
  if (std::fabs(diag) > params.absSingularTol() && jmax != jsing) return 0;
  params.rank() = r - 1;
  file.freeRow(i);
  file.trim();
  return -1;
}

}  // namespace kavro::lu
