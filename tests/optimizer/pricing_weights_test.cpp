// The pricing weights: updates checked against norms recomputed from scratch after each basis
// change, the reference framework of Devex and its reset, and the choice they make.

#include "optimizer/pricing_weights.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "io/units.hpp"
#include "lu/basis_manager.hpp"
#include "random_problem.hpp"
#include "specs/parameters.hpp"

namespace kavro {
namespace {

// A basis kept by full refactorization after each change, with simplex-style pivots chosen by
// the test, and the weights kept beside it.
struct Harness {
  Problem prob;
  std::vector<int32_t> hs, basisList;
  std::vector<double> x;
  int32_t ns = 0;
  Parameters params;
  ReportChannels out;
  BasisLU lu;
  FactorizationCounters counters;
  BasisSet set;
  PricingWeights weights;
  bool listAlpha = false;  // hand the pivot column over with the list of its nonzeros
  // Costs that hold only while a variable is basic, as phase 1's infeasibilities: a variable
  // that leaves the basis loses its cost for good (empty: none).
  std::vector<double> basicCost;

  Harness(Problem p, PricingRule rule) : prob(std::move(p)) {
    params.luFactorTolerance = 100.0;
    params.luUpdateTolerance = 10.0;
    params.luSingularityTol = params.luSingularityTol2 = 3.25e-11;
    params.luDensity = 0.5;
    const size_t nb = static_cast<size_t>(prob.nb());
    hs.assign(nb, kAtLower);
    for (int32_t i = 0; i < prob.m; ++i) hs[static_cast<size_t>(prob.n + i)] = kBasic;
    x.assign(nb, 0.0);
    basisList.assign(static_cast<size_t>(prob.m) + 1, -1);
    lu.size(prob.m, prob.m + 1, 20000);
    set = BasisSet{&prob, &hs, &x, &basisList, &ns};
    factorize();
    weights.size(prob, rule);
  }

  void factorize() {
    counters.factorRequest = FactorRequest::kNone;
    ASSERT_EQ(factorizeBasis(set, lu, params, out, counters), kOptimal);
  }

  // B^-1 a_j by basis position.
  std::vector<double> column(int32_t j) {
    std::vector<double> rhs(static_cast<size_t>(prob.m), 0.0), alpha(static_cast<size_t>(prob.m), 0.0);
    if (j < prob.n) {
      for (int32_t k = prob.a.colStart[static_cast<size_t>(j)]; k < prob.a.colStart[static_cast<size_t>(j) + 1]; ++k)
        rhs[static_cast<size_t>(prob.a.row[static_cast<size_t>(k)])] = prob.a.value[static_cast<size_t>(k)];
    } else {
      rhs[static_cast<size_t>(j - prob.n)] = 1.0;
    }
    lu.solveB(rhs.data(), alpha.data());
    return alpha;
  }

  // The weight of j recomputed from its column: its own 1 when it is in the framework, plus the
  // squares of its entries in the basic positions whose variables are in the framework. Devex
  // weights are kept at 1 or more.
  double exactWeight(int32_t j) {
    const std::vector<double> alpha = column(j);
    double w = weights.inFramework(j) ? 1.0 : 0.0;
    for (int32_t k = 0; k < prob.m; ++k)
      if (weights.inFramework(basisList[static_cast<size_t>(k)]))
        w += alpha[static_cast<size_t>(k)] * alpha[static_cast<size_t>(k)];
    return weights.rule() == PricingRule::kDevex ? std::max(w, 1.0) : w;
  }

