// libFuzzer target for the .nl reader (plain or gzip-compressed input), with what follows a
// successful read: the evaluator (values and gradients of every function at the starting point
// and at a point moved by the input's first byte), the optimizer's problem and the functions
// served to it.
// Checks beyond the sanitizers: a refused input has a message naming it; a model read has
// tapes whose operands are slots of the tape; the problem is consistent (matrix by columns
// with rows increasing and in range, nb finite bounds, a Jacobian vector that fits).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_reader.hpp"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void checkTape(const kavro::nl::Model& m) {
  const kavro::nl::Tape& t = m.tape;
  for (int32_t e = 0; e < t.expressions(); ++e) {
    check(t.first[static_cast<size_t>(e)] <= t.last[static_cast<size_t>(e)] && t.last[static_cast<size_t>(e)] <= t.nodes.size());
    t.forEachOperand(e, [&](uint32_t slot) { check(slot < t.slots()); });
  }
}

void evaluate(const kavro::nl::Model& m, const std::vector<double>& x) {
  kavro::nl::Evaluator ev(m);
  ev.setPoint(x.data());
  std::vector<double> g(std::max(m.conLinear.terms.size(), m.objLinear.terms.size()) + 1);
  for (int32_t f = 0; f < m.nObjs() + m.nCons(); ++f) {
    double value = 0.0, nonlinear = 0.0;
    const bool ok = ev.value(f, value);
    if (ok) check(std::isfinite(value));
    if (ev.gradient(f, nonlinear, g.data()))
      for (int32_t k = 0; k < ev.termCount(f); ++k) check(std::isfinite(g[static_cast<size_t>(k)]));
  }
}

void checkProblem(const kavro::nl::Model& m, const kavro::nl::BuiltProblem& b) {
  const kavro::Problem& p = b.problem;
  check(p.a.colStart.size() == static_cast<size_t>(p.n) + 1 && p.a.colStart[0] == 0);
  check(p.a.colStart.back() == p.nElements() && p.a.row.size() == p.a.value.size());
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      check(p.a.row[static_cast<size_t>(k)] >= 0 && p.a.row[static_cast<size_t>(k)] < p.m);
      check(k == p.a.colStart[static_cast<size_t>(j)] || p.a.row[static_cast<size_t>(k) - 1] < p.a.row[static_cast<size_t>(k)]);
    }
  check(p.lower.size() == static_cast<size_t>(p.nb()) && p.upper.size() == static_cast<size_t>(p.nb()));
  for (int32_t j = 0; j < p.nb(); ++j) check(!std::isnan(p.lower[static_cast<size_t>(j)]) && !std::isnan(p.upper[static_cast<size_t>(j)]));
  check(b.state.x.size() == static_cast<size_t>(p.nb()) && b.state.pi.size() == static_cast<size_t>(p.m));
  if (!b.nonlinear()) return;
  kavro::nl::ModelFunctions functions(m, b);
  const int32_t njac = functions.jacobianElements();
  std::vector<double> x(m.x0.begin(), m.x0.end()), f(static_cast<size_t>(p.nNonlinCons) + 1),
      g(static_cast<size_t>(std::max(njac, p.nNonlinObjVars)) + 1);
  int mode = 2;
  double obj = 0.0;
  functions.objective(mode, p.nNonlinObjVars, x.data(), obj, g.data(), 1);
  mode = 2;
  functions.constraints(mode, p.nNonlinCons, p.nNonlinJacVars, njac, x.data(), f.data(), g.data(), 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kavro::nl::ReadResult r = kavro::nl::readNlData(text, "fuzz");
  if (!r.ok) {
    check(r.error.rfind("fuzz: ", 0) == 0 && r.error.size() > 6);
    return 0;
  }
  const kavro::nl::Model& m = r.model;
  checkTape(m);
  evaluate(m, m.x0);
  std::vector<double> moved = m.x0;
  const double step = size > 0 ? static_cast<double>(data[0]) / 64.0 - 2.0 : 0.5;
  for (double& v : moved) v += step;
  evaluate(m, moved);
  kavro::nl::BuildOptions options;
  options.relaxIntegers = size > 0 && (data[0] & 1);
  kavro::nl::BuiltProblem built;
  if (kavro::nl::buildProblem(m, options, built).empty()) checkProblem(m, built);
  return 0;
}
