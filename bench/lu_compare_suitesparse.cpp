// lu_compare_suitesparse BASIS.mtx[.gz]
//
// The comparison baseline for lu_bench: times KLU and UMFPACK with their default settings on the
// same basis, the same right-hand side and the same timing rules (thread CPU time, median of 5
// batches of at least 0.2 s, many calls between two clock reads). A fresh factorization counts
// the analysis and the numeric phase, as a new basis needs both. The solves allocate nothing:
// KLU solves in place on a vector made once (the right-hand side is copied into it, as lu_bench
// copies it for TRIAX), UMFPACK solves through umfpack_di_wsolve with workspace made once and
// no iterative refinement. Fill is the number of entries of L below the diagonal plus all of U
// (KLU: plus the off-diagonal blocks of its block triangular form). The last column is the
// cost of one clock read, which timing every call on its own used to add to each call.
#include <klu.h>
#include <umfpack.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lu_compare_suitesparse BASIS.mtx[.gz]\n");
    return 2;
  }
  kavro::bench::CooMatrix coo;
  if (std::string err = kavro::bench::readMatrixMarket(argv[1], coo); !err.empty()) {
    std::fprintf(stderr, "lu_compare_suitesparse: %s\n", err.c_str());
    return 1;
  }
  const kavro::bench::CscMatrix B = kavro::bench::toCsc(coo);
  const int n = B.rows;
  if (B.rows != B.cols) return 1;
  std::vector<int> Ap(B.colStart.begin(), B.colStart.end()), Ai(B.row.begin(), B.row.end());
  const std::vector<double>& Ax = B.value;
  const std::vector<double> b = kavro::bench::randomRhs(n, 12345);
  std::vector<double> x(n);

  // KLU.
  klu_common common;
  klu_defaults(&common);
  klu_symbolic* sym = klu_analyze(n, Ap.data(), Ai.data(), &common);
  klu_numeric* num = sym ? klu_factor(Ap.data(), Ai.data(), const_cast<double*>(Ax.data()), sym, &common) : nullptr;
  if (!num) {
    std::fprintf(stderr, "lu_compare_suitesparse: KLU failed (%d)\n", common.status);
    return 1;
  }
  const long kluFill = static_cast<long>(num->lnz) + num->unz - n + num->nzoff;
  const double kluFactor = kavro::bench::medianMicroseconds([&] {
    klu_symbolic* s = klu_analyze(n, Ap.data(), Ai.data(), &common);
    klu_numeric* f = klu_factor(Ap.data(), Ai.data(), const_cast<double*>(Ax.data()), s, &common);
    klu_free_numeric(&f, &common);
    klu_free_symbolic(&s, &common);
  });
  const double kluSolve = kavro::bench::medianMicroseconds([&] {
    x = b;
    klu_solve(sym, num, n, 1, x.data(), &common);
  });
  const double kluSolveT = kavro::bench::medianMicroseconds([&] {
    x = b;
    klu_tsolve(sym, num, n, 1, x.data(), &common);
  });
  x = b;
  klu_solve(sym, num, n, 1, x.data(), &common);
  double worst = kavro::bench::relativeResidual(B, x, b, false);
  x = b;
  klu_tsolve(sym, num, n, 1, x.data(), &common);
  worst = std::max(worst, kavro::bench::relativeResidual(B, x, b, true));
  klu_free_numeric(&num, &common);
  klu_free_symbolic(&sym, &common);

  // UMFPACK.
  double control[UMFPACK_CONTROL], info[UMFPACK_INFO];
  umfpack_di_defaults(control);
  void* usym = nullptr;
  void* unum = nullptr;
  if (umfpack_di_symbolic(n, n, Ap.data(), Ai.data(), Ax.data(), &usym, control, info) != UMFPACK_OK ||
      umfpack_di_numeric(Ap.data(), Ai.data(), Ax.data(), usym, &unum, control, info) != UMFPACK_OK) {
    std::fprintf(stderr, "lu_compare_suitesparse: UMFPACK failed\n");
    return 1;
  }
  int lnz = 0, unz = 0, nr = 0, nc = 0, nzud = 0;
  umfpack_di_get_lunz(&lnz, &unz, &nr, &nc, &nzud, unum);
  const long umfFill = static_cast<long>(lnz) + unz - n;
  const double umfFactor = kavro::bench::medianMicroseconds([&] {
    void* s = nullptr;
    void* f = nullptr;
    umfpack_di_symbolic(n, n, Ap.data(), Ai.data(), Ax.data(), &s, control, info);
    umfpack_di_numeric(Ap.data(), Ai.data(), Ax.data(), s, &f, control, info);
    umfpack_di_free_numeric(&f);
    umfpack_di_free_symbolic(&s);
  });
  // No iterative refinement: one solve, as for the other packages; workspace made once.
  control[UMFPACK_IRSTEP] = 0;
  std::vector<int> wi(n);
  std::vector<double> w(5 * static_cast<size_t>(n));
  auto umfSolveWith = [&](int sys) {
    umfpack_di_wsolve(sys, Ap.data(), Ai.data(), Ax.data(), x.data(), b.data(), unum, control, info, wi.data(),
                      w.data());
  };
  const double umfSolve = kavro::bench::medianMicroseconds([&] { umfSolveWith(UMFPACK_A); });
  const double umfSolveT = kavro::bench::medianMicroseconds([&] { umfSolveWith(UMFPACK_At); });
  umfSolveWith(UMFPACK_A);
  worst = std::max(worst, kavro::bench::relativeResidual(B, x, b, false));
  umfSolveWith(UMFPACK_At);
  worst = std::max(worst, kavro::bench::relativeResidual(B, x, b, true));
  umfpack_di_free_numeric(&unum);
  umfpack_di_free_symbolic(&usym);

  const double clockUs = kavro::bench::clockReadMicroseconds();
  std::printf(
      "n\tklu_factor_us\tklu_solve_us\tklu_solvet_us\tklu_fill\tumf_factor_us\tumf_solve_us\tumf_solvet_us\tumf_fill"
      "\tclock_us\n");
  std::printf("%d\t%.2f\t%.2f\t%.2f\t%ld\t%.2f\t%.2f\t%.2f\t%ld\t%.3f\n", n, kluFactor, kluSolve, kluSolveT, kluFill,
              umfFactor, umfSolve, umfSolveT, umfFill, clockUs);
  std::printf("worst_residual\t%.2e\n", worst);
  return 0;
}
