// lu_identity BASIS.mtx[.gz] [REPLACEMENTS.mtx[.gz]]
//
// Fingerprints of everything TRIAX computes on one basis, under eight settings: the result
// code, both parameter vectors, the permutations, the rows of U in pivot order and the columns
// of L (values and indices in storage order), the column marks and line lengths, then the codes,
// diagonals and norms of the replacement sequence with the factors it leaves, and dense solves
// before and after it. Speed work on the package must leave every line unchanged:
// bench/lu_identity.sh runs this over all bases and compares with the reference file taken from
// the build before the work. The sparse solves are compared with the dense ones on the way, bit
// for bit, before and after every replacement (B x = a_q for the entering columns, B' y = e_r for
// their positions); any difference makes the exit status 3.
//
// Prints one line per setting: basis, setting, factorization code, and three 64-bit hashes
// (factors, replacement sequence, solves).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "lu/lu_factors.hpp"

namespace {

using kavro::bench::CooMatrix;
using kavro::lu::LuParams;
using kavro::lu::LuStorage;

// FNV-1a over the bytes of what is added.
struct Hash {
  uint64_t h = 1469598103934665603ULL;
  void bytes(const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    for (size_t k = 0; k < n; ++k) h = (h ^ c[k]) * 1099511628211ULL;
  }
  template <class T>
  void add(const T& v) {
    bytes(&v, sizeof v);
  }
  template <class T>
  void add(const T* p, size_t n) {
    bytes(p, n * sizeof(T));
  }
};

struct Setting {
  const char* name;
  int32_t rule;
  double factorTol;
  int32_t maxSearch;
  double dropTol;
  double dens1, dens2;
  bool keep;
  int32_t lenaKind;  // 0 generous, 1 tight (forces compressions)
};

// The settings the optimizer uses for a linear problem, its fallbacks, the rank check, and
// variations that exercise drops, compressions, the search length and the dense switch.
const Setting kSettings[] = {
    {"lp", kavro::lu::kPartial, 100.0, 5, 3.0002136e-13, 0.3, 0.5, true, 0},
    {"tpp10", kavro::lu::kPartial, 10.0, 5, 3.0002136e-13, 0.3, 0.5, true, 0},
    {"trp10", kavro::lu::kRook, 10.0, 5, 3.0002136e-13, 0.3, 0.5, true, 0},
    {"tcp10", kavro::lu::kComplete, 10.0, 5, 3.0002136e-13, 0.3, 0.5, true, 0},
    {"rank", kavro::lu::kPartial, 1.9, 5, 3.0002136e-13, 0.3, 0.5, false, 0},
    {"tight", kavro::lu::kPartial, 100.0, 5, 3.0002136e-13, 0.3, 0.5, true, 1},
    {"drop", kavro::lu::kPartial, 100.0, 5, 1e-3, 0.3, 0.5, true, 0},
    {"search1", kavro::lu::kPartial, 4.0, 1, 3.0002136e-13, 0.6, 1.0, true, 0},
};

LuParams paramsFor(const Setting& s) {
  LuParams p;
  p.printUnit() = 0;
  p.printLevel() = -1;
  p.maxSearch() = s.maxSearch;
  p.pivotRule() = s.rule;
  p.keepFactors() = s.keep ? 1 : 0;
  p.factorTol() = s.factorTol;
  p.updateTol() = 10.0;
  p.dropTol() = s.dropTol;
  p.absSingularTol() = 3.2517e-11;
  p.relSingularTol() = 3.2517e-11;
  p.spaceFactor() = 3.0;
  p.density1() = s.dens1;
  p.density2() = s.dens2;
  return p;
}

// The factors as the solves see them: U rows in pivot order, L columns and appended entries.
void hashFactors(Hash& h, int32_t m, int32_t n, const LuParams& p, const LuStorage& lu) {
  h.add(p.ip.data(), p.ip.size());
  h.add(p.rp.data(), p.rp.size());
  h.add(lu.rowPerm.data(), m);
  h.add(lu.colPerm.data(), n);
  if (p.ip[8] == 0) return;
  for (int32_t k = 0; k < m; ++k) {
    const int32_t i = lu.rowPerm[k];
    const int32_t len = k < p.ip[16] ? lu.rowLength[i] : 0;
    h.add(len);
    h.add(lu.indr.data() + lu.rowStart[i], len);
    h.add(lu.a.data() + lu.rowStart[i], len);
  }
  const int32_t lenL = p.ip[23];
  h.add(lu.lColumnStart.data(), p.ip[20] + 1);
  h.add(lu.a.data() + lu.lena - lenL, lenL);
  h.add(lu.indc.data() + lu.lena - lenL, lenL);
  h.add(lu.indr.data() + lu.lena - lenL, lenL);
  h.add(lu.luWork.data(), n);
  h.add(lu.colLength.data(), n);
  h.add(lu.rowLength.data(), m);
}

void hashSolves(Hash& h, int32_t m, int32_t n, LuParams& p, LuStorage& lu) {
  const std::vector<double> b = kavro::bench::randomRhs(m, 12345);
  std::vector<double> v = b, w(n), c = b, y(m);
  h.add(kavro::lu::solveWithFactors(5, m, n, v.data(), w.data(), p, lu));
  h.add(w.data(), n);
  h.add(kavro::lu::solveWithFactors(6, m, n, y.data(), c.data(), p, lu));
  h.add(y.data(), m);
}

using kavro::kernels::SparseVector;

// Entries of the list invariant broken: a nonzero not listed, or a position listed twice.
int32_t listFaults(const SparseVector& x) {
  if (!x.listed()) return 0;
  std::vector<char> seen(x.value.size(), 0);
  int32_t faults = 0;
  for (int32_t k = 0; k < x.count; ++k) faults += seen[x.index[k]]++ != 0;
  for (size_t i = 0; i < x.value.size(); ++i) faults += x.value[i] != 0.0 && !seen[i];
  return faults;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b, size_t len) {
  return std::memcmp(a.data(), b.data(), len * sizeof(double)) == 0;
}

// The sparse solves against the dense ones, bit for bit: B x = a_q for the entering columns
// (with the L-part) and B' y = e_r for their positions. Returns the number of differences. The
// solves report on a copy of the parameters (the U-solve residual), as the fingerprints cover them.
int32_t sparseMismatches(int32_t m, int32_t n, const LuParams& params, LuStorage& lu,
                         const std::vector<std::vector<double>>& entering, const std::vector<int32_t>& positions) {
  LuParams p = params;
  int32_t bad = 0;
  SparseVector v, w;
  v.resize(m);
  w.resize(n);
  for (size_t s = 0; s < entering.size(); ++s) {
    std::vector<double> dv = entering[s], dw(n, 0.0);
    kavro::lu::solveWithFactors(5, m, n, dv.data(), dw.data(), p, lu);
    v.clear();
    for (int32_t i = 0; i < m; ++i)
      if (entering[s][i] != 0.0) v.add(i, entering[s][i]);
    kavro::lu::solveSparse(5, m, n, v, w, p, lu);
    bad += !sameBits(v.value, dv, m) + !sameBits(w.value, dw, n) + listFaults(v) + listFaults(w);
    std::vector<double> ey(m, 0.0), er(n, 0.0);
    er[positions[s]] = 1.0;
    kavro::lu::solveWithFactors(6, m, n, ey.data(), er.data(), p, lu);
    w.clear();
    v.clear();
    w.add(positions[s], 1.0);
    kavro::lu::solveSparse(6, m, n, v, w, p, lu);
    bad += !sameBits(v.value, ey, m) + listFaults(v) + (w.count != 0);
    for (int32_t j = 0; j < n; ++j) bad += w.value[j] != 0.0;
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lu_identity BASIS.mtx[.gz] [REPLACEMENTS.mtx[.gz]]\n");
    return 2;
  }
  CooMatrix B, R;
  if (std::string err = kavro::bench::readMatrixMarket(argv[1], B); !err.empty()) {
    std::fprintf(stderr, "lu_identity: %s\n", err.c_str());
    return 1;
  }
  std::vector<int32_t> positions;
  if (argc > 2) {
    if (std::string err = kavro::bench::readMatrixMarket(argv[2], R); !err.empty()) {
      std::fprintf(stderr, "lu_identity: %s\n", err.c_str());
      return 1;
    }
    positions = kavro::bench::replacementPositions(R);
  }
  const int32_t m = B.rows, n = B.cols;
  const int32_t nnz = static_cast<int32_t>(B.value.size());
  std::string name = argv[1];
  name = name.substr(name.find_last_of('/') + 1);
  name.resize(name.find(".mtx"));
  std::vector<std::vector<double>> entering(positions.size(), std::vector<double>(m, 0.0));
  for (size_t k = 0; k < R.value.size(); ++k) entering[R.col[k]][R.row[k]] = R.value[k];

  int32_t sparseBad = 0;
  for (const Setting& s : kSettings) {
    LuParams p = paramsFor(s);
    LuStorage lu;
    const int32_t lena = s.lenaKind == 0 ? 10 * nnz + 20 * m + 10000 : 3 * nnz + 2 * (m + n) + 200;
    lu.resize(m, n, lena);
    std::copy(B.value.begin(), B.value.end(), lu.a.begin());
    std::copy(B.row.begin(), B.row.end(), lu.indc.begin());
    std::copy(B.col.begin(), B.col.end(), lu.indr.begin());
    int32_t nelem = nnz;
    const int32_t code = kavro::lu::lu1fac(m, n, nelem, p, lu, nullptr);
    Hash factors, sequence, solves;
    factors.add(code);
    factors.add(nelem);
    hashFactors(factors, m, n, p, lu);
    const bool usable = s.keep && (code == 0 || code == 1);
    if (usable) {
      hashSolves(solves, m, n, p, lu);
      bool intact = true;  // a failed replacement leaves factors that must be recomputed
      for (size_t k = 0; k < positions.size() && intact; ++k) {
        sparseBad += sparseMismatches(m, n, p, lu, entering, positions);
        std::vector<double> v = entering[k];
        double diag = 0, vnorm = 0;
        const int32_t rc = kavro::lu::lu8rpc(1, 1, m, n, positions[k], v.data(), nullptr, p, lu, nullptr, diag, vnorm);
        sequence.add(rc);
        sequence.add(diag);
        sequence.add(vnorm);
        intact = rc < 2;
      }
      hashFactors(sequence, m, n, p, lu);
      if (intact) {
        hashSolves(solves, m, n, p, lu);
        sparseBad += sparseMismatches(m, n, p, lu, entering, positions);
      }
    }
    std::printf("%s\t%s\t%d\t%016llx\t%016llx\t%016llx\n", name.c_str(), s.name, code,
                static_cast<unsigned long long>(factors.h), static_cast<unsigned long long>(sequence.h),
                static_cast<unsigned long long>(solves.h));
  }
  if (sparseBad > 0) {
    std::fprintf(stderr, "lu_identity: %s: %d differences between sparse and dense solves\n", name.c_str(), sparseBad);
    return 3;
  }
  return 0;
}