  // q enters at the position of its largest (or, when asked, its smallest usable) entry.
  void pivot(int32_t q, bool smallPivot = false) {
    const std::vector<double> alpha = column(q);
    int32_t r = -1;
    for (int32_t k = 0; k < prob.m; ++k) {
      const double a = std::fabs(alpha[static_cast<size_t>(k)]);
      if (a < 1e-3) continue;
      if (r < 0 ||
          (smallPivot ? a < std::fabs(alpha[static_cast<size_t>(r)]) : a > std::fabs(alpha[static_cast<size_t>(r)])))
        r = k;
    }
    ASSERT_GE(r, 0);
    std::vector<int32_t> nonzeros;
    for (int32_t k = 0; k < prob.m; ++k)
      if (alpha[static_cast<size_t>(k)] != 0.0) nonzeros.push_back(k);
    PivotColumn column{q, r, alpha.data()};
    if (listAlpha) {
      column.index = nonzeros.data();
      column.count = static_cast<int32_t>(nonzeros.size());
    }
    const int32_t leaving = basisList[static_cast<size_t>(r)];
    if (!basicCost.empty()) {
      column.leavingCost = basicCost[static_cast<size_t>(leaving)];
      basicCost[static_cast<size_t>(leaving)] = 0.0;
    }
    weights.update(column, hs.data(), basisList.data(), lu);
    hs[static_cast<size_t>(q)] = kBasic;
    hs[static_cast<size_t>(leaving)] = kAtLower;
    factorize();
  }

  // Every nonbasic weight against its value recomputed from scratch.
  void expectExactWeights(int step) {
    for (int32_t j = 0; j < prob.nb(); ++j) {
      if (hs[static_cast<size_t>(j)] == kBasic) continue;
      const double exact = exactWeight(j);
      EXPECT_NEAR(weights.weight(j), exact, 1e-9 * std::max(exact, 1.0)) << "variable " << j << " after step " << step;
    }
  }

  // A nonbasic variable, chosen by the generator.
  int32_t someNonbasic(std::mt19937& rng) {
    for (;;) {
      const int32_t j = static_cast<int32_t>(rng() % static_cast<unsigned>(prob.nb()));
      if (hs[static_cast<size_t>(j)] != kBasic) return j;
    }
  }
};

TEST(PricingWeights, SteepestEdgeUpdatesMatchNormsRecomputedFromScratch) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    Harness h(test_support::randomProblem(9, 15, 0.3, seed), PricingRule::kSteepestEdge);
    h.listAlpha = seed % 2 == 0;
    // From the slack basis the weights are the full norms 1 + ||B^-1 a_j||^2.
    h.weights.reset(h.hs.data(), h.basisList.data());
    for (int32_t j = 0; j < h.prob.nb(); ++j) EXPECT_TRUE(h.weights.inFramework(j));
    std::mt19937 rng(seed);
    for (int step = 0; step < 25; ++step) {
      h.pivot(h.someNonbasic(rng));
      ASSERT_EQ(h.weights.frameworks(), 1) << "no reset expected at step " << step;
      h.expectExactWeights(step);
    }
    // Dense rows: the pivot rows went by columns at least once.
    EXPECT_LT(h.weights.rowwisePivotRows(), 25);
  }
}

// On a sparse matrix the pivot rows go row by row, over the nonbasic entries kept ahead in each
// row; the weights must come out as exact as by columns.
TEST(PricingWeights, PivotRowsFormedByRowsKeepTheWeightsExact) {
  for (unsigned seed : {5u, 6u}) {
    SCOPED_TRACE(seed);
    Harness h(test_support::randomProblem(40, 90, 0.03, seed), PricingRule::kSteepestEdge);
    h.listAlpha = seed % 2 == 0;
    h.weights.reset(h.hs.data(), h.basisList.data());
    std::mt19937 rng(seed);
    for (int step = 0; step < 40; ++step) {
      h.pivot(h.someNonbasic(rng));
      h.expectExactWeights(step);
    }
    EXPECT_GT(h.weights.rowwisePivotRows(), 20);
  }
}

