// The crash of the nonlinear rows at the start of the second major iteration, and what happens
// when the basis it chooses is unusable.

#include <cmath>
#include <vector>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"
#include "optimizer/main_loop.hpp"
#include "setup/crash.hpp"

namespace kavro {

namespace {

// How much larger than the values before it the basic values of a crashed basis may come out.
constexpr double kCrashGrowthLimit = 1.0e10;

// The columns with an entry in the nonlinear rows that may take a row's place (not basic, not
// fixed), in order, and for each nonlinear row the one with its largest entry there (-1: none).
void rowColumns(const Problem& prob, const int32_t* hs, std::vector<int32_t>& best, std::vector<int32_t>& candidates) {
  const kernels::ColumnView a(prob.a);
  const int32_t C = prob.nNonlinCons;
  const double* lower = prob.lower.data();
  const double* upper = prob.upper.data();
  best.assign(C, -1);
  std::vector<double> bestSize(static_cast<size_t>(C), 0.0);
  for (int32_t j = 0; j < prob.n; ++j) {
    if (hs[j] == kBasic || lower[j] == upper[j]) continue;
    bool inNonlinearRows = false;
    for (int32_t k = a.start[j]; k < a.start[j + 1]; ++k) {
      const int32_t i = a.row[k];
      if (i >= C) continue;
      inNonlinearRows = true;
      const double size = std::fabs(a.value[k]);
      if (size > bestSize[i]) {
        bestSize[i] = size;
        best[i] = j;
      }
    }
    if (inNonlinearRows) candidates.push_back(j);
  }
}

// Every nonlinear equality row whose slack is basic gives its place in the basis to a nonbasic
// column (not fixed, not yet taken) with an entry in the nonlinear rows: the column with its
// largest entry in that row where there is one, else the next column left. A column with no
// entry in its row leaves the basis structurally singular, and the factorization then returns
// the slacks it cannot do without. Returns how many rows gave their places.
int32_t columnsForSlackRows(const Problem& prob, std::vector<int32_t>& hs, std::vector<double>& x) {
  const int32_t n = prob.n;
  std::vector<int32_t> best, candidates;
  rowColumns(prob, hs.data(), best, candidates);
  std::vector<int32_t> rowsLeft;
  auto swapIn = [&](int32_t i, int32_t j) {
    const size_t slack = static_cast<size_t>(n + i);
    hs[j] = kBasic;
    hs[slack] = kFixedNonbasic;
    x[slack] = prob.lower[slack];
  };
  int32_t added = 0;
  for (int32_t i = 0; i < prob.nNonlinCons; ++i) {
    const size_t slack = static_cast<size_t>(n + i);
    if (hs[slack] != kBasic || prob.lower[slack] != prob.upper[slack]) continue;
    const int32_t j = best[i];
    if (j < 0 || hs[j] == kBasic) {
      rowsLeft.push_back(i);
      continue;
    }
    swapIn(i, j);
    ++added;
  }
  size_t next = 0;
  for (const int32_t i : rowsLeft) {
    while (next < candidates.size() && hs[candidates[next]] == kBasic) ++next;
    if (next == candidates.size()) break;
    swapIn(i, candidates[next]);
    ++added;
  }
  return added;
}

// The basic values the crashed basis gives once its nonbasic variables sit on their bounds (as
// the subproblem soon puts them), compared with the values before the crash. The point itself
// is left as the factorization computed it.
bool crashedBasisExplodes(BasisFactors& basis, std::vector<double>& x, const std::vector<double>& valuesBefore) {
  const std::vector<double> valuesNow = x;
  basis.moveNonbasicsOntoBounds();
  basis.recomputeBasics();
  const int32_t nb = static_cast<int32_t>(x.size());
  const double before = kernels::maxNorm(nb, valuesBefore.data());
  const bool explodes = !(kernels::maxNorm(nb, x.data()) <= kCrashGrowthLimit * (1.0 + before));
  x = valuesNow;
  return explodes;
}

}  // namespace

// The crash picks the nonlinear rows' basic columns by the sizes of their Jacobian entries alone.
// Along a chain of rows (a discretized differential equation) a triangular choice can be so
// ill-conditioned that the basic values explode (1e+200 and beyond, where the subproblem then
// looks unbounded). Such a basis is tried once more with a column for every equality row the
// crash left to its slack, the factorization choosing among them what is stable (a square
// system then starts from its Jacobian, one Newton step away, instead of pivoting its columns in
// one by one); when that explodes too, the subproblem keeps the basis it had.
bool MainLoop::crashNonlinearRows() {
  subspace_.makeNonbasic();
  const std::vector<int32_t> statesBefore = hs_;
  const std::vector<double> valuesBefore = x_;
  crashBasis(5, prob_, in_.rowTypes, crashSettingsOf(p_), hs_, x_, in_.out);
  basis_.toInternalStates();
  if (!factorize(FactorKind::kTest)) return false;
  if (!crashedBasisExplodes(basis_, x_, valuesBefore)) return true;
  const int32_t added = columnsForSlackRows(prob_, hs_, x_);
  if (added > 0) {
    if (!factorize(FactorKind::kTest)) return false;
    if (!crashedBasisExplodes(basis_, x_, valuesBefore)) {
      in_.out.print(
          " Crash basis for the nonlinear rows is ill-conditioned: %d equality rows left to slacks took columns",
          added);
      return true;
    }
  }
  in_.out.print("%s", " Crash basis for the nonlinear rows is ill-conditioned: the previous basis is kept");
  hs_ = statesBefore;
  x_ = valuesBefore;
  return factorize(FactorKind::kTest);
}

}  // namespace kavro
