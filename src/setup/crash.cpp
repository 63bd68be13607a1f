#include "setup/crash.hpp"

#include <cmath>

#include "io/units.hpp"
#include "setup/problem_statistics.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

enum RowMark : int8_t { kOpen = 1, kTouched = 2, kCovered = 3 };
constexpr int32_t kPreferred = -1;

struct CrashState {
  const Problem& prob;
  const std::vector<int32_t>& rowTypes;
  const CrashSettings& settings;
  std::vector<int32_t>& hs;
  std::vector<double>& x;
  std::vector<int8_t> mark;
  std::vector<uint8_t> crashed;        // rows the crash was asked to cover
  std::vector<uint8_t> slackWasBasic;  // later modes: the slack was basic before the crash
  int32_t basics = 0;
  CrashCounts counts;

  size_t slack(int32_t i) const { return static_cast<size_t>(prob.n + i); }
  bool slackBasic(int32_t i) const { return hs[slack(i)] == kBasic; }
};

// Slack values from the structural values (tiny values ignored).
void recomputeSlacks(CrashState& s) {
  const Problem& p = s.prob;
  for (int32_t i = 0; i < p.m; ++i) s.x[s.slack(i)] = 0.0;
  for (int32_t j = 0; j < p.n; ++j) {
    const double v = s.x[j];
    if (std::fabs(v) <= s.settings.tinyValue) continue;
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) s.x[s.slack(p.a.row[k])] -= p.a.value[k] * v;
  }
}

bool rowIsCrashed(int mode, int32_t i, int32_t rowType, int32_t nNonlinCons) {
  const bool nonlinear = i < nNonlinCons;
  switch (mode) {
    case 1: return true;
    case 2: return !nonlinear;
    case 3: return !nonlinear && rowType == kEqualityRow;
    case 4: return !nonlinear && rowType != kEqualityRow;
    default: return nonlinear;  // mode 5
  }
}

void setUpRows(CrashState& s, int mode) {
  const Problem& p = s.prob;
  if (mode <= 3) {
    recomputeSlacks(s);
    for (int32_t j = 0; j < p.n; ++j)
      if (s.hs[j] == kBasic) s.hs[j] = kPreferred;
  }
  for (int32_t i = 0; i < p.m; ++i) {
    const bool crash = rowIsCrashed(mode, i, s.rowTypes[i], p.nNonlinCons);
    s.crashed[i] = crash;
    s.mark[i] = crash ? kOpen : kCovered;
    if (crash) s.hs[s.slack(i)] = kAtLower;
    else if (mode <= 3) s.hs[s.slack(i)] = kBasic;
  }
  if (mode >= 4) {
    // Rows already served by basic structural columns are touched.
    for (int32_t j = 0; j < p.n; ++j) {
      if (s.hs[j] != kBasic) continue;
      for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
        const int32_t i = p.a.row[k];
        if (s.mark[i] != kOpen || p.a.value[k] == 0.0) continue;
        if (mode == 4 && s.rowTypes[i] != kOrdinaryRow) continue;
        s.mark[i] = kTouched;
      }
    }
  }
}

// Inequality rows take their slacks, except (in the later modes) slacks sitting near a bound,
// which go onto it and leave the row open for a structural column.
void takeSlacks(CrashState& s, int mode) {
  const Problem& p = s.prob;
  for (int32_t i = 0; i < p.m; ++i) {
    if (!s.crashed[i] || s.rowTypes[i] == kEqualityRow) continue;
    if (s.slackBasic(i)) continue;
    const size_t js = s.slack(i);
    if (mode >= 4) {
      const double dLower = std::fabs(s.x[js] - p.lower[js]), dUpper = std::fabs(s.x[js] - p.upper[js]);
      if (std::min(dLower, dUpper) <= 0.25) {
        s.hs[js] = dUpper < dLower ? kAtUpper : kAtLower;
        continue;
      }
      // A slack that was nonbasic between its bounds has no basis place to return to: some
      // basic column already serves its row, and taking the slack too would make m + 1.
      if (!s.slackWasBasic[i]) {
        s.hs[js] = -1;
        continue;
      }
    }
    s.hs[js] = kBasic;
    s.mark[i] = kCovered;
    ++s.counts.slacks;
  }
}

struct ColumnScan {
  int32_t best1 = -1, best2 = -1;  // best entries in rows of mark 1 and 2 (element index)
  int32_t eligible = 0, eligibleCovered = 0;
};

ColumnScan scanColumn(const CrashState& s, int32_t j) {
  const Problem& p = s.prob;
  ColumnScan c;
  const int32_t begin = p.a.colStart[j], end = p.a.colStart[j + 1];
  double cmax = 0.0;
  for (int32_t k = begin; k < end; ++k)
    if (s.rowTypes[p.a.row[k]] != kFreeRow) cmax = std::max(cmax, std::fabs(p.a.value[k]));
  if (!(cmax > 0.001)) return c;
  const double tol = s.settings.crashTolerance * cmax;
  double big1 = 0.0, big2 = 0.0;
  for (int32_t k = begin; k < end; ++k) {
    const int32_t i = p.a.row[k];
    const double v = std::fabs(p.a.value[k]);
    if (s.slackBasic(i) || !(v > tol)) continue;
    ++c.eligible;
    const int8_t mk = s.mark[i];
    if (mk == kOpen && v > big1) {
      big1 = v;
      c.best1 = k;
    } else if (mk == kTouched && v > big2) {
      big2 = v;
      c.best2 = k;
    } else if (mk == kCovered) ++c.eligibleCovered;
  }
  return c;
}