TEST(PricingWeights, SteepestEdgeInAFrameworkOfTheNonbasicVariables) {
  Harness h(test_support::randomProblem(8, 12, 0.35, 7), PricingRule::kSteepestEdge);
  std::mt19937 rng(7);
  for (int step = 0; step < 6; ++step) h.pivot(h.someNonbasic(rng));
  // Not a slack basis: the weights start as 1 for a framework of today's nonbasic variables.
  h.weights.reset(h.hs.data(), h.basisList.data());
  for (int32_t j = 0; j < h.prob.nb(); ++j) {
    EXPECT_EQ(h.weights.inFramework(j), h.hs[static_cast<size_t>(j)] != kBasic) << j;
    if (h.hs[static_cast<size_t>(j)] != kBasic) {
      EXPECT_EQ(h.weights.weight(j), 1.0);
    }
  }
  // A reset (the entering weight drifted) starts a new framework whose weights are exact too.
  for (int step = 0; step < 20; ++step) {
    h.pivot(h.someNonbasic(rng));
    h.expectExactWeights(step);
  }
}

TEST(PricingWeights, DevexStartsANewFrameworkWhenTheEnteringWeightHasDrifted) {
  Harness h(test_support::randomProblem(10, 18, 0.3, 11), PricingRule::kDevex);
  h.weights.reset(h.hs.data(), h.basisList.data());
  EXPECT_EQ(h.weights.frameworks(), 1);
  std::mt19937 rng(11);
  bool reset = false;
  for (int step = 0; step < 400 && !reset; ++step) {
    // Small pivots make the weights grow fast, and the max-update lets them overestimate.
    const int32_t q = h.someNonbasic(rng);
    const double updated = h.weights.weight(q);
    const double exact = h.exactWeight(q);
    const int before = h.weights.frameworks();
    h.pivot(q, true);
    const bool drifted = updated > PricingWeights::kResetRatio * exact || exact > PricingWeights::kResetRatio * updated;
    if (h.weights.frameworks() == before) {
      EXPECT_FALSE(drifted) << "no reset although the weight drifted";
      continue;
    }
    reset = true;
    EXPECT_TRUE(drifted);
    // The new framework is the nonbasic set after the change, every weight 1.
    for (int32_t j = 0; j < h.prob.nb(); ++j) {
      EXPECT_EQ(h.weights.inFramework(j), h.hs[static_cast<size_t>(j)] != kBasic) << j;
      EXPECT_EQ(h.weights.weight(j), 1.0) << j;
    }
  }
  EXPECT_TRUE(reset) << "the pivots never made the weights drift";
}

TEST(PricingWeights, DevexWeightsStayAtLeastOne) {
  Harness h(test_support::randomProblem(10, 18, 0.3, 5), PricingRule::kDevex);
  h.weights.reset(h.hs.data(), h.basisList.data());
  std::mt19937 rng(5);
  for (int step = 0; step < 60; ++step) {
    h.pivot(h.someNonbasic(rng));
    for (int32_t j = 0; j < h.prob.nb(); ++j) EXPECT_GE(h.weights.weight(j), 1.0);
  }
}

TEST(PricingWeights, ChoosesTheLargestReducedCostPerUnitEdgeLength) {
  // One row; from the slack basis the weights are 1 + a_j^2: 2, 10 and 2.
  Problem p;
  p.m = 1;
  p.n = 3;
  p.a.colStart = {0, 1, 2, 3};
  p.a.row = {0, 0, 0};
  p.a.value = {1.0, 3.0, 1.0};
  p.lower.assign(4, 0.0);
  p.upper.assign(4, 1.0);
  Harness h(p, PricingRule::kSteepestEdge);
  h.weights.reset(h.hs.data(), h.basisList.data());
  EXPECT_DOUBLE_EQ(h.weights.weight(1), 10.0);
  const std::vector<double> gradient = {-1.0, -2.0, -0.5};
  const double pi = 0.0;
  PricingInput in;
  in.prob = &h.prob;
  in.hs = h.hs.data();
  in.pi = &pi;
  in.gradient = gradient.data();
  std::vector<double> dj(4, 0.0);
  // Scores dj^2 / w: 0.5, 0.4 and 0.125. The largest reduced cost (variable 1) loses.
  const PricingResult r = h.weights.price(in, dj.data(), false);
  EXPECT_EQ(r.enteringVar, 0);
  EXPECT_EQ(r.nAbove, 3);
  EXPECT_DOUBLE_EQ(dj[1], -2.0);
  EXPECT_TRUE(r.increase);
  // At its upper bound a negative reduced cost is no candidate; the basic slack never is.
  h.hs[0] = kAtUpper;
  const PricingResult r2 = h.weights.price(in, dj.data(), false);
  EXPECT_EQ(r2.enteringVar, 1);
  EXPECT_EQ(r2.nAbove, 2);
}

