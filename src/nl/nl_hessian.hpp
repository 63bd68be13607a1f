#pragma once
// Exact second derivatives of a model's Lagrangian
//   L(x) = sigma f(x) + sum_i lambda_i c_i(x)
// (f one objective or none, c_i the constraints) in a sparse lower triangle fixed at set-up.
//
//   kavro::nl::Hessian h(model, 0);                  // objective 0 (-1: constraints only)
//   std::vector<double> values(h.nonzeros());
//   if (h.evaluate(x, sigma, lambda, values.data())) ...   // entry k is (rowOf(k), colOf(k))
//
// Forward over reverse on the expression tapes: the columns are grouped so that no two in a
// group share a row (nl_hessian_pattern.hpp), and one tangent sweep plus one second-order
// reverse sweep per group (nl_second_order.hpp) give H times the group's indicator, from which
// the group's entries are read. Functions are split into elements (nl_elements.hpp), and only
// the elements that depend on a group's variables and have a nonzero weight are swept for it. Defined variables are evaluated once per call, before the
// functions, and the chain rule through them is the reverse sweep continuing into their
// expressions after the functions', in the reverse of their evaluation order.
//
// evaluate() returns false when the Lagrangian has no Hessian at x: a function of nonzero weight
// (or a defined variable it uses) cannot be evaluated there, or a second derivative is not a
// finite number (log or sqrt at 0, x^1.5 at 0). values[] is then not meaningful.
//
// Products without the matrix, for a Hessian whose column groups are many (each evaluation
// costs a sweep per group) or whose pattern is too large to store: construct with
// kProductsOnly, then
//
//   if (h.preparePoint(x, sigma, lambda)) h.product(v, hv);   // H v, as often as needed
//
// one tangent sweep and one second-order reverse sweep over every function of nonzero weight
// per product; the pattern is never built.
//
// All storage is sized in the constructor: evaluations allocate nothing. The constructor throws
// HessianTooLarge when the pattern would not fit in memory. One object serves one caller at a
// time; it keeps a reference to the model, which must outlive it.

#include <cstdint>
#include <vector>

#include "nl/nl_elements.hpp"
#include "nl/nl_hessian_pattern.hpp"
#include "nl/nl_model.hpp"
#include "nl/nl_second_order.hpp"

namespace kavro::nl {

class Hessian {
 public:
  enum Form { kMatrix, kProductsOnly };
  Hessian(const Model& model, int32_t objective, Form form = kMatrix);

  int64_t nonzeros() const { return static_cast<int64_t>(entryRow_.size()); }
  // Entry k of values[]: row >= column, by columns, rows increasing in each column.
  int32_t rowOf(int64_t k) const { return entryRow_[k]; }
  int32_t colOf(int64_t k) const { return entryCol_[k]; }
  const int32_t* entryRows() const { return entryRow_.data(); }
  const int32_t* entryCols() const { return entryCol_.data(); }
  // The number of column groups: Hessian-vector products per evaluation.
  int32_t groups() const { return groups_; }

  // sigma weighs the objective (ignored without one), lambda[i] constraint i.
  bool evaluate(const double* x, double sigma, const double* lambda, double* values);

  // H v over the model's variables at the point of the last successful preparePoint; false
  // when an entry is not finite.
  bool preparePoint(const double* x, double sigma, const double* lambda);
  bool product(const double* v, double* hv);

 private:
  // Compressed lists, one per column group.
  struct GroupLists {
    std::vector<int32_t> start{0};
    std::vector<int32_t> item;
    const int32_t* begin(int32_t g) const { return item.data() + start[g]; }
    const int32_t* end(int32_t g) const { return item.data() + start[g + 1]; }
  };

  void buildGroups(const std::vector<int32_t>& color);
  double weightOf(int32_t f) const;
  double weightOf(const Element& e) const { return e.coef * weightOf(e.function); }
  // Values of the defined variables and of the functions of nonzero weight; false when one of
  // those functions cannot be evaluated.
  bool evaluatePoint(const double* x);
  void evaluateDefined();
  // (H d) for the indicator d of group g, its entries into values[]; false when one is not finite.
  bool sweepGroup(int32_t g, double* values);
  void carryTangent(int32_t v, int32_t g);
  void sweepElement(const Element& el);
  void sweepDefinedBackward(int32_t g);
  void clearGroup(int32_t g);
  bool forward(int32_t e);
  void sweepNodes(uint32_t first, uint32_t last);
  void sweepBack(uint32_t first, uint32_t last);
  void zeroNodes(std::vector<double>& a, uint32_t first, uint32_t last);

  const Model& m_;
  const Tape& tape_;
  int32_t objective_;
  std::vector<int32_t> functions_;  // nonconstant objective and constraints
  Elements elements_;               // of the functions
  std::vector<int32_t> entryRow_, entryCol_;
  int32_t groups_ = 0;
  GroupLists groupVars_, groupDefined_, groupElements_, groupEntries_;
  std::vector<int32_t> definedGroupStamp_;  // per defined variable: the last group it was swept for
  IndexLists definedUsed_;                  // per expression: the defined variables it uses directly
  std::vector<double> value_, tangent_, adjoint_, adjointDot_;  // per slot
  std::vector<Partials> partials_;                              // per node, at the point
  std::vector<uint8_t> definedError_;
  const double* lambda_ = nullptr;
  double sigma_ = 0.0;
};

}  // namespace kavro::nl
