// lu8rpc: replaces one column of A while keeping P A Q = L U.
//
// The replaced column moves to the last column position and its row of U (the row that had the
// old column as its pivot) to the last pivot position. The new column's L-solved entries go into
// the other rows of U; the moved row becomes a spike that is eliminated against the rows between,
// with row interchanges whenever a multiplier would exceed the update tolerance. Components of
// the new column in rows beyond the rank can raise the rank by one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernels/branchless.hpp"
#include "lu/lu_sparse_index.hpp"
#include "lu/lu_update_file.hpp"

namespace kavro::lu {
namespace {

using detail::kFree;
using detail::Printer;
using detail::UpdateFile;

// Sets the entries of v (m) of magnitude at most tol to +0 and returns the largest magnitude
// left. Which entries are small is irregular, so they are cleared without a branch (a NaN stays,
// as no maximum takes it); the largest is kept in four partial maxima, which give the same value
// in any order.
double dropSmallEntries(double* v, int32_t m, double tol) {
  double largest[4] = {0.0, 0.0, 0.0, 0.0};
  int32_t i = 0;
  for (; i + 4 <= m; i += 4) {
    for (int32_t t = 0; t < 4; ++t) {
      v[i + t] = kernels::keepIf(!(std::fabs(v[i + t]) <= tol), v[i + t]);
      largest[t] = std::max(largest[t], std::fabs(v[i + t]));
    }
  }
  for (; i < m; ++i) {
    v[i] = kernels::keepIf(!(std::fabs(v[i]) <= tol), v[i]);
    largest[0] = std::max(largest[0], std::fabs(v[i]));
  }
  return std::max(std::max(largest[0], largest[1]), std::max(largest[2], largest[3]));
}

struct Replace {
  int32_t m, n, jrep;
  LuParams& p;
  LuStorage& lu;
  UpdateFile& file;
  double tol, utol;
  double* spike;  // n: the spike row, dense by column
  int32_t spikeRow = -1;

  void setRowAt(int32_t k, int32_t i) {
    lu.rowPerm[k] = i;
    lu.rowPermInv[i] = k;
  }
  void setColAt(int32_t k, int32_t j) {
    lu.colPerm[k] = j;
    lu.colPermInv[j] = k;
  }
  void swapColPositions(int32_t k1, int32_t k2) {
    const int32_t j1 = lu.colPerm[k1], j2 = lu.colPerm[k2];
    setColAt(k1, j2);
    setColAt(k2, j1);
  }
  void swapRowPositions(int32_t k1, int32_t k2) {
    const int32_t i1 = lu.rowPerm[k1], i2 = lu.rowPerm[k2];
    setRowAt(k1, i2);
    setRowAt(k2, i1);
  }

  // Deletes column jrep from the rows of U up to its own pivot position. The sparse solves'
  // column list of jrep, when it is kept, names every row that may hold it (and perhaps rows
  // that no longer do, which find nothing), so only those rows are searched; otherwise all of
  // them are, which reads most of U.
  void deleteOldColumn(int32_t krep, int32_t rank) {
    const int32_t last = std::min(krep, rank - 1);
    const SparseSolveIndex& x = lu.sparse;
    if (x.state == 1) {
      for (int32_t q = x.uColStart[jrep], qe = q + x.uColLength[jrep]; q < qe; ++q) {
        const int32_t i = x.arena[q];
        if (lu.rowPermInv[i] <= last) deleteFromRow(i);
      }
    } else {
      for (int32_t k = 0; k <= last; ++k) deleteFromRow(lu.rowPerm[k]);
    }
    file.trim();
  }
  void deleteFromRow(int32_t i) {
    double* a = file.a();
    int32_t* indr = file.indr();
    const int32_t rs = lu.rowStart[i], re = rs + lu.rowLength[i];
    for (int32_t e = rs; e < re; ++e) {
      if (indr[e] != jrep) continue;
      a[e] = a[re - 1];
      indr[e] = indr[re - 1];
      indr[re - 1] = kFree;
      --lu.rowLength[i];
      --p.lenU();
      return;
    }
  }

  // Cyclic shifts: row position krep to rank-1 (when krep is a pivot), column krep to n-1.
  void moveToEnd(int32_t krep, int32_t rank) {
    if (krep < rank) {
      const int32_t irep = lu.rowPerm[krep];
      for (int32_t k = krep; k < rank - 1; ++k) setRowAt(k, lu.rowPerm[k + 1]);
      setRowAt(rank - 1, irep);
    }
    for (int32_t k = krep; k < n - 1; ++k) setColAt(k, lu.colPerm[k + 1]);
    setColAt(n - 1, jrep);
  }

