#include "optimizer/certificate.hpp"

#include <algorithm>
#include <cmath>

namespace kavro {

namespace {

// The input's arrays as plain pointers, taken once.
struct View {
  int32_t n, m, C, nJ, nObj;
  const int32_t* colStart;
  const int32_t* row;
  const double* a;
  const double* lower;
  const double* upper;
  const double* scale;  // nullptr: unscaled
  double big;           // bounds at least this large are infinite

  explicit View(const CertificateInput& in)
      : n(in.prob->n),
        m(in.prob->m),
        C(in.prob->nNonlinCons),
        nJ(in.prob->nNonlinCons > 0 ? in.prob->nNonlinJacVars : 0),
        nObj(in.prob->nNonlinObjVars),
        colStart(in.prob->a.colStart.data()),
        row(in.prob->a.row.data()),
        a(in.prob->a.value.data()),
        lower(in.prob->lower.data()),
        upper(in.prob->upper.data()),
        scale(in.scales && !in.scales->empty() ? in.scales->data() : nullptr),
        big(0.9 * in.infBound) {}

  double s(int32_t j) const { return scale ? scale[j] : 1.0; }
  double bound(double b, int32_t j) const { return std::fabs(b) < big ? b * s(j) : b; }
  // In the Jacobian block the matrix holds a linearization; the functions' values replace it.
  bool inJacobian(int32_t i, int32_t j) const { return i < C && j < nJ; }
};

struct Worst {
  double absolute = 0.0, relative = 0.0, ratio = 0.0;  // ratio: relative over its tolerance
  int32_t j = -1;
  void note(int32_t var, double amount, double bound, double tolerance) {
    if (!(amount > 0.0)) return;
    const double rel = amount / (1.0 + std::fabs(bound));
    absolute = std::max(absolute, amount);
    if (rel / tolerance > ratio || j < 0) {
      ratio = rel / tolerance;
      relative = rel;
      j = var;
    }
  }
};

void notePrimal(const View& v, Worst& w, int32_t j, double value, double tolerance) {
  const double lo = v.bound(v.lower[j], j), up = v.bound(v.upper[j], j);
  if (!std::isfinite(value)) w.note(j, HUGE_VAL, 0.0, tolerance);  // a point that is no point fails
  else if (lo > -v.big && value < lo) w.note(j, lo - value, lo, tolerance);
  else if (up < v.big && value > up) w.note(j, value - up, up, tolerance);
}

// Row activities a_i (working units) from the columns, the Jacobian block left to F.
void rowActivities(const View& v, const CertificateInput& in, double* act) {
  std::fill(act, act + v.m, 0.0);
  for (int32_t i = 0; i < v.C; ++i) act[i] = in.constraintValues[i];
  for (int32_t j = 0; j < v.n; ++j) {
    const double xj = in.x[j];
    if (xj == 0.0) continue;
    for (int32_t k = v.colStart[j]; k < v.colStart[j + 1]; ++k)
      if (!v.inJacobian(v.row[k], j)) act[v.row[k]] += v.a[k] * xj;
  }
}

Worst primalPart(const View& v, const CertificateInput& in, const double* act, int32_t objRow) {
  Worst w;
  for (int32_t j = 0; j < v.n; ++j) notePrimal(v, w, j, in.x[j] * v.s(j), in.feasibilityTolerance);
  for (int32_t i = 0; i < v.m; ++i) {
    if (i == objRow) continue;
    const double slack = -act[i] * v.s(v.n + i);
    notePrimal(v, w, v.n + i, slack, i < v.C ? in.rowTolerance : in.feasibilityTolerance);
  }
  return w;
}

// d in the input's units for every variable.
void reducedGradient(const View& v, const CertificateInput& in, double* d) {
  int32_t e = 0;  // the next Jacobian element: the block is stored column after column
  for (int32_t j = 0; j < v.n; ++j) {
    double dj = j < v.nObj && in.objectiveGradient ? in.sigma * in.objectiveGradient[j] : 0.0;
    for (int32_t k = v.colStart[j]; k < v.colStart[j + 1]; ++k) {
      const int32_t i = v.row[k];
      const double aij = v.inJacobian(i, j) ? in.jacobian[e++] : v.a[k];
      dj -= in.pi[i] * aij;
    }
    d[j] = dj;
  }
  for (int32_t i = 0; i < v.m; ++i) d[v.n + i] = -in.pi[i];
}

// How far d_j points the wrong way, in the user's units, for where x_j lies.
double wrongWay(const View& v, const CertificateInput& in, int32_t j, double value, double dj) {
  const double lo = v.bound(v.lower[j], j), up = v.bound(v.upper[j], j);
  const double tol = in.feasibilityTolerance;
  const bool atLower = lo > -v.big && value <= lo + tol * (1.0 + std::fabs(lo));
  const bool atUpper = up < v.big && value >= up - tol * (1.0 + std::fabs(up));
  if (atLower && atUpper) return 0.0;
  if (atLower) return -dj;
  if (atUpper) return dj;
  return std::fabs(dj);
}

}  // namespace

Certificate certify(const CertificateInput& in, CertificateWork& work) {
  const View v(in);
  const int32_t objRow = in.prob->objRow;
  work.activity.resize(v.m);
  double* act = work.activity.data();
  rowActivities(v, in, act);
  const Worst primal = primalPart(v, in, act, objRow);

  Certificate c;
  c.evaluated = true;
  c.maxPrimalInfeas = primal.absolute;
  c.maxPrimalInfeasRelative = primal.relative;
  c.primalWorst = primal.j;
  bool dualPassed = true;
  if (in.pi) {
    work.reducedGradient.resize(v.n + v.m);
    double* d = work.reducedGradient.data();
    reducedGradient(v, in, d);
    for (int32_t i = 0; i < v.m; ++i)
      if (i != objRow) c.multiplierNorm = std::max(c.multiplierNorm, std::fabs(in.pi[i] / v.s(v.n + i)));
    double worst = 0.0;
    for (int32_t j = 0; j < v.n + v.m; ++j) {
      if (j == v.n + objRow) continue;
      const double value = j < v.n ? in.x[j] * v.s(j) : -act[j - v.n] * v.s(j);
      double amount = wrongWay(v, in, j, value, d[j] / v.s(j));
      if (std::isnan(amount)) amount = HUGE_VAL;
      c.maxDualInfeas = std::max(c.maxDualInfeas, amount);
      if (amount > worst) {
        worst = amount;
        c.dualWorst = j;
      }
    }
    c.maxDualInfeasRelative = c.maxDualInfeas / (1.0 + c.multiplierNorm);
    dualPassed = c.maxDualInfeasRelative <= in.optimalityTolerance;
  }
  c.passed = primal.ratio <= 1.0 && dualPassed;
  return c;
}

}  // namespace kavro
