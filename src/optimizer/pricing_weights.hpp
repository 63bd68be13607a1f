#pragma once
// Pricing rules that weigh each reduced cost by the length of the edge its variable would move
// along, so that the choice does not depend on how the columns happen to be scaled. Lengths are
// measured in a reference framework (a set of variables): the weight of variable j is
//   w_j = [j in the framework] + sum of (B^-1 a_j)_k^2 over the basis positions k whose
//         variable is in the framework.
// A framework starts with every weight exact: from a slack basis it is every variable (the full
// steepest-edge norms 1 + ||B^-1 a_j||^2, which are then the column norms), otherwise the
// variables nonbasic at that moment (every weight 1).
//
//   Devex (rule 1)          updates the weights cheaply by w_j <- max(w_j, ratio^2 w_q).
//   steepest edge (rule 2)  updates them exactly (Goldfarb and Reid), with one more solve with
//                           B' per iteration.
//
// In both, the entering variable's weight is recomputed from its column every iteration; when
// it differs from the updated value by more than a factor of 3 (Devex drifts by design,
// steepest edge by rounding on ill-conditioned bases) a new framework of the nonbasic
// variables starts. Both price every nonbasic variable (no partial pricing) and choose the
// largest d_j^2 / w_j among those whose measure exceeds the same tolerance as the
// largest-reduced-cost rule, so the optimality test is the same for every rule; ties go to the
// lowest index. While the reduced costs are updated step by step (in phase 1 too, while the
// steps leave the set of infeasible basics alone), only the variables that the pivot rows touch
// can start to price out, so a list of possible candidates is kept and scanned instead of every
// variable; when too many price out for a list, the best of each block of variables is kept and
// only the blocks that the steps touched are scanned again. Weights belong
// to variables, not to basis positions: a refactorization that only reorders the basis keeps
// them. Any other change of the basis than a simplex step (dependent columns replaced by
// slacks, a crash, reduced-gradient steps) makes them invalid, and a new framework starts
// before the next weighted pricing.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "kernels/index_list.hpp"
#include "kernels/sparse_vector.hpp"
#include "optimizer/candidate_blocks.hpp"
#include "optimizer/candidate_list.hpp"
#include "optimizer/nonbasic_rows.hpp"
#include "optimizer/pricing.hpp"

namespace kavro {

class BasisLU;

// Which tau dots a column pass of the pivot row forms: none, those of the columns with a nonzero
// pivot-row entry (in a loop of their own), or every column's (in the same loop).
enum class TauDots { kNone, kTouched, kAll };

enum class PricingRule : int32_t { kLargestReducedCost = 0, kDevex = 1, kSteepestEdge = 2 };

// One basis change by a simplex step, seen before the states and the basis list change and
// while the factors still hold the old basis.
struct PivotColumn {
  int32_t entering = -1;          // q
  int32_t position = -1;          // r: the basis position q takes
  const double* alpha = nullptr;  // B^-1 a_q by basis position (m entries)
  // The positions where alpha may be nonzero (count of them), or count -1: any position.
  const int32_t* index = nullptr;
  int32_t count = -1;
  // The leaving variable's cost as a basic less its cost as a nonbasic (phase 1: its
  // infeasibility), which its kept reduced cost must lose.
  double leavingCost = 0.0;
};

class PricingWeights {
 public:
  // Sizes every array for the problem and keeps a row-wise copy of its matrix (the values as
  // they are now: call again after the matrix changes). The weights start invalid.
  void size(const Problem& prob, PricingRule rule);
  PricingRule rule() const { return rule_; }
  bool active() const { return rule_ != PricingRule::kLargestReducedCost; }
  bool valid() const { return valid_; }
  void invalidate() {
    valid_ = reducedCostsKept_ = candidatesKept_ = false;
    blocks_.forget();
  }

  // A new framework for the current basis (hs: states, basisList: the m basic variables by
  // position): every variable with the full norms when the basis is all slacks and the rule is
  // steepest edge, else the nonbasic variables with weights 1.
  void reset(const int32_t* hs, const int32_t* basisList);

  // Prices every variable: the result names the candidate with the largest measure^2 / weight
  // among those whose measure exceeds toldj. reducedCost (nb) receives all reduced costs; with
  // reuse (the costs have not changed since the last pricing) the ones kept up to date by the
  // updates since then are taken instead (and in.pi is not read), and only the variables that
  // may have become candidates since are scanned, so that the caller should price again without
  // reuse, from fresh prices, before it concludes that no candidate is left.
  PricingResult price(const PricingInput& in, double* reducedCost, bool reuse);

  // Brings the weights to the basis after the change described by pivot, and the reduced costs
  // of the last pricing with them (d_j -= d_q alpha_rj / alpha_rq; the leaving variable gets
  // -d_q / alpha_rq), so that they stay those of the new basis while the costs do not change.
  void update(const PivotColumn& pivot, const int32_t* hs, const int32_t* basisList, BasisLU& lu);
  // Variable j went from one bound to the other without a basis change.
  void boundFlipped(int32_t j) { blocks_.markStale(j); }

  double weight(int32_t j) const { return weight_[j]; }
  // Reference frameworks set up since size(), counting the first.
  int32_t frameworks() const { return frameworks_; }
  // Pricings since size() that scanned only the candidate list, or only the changed blocks.
  int32_t listedPricings() const { return listedPricings_; }
  int32_t blockPricings() const { return blockPricings_; }
  // Pivot rows since size() formed row by row.
  int32_t rowwisePivotRows() const { return rowwisePivotRows_; }
  bool inFramework(int32_t j) const { return inFramework_[j] != 0; }