bool passAccepts(int pass, const CrashState& s, int32_t j, const ColumnScan& c) {
  const size_t uj = static_cast<size_t>(j);
  switch (pass) {
    case 1: return s.prob.lower[uj] <= -10000.0 && s.prob.upper[uj] >= 10000.0;
    case 2: return s.hs[uj] == kPreferred;
    case 3: return c.eligible == 1;
    case 4: return c.eligible == 2;
    default: return true;
  }
}

int32_t& passCounter(CrashCounts& c, int pass) {
  switch (pass) {
    case 1: return c.freeCols;
    case 2: return c.preferred;
    case 3: return c.unit;
    case 4: return c.doubles;
    default: return c.triangle;
  }
}

// Makes column j basic for the chosen row; the column's other open rows become touched.
void chooseColumn(CrashState& s, int32_t j, int32_t pivotElement) {
  const Problem& p = s.prob;
  s.hs[j] = kBasic;
  ++s.basics;
  const int32_t pivotRow = p.a.row[pivotElement];
  s.mark[pivotRow] = kCovered;
  const double cmaxTol = [&] {
    double cmax = 0.0;
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k)
      if (s.rowTypes[p.a.row[k]] != kFreeRow) cmax = std::max(cmax, std::fabs(p.a.value[k]));
    return s.settings.crashTolerance * cmax;
  }();
  for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
    const int32_t i = p.a.row[k];
    if (s.mark[i] == kOpen && !s.slackBasic(i) && std::fabs(p.a.value[k]) > cmaxTol) s.mark[i] = kTouched;
  }
}

void structuralPasses(CrashState& s) {
  const Problem& p = s.prob;
  for (int pass = 1; pass <= 5 && s.basics < p.m; ++pass) {
    for (int32_t j = 0; j < p.n && s.basics < p.m; ++j) {
      const size_t uj = static_cast<size_t>(j);
      if (s.hs[uj] >= kSuperbasic || p.lower[uj] == p.upper[uj]) continue;
      const ColumnScan c = scanColumn(s, j);
      if (c.eligible == 0 || !passAccepts(pass, s, j, c)) continue;
      int32_t pivot = c.best1;
      if (pivot < 0 && c.eligibleCovered == 0) pivot = c.best2;
      if (pivot < 0) continue;
      chooseColumn(s, j, pivot);
      ++passCounter(s.counts, pass);
    }
  }
}

}  // namespace

CrashCounts crashBasis(int mode, const Problem& prob, const std::vector<int32_t>& rowTypes,
                       const CrashSettings& settings, std::vector<int32_t>& hs, std::vector<double>& x,
                       const ReportChannels& out) {
  const int32_t n = prob.n, m = prob.m;
  if (mode == 0) {
    out.print(" Crash option %3d", mode);
    for (int32_t j = 0; j < n; ++j) hs[j] = kAtLower;
    for (int32_t i = 0; i < m; ++i) hs[n + i] = kBasic;
    CrashCounts c;
    c.slacks = m;
    return c;
  }
  if (mode <= 3) out.print(" Crash option %3d", mode);
  if (mode == 3 && prob.nNonlinCons < m) out.print("%s", " Crash on linear E  rows:");
  if (mode == 4) out.print("%s", " Crash on linear LG rows:");
  if (mode == 5) out.print("%s", " Crash on nonlinear rows:");

  CrashState s{prob,
               rowTypes,
               settings,
               hs,
               x,
               std::vector<int8_t>(static_cast<size_t>(m), kOpen),
               std::vector<uint8_t>(static_cast<size_t>(m), 0),
               std::vector<uint8_t>(static_cast<size_t>(m), 0),
               0,
               CrashCounts{}};
  if (mode >= 4)
    for (int32_t i = 0; i < m; ++i) s.slackWasBasic[i] = s.slackBasic(i);
  setUpRows(s, mode);
  takeSlacks(s, mode);
  for (int32_t j = 0; j < prob.nb(); ++j)
    if (hs[j] == kBasic) ++s.basics;
  structuralPasses(s);

  s.counts.pad = m - s.basics;
  out.print(" Slacks %6d  Free cols %6d  Preferred %6d", s.counts.slacks, s.counts.freeCols, s.counts.preferred);
  out.print(" Unit   %6d  Double    %6d  Triangle  %6d  Pad %6d", s.counts.unit, s.counts.doubles, s.counts.triangle,
            s.counts.pad);
  for (int32_t i = 0; i < m && s.basics < m; ++i) {
    if (s.mark[i] >= kCovered || s.slackBasic(i)) continue;
    hs[s.slack(i)] = kBasic;
    ++s.basics;
  }
  // Crashed inequality rows whose slack stayed nonbasic: a slack near a bound goes onto it.
  for (int32_t i = 0; i < m; ++i) {
    if (!s.crashed[i] || rowTypes[i] == kEqualityRow || s.slackBasic(i)) continue;
    const size_t js = s.slack(i);
    const double dLower = std::fabs(x[js] - prob.lower[js]), dUpper = std::fabs(x[js] - prob.upper[js]);
    if (dLower <= 0.25) {
      x[js] = prob.lower[js];
      hs[js] = kAtLower;
    } else if (dUpper <= 0.25) {
      x[js] = prob.upper[js];
      hs[js] = kAtUpper;
    }
  }
  return s.counts;
}

CrashSettings crashSettingsOf(const Parameters& params) {
  CrashSettings settings;
  settings.crashTolerance = params.crashTolerance;
  settings.tinyValue = params.machine.eps0;
  return settings;
}

}  // namespace kavro
