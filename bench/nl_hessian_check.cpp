// nl_hessian_check: the exact Hessian of a model's Lagrangian against central differences of
// the evaluator's exact gradients, at the reference files' perturbed point (see nl_eval), with
// multipliers 1, -0.5, 1.1, -0.6, ... on the constraints and weight 1 on the first objective.
//
//   nl_hessian_check [--max-vars N] MODEL.nl[.gz]...
//
// One line per model: name, variables, Hessian entries, column groups, the set-up and one
// evaluation's processor seconds, and the largest difference relative to the largest entry
// (over every entry of the lower triangle, those outside the pattern included), taking the
// smaller of two steps' (1e-6 and 1e-7 relative) differences so that a kink near the point
// shows as disagreement between the steps rather than as an error of the Hessian. "skipped"
// for models with more than N variables (default 400), "undefined" when the Hessian or a
// gradient is not defined at the point. Exit status 0, or 2 for a usage error.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"
#include "nl/nl_reader.hpp"

namespace {

using kavro::nl::Evaluator;
using kavro::nl::Model;

double seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::vector<double> perturbedPoint(const Model& m) {
  std::vector<double> x = m.x0;
  for (size_t j = 0; j < x.size(); ++j) {
    const double u = static_cast<double>((j * 7919 + 17) % 1009) / 504.5 - 1.0;
    x[j] = std::min(std::max(x[j] + 0.1 * std::max(1.0, std::fabs(x[j])) * u, m.varLower[j]), m.varUpper[j]);
  }
  return x;
}

class Lagrangian {
 public:
  explicit Lagrangian(const Model& m)
      : m_(m), ev_(m), lambda_(static_cast<size_t>(m.nCons())), work_(static_cast<size_t>(m.nVars())) {
    for (size_t i = 0; i < lambda_.size(); ++i) lambda_[i] = (i % 2 ? -0.5 : 1.0) + 0.1 * static_cast<double>(i % 5);
  }
  const std::vector<double>& lambda() const { return lambda_; }

  bool gradient(const std::vector<double>& x, std::vector<double>& g) {
    ev_.setPoint(x.data());
    g.assign(x.size(), 0.0);
    bool ok = m_.nObjs() == 0 || add(m_.objExpression(0), 1.0, g);
    for (int32_t i = 0; i < m_.nCons(); ++i) ok = ok && add(m_.conExpression(i), lambda_[static_cast<size_t>(i)], g);
    return ok;
  }

 private:
  bool add(int32_t f, double w, std::vector<double>& g) {
    double nonlinear = 0.0;
    if (!ev_.gradient(f, nonlinear, work_.data())) return false;
    for (int32_t k = 0; k < ev_.termCount(f); ++k)
      g[static_cast<size_t>(ev_.termsBegin(f)[k].var)] += w * work_[static_cast<size_t>(k)];
    return true;
  }

  const Model& m_;
  Evaluator ev_;
  std::vector<double> lambda_, work_;
};

// Column j of the Hessian by central differences with the given relative step.
bool differencedColumn(Lagrangian& lag, std::vector<double> x, size_t j, double relStep, std::vector<double>& col) {
  std::vector<double> up, down;
  const double h = relStep * std::max(1.0, std::fabs(x[j])), xj = x[j];
  x[j] = xj + h;
  if (!lag.gradient(x, up)) return false;
  x[j] = xj - h;
  if (!lag.gradient(x, down)) return false;
  col.resize(up.size());
  for (size_t i = 0; i < up.size(); ++i) col[i] = (up[i] - down[i]) / (2 * h);
  return true;
}

void check(const Model& m, int32_t maxVars) {
  const size_t n = static_cast<size_t>(m.nVars());
  if (m.nVars() > maxVars) {
    std::printf("%s\t%zu\tskipped\n", m.name.c_str(), n);
    return;
  }
  const double t0 = seconds();
  kavro::nl::Hessian hess(m, m.nObjs() > 0 ? 0 : -1);
  const double t1 = seconds();
  Lagrangian lag(m);
  const std::vector<double> x = perturbedPoint(m);
  std::vector<double> values(static_cast<size_t>(hess.nonzeros()));
  const bool ok = hess.evaluate(x.data(), 1.0, lag.lambda().data(), values.data());
  const double t2 = seconds();
  std::vector<std::vector<double>> h(n, std::vector<double>(n, 0.0));
  for (int64_t k = 0; k < hess.nonzeros(); ++k)
    h[static_cast<size_t>(hess.colOf(k))][static_cast<size_t>(hess.rowOf(k))] = values[static_cast<size_t>(k)];
  double scale = 1.0, worst = 0.0;
  bool defined = ok;
  std::vector<double> fine, coarse;
  for (size_t j = 0; j < n && defined; ++j) {
    defined = differencedColumn(lag, x, j, 1e-7, fine) && differencedColumn(lag, x, j, 1e-6, coarse);
    for (size_t i = j; i < n && defined; ++i) {
      scale = std::max(scale, std::fabs(h[j][i]));
      worst = std::max(worst, std::min(std::fabs(h[j][i] - fine[i]), std::fabs(h[j][i] - coarse[i])));
    }
  }
  if (!defined) {
    std::printf("%s\t%zu\t%lld\t%d\tundefined\n", m.name.c_str(), n, static_cast<long long>(hess.nonzeros()),
                hess.groups());
    return;
  }
  std::printf("%s\t%zu\t%lld\t%d\t%.4f\t%.4f\t%.2e\n", m.name.c_str(), n, static_cast<long long>(hess.nonzeros()),
              hess.groups(), t1 - t0, t2 - t1, worst / scale);
}

}  // namespace

int main(int argc, char** argv) {
  int32_t maxVars = 400;
  std::vector<std::string> files;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--max-vars" && k + 1 < argc) maxVars = std::atoi(argv[++k]);
    else if (!a.empty() && a[0] != '-') files.push_back(a);
    else files.clear(), k = argc;
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: nl_hessian_check [--max-vars N] MODEL.nl[.gz]...\n");
    return 2;
  }
  std::printf("model\tvars\tentries\tgroups\tsetup_s\teval_s\tmax_rel_diff\n");
  for (const std::string& file : files) {
    const kavro::nl::ReadResult r = kavro::nl::readNlFile(file);
    if (!r.ok) {
      std::printf("%s\tunreadable\n", file.c_str());
      continue;
    }
    try {
      check(r.model, maxVars);
    } catch (const kavro::nl::HessianTooLarge&) {
      std::printf("%s\t%d\ttoo-large\n", r.model.name.c_str(), r.model.nVars());
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 2;
}
