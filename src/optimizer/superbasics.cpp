// The superbasic variables: their place behind the basic ones in the basis list, the gradient
// of the current objective, the reduced gradient rg = g_S - S' pi, and how variables join and
// leave the set (keeping the reduced-Hessian factor in step with it).

#include <algorithm>
#include <cmath>

#include "optimizer/main_loop.hpp"

namespace kavro {

// A warm start may bring superbasic variables; they take the places behind the basics.
void MainLoop::loadSuperbasics() {
  const int32_t limit = std::max(1, p_.superbasicsLimit);
  int32_t ns = 0;
  for (int32_t j : in_.superbasicList) {
    if (ns >= limit || hs_[static_cast<size_t>(j)] != kSuperbasic) continue;
    basis_.at(m_ + ns) = j;
    sb_.rg[static_cast<size_t>(ns)] = 0.0;
    ++ns;
    hess_.addColumn(ns);
  }
  in_.state.ns = ns;
}

// The basic costs of the phase's objective: its gradient at the basic variables, and in phase 1
// their infeasibilities.
BasicCosts MainLoop::basicCosts() const {
  const bool infeasible = feasibility_.ninf() > 0;
  const int32_t objSlack = objective_.objSlack();
  BasicCosts c;
  c.objSlack = objSlack;
  c.objSlackCost = objSlack >= 0 ? objective_.phaseGradient(objSlack, infeasible, feasibility_.weight()) : 0.0;
  c.gradient = !infeasible && objective_.nonlinear() ? objective_.gradient() : nullptr;
  c.n = n_;
  c.marks = infeasible ? feasibility_.marks() : nullptr;
  return c;
}

void MainLoop::loadBasicGradient() { prices_.loadCosts(basis_.list(), basicCosts()); }

// rg = g_S - S' pi over the superbasics, with its norms over all of them and over those in R.
void MainLoop::computeReducedGradient() {
  const int32_t ns = in_.state.ns;
  const int32_t inR = hess_.order(ns);
  sb_.rgNorm = sb_.rgNormR = 0.0;
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = basis_.at(m_ + k);
    double aPi = 0.0;
    if (j < n_) {
      const size_t uj = static_cast<size_t>(j);
      for (int32_t e = prob_.a.colStart[uj]; e < prob_.a.colStart[uj + 1]; ++e)
        aPi += prob_.a.value[static_cast<size_t>(e)] * pi_[static_cast<size_t>(prob_.a.row[static_cast<size_t>(e)])];
    } else {
      aPi = pi_[static_cast<size_t>(j - n_)];
    }
    const double rg = objective_.phaseGradient(j, feasibility_.ninf() > 0, feasibility_.weight()) - aPi;
    sb_.rg[static_cast<size_t>(k)] = rg;
    sb_.rgNorm = std::max(sb_.rgNorm, std::fabs(rg));
    if (k < inR) sb_.rgNormR = std::max(sb_.rgNormR, std::fabs(rg));
  }
}

void MainLoop::addSuperbasic(int32_t j, double rg) {
  int32_t& ns = in_.state.ns;
  basis_.at(m_ + ns) = j;
  sb_.rg[static_cast<size_t>(ns)] = rg;
  hs_[static_cast<size_t>(j)] = kSuperbasic;
  ++ns;
  hess_.addColumn(ns);
}

// Superbasic k leaves the set; the ones behind it move up one place.
void MainLoop::removeSuperbasic(int32_t k) {
  int32_t& ns = in_.state.ns;
  hess_.deleteColumn(k, ns);
  for (int32_t t = k; t + 1 < ns; ++t) {
    basis_.at(m_ + t) = basis_.at(m_ + t + 1);
    sb_.rg[static_cast<size_t>(t)] = sb_.rg[static_cast<size_t>(t + 1)];
  }
  --ns;
  basis_.at(m_ + ns) = -1;
}

// How far a variable is from its nearer bound (infinite bounds count as far).
double MainLoop::variableDistance(int32_t j) const {
  const size_t uj = static_cast<size_t>(j);
  return std::min(std::fabs(x_[uj] - prob_.lower[uj]), std::fabs(prob_.upper[uj] - x_[uj]));
}

}  // namespace kavro
