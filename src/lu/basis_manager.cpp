#include "lu/basis_manager.hpp"

#include <algorithm>
#include <new>

#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

constexpr int32_t kMaxAttempts = 10;

int32_t entriesToFactorize(const Problem& prob, const std::vector<int32_t>& basisList, int32_t m) {
  int64_t count = 0;
  for (int32_t k = 0; k < m; ++k) {
    const int32_t j = basisList[k];
    if (j < 0) continue;
    count += j < prob.n ? prob.a.colStart[j + 1] - prob.a.colStart[j] : 1;
  }
  return static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
}

void printHeader(const BasisSet& b, const FactorizationCounters& c, const Parameters& params,
                 const ReportChannels& out) {
  if (!out.hasPrint() || params.printLevel % 10 <= 0) return;
  const Problem& prob = *b.prob;
  int32_t nonlin = 0, linear = 0, slacks = 0;
  for (int32_t k = 0; k < prob.m; ++k) {
    const int32_t j = (*b.basisList)[k];
    if (j < 0) continue;
    if (j >= prob.n) ++slacks;
    else if (j < prob.nNonlinVars()) ++nonlin;
    else ++linear;
  }
  out.print("%s", "");
  out.print(" Factor %7d     Demand %7d     Itn %9d     Infeas %7d", c.factorizations,
            static_cast<int32_t>(c.factorRequest), c.itn, c.ninf);
  out.print(" Nonlin %7d     Linear %7d     Slacks %6d     %s %16.8e", nonlin, linear, slacks,
            c.infeasible ? "Sum infeas" : "Objective ", c.objectiveOrSinf);
}

// A dependent column leaves the basis; the slack of its pivot row takes its place. A slack that
// was superbasic leaves the superbasic set, which changes the space the quasi-Newton model
// lives in: superbasicsLeft is set then.
int32_t replaceSingularColumns(BasisSet& b, BasisLU& lu, const Parameters& params, const ReportChannels& out,
                               bool& superbasicsLeft) {
  const Problem& prob = *b.prob;
  auto& hs = *b.hs;
  auto& x = *b.x;
  const auto& marks = lu.columnMarks();
  const auto& rowPerm = lu.storage().rowPerm;
  const auto& colPermInv = lu.storage().colPermInv;
  int32_t inserted = 0;
  for (int32_t k = 0; k < prob.m; ++k) {
    if (marks[k] > 0.0) continue;
    const int32_t j = (*b.basisList)[k];
    // The pivot row of this column's position becomes the slack's row.
    const int32_t row = rowPerm[colPermInv[k]];
    if (j >= 0) {
      const size_t uj = static_cast<size_t>(j);
      const double lo = prob.lower[uj], up = prob.upper[uj];
      if (lo == up) {
        hs[uj] = 4;
      } else if (x[uj] <= lo) {
        x[uj] = lo;
        hs[uj] = kAtLower;
      } else if (x[uj] >= up) {
        x[uj] = up;
        hs[uj] = kAtUpper;
      } else {
        hs[uj] = -1;
      }
    }
    const size_t slack = static_cast<size_t>(prob.n + row);
    if (hs[slack] == kSuperbasic) {
      auto& list = *b.basisList;
      auto first = list.begin() + prob.m, last = first + *b.ns;
      auto it = std::find(first, last, static_cast<int32_t>(slack));
      if (it != last) {
        std::copy(it + 1, last, it);
        --*b.ns;
        superbasicsLeft = true;
      }
    }
    hs[slack] = kBasic;
    (*b.basisList)[k] = static_cast<int32_t>(slack);
    ++inserted;
    if (params.printLevel >= 10 && inserted <= 5) out.both(" Column %7d  replaced by slack %7d", j + 1, row + 1);
  }
  if (params.printLevel >= 10 && inserted > 5) out.both(" and so on.  Total slacks inserted = %6d", inserted);
  return inserted;
}

