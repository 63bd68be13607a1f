// lu_bench BASIS.mtx[.gz] [REPLACEMENTS.mtx[.gz]]
//
// Times TRIAX on one basis with the settings of a linear problem: the factorization, one solve
// with B and one with B' (random right-hand sides, fixed seed), the column replacements of the
// second file (also taken from LU_REPL_FILE) applied one after another with lu8rpc, and sparse
// solves on the factorization: B x = a_q for the entering columns of the replacements and
// B' y = e_r for their positions (the last two columns; 0 without replacements).
// Prints a header, one TSV line (microseconds of thread CPU time per operation, median of 5
// batches of at least 0.2 s, many calls between two clock reads: see bench_support.hpp) and a
// line with the worst relative residuals.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "lu/lu_factors.hpp"

namespace {

using kavro::bench::CooMatrix;
using kavro::bench::CscMatrix;
using kavro::kernels::SparseVector;
using kavro::lu::LuParams;
using kavro::lu::LuStorage;

LuParams linearProblemSettings() {
  LuParams p;
  p.printUnit() = 0;
  p.printLevel() = -1;
  p.maxSearch() = 5;
  p.pivotRule() = kavro::lu::kPartial;
  p.keepFactors() = 1;
  p.factorTol() = 100.0;
  p.updateTol() = 10.0;
  p.dropTol() = 3.0002136e-13;      // eps^0.8
  p.absSingularTol() = 3.2517e-11;  // eps^0.67
  p.relSingularTol() = 3.2517e-11;
  p.spaceFactor() = 3.0;
  p.density1() = 0.3;
  p.density2() = 0.5;
  return p;
}

struct Basis {
  CooMatrix coo;
  CscMatrix csc;
  LuParams params;
  LuStorage lu;

  int32_t factorize() {
    const size_t nnz = coo.value.size();
    std::copy(coo.value.begin(), coo.value.end(), lu.a.begin());
    std::copy(coo.row.begin(), coo.row.end(), lu.indc.begin());
    std::copy(coo.col.begin(), coo.col.end(), lu.indr.begin());
    params = linearProblemSettings();
    int32_t nelem = static_cast<int32_t>(nnz);
    return kavro::lu::lu1fac(coo.rows, coo.cols, nelem, params, lu, nullptr);
  }
};

std::string baseName(const std::string& path) {
  std::string s = path.substr(path.find_last_of('/') + 1);
  const size_t ext = s.find(".mtx");
  if (ext != std::string::npos) s.resize(ext);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lu_bench BASIS.mtx[.gz] [REPLACEMENTS.mtx[.gz]]\n");
    return 2;
  }
  std::string replPath = argc > 2 ? argv[2] : "";
  if (replPath.empty() && std::getenv("LU_REPL_FILE")) replPath = std::getenv("LU_REPL_FILE");

  Basis B;
  if (std::string err = kavro::bench::readMatrixMarket(argv[1], B.coo); !err.empty()) {
    std::fprintf(stderr, "lu_bench: %s\n", err.c_str());
    return 1;
  }
  const int32_t m = B.coo.rows, n = B.coo.cols;
  if (m != n) {
    std::fprintf(stderr, "lu_bench: the basis must be square (%d x %d)\n", m, n);
    return 1;
  }
  B.csc = kavro::bench::toCsc(B.coo);
  const int32_t nnz = static_cast<int32_t>(B.coo.value.size());
  B.lu.resize(m, n, 10 * nnz + 20 * m + 10000);

  CooMatrix R;
  std::vector<int32_t> positions;
  if (!replPath.empty()) {
    if (std::string err = kavro::bench::readMatrixMarket(replPath, R); !err.empty()) {
      std::fprintf(stderr, "lu_bench: %s\n", err.c_str());
      return 1;
    }
    positions = kavro::bench::replacementPositions(R);
    if (R.rows != m || static_cast<int32_t>(positions.size()) != R.cols) {
      std::fprintf(stderr, "lu_bench: the replacement file does not fit the basis\n");
      return 1;
    }
  }

  const int32_t code = B.factorize();
  if (code != 0) {
    std::fprintf(stderr, "lu_bench: lu1fac returned %d\n", code);
    return 1;
  }
  const int32_t luNnz = B.params.lenL() + B.params.lenU();
  const double factorUs = kavro::bench::medianMicroseconds([&] { B.factorize(); });

  const std::vector<double> b = kavro::bench::randomRhs(m, 12345);
  std::vector<double> v(m), x(n), y(m), c(n);
  auto solveB = [&] {
    v = b;
    kavro::lu::solveWithFactors(5, m, n, v.data(), x.data(), B.params, B.lu);
  };
  auto solveBt = [&] {
    c = b;
    kavro::lu::solveWithFactors(6, m, n, y.data(), c.data(), B.params, B.lu);
  };
  const double solveUs = kavro::bench::medianMicroseconds(solveB);
  const double solveTUs = kavro::bench::medianMicroseconds(solveBt);
  solveB();
  solveBt();
  double worst = std::max(kavro::bench::relativeResidual(B.csc, x, b, false),
                          kavro::bench::relativeResidual(B.csc, y, b, true));