// Reduced costs d = c - A' pi with B' pi = c_B, recomputed from scratch: c is cost over the
// structural columns (slacks cost nothing) plus the harness's basic costs.
std::vector<double> freshReducedCosts(Harness& h, const std::vector<double>& cost) {
  const int32_t m = h.prob.m;
  std::vector<double> cB(static_cast<size_t>(m)), pi(static_cast<size_t>(m));
  for (int32_t k = 0; k < m; ++k) {
    const int32_t j = h.basisList[static_cast<size_t>(k)];
    cB[static_cast<size_t>(k)] = (j < h.prob.n ? cost[static_cast<size_t>(j)] : 0.0) +
                                 (h.basicCost.empty() ? 0.0 : h.basicCost[static_cast<size_t>(j)]);
  }
  h.lu.solveBt(cB.data(), pi.data());
  std::vector<double> d(static_cast<size_t>(h.prob.nb()));
  priceColumns(h.prob, pi.data(), cost.data(), 0, h.prob.n, d.data());
  for (int32_t i = 0; i < m; ++i) d[static_cast<size_t>(h.prob.n + i)] = -pi[static_cast<size_t>(i)];
  return d;
}

// The kept reduced costs against fresh ones, and the choice made from them against the best of
// all variables by the fresh ones, as a scan of every variable would make it.
void expectKeptCostsAndBestChoice(Harness& h, const std::vector<double>& cost, const std::vector<double>& dj,
                                  const PricingResult& r, int step) {
  const std::vector<double> fresh = freshReducedCosts(h, cost);
  int32_t expected = -1, above = 0;
  double bestScore = 0.0;
  for (int32_t j = 0; j < h.prob.nb(); ++j) {
    const int32_t state = h.hs[static_cast<size_t>(j)];
    if (state == kBasic) continue;
    EXPECT_NEAR(dj[static_cast<size_t>(j)], fresh[static_cast<size_t>(j)], 1e-9) << j << " at step " << step;
    const double d = candidateMeasure(state, fresh[static_cast<size_t>(j)]);
    if (d <= r.toldj) continue;
    ++above;
    const double score = d * d / std::max(h.weights.weight(j), 1.0);
    if (score > bestScore) {
      bestScore = score;
      expected = j;
    }
  }
  // Devex makes near ties (weights raised to ratio^2 w_q give scores close to each other): the
  // choice must be as good as the best up to rounding.
  ASSERT_EQ(r.enteringVar >= 0, expected >= 0) << "step " << step;
  if (expected >= 0) {
    const size_t chosen = static_cast<size_t>(r.enteringVar);
    const double d = candidateMeasure(h.hs[chosen], fresh[chosen]);
    EXPECT_GT(d, r.toldj);
    EXPECT_GE(d * d / std::max(h.weights.weight(r.enteringVar), 1.0), bestScore * (1.0 - 1e-12)) << "step " << step;
  }
  EXPECT_EQ(r.nAbove, above) << "step " << step;
}