void copyStatistics(BasisLU& lu, FactorizationCounters& c) {
  lu::LuParams& p = lu.params();
  c.lenL = p.lenL();
  c.lenU = p.lenU();
  c.rowFileEnd = p.rowFileEnd();
  c.compressions = p.compressions();
  c.need = p.minLena();
  c.nonzerosAfterFactor = c.lenL + c.lenU;
}

}  // namespace

int32_t buildBasicList(const std::vector<int32_t>& hs, int32_t m, std::vector<int32_t>& basisList) {
  int32_t count = 0;
  const int32_t nb = static_cast<int32_t>(hs.size());
  for (int32_t j = 0; j < nb; ++j) {
    if (hs[j] != kBasic) continue;
    if (count < m) basisList[count] = j;
    ++count;
  }
  for (int32_t k = count; k < m; ++k) basisList[k] = -1;
  return count;
}

int32_t assembleBasis(const Problem& prob, const std::vector<int32_t>& basisList, int32_t m, BasisLU& lu) {
  double* a = lu.entries();
  int32_t* indc = lu.entryRows();
  int32_t* indr = lu.entryCols();
  int32_t nelem = 0;
  for (int32_t k = 0; k < m; ++k) {
    const int32_t j = basisList[k];
    if (j < 0) continue;
    if (j >= prob.n) {
      a[nelem] = 1.0;
      indc[nelem] = j - prob.n;
      indr[nelem] = k;
      ++nelem;
      continue;
    }
    for (int32_t e = prob.a.colStart[j]; e < prob.a.colStart[j + 1]; ++e) {
      a[nelem] = prob.a.value[e];
      indc[nelem] = prob.a.row[e];
      indr[nelem] = k;
      ++nelem;
    }
  }
  return nelem;
}

namespace {

// New element storage of at least `wanted` elements, with half as much again in hand, when the
// storage may grow that far. False when it may not.
bool growStorage(BasisLU& lu, FactorizationCounters& c, int64_t wanted, const ReportChannels& out) {
  const int64_t lena = lu.lena();
  const int64_t grown = std::min(3 * std::max(wanted, lena) / 2, c.maxFactorElements);
  if (grown <= lena || grown < wanted) return false;
  try {
    lu.resizeElements(static_cast<int32_t>(grown));
  } catch (const std::bad_alloc&) {
    lu.resizeElements(static_cast<int32_t>(lena));  // the old size was just released
    return false;
  }
  ++c.storageGrowths;
  out.print(" Storage for the basis factors increased from %lld to %lld elements", static_cast<long long>(lena),
            static_cast<long long>(grown));
  return true;
}

void reportNoStorage(const Parameters& params, const ReportChannels& out, int64_t need, int64_t lena) {
  out.both("%s", " EXIT -- not enough storage for the basis factors");
  out.both(" Words available = %12lld", static_cast<long long>(params.workspaceTotal));
  out.both(" Increase Workspace (total) to at least %12lld",
           static_cast<long long>(3 * (need - lena) + params.workspaceTotal));
}

// The ordinary factorization with its recoveries. singular is set when some basic column was
// found dependent and replaced by a slack.
ExitCode factorizeOrdinary(BasisSet& b, BasisLU& lu, Parameters& params, const ReportChannels& out,
                           FactorizationCounters& c, bool& singular) {
  const Problem& prob = *b.prob;
  const int32_t m = prob.m;
  ++c.factorizations;

  const int32_t basics = buildBasicList(*b.hs, m, *b.basisList);
  if (basics > m) {
    out.both(" EXIT -- system error.  Too many basic variables: %8d", basics);
    return kTooManyBasics;
  }
  const int64_t entries = entriesToFactorize(prob, *b.basisList, m);
  if (5 * entries / 4 > lu.lena() && !growStorage(lu, c, 5 * entries / 4, out)) {
    reportNoStorage(params, out, 5 * entries / 4, lu.lena());
    return kNoStorageForFactors;
  }
  printHeader(b, c, params, out);

  // The very first factorization of a run may see a poor starting basis: dependent columns
  // are recognised more eagerly.
  const double savedAbs = params.luSingularityTol, savedRel = params.luSingularityTol2;
  if (c.firstOfRun) {
    params.luSingularityTol = std::max(savedAbs, params.machine.eps3);
    params.luSingularityTol2 = std::max(savedRel, params.machine.eps3);
  }
  ExitCode status = kOptimal;
  for (int attempt = 1;; ++attempt) {
    const int32_t nelem = assembleBasis(prob, *b.basisList, m, lu);
    const int32_t result = lu.factorize(m, nelem, params, out);
    copyStatistics(lu, c);
    if (result == lu::kFactorNoStorage && growStorage(lu, c, c.need, out)) {
      --attempt;  // the same basis again, with more room
      continue;
    }
    if (result >= 7) {
      reportNoStorage(params, out, c.need, lu.lena());
      status = kNoStorageForFactors;
      break;
    }
    if (result >= 3) {
      out.both("%s", " EXIT -- error in basis package");
      status = kBasisPackageError;
      break;
    }
    if (result == 2) {
      attempt = 0;
      continue;
    }
    if (result == 1) {
      if (attempt > kMaxAttempts) {
        out.both(" EXIT -- the basis is singular after %4d factorization attempts", attempt);
        status = kSingularBasis;
        break;
      }
      bool superbasicsLeft = false;
      replaceSingularColumns(b, lu, params, out, superbasicsLeft);
      c.superbasicsChanged = c.superbasicsChanged || superbasicsLeft;
      singular = true;
      continue;
    }
    break;
  }
  if (c.firstOfRun) {
    params.luSingularityTol = savedAbs;
    params.luSingularityTol2 = savedRel;
    c.firstOfRun = false;
  }
  return status;
}

// Whether the factors just made call for the B-S choice (only with superbasics).
bool choiceWanted(const BasisLU& lu, const Parameters& params, const FactorizationCounters& c, FactorKind kind,
                  bool firstOfRun, bool singular) {
  lu::LuParams& lp = const_cast<BasisLU&>(lu).params();
  const double dumax = lp.dumax(), dumin = lp.dumin();
  if (firstOfRun) return dumax / std::max(dumin, 1e-20) >= 1.0e5;
  if (kind != FactorKind::kTest || !c.haveRememberedDumin) return false;
  return dumin <= 0.1 * c.rememberedDumin * c.sinceChoice || dumin <= params.machine.eps2 || singular;
}

}  // namespace

