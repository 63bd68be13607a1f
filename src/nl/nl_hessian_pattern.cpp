#include "nl/nl_hessian_pattern.hpp"

#include <algorithm>
#include <numeric>

namespace kavro::nl {

namespace {

// Which operand pairs of an operation have a second derivative that is not zero everywhere.
struct SecondOrder {
  bool aa = false, ab = false, bb = false;
  bool any() const { return aa || ab || bb; }
};

SecondOrder secondOrderOf(const Node& n, const Tape& tape) {
  switch (n.op) {
    case Op::kMul: return {false, true, false};
    case Op::kDiv: return {false, true, true};
    case Op::kPow:
    case Op::kAtan2: return {true, true, true};
    case Op::kSquare: return {true, false, false};
    case Op::kPowInt: {
      const int32_t k = static_cast<int32_t>(n.b);
      return {k != 0 && k != 1, false, false};
    }
    case Op::kPowConst: {
      const double c = tape.isConstant(n.b) ? tape.constants[n.b - tape.constantBase()] : 2.0;
      return {c != 0.0 && c != 1.0, false, false};
    }
    case Op::kConstPow:
    case Op::kTanh:
    case Op::kTan:
    case Op::kSqrt:
    case Op::kSinh:
    case Op::kSin:
    case Op::kLog10:
    case Op::kLog:
    case Op::kExp:
    case Op::kCosh:
    case Op::kCos:
    case Op::kAtanh:
    case Op::kAtan:
    case Op::kAsinh:
    case Op::kAsin:
    case Op::kAcosh:
    case Op::kAcos: return {true, false, false};
    default: return {};
  }
}

// Whether an operation's value moves with its operands at all (its first derivative is not
// zero everywhere); kIf moves with its branches only.
bool passesVariables(Op op) {
  switch (op) {
    case Op::kAdd:
    case Op::kSub:
    case Op::kMul:
    case Op::kDiv:
    case Op::kRem:
    case Op::kPow:
    case Op::kLess:
    case Op::kAtan2:
    case Op::kPowConst:
    case Op::kConstPow:
    case Op::kSquare:
    case Op::kPowInt:
    case Op::kAbs:
    case Op::kNeg:
    case Op::kSum:
    case Op::kMin:
    case Op::kMax:
    case Op::kIf: return true;
    default: return Tape::operandKind(op) == Tape::kOne && op > Op::kNot && op <= Op::kAcos;
  }
}

// The operand slots through which an operation's value moves.
template <class F>
void forEachMovingOperand(const Tape& tape, const Node& n, F f) {
  if (!passesVariables(n.op)) return;
  switch (Tape::operandKind(n.op)) {
    case Tape::kTwo: f(n.a), f(n.b); break;
    case Tape::kOne: f(n.a); break;
    case Tape::kList:
      for (uint32_t i = 0; i < n.b; ++i) f(tape.args[n.a + i]);
      break;
    case Tape::kIfArgs: f(tape.args[n.a + 1]), f(tape.args[n.a + 2]); break;
    default: break;
  }
}

class PatternBuilder {
 public:
  explicit PatternBuilder(const Model& m) : m_(m), tape_(m.tape), identity_(static_cast<size_t>(m.nVars())) {
    std::iota(identity_.begin(), identity_.end(), 0);
  }

  void addExpression(int32_t e) {
    const uint32_t first = tape_.first[e], last = tape_.last[e];
    currentFirst_ = first;
    markNeeded(first, last);
    deps_.assign(last - first, {});
    for (uint32_t k = first; k < last; ++k) {
      const Node& n = tape_.nodes[k];
      if (needed_[k - first]) collectDeps(n, deps_[k - first]);
      const SecondOrder s = secondOrderOf(n, tape_);
      if (s.aa) addProduct(n.a, n.a);
      if (s.ab) addProduct(n.a, n.b);
      if (s.bb) addProduct(n.b, n.b);
    }
    deps_.clear();
  }

  HessianPattern finish() {
    compact();
    HessianPattern p;
    p.n = m_.nVars();
    p.colStart.assign(static_cast<size_t>(p.n) + 1, 0);
    p.row.reserve(pairs_.size());
    for (uint64_t pair : pairs_) {  // sorted by column, then row
      ++p.colStart[(pair >> 32) + 1];
      p.row.push_back(static_cast<int32_t>(pair & 0xffffffffu));
    }
    for (int32_t j = 0; j < p.n; ++j) p.colStart[j + 1] += p.colStart[j];
    return p;
  }

 private:
  static constexpr size_t kMaxPairs = size_t{1} << 27;

  struct Range {
    const int32_t* begin = nullptr;
    const int32_t* end = nullptr;
  };

