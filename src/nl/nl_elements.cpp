#include "nl/nl_elements.hpp"

namespace kavro::nl {

namespace {

class Splitter {
 public:
  explicit Splitter(const Model& m) : m_(m), tape_(m.tape), stamp_(static_cast<size_t>(m.nVars()), -1) {}

  void split(int32_t f) {
    const uint32_t first = tape_.first[f], last = tape_.last[f];
    const uint32_t root = tape_.root[f];
    if (isNode(root) && nodeOf(root) + 1 != last) return emit(f, root, first, last, 1.0);
    splitSlot(f, root, first, last, 1.0);
  }

  Elements take() { return std::move(out_); }

 private:
  bool isNode(uint32_t slot) const { return slot >= tape_.nodeBase() && slot < tape_.constantBase(); }
  uint32_t nodeOf(uint32_t slot) const { return slot - tape_.nodeBase(); }

  // The value in slot, computed by nodes [first, last) when it is a node, times c.
  void splitSlot(int32_t f, uint32_t slot, uint32_t first, uint32_t last, double c) {
    if (tape_.isVariable(slot) || tape_.isConstant(slot) || c == 0.0) return;
    if (tape_.isDefined(slot)) return emit(f, slot, first, first, c);
    const Node& n = tape_.nodes[nodeOf(slot)];
    switch (n.op) {
      case Op::kAdd:
      case Op::kSub:
        if (splitChildren(f, first, nodeOf(slot), {n.a, n.b}, {c, n.op == Op::kSub ? -c : c})) return;
        break;
      case Op::kNeg:
        if (splitChildren(f, first, nodeOf(slot), {n.a}, {-c})) return;
        break;
      case Op::kMul:
        if (tape_.isConstant(n.a) && splitChildren(f, first, nodeOf(slot), {n.b}, {c * constant(n.a)})) return;
        if (tape_.isConstant(n.b) && splitChildren(f, first, nodeOf(slot), {n.a}, {c * constant(n.b)})) return;
        break;
      case Op::kSum: {
        std::vector<uint32_t> slots(tape_.args.begin() + n.a, tape_.args.begin() + n.a + n.b);
        if (splitChildren(f, first, nodeOf(slot), slots, std::vector<double>(slots.size(), c))) return;
        break;
      }
      default: break;
    }
    emit(f, slot, first, last, c);
  }

  double constant(uint32_t slot) const { return tape_.constants[slot - tape_.constantBase()]; }

  // The operands of the node at `top` take the nodes [first, top) in order, each the run up to
  // and including its own node. false (nothing emitted) when the layout is not that.
  bool splitChildren(int32_t f, uint32_t first, uint32_t top, const std::vector<uint32_t>& slots,
                     const std::vector<double>& coefs) {
    uint32_t at = first;
    for (uint32_t s : slots) {
      if (!isNode(s)) continue;
      if (nodeOf(s) < at || nodeOf(s) >= top) return false;
      at = nodeOf(s) + 1;
    }
    if (at != top) return false;
    at = first;
    for (size_t i = 0; i < slots.size(); ++i) {
      const uint32_t end = isNode(slots[i]) ? nodeOf(slots[i]) + 1 : at;
      splitSlot(f, slots[i], at, end, coefs[i]);
      at = end;
    }
    return true;
  }

  void emit(int32_t f, uint32_t root, uint32_t first, uint32_t last, double c) {
    const int32_t e = static_cast<int32_t>(out_.list.size());
    out_.list.push_back({first, last, root, c, f});
    auto add = [&](uint32_t slot) {
      if (tape_.isVariable(slot)) return addVar(static_cast<int32_t>(slot), e);
      if (!tape_.isDefined(slot)) return;
      const int32_t d = m_.definedExpression(static_cast<int32_t>(slot - tape_.definedBase()));
      for (const int32_t* v = m_.expressionVars.begin(d); v != m_.expressionVars.end(d); ++v) addVar(*v, e);
    };
    add(root);
    for (uint32_t k = first; k < last; ++k) {
      const Node& n = tape_.nodes[k];
      switch (Tape::operandKind(n.op)) {
        case Tape::kTwo: add(n.a), add(n.b); break;
        case Tape::kOne: add(n.a); break;
        case Tape::kList:
          for (uint32_t i = 0; i < n.b; ++i) add(tape_.args[n.a + i]);
          break;
        case Tape::kIfArgs:
          for (uint32_t i = 0; i < 3; ++i) add(tape_.args[n.a + i]);
          break;
        default: break;
      }
    }
    out_.vars.start.push_back(static_cast<int32_t>(out_.vars.index.size()));
  }

  void addVar(int32_t v, int32_t element) {
    if (stamp_[v] == element) return;
    stamp_[v] = element;
    out_.vars.index.push_back(v);
  }

  const Model& m_;
  const Tape& tape_;
  std::vector<int32_t> stamp_;
  Elements out_;
};

}  // namespace

Elements splitIntoElements(const Model& model, const std::vector<int32_t>& functions) {
  Splitter s(model);
  for (int32_t f : functions) s.split(f);
  return s.take();
}

}  // namespace kavro::nl