ExitCode factorizeBasis(BasisSet& b, BasisLU& lu, Parameters& params, const ReportChannels& out,
                        FactorizationCounters& c, FactorKind kind) {
  c.superbasicsChanged = false;
  std::vector<int32_t> scratch;
  auto choose = [&] {
    const int32_t swaps = chooseBasicAndSuperbasics(b, lu, params, out, scratch);
    c.basisSwaps += swaps;
    c.superbasicsChanged = c.superbasicsChanged || swaps > 0;
    c.sinceChoice = 0;
    c.haveRememberedDumin = false;
  };
  const bool firstOfRun = c.firstOfRun;
  const bool chooseNow = *b.ns > 0 &&
                         (kind == FactorKind::kChooseFirst || (kind == FactorKind::kTest && !c.haveRememberedDumin));
  if (chooseNow) choose();
  bool singular = false;
  ExitCode status = factorizeOrdinary(b, lu, params, out, c, singular);
  if (status == kOptimal && *b.ns > 0 && !chooseNow && choiceWanted(lu, params, c, kind, firstOfRun, singular)) {
    // The rank factorization overwrites the factors, so the basis is factorized again.
    choose();
    status = factorizeOrdinary(b, lu, params, out, c, singular);
  }
  ++c.sinceChoice;
  // The smallest diagonal is remembered after a choice, and again whenever a test finds the
  // factors sound.
  if (status == kOptimal && *b.ns > 0 && (!c.haveRememberedDumin || kind == FactorKind::kTest)) {
    c.haveRememberedDumin = true;
    c.rememberedDumin = lu.params().dumin();
    c.sinceChoice = 1;
  }
  c.factorRequest = FactorRequest::kNone;
  return status;
}

}  // namespace kavro