  // Entering columns, dense, one per replacement.
  std::vector<std::vector<double>> entering(R.cols, std::vector<double>(m, 0.0));
  for (size_t k = 0; k < R.value.size(); ++k) entering[R.col[k]][R.row[k]] = R.value[k];

  // Sparse right-hand sides on the same factors: B x = a_q for the entering columns and
  // B' y = e_r for their positions, per solve (the right-hand side is set up inside the timing).
  double sparseSolveUs = 0.0, sparseSolveTUs = 0.0;
  if (!positions.empty()) {
    SparseVector sv, sw;
    sv.resize(m);
    sw.resize(n);
    // The entering columns as the optimizer holds them: their nonzeros only.
    std::vector<std::vector<std::pair<int32_t, double>>> columns(entering.size());
    for (size_t s = 0; s < entering.size(); ++s)
      for (int32_t i = 0; i < m; ++i)
        if (entering[s][i] != 0.0) columns[s].emplace_back(i, entering[s][i]);
    const double perSolve = 1.0 / static_cast<double>(positions.size());
    sparseSolveUs = perSolve * kavro::bench::medianMicroseconds([&] {
                      for (const auto& column : columns) {
                        sv.clear();
                        for (const auto& [i, value] : column) sv.add(i, value);
                        kavro::lu::solveSparse(5, m, n, sv, sw, B.params, B.lu);
                      }
                    });
    sparseSolveTUs = perSolve * kavro::bench::medianMicroseconds([&] {
                       for (int32_t r : positions) {
                         sw.clear();
                         sw.add(r, 1.0);
                         kavro::lu::solveSparse(6, m, n, sv, sw, B.params, B.lu);
                       }
                     });
  }
  double replaceUs = 0.0;
  int32_t failures = 0;
  if (!positions.empty()) {
    // The columns are copied into place before the clock starts; the whole sequence is timed
    // between two clock reads.
    std::vector<double> columns(positions.size() * static_cast<size_t>(m));
    auto sequence = [&](int& count) {
      B.factorize();
      for (size_t s = 0; s < positions.size(); ++s)
        std::copy(entering[s].begin(), entering[s].end(), columns.begin() + static_cast<ptrdiff_t>(s * m));
      const double t0 = kavro::bench::threadSeconds();
      for (size_t s = 0; s < positions.size(); ++s) {
        double diag, vnorm;
        const int32_t rc = kavro::lu::lu8rpc(1, 1, m, n, positions[s], columns.data() + s * m, nullptr, B.params, B.lu,
                                             nullptr, diag, vnorm);
        failures += rc != 0;
      }
      count = static_cast<int>(positions.size());
      return kavro::bench::threadSeconds() - t0;
    };
    replaceUs = kavro::bench::medianMicrosecondsPartial(sequence);
    // The last sequence left the final basis factorized: check its solves.
    CooMatrix fin = B.coo;
    std::vector<int32_t> columnOf(n);
    for (int32_t j = 0; j < n; ++j) columnOf[j] = j;
    std::vector<std::vector<double>> cols(n, std::vector<double>(m, 0.0));
    for (size_t k = 0; k < B.coo.value.size(); ++k) cols[B.coo.col[k]][B.coo.row[k]] = B.coo.value[k];
    for (size_t s = 0; s < positions.size(); ++s) cols[positions[s]] = entering[s];
    fin.row.clear();
    fin.col.clear();
    fin.value.clear();
    for (int32_t j = 0; j < n; ++j)
      for (int32_t i = 0; i < m; ++i)
        if (cols[j][i] != 0.0) {
          fin.row.push_back(i);
          fin.col.push_back(j);
          fin.value.push_back(cols[j][i]);
        }
    const CscMatrix finCsc = kavro::bench::toCsc(fin);
    solveB();
    solveBt();
    worst = std::max({worst, kavro::bench::relativeResidual(finCsc, x, b, false),
                      kavro::bench::relativeResidual(finCsc, y, b, true)});
  }

  std::printf("name\tm\tnnz\tfactor_us\tsolve_us\tsolvet_us\tlu_nnz\treplace_us\tsparse_solve_us\tsparse_solvet_us\n");
  std::printf("%s\t%d\t%d\t%.2f\t%.2f\t%.2f\t%d\t%.2f\t%.2f\t%.2f\n", baseName(argv[1]).c_str(), m, nnz, factorUs,
              solveUs, solveTUs, luNnz, replaceUs, sparseSolveUs, sparseSolveTUs);
  std::printf("worst_residual\t%.2e\treplacement_failures\t%d\n", worst, failures);
  return 0;
}
