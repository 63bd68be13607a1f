#include "setup/scaling.hpp"

#include <algorithm>
#include <cmath>

#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

struct PassStats {
  double minElem, maxElem, maxColRatio;
};

struct Sweep {
  const Problem& prob;
  const std::vector<int32_t>& rowTypes;
  double big;      // 0.9 x infBound: "infinitely large" start values
  int32_t j0, i0;  // first scaled column and row
  int32_t nJacVars, nNonlinCons;
  std::vector<double> col;  // g(j) while computing (the reciprocal is taken at the end)
  std::vector<double> row;  // r(i)
  std::vector<double> rmin, rmax;

  bool fixedColumn(int32_t j) const { return prob.lower[j] == prob.upper[j]; }
};

PassStats columnSweep(Sweep& s, bool store) {
  const Problem& p = s.prob;
  PassStats st{s.big, 0.0, 1.0};
  for (int32_t j = s.j0; j < p.n; ++j) {
    if (s.fixedColumn(j)) continue;
    double cmin = s.big, cmax = 0.0;
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
      const int32_t i = p.a.row[k];
      const double a = p.a.value[k];
      if (a == 0.0 || s.rowTypes[i] == 2) continue;
      const double v = std::fabs(a) / s.row[i];
      cmin = std::min(cmin, v);
      cmax = std::max(cmax, v);
    }
    double g = std::sqrt(std::max(cmin, 1e-4 * cmax)) * std::sqrt(cmax);
    if (cmax <= (j < s.nJacVars ? 0.01 : 0.0)) g = 1.0;
    if (store) s.col[j] = g;
    const double c = s.col[j];
    st.minElem = std::min(st.minElem, cmin / c);
    st.maxElem = std::max(st.maxElem, cmax / c);
    if (cmin > 0.0) st.maxColRatio = std::max(st.maxColRatio, cmax / cmin);
  }
  return st;
}

void rowSweep(Sweep& s) {
  const Problem& p = s.prob;
  for (int32_t i = s.i0; i < p.m; ++i) {
    s.rmin[i] = s.big;
    s.rmax[i] = 0.0;
  }
  for (int32_t j = 0; j < p.n; ++j) {
    if (s.fixedColumn(j)) continue;
    const double c = s.col[j];
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
      const int32_t i = p.a.row[k];
      const double a = p.a.value[k];
      if (a == 0.0 || i < s.i0) continue;
      const double v = std::fabs(a) / c;
      s.rmin[i] = std::min(s.rmin[i], v);
      s.rmax[i] = std::max(s.rmax[i], v);
    }
  }
  for (int32_t i = s.i0; i < p.m; ++i) {
    const double lo = s.rmin[i], hi = s.rmax[i];
    s.row[i] = (i >= s.nNonlinCons || hi > 0.01) ? std::sqrt(std::max(lo, 1e-4 * hi)) * std::sqrt(hi) : 1.0;
  }
}

void printPass(const ReportChannels& out, int after, const PassStats& st) {
  if (st.maxColRatio < 1e10) out.print(" After %3d %12.2e%12.2e%20.2f", after, st.minElem, st.maxElem, st.maxColRatio);
  else out.print(" After %3d %12.2e%12.2e%20.4g", after, st.minElem, st.maxElem, st.maxColRatio);
}

struct Extremes {
  double minValue = 0.0, maxValue = 0.0;
  int32_t minIndex = 0, maxIndex = 0, between = 0;
};

void note(Extremes& e, double v, int32_t index, bool first) {
  if (first || v < e.minValue) {
    e.minValue = v;
    e.minIndex = index;
  }
  if (first || v > e.maxValue) {
    e.maxValue = v;
    e.maxIndex = index;
  }
  if (v > 0.5 && v < 2.0) ++e.between;
}