  // Writes the spike's entries at column positions >= from as row spikeRow, the entry of
  // column `lead` first. Returns false on lack of storage.
  bool storeSpike(int32_t from, int32_t lead) {
    int32_t len = 0;
    for (int32_t k = from; k < n; ++k) len += std::fabs(spike[lu.colPerm[k]]) > tol;
    if (lead >= 0 && std::fabs(spike[lead]) <= tol) ++len;
    const int32_t start = file.newRow(spikeRow, len);
    if (start < 0) return false;
    double* a = file.a();
    int32_t* indr = file.indr();
    int32_t e = start;
    if (lead >= 0) {
      a[e] = spike[lead];
      indr[e++] = lead;
    }
    for (int32_t k = from; k < n; ++k) {
      const int32_t j = lu.colPerm[k];
      if (j == lead || std::fabs(spike[j]) <= tol) continue;
      a[e] = spike[j];
      indr[e++] = j;
    }
    lu.rowLength[spikeRow] = e - start;
    p.lenU() -= len - (e - start);
    detail::noteURow(lu, spikeRow);
    return true;
  }

  // Eliminates the spike (row at position rank-1) against the rows at positions krep..rank-2.
  // Returns 0, or 7 on lack of storage.
  int32_t eliminateSpike(int32_t krep, int32_t rank) {
    double* a = file.a();
    int32_t* indr = file.indr();
    for (int32_t l = krep; l < rank - 1; ++l) {
      const int32_t j = lu.colPerm[l];
      const double x = spike[j];
      if (std::fabs(x) <= tol) {
        spike[j] = 0.0;
        continue;
      }
      const int32_t il = lu.rowPerm[l];
      int32_t rs = lu.rowStart[il];
      const double u = a[rs];
      if (std::fabs(x) <= utol * std::fabs(u)) {
        const double mult = x / u;
        for (int32_t e = rs; e < rs + lu.rowLength[il]; ++e) spike[indr[e]] -= mult * a[e];
        spike[j] = 0.0;
        if (!file.appendL(mult, spikeRow, il)) return 7;
        continue;
      }
      // Interchange: the spike becomes the row at position l; the old row, less a multiple of
      // the spike, becomes the new spike.
      const double mult = u / x;
      const int32_t oldSpike = spikeRow;
      if (!storeSpike(l, j)) return 7;
      rs = lu.rowStart[il];
      for (int32_t k = l; k < n; ++k) spike[lu.colPerm[k]] *= -mult;
      for (int32_t e = rs; e < rs + lu.rowLength[il]; ++e) spike[indr[e]] += a[e];
      spike[j] = 0.0;
      file.freeRow(il);
      swapRowPositions(l, rank - 1);
      spikeRow = il;
      if (!file.appendL(mult, il, oldSpike)) return 7;
    }
    return 0;
  }
};

void message(const Printer& pr, const char* text, int32_t jrep, double diag) {
  pr.line(0, " lu8rpc  warning.  %s", text);
  pr.line(0, " jrep =%8d  diag =%12.2e", jrep + 1, diag);
}

}  // namespace

int32_t lu8rpc(int32_t oldColumnOption, int32_t newColumnOption, int32_t m, int32_t n, int32_t jrep, double* v,
               double* /*w*/, LuParams& params, LuStorage& lu, UnitTable* units, double& diag, double& vnorm) {
  const Printer pr{units, params.printUnit(), params.printLevel()};
  diag = 0.0;
  vnorm = 0.0;
  if (jrep < 0 || jrep >= n || m < 0 || m > lu.maxRows || n > lu.maxCols) {
    pr.line(0, " lu8rpc  error...  jrep  is out of range.");
    pr.line(0, " m =%8d  n =%8d  jrep =%8d", m, n, jrep + 1);
    return params.result() = 8;
  }
  UpdateFile file(m, params, lu, pr);
  Replace r{m,
            n,
            jrep,
            params,
            lu,
            file,
            std::max(params.dropTol(), 0.0),
            std::max(params.updateTol(), 1.0),
            lu.workReal2.data()};
  const double absTol = params.absSingularTol(), relTol = params.relSingularTol();
  const int32_t rank0 = params.rank();
  int32_t rank = rank0;
  const int32_t krep = lu.colPermInv[jrep];
  auto fail = [&](int32_t code) {
    if (code == 7) {
      pr.line(0, " lu8rpc  error...  Insufficient storage.");
      pr.line(0, " lena =%10d", lu.lena);
    }
    ++params.replacements();
    return params.result() = code;
  };

  if (oldColumnOption == 1) r.deleteOldColumn(krep, rank);
  detail::clearUColumn(lu, jrep);  // no entries of column jrep remain in U
  if (newColumnOption == 0) std::fill(v, v + m, 0.0);
  if (newColumnOption == 1) solveWithFactors(1, m, n, v, nullptr, params, lu);
  vnorm = dropSmallEntries(v, m, r.tol);

  r.moveToEnd(krep, rank);
  const bool hadPivot = krep < rank;
  const int32_t nkeep = hadPivot ? rank - 1 : rank;  // rows whose pivots stay
  for (int32_t k = 0; k < nkeep; ++k) {
    const int32_t i = lu.rowPerm[k];
    if (v[i] != 0.0 && !file.append(i, v[i], jrep)) return fail(7);
  }

  double* spike = r.spike;
  std::fill(spike, spike + n, 0.0);
  if (hadPivot) {
    r.spikeRow = lu.rowPerm[rank - 1];
    const int32_t rs = lu.rowStart[r.spikeRow];
    for (int32_t e = rs; e < rs + lu.rowLength[r.spikeRow]; ++e) spike[lu.indr[e]] = lu.a[e];
    spike[jrep] = v[r.spikeRow];
    file.freeRow(r.spikeRow);
    if (const int32_t code = r.eliminateSpike(krep, rank); code != 0) return fail(code);
  }

  // Largest component of the new column beyond the rank, if it is not negligible.
  int32_t ibest = -1;
  double vbest = 0.0;
  for (int32_t k = rank; k < m; ++k) {
    const int32_t i = lu.rowPerm[k];
    if (std::fabs(v[i]) > vbest) {
      vbest = std::fabs(v[i]);
      ibest = i;
    }
  }
  if (ibest >= 0 && (vbest <= absTol || vbest <= relTol * vnorm)) ibest = -1;

  if (ibest < 0) {
    if (hadPivot) {
      diag = spike[jrep];
      if (vnorm < relTol * std::fabs(diag)) {
        message(pr, "Instability after replacing column.", jrep, diag);
        return fail(2);
      }
      const bool negligible = std::fabs(diag) <= absTol || std::fabs(diag) <= relTol * vnorm;
      if (!r.storeSpike(rank - 1, negligible ? -1 : jrep)) return fail(7);
      if (negligible) {
        double d = 0.0;
        const int32_t code = lu7rnk(m, n, jrep, params, lu, d);
        if (code == 1) return fail(8);
        diag = d;
      } else {
        r.swapColPositions(rank - 1, n - 1);
      }
    }
  } else {
    // Pivot the new column on row ibest at position nkeep; its other components beyond the rank
    // and the spike's entry in the new column are eliminated with multipliers based on it.
    const double vp = v[ibest];
    diag = vp;
    for (int32_t k = rank; k < m; ++k) {
      const int32_t i = lu.rowPerm[k];
      if (i == ibest || v[i] == 0.0) continue;
      if (!file.appendL(v[i] / vp, i, ibest)) return fail(7);
    }
    if (hadPivot && spike[jrep] != 0.0) {
      const double mult = spike[jrep] / vp;
      if (std::fabs(mult) > r.utol) {
        message(pr, "Instability after replacing column.", jrep, diag);
        return fail(2);
      }
      if (!file.appendL(mult, r.spikeRow, ibest)) return fail(7);
      spike[jrep] = 0.0;
    }
    const int32_t start = file.newRow(ibest, 1);
    if (start < 0) return fail(7);
    lu.a[start] = vp;
    lu.indr[start] = jrep;
    detail::noteUEntry(lu, ibest, jrep);
    r.swapRowPositions(nkeep, lu.rowPermInv[ibest]);
    r.swapColPositions(nkeep, n - 1);
    rank = nkeep + 1;
    params.rank() = rank;
    if (hadPivot) {
      // The rest of the spike may still carry a pivot in a column beyond the rank.
      r.swapRowPositions(rank, lu.rowPermInv[r.spikeRow]);
      if (!r.storeSpike(rank, -1)) return fail(7);
      params.rank() = rank + 1;
      double d = 0.0;
      if (lu7rnk(m, n, jrep, params, lu, d) == 1) return fail(8);
    }
  }

  rank = params.rank();
  ++params.replacements();
  int32_t code = 0;
  if (rank < rank0) {
    code = -1;
    if (rank0 == n) message(pr, "Singularity after replacing column.", jrep, diag);
  } else if (rank > rank0) {
    code = 1;
  }
  return params.result() = code;
}

}  // namespace kavro::lu