TEST(PricingWeights, KeptReducedCostsAndCandidateListFollowTheSteps) {
  for (PricingRule rule : {PricingRule::kSteepestEdge, PricingRule::kDevex}) {
    SCOPED_TRACE(static_cast<int>(rule));
    // Few priced columns, so that few variables price out and the list is kept.
    Harness h(test_support::randomProblem(30, 600, 0.04, 21), rule);
    h.listAlpha = true;
    h.weights.reset(h.hs.data(), h.basisList.data());
    std::vector<double> cost(static_cast<size_t>(h.prob.n), 0.0);
    for (int32_t j = 0; j < h.prob.n; j += 53) cost[static_cast<size_t>(j)] = -1.0 - 0.01 * j;
    const std::vector<double> pi(static_cast<size_t>(h.prob.m), 0.0);  // of the slack basis
    PricingInput in;
    in.prob = &h.prob;
    in.hs = h.hs.data();
    in.pi = pi.data();
    in.gradient = cost.data();
    std::vector<double> dj(static_cast<size_t>(h.prob.nb()), 0.0);
    PricingResult r = h.weights.price(in, dj.data(), false);
    for (int step = 0; step < 40 && r.enteringVar >= 0; ++step) {
      h.pivot(r.enteringVar);
      r = h.weights.price(in, dj.data(), true);
      expectKeptCostsAndBestChoice(h, cost, dj, r, step);
    }
    EXPECT_GE(h.weights.listedPricings(), 5);  // the list was used, not only the full scan
  }
}

// Phase 1: the basics outside their bounds cost +-1 until they leave the basis at a bound, and
// no longer after. Steps that change no other cost keep the reduced costs exact, provided the
// leaving variable's reduced cost loses the cost it had as a basic.
TEST(PricingWeights, KeptReducedCostsFollowPhaseOneSteps) {
  for (unsigned seed : {31u, 32u}) {
    SCOPED_TRACE(seed);
    Harness h(test_support::randomProblem(30, 1500, 0.02, seed), PricingRule::kSteepestEdge);
    h.listAlpha = true;
    h.weights.reset(h.hs.data(), h.basisList.data());
    h.basicCost.assign(static_cast<size_t>(h.prob.nb()), 0.0);
    for (int32_t i : {3, 8, 17, 22, 28}) h.basicCost[static_cast<size_t>(h.prob.n + i)] = i % 2 == 0 ? 1.0 : -1.0;
    const std::vector<double> cost(static_cast<size_t>(h.prob.n), 0.0);
    std::vector<double> pi(static_cast<size_t>(h.prob.m), 0.0);  // of the slack basis: pi = c_B
    for (int32_t i = 0; i < h.prob.m; ++i) pi[static_cast<size_t>(i)] = h.basicCost[static_cast<size_t>(h.prob.n + i)];
    PricingInput in;
    in.prob = &h.prob;
    in.hs = h.hs.data();
    in.pi = pi.data();
    in.feasible = false;
    std::vector<double> dj(static_cast<size_t>(h.prob.nb()), 0.0);
    PricingResult r = h.weights.price(in, dj.data(), false);
    int steps = 0;
    for (; steps < 30 && r.enteringVar >= 0; ++steps) {
      h.pivot(r.enteringVar);
      r = h.weights.price(in, dj.data(), true);
      expectKeptCostsAndBestChoice(h, cost, dj, r, steps);
    }
    EXPECT_GE(steps, 4);
    EXPECT_GE(h.weights.listedPricings(), 2);
  }
}

TEST(CandidateList, AddsOnceAndRemovesByMovingTheLastMember) {
  CandidateList list;
  list.size(10);
  for (int32_t j : {4, 7, 4, 2, 9}) list.add(j);
  ASSERT_EQ(list.count(), 4);
  list.removeAt(1);  // 7 leaves; 9, the last, takes its slot
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(list[1], 9);
  EXPECT_FALSE(list.contains(7));
  EXPECT_TRUE(list.contains(9));
  list.removeAt(2);  // the last member itself
  EXPECT_FALSE(list.contains(2));
  list.add(7);
  EXPECT_EQ(list[2], 7);
  list.clear();
  EXPECT_EQ(list.count(), 0);
  for (int32_t j = 0; j < 10; ++j) EXPECT_FALSE(list.contains(j));
}

}  // namespace
}  // namespace kavro