void printExtremes(const ReportChannels& out, const char* what, const Extremes& e, int32_t count) {
  out.print("%s", "");
  out.print(" %-8s Min scale %12.4e (%7d)   Max scale %12.4e (%7d)   Between 0.5 and 2.0 %7d  (%5.1f%%)", what,
            e.minValue, e.minIndex + 1, e.maxValue, e.maxIndex + 1, e.between,
            count > 0 ? 100.0 * e.between / count : 0.0);
}

// Scale option 2: the fixed columns and slacks give the rows a constant part; its size before
// and after row scaling is reported, and factors that are too large are reduced.
void reduceLargeScales(const Problem& p, const std::vector<int32_t>& rowTypes, double featol, const ReportChannels& out,
                       std::vector<double>& scales) {
  std::vector<double> t(static_cast<size_t>(p.m), 0.0);
  auto nearestToZero = [&](size_t j) {
    if (p.upper[j] < 0.0) return p.upper[j];
    if (p.lower[j] > 0.0) return p.lower[j];
    return 0.0;
  };
  for (int32_t j = 0; j < p.n; ++j) {
    const double b = nearestToZero(static_cast<size_t>(j));
    if (b == 0.0) continue;
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) t[p.a.row[k]] += b * p.a.value[k];
  }
  for (int32_t i = 0; i < p.m; ++i) t[i] += nearestToZero(static_cast<size_t>(p.n + i));
  double before = 0.0, after = 0.0, smax = 0.0;
  for (int32_t i = 0; i < p.m; ++i) {
    if (rowTypes[i] == 2) continue;
    before = std::max(before, std::fabs(t[i]));
    after = std::max(after, std::fabs(t[i] / scales[p.n + i]));
    smax = std::max(smax, scales[p.n + i]);
  }
  for (int32_t j = 0; j < p.n; ++j) smax = std::max(smax, scales[j]);
  out.print(" Norm of fixed columns and slacks %12.4e (before and after row scaling) %12.4e", before, after);
  const double f = (0.1 / featol) / smax;
  if (f < 1.0) {
    for (double& s : scales) s *= f;
    out.print(" Scales are large --- reduced by %12.4e", f);
  }
}

void printFactorList(const ReportChannels& out, const std::vector<double>& scales, int32_t first, int32_t count) {
  char line[160];
  int used = 0;
  for (int32_t k = 0; k < count; ++k) {
    used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), " %6d %10.3e", k + 1,
                          scales[first + k]);
    if ((k + 1) % 5 == 0 || k + 1 == count) {
      out.print("%s", line);
      used = 0;
    }
  }
}

}  // namespace

void computeScales(const Problem& prob, const std::vector<int32_t>& rowTypes, Parameters& params,
                   const ReportChannels& out, std::vector<double>& scales) {
  out.print("%s", "");
  out.print("%s", " Scaling");
  out.print("%s", " -------");
  out.print("%s", "             Min elem    Max elem       Max col ratio");
  if (params.scaleTolerance >= 1.0) params.scaleTolerance = 0.99;
  scales.assign(prob.nb(), 1.0);
  const bool all = params.scaleOption >= 2;
  Sweep s{prob,
          rowTypes,
          0.9 * params.machine.infBound,
          all ? 0 : prob.nNonlinVars(),
          all ? 0 : prob.nNonlinCons,
          prob.nNonlinJacVars,
          prob.nNonlinCons,
          std::vector<double>(static_cast<size_t>(prob.n), 1.0),
          std::vector<double>(static_cast<size_t>(prob.m), 1.0),
          std::vector<double>(static_cast<size_t>(prob.m), 0.0),
          std::vector<double>(static_cast<size_t>(prob.m), 0.0)};
  if (s.j0 >= prob.n) return;

  double previousRatio = s.big;
  for (int k = 1; k <= 11; ++k) {
    const PassStats st = columnSweep(s, k > 1);
    printPass(out, k - 1, st);
    if ((k - 1 > 2 && st.maxColRatio >= params.scaleTolerance * previousRatio) || k == 11) break;
    previousRatio = st.maxColRatio;
    rowSweep(s);
  }

  Extremes cols, rows;
  for (int32_t j = 0; j < prob.n; ++j) {
    const double c = 1.0 / s.col[j];
    scales[j] = c;
    note(cols, c, j, j == 0);
  }
  bool firstRow = true;
  for (int32_t i = 0; i < prob.m; ++i) {
    double r = i >= s.i0 ? s.row[i] : 1.0;
    if (i >= s.i0 && rowTypes[i] == 2) r = s.rmax[i];
    if (r == 0.0) r = 1.0;
    scales[prob.n + i] = r;
    if (rowTypes[i] != 2) {
      note(rows, r, i, firstRow);
      firstRow = false;
    }
  }
  printExtremes(out, "Columns", cols, prob.n);
  printExtremes(out, "Rows", rows, prob.m);
  if (all) reduceLargeScales(prob, rowTypes, params.feasibilityTolerance, out, scales);

  if (params.scalePrint >= 1 && out.hasPrint()) {
    out.print("%s", "");
    out.print("%s", " Column scales  c(j)");
    out.print("%s", " x(j)    =   c(j)  *  scaled x(j)");
    out.print("%s", " -------------------");
    printFactorList(out, scales, 0, prob.n);
    out.print("%s", "");
    out.print("%s", " Row scales  r(i)");
    out.print("%s", " a(i,j)  =   r(i)  *  scaled a(i,j)  /  c(j)");
    out.print("%s", " ----------------");
    printFactorList(out, scales, prob.n, prob.m);
  }
}

