#pragma once
// The basis of the main loop and its factors: the basis list (the m basic variables by position,
// then the superbasic ones), the LU factors of B kept up to date by column replacements, and the
// schedule that decides between a replacement and a refactorization. Beside them, what only the
// basis decides about the point: the basic values from the nonbasic ones (B x_B = b - N x_N),
// the row check of their accuracy, and the nonbasic variables put exactly on their bounds.
//
// Rules
//  - list(k), k < m, is the basic variable of position k; list(m + k) is superbasic k. States in
//    hs agree with the list after every factorization and every step.
//  - The factors are those of the basis at the last factorization, updated by every
//    replacement since; itnSinceFactor() counts the iterations since that factorization.
//  - b is zero but for the nonlinear rows of a linearized subproblem, whose right-hand sides the
//    major iterations keep (rhs: m entries, or none without nonlinear constraints).
//  - Nothing allocates after construction but a factorization, whose storage may grow.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "lu/basis_lu.hpp"
#include "lu/basis_manager.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// Internal states of nonbasic variables during the loop, beside those of kavro/problem.hpp.
inline constexpr int32_t kFixedNonbasic = 4;
inline constexpr int32_t kBetweenBounds = -1;

// What the print line of a factorization shows of the point.
struct FactorHeader {
  int32_t itn = 0;
  int32_t ninf = 0;
  double objectiveOrSinf = 0.0;
};

class BasisFactors {
 public:
  // maxSuperbasics: "Superbasics limit" (at least 1); the list has a position beyond them for a
  // variable on its way into the basis. factorElements: room for the factors, which may grow
  // when storageGrows.
  BasisFactors(Problem& prob, ProblemState& state, Parameters& params, const ReportChannels& out,
               const std::vector<double>* rhs, int32_t maxSuperbasics, int32_t factorElements, bool storageGrows);

  int32_t& at(int32_t position) { return list_[position]; }
  int32_t at(int32_t position) const { return list_[position]; }
  int32_t* list() { return list_.data(); }
  const int32_t* list() const { return list_.data(); }

  BasisLU& lu() { return lu_; }
  const FactorizationCounters& counters() const { return fc_; }
  int32_t luNonzeros() { return lu_.params().lenL() + lu_.params().lenU(); }
  int32_t itnSinceFactor() const { return itnSinceFactor_; }
  void countIteration() { ++itnSinceFactor_; }

  // ---- factorization
  void request(FactorRequest why) { fc_.factorRequest = why; }
  // A refactorization asked for again before a single iteration: the factors cannot be improved
  // (a row error's second try is allowed).
  bool requestedTwice() const;
  // Factorizes the basic set of hs (choosing basic and superbasic variables anew as kind says);
  // kOptimal or the exit of a failure, whose message is printed.
  ExitCode factorize(FactorKind kind, const FactorHeader& header);
  // Whether that factorization exchanged basic and superbasic variables.
  bool superbasicsChanged() const { return fc_.superbasicsChanged; }
  // " BS and SB values:" with each basic and superbasic variable ("Debug level" 100).
  void printBasicAndSuperbasics() const { printBasicAndSuperbasicValues(set_, out_); }

  // ---- the basic values
  void recomputeBasics();
  // True when max |b - A x| / (1 + max |x_B|) is within "Row check tolerance"; with correcting,
  // one refinement step first when the residual is not negligible. A failure is printed.
  bool rowCheck(bool correcting, int32_t itn);

  // ---- after a step: replaces position's column (position < 0: the basis did not change) and
  // checks the rows now and then. Returns kNone, or why the basis must be refactorized instead.
  FactorRequest update(int32_t position, int32_t itn);

  // ---- states and bounds
  // Every nonbasic variable at a bound (or fixed) goes exactly onto it; returns the largest move.
  double moveNonbasicsOntoBounds();
  // Every variable that is not basic goes within its bounds, and a nonbasic one takes the state
  // its value and bounds give it.
  void placeWithinBounds();
  // States 0 and 1 become the internal ones (fixed, between bounds) where the bounds say so, and
  // back at the end.
  void toInternalStates();
  void toExternalStates();

 private:
  void computeResidual(double* r) const;
  const double* rhs() const { return rhs_ ? rhs_->data() : nullptr; }

  Problem& prob_;
  ProblemState& state_;
  Parameters& p_;
  const ReportChannels out_;
  const std::vector<double>* rhs_;
  const int32_t m_, n_;
  BasisLU lu_;
  FactorizationCounters fc_;
  std::vector<int32_t> list_;
  BasisSet set_;
  int32_t itnSinceFactor_ = 0;
  std::vector<double> work_, work2_;  // m: right-hand sides and solutions
};

}  // namespace kavro