  // needed_[k]: node k is an operand, directly or through piecewise linear operations, of an
  // operation with second derivatives, so its variables are asked for.
  void markNeeded(uint32_t first, uint32_t last) {
    needed_.assign(last - first, 0);
    for (uint32_t k = last; k-- > first;) {
      const Node& n = tape_.nodes[k];
      const bool mark = needed_[k - first] || secondOrderOf(n, tape_).any();
      if (!mark) continue;
      forEachMovingOperand(tape_, n, [&](uint32_t slot) {
        if (slot >= tape_.nodeBase() + first && slot < tape_.nodeBase() + k)
          needed_[slot - tape_.nodeBase() - first] = 1;
      });
    }
  }

  Range variablesOf(uint32_t slot) const {
    if (tape_.isVariable(slot)) return {&identity_[slot], &identity_[slot] + 1};
    if (tape_.isDefined(slot)) {
      const int32_t e = m_.definedExpression(static_cast<int32_t>(slot - tape_.definedBase()));
      return {m_.expressionVars.begin(e), m_.expressionVars.end(e)};
    }
    if (tape_.isConstant(slot)) return {};
    const std::vector<int32_t>& d = deps_[slot - tape_.nodeBase() - currentFirst_];
    return {d.data(), d.data() + d.size()};
  }

  void collectDeps(const Node& n, std::vector<int32_t>& out) {
    forEachMovingOperand(tape_, n, [&](uint32_t slot) {
      const Range r = variablesOf(slot);
      out.insert(out.end(), r.begin, r.end);
    });
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }

  void addProduct(uint32_t p, uint32_t q) {
    const Range rp = variablesOf(p), rq = variablesOf(q);
    for (const int32_t* i = rp.begin; i != rp.end; ++i)
      for (const int32_t* j = rq.begin; j != rq.end; ++j) {
        const uint64_t lo = static_cast<uint64_t>(std::min(*i, *j)), hi = static_cast<uint64_t>(std::max(*i, *j));
        pairs_.push_back(lo << 32 | hi);
      }
    if (pairs_.size() > 2 * compacted_ + (size_t{1} << 20)) compact();
  }

  void compact() {
    std::sort(pairs_.begin(), pairs_.end());
    pairs_.erase(std::unique(pairs_.begin(), pairs_.end()), pairs_.end());
    compacted_ = pairs_.size();
    if (compacted_ > kMaxPairs) throw HessianTooLarge("the Hessian has too many entries to be stored");
  }

  const Model& m_;
  const Tape& tape_;
  std::vector<int32_t> identity_;
  std::vector<uint8_t> needed_;
  std::vector<std::vector<int32_t>> deps_;
  std::vector<uint64_t> pairs_;  // (column << 32 | row) with row >= column
  size_t compacted_ = 0;
  uint32_t currentFirst_ = 0;  // first node of the expression being added
};

}  // namespace

HessianPattern lagrangianPattern(const Model& model, const std::vector<int32_t>& functions) {
  PatternBuilder builder(model);
  for (int32_t v = 0; v < model.nDefined(); ++v) builder.addExpression(model.definedExpression(v));
  for (int32_t f : functions) builder.addExpression(f);
  return builder.finish();
}

std::vector<int32_t> colorColumns(const HessianPattern& p, int32_t& colors) {
  // The full symmetric pattern: column j's rows, both triangles.
  std::vector<int32_t> start(static_cast<size_t>(p.n) + 1, 0);
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.colStart[j]; k < p.colStart[j + 1]; ++k) {
      const int32_t i = p.row[k];
      ++start[j + 1];
      if (i != j) ++start[i + 1];
    }
  for (int32_t j = 0; j < p.n; ++j) start[j + 1] += start[j];
  std::vector<int32_t> adj(static_cast<size_t>(start.back())), fill(start.begin(), start.end() - 1);
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.colStart[j]; k < p.colStart[j + 1]; ++k) {
      const int32_t i = p.row[k];
      adj[fill[j]++] = i;
      if (i != j) adj[fill[i]++] = j;
    }
  auto degree = [&](int32_t j) { return start[j + 1] - start[j]; };

  std::vector<int32_t> order(static_cast<size_t>(p.n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return degree(a) > degree(b); });
  std::vector<int32_t> color(static_cast<size_t>(p.n), -1), forbidden;
  colors = 0;
  for (int32_t j : order) {
    if (degree(j) == 0) break;
    for (int32_t r = start[j]; r < start[j + 1]; ++r) {
      const int32_t i = adj[r];
      for (int32_t s = start[i]; s < start[i + 1]; ++s) {
        const int32_t c = color[adj[s]];
        if (c >= 0) forbidden[c] = j;
      }
    }
    int32_t c = 0;
    while (c < colors && forbidden[c] == j) ++c;
    if (c == colors) ++colors, forbidden.push_back(-1);
    color[j] = c;
  }
  return color;
}

}  // namespace kavro::nl
