#include "driver/problem_check.hpp"

#include <cmath>
#include <cstdio>

namespace kavro {

namespace {

class Faults {
 public:
  explicit Faults(size_t limit) : limit_(limit) {}
  template <typename... Args>
  void add(const char* format, Args... args) {
    if (messages_.size() >= limit_) return;
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, format, args...);
    messages_.emplace_back(buffer);
  }
  bool any() const { return !messages_.empty(); }
  std::vector<std::string> take() { return std::move(messages_); }

 private:
  size_t limit_;
  std::vector<std::string> messages_;
};

bool checkDimensions(const Problem& p, const ProblemState& s, Faults& f) {
  const size_t nb = static_cast<size_t>(p.n) + static_cast<size_t>(p.m);
  if (p.m < 1) f.add("the problem has %d rows; at least one is needed", p.m);
  if (p.n < 1) f.add("the problem has %d columns; at least one is needed", p.n);
  if (p.a.colStart.size() != static_cast<size_t>(p.n) + 1)
    f.add("column starts: %zu entries for %d columns", p.a.colStart.size(), p.n);
  if (p.a.row.size() != p.a.value.size())
    f.add("%zu row indices for %zu matrix values", p.a.row.size(), p.a.value.size());
  if (p.lower.size() != nb || p.upper.size() != nb)
    f.add("bounds: %zu and %zu entries for %zu variables", p.lower.size(), p.upper.size(), nb);
  if (s.hs.size() != nb || s.x.size() != nb)
    f.add("states and values: %zu and %zu entries for %zu variables", s.hs.size(), s.x.size(), nb);
  if (s.pi.size() != static_cast<size_t>(p.m)) f.add("multipliers: %zu entries for %d rows", s.pi.size(), p.m);
  if (p.objRow < -1 || p.objRow >= p.m) f.add("objective row %d is not a row of the problem", p.objRow + 1);
  if (p.nNonlinCons < 0 || p.nNonlinCons > p.m || p.nNonlinObjVars < 0 || p.nNonlinObjVars > p.n ||
      p.nNonlinJacVars < 0 || p.nNonlinJacVars > p.n)
    f.add("nonlinear counts %d, %d, %d do not fit the problem", p.nNonlinCons, p.nNonlinObjVars, p.nNonlinJacVars);
  if (s.ns < 0) f.add("number of superbasics %d is negative", s.ns);
  return !f.any();
}

void checkMatrix(const Problem& p, Faults& f) {
  const auto& a = p.a;
  if (a.colStart[0] != 0) f.add("column 1 starts at element %d instead of 1", a.colStart[0] + 1);
  for (int32_t j = 0; j < p.n; ++j) {
    const int32_t begin = a.colStart[j], end = a.colStart[j + 1];
    if (end < begin || end > a.elements()) {
      f.add("column %d: element range %d..%d is not valid", j + 1, begin + 1, end);
      return;
    }
    for (int32_t k = begin; k < end; ++k) {
      const int32_t i = a.row[k];
      const double v = a.value[k];
      if (i < 0 || i >= p.m) f.add("column %d: row index %d is outside 1..%d", j + 1, i + 1, p.m);
      else if (k > begin && i <= a.row[k - 1])
        f.add("column %d: row indices are not increasing at row %d", j + 1, i + 1);
      if (!std::isfinite(v)) f.add("column %d, row %d: matrix value is not a finite number", j + 1, i + 1);
    }
  }
  if (a.colStart[p.n] != a.elements())
    f.add("the columns hold %d elements but %d are stored", a.colStart[p.n], a.elements());
}

void checkNumbers(const Problem& p, const ProblemState& s, Faults& f) {
  for (int32_t j = 0; j < p.nb(); ++j) {
    const double lo = p.lower[j], up = p.upper[j];
    if (std::isnan(lo) || std::isnan(up)) f.add("variable %d: a bound is not a number", j + 1);
    if (lo == INFINITY || up == -INFINITY) f.add("variable %d: bounds [%g, %g] leave no room", j + 1, lo, up);
    if (!std::isfinite(s.x[j])) f.add("variable %d: starting value is not a finite number", j + 1);
  }
  for (int32_t i = 0; i < p.m; ++i)
    if (!std::isfinite(s.pi[i])) f.add("row %d: multiplier estimate is not a finite number", i + 1);
  if (!std::isfinite(p.objConstant)) f.add("%s", "the objective constant is not a finite number");
}

}  // namespace

std::vector<std::string> checkProblemData(const Problem& prob, const ProblemState& state, bool haveFunctions,
                                          size_t maxMessages) {
  Faults faults(maxMessages);
  if (!checkDimensions(prob, state, faults)) return faults.take();
  checkMatrix(prob, faults);
  checkNumbers(prob, state, faults);
  const bool nonlinear = prob.nNonlinCons > 0 || prob.nNonlinObjVars > 0 || prob.nNonlinJacVars > 0;
  if (nonlinear && !haveFunctions) faults.add("%s", "the problem has nonlinear parts but no routine evaluates them");
  return faults.take();
}

}  // namespace kavro