void applyScales(int mode, Problem& prob, std::vector<double>& x, const std::vector<double>& scales, double infBound) {
  if (scales.empty()) return;
  const bool scale = mode == 1;
  for (int32_t j = 0; j < prob.n; ++j) {
    const double c = scales[j];
    for (int32_t k = prob.a.colStart[j]; k < prob.a.colStart[j + 1]; ++k) {
      const double r = scales[prob.n + prob.a.row[k]];
      double& a = prob.a.value[k];
      a = scale ? a * c / r : a * r / c;
    }
  }
  const double big = 0.9 * infBound;
  for (int32_t j = 0; j < prob.nb(); ++j) {
    const size_t uj = static_cast<size_t>(j);
    const double s = scales[uj];
    x[uj] = scale ? x[uj] / s : x[uj] * s;
    if (prob.lower[uj] > -big) prob.lower[uj] = scale ? prob.lower[uj] / s : prob.lower[uj] * s;
    if (prob.upper[uj] < big) prob.upper[uj] = scale ? prob.upper[uj] / s : prob.upper[uj] * s;
  }
}

void unscaleMultipliers(const Problem& prob, const std::vector<double>& scales, std::vector<double>& pi,
                        std::vector<double>& reducedCost) {
  if (scales.empty()) return;
  for (int32_t i = 0; i < prob.m; ++i) pi[i] /= scales[prob.n + i];
  for (int32_t j = 0; j < prob.nb(); ++j) reducedCost[j] /= scales[j];
}

void scaleProblem(RunScaling& s, Problem& prob, std::vector<double>& x, const std::vector<int32_t>& rowTypes,
                  Parameters& params, const ReportChannels& out) {
  if (!s.computed) {
    computeScales(prob, rowTypes, params, out, s.factors);
    s.computed = true;
  }
  applyScales(1, prob, x, s.factors, params.machine.infBound);
  s.applied = true;
}

void unscaleProblem(RunScaling& s, Problem& prob, ProblemState& state, double infBound) {
  if (!s.applied) return;
  applyScales(2, prob, state.x, s.factors, infBound);
  unscaleMultipliers(prob, s.factors, state.pi, state.reducedCost);
  s.applied = false;
}

void dropScaling(RunScaling& s, Problem& prob, ProblemState& state, double infBound) {
  if (!s.applied) return;
  applyScales(2, prob, state.x, s.factors, infBound);
  unscaleMultipliers(prob, s.factors, state.pi, state.reducedCost);
  std::fill(s.factors.begin(), s.factors.end(), 1.0);
}

}  // namespace kavro