  // A new framework starts when the entering variable's updated weight and its value
  // recomputed in the framework differ by more than this factor: Devex weights drift by
  // design; steepest-edge weights drift only by rounding, which grows large on
  // ill-conditioned bases.
  static constexpr double kResetRatio = 3.0;

 private:
  // pivotRow_[j] = rho' a_j for the nonbasic variables j touched by rho (by row, m entries);
  // their indices go to touched_.
  // With tau (steepest edge), tauDot_[j] = tau' a_j is formed too when the pass goes by columns.
  void computePivotRow(const kernels::SparseVector& rho, const double* tau, const int32_t* hs);
  void computePivotRowByRows(const kernels::SparseVector& rho, const int32_t* hs);
  template <TauDots kDots>
  void computePivotRowByColumns(const double* rho, const double* tau, const int32_t* hs);
  // The running fraction of the scanned columns with a nonzero pivot-row entry; below this
  // their tau dots get a loop of their own.
  double columnsTouched_ = 0.0;
  static constexpr double kTouchedColumnsApart = 0.5;
  void touchSlacks(const double* rho, const int32_t* hs);
  // The pass by rows scatters into the row and, with tau, reads each touched column again, so
  // an entry it reads costs about this many of the pass by columns.
  static constexpr double kRowwiseCost = 3.0;
  double averageColumnLength_ = 1.0;
  void clearPivotRow();
  // rho = B^-T e_r by row.
  void solveUnitRow(int32_t r, BasisLU& lu);
  // y = B^-T rhs_ (rhs_ is left zero), by the sparse or the dense solve as density suggests.
  void solveTransposed(kernels::SparseVector& y, double& density, BasisLU& lu);
  void solveTauAndRho(int32_t r, BasisLU& lu);
  void recordDense(kernels::SparseVector& y, double& density) const;
  void recordDensity(double& density, int32_t nonzeros) const;
  static constexpr double kDenseSolution = 0.25;
  void keepCandidate(int32_t j);
  static constexpr double kListFraction = 0.125;
  bool slackBasis(const int32_t* basisList) const;
  void newFramework(const int32_t* basisList);
  void fullNormsAtSlackBasis(const int32_t* hs);
  template <bool kTauRhs>
  double frameworkNorm(const PivotColumn& pivot, const int32_t* basisList);
  void updateReducedCosts(int32_t q, int32_t leaving, double alphaRq, double leavingCost);
  void updateDevex(int32_t q, double alphaRq, double wq);
  void finishReducedCosts(int32_t q, int32_t leaving, double theta, double leavingCost, bool listed);
  enum class CostUpdate { kNone, kListed, kBlocks };
  template <CostUpdate kCosts>
  void updateSteepestEdge(int32_t q, double theta, double alphaRq, double wq);
  void updateSteepestEdgeAndCosts(int32_t q, int32_t leaving, double alphaRq, double wq, double leavingCost);
  double columnDot(int32_t j, const double* rowVector) const;
  // Variables whose weight matters: nonbasic and free to move (a fixed nonbasic never enters).
  static bool priceable(int32_t h) { return h != kBasic && h != kSuperbasic && h != 4; }

  // Every variable is scanned, and the candidate list made anew.
  PricingResult chooseAll(const PricingInput& in, double toldj);
  // Only the listed variables; those that no longer price out leave the list.
  PricingResult chooseListed(const PricingInput& in, double toldj);
  // The best of the block bests, the blocks changed since rescanned.
  PricingResult chooseByBlocks(const PricingInput& in, double toldj);
  PricingResult chosen(int32_t j, int32_t nAbove, double toldj) const;
  CandidateScores scores(const int32_t* hs) const { return CandidateScores{hs, reducedCost_, weight_.data()}; }

  PricingRule rule_ = PricingRule::kLargestReducedCost;
  bool valid_ = false;
  bool reducedCostsKept_ = false;  // reducedCost_ holds those of the current basis
  bool candidatesKept_ = false;    // every variable that prices out at listTol_ is listed
  int32_t listLimit_ = 0;          // longer lists are given up
  double listTol_ = 0.0;
  double* reducedCost_ = nullptr;  // the caller's array, from the last pricing
  int32_t m_ = 0, n_ = 0;
  const Problem* prob_ = nullptr;
  NonbasicRows rows_;                 // the matrix by rows, the nonbasic columns first
  std::vector<double> weight_;        // nb
  std::vector<uint8_t> inFramework_;  // nb (Devex)
  std::vector<double> pivotRow_;      // nb, zero outside touched_
  std::vector<double> tauDot_;        // nb, tau' a_j over touched_ when tauDotsFormed_
  bool tauDotsFormed_ = false;
  std::vector<uint8_t> touchedMark_;  // nb
  kernels::IndexList touched_;
  std::vector<int32_t> above_;                       // nb: the variables that price out, in a full scan
  CandidateList candidates_;                         // nb
  CandidateBlocks blocks_;                           // nb, when the list is too long to keep
  kernels::SparseVector rhs_, unitRhs_, rho_, tau_;  // m: right-hand sides by position, solutions by row
  double rhoDensity_ = 0.0, tauDensity_ = 0.0;       // running nonzero fractions of rho and tau
  int32_t frameworks_ = 0;
  int32_t listedPricings_ = 0;
  int32_t blockPricings_ = 0;
  int32_t rowwisePivotRows_ = 0;
};

}  // namespace kavro
