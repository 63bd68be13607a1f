#pragma once
// Expressions compiled into one flat tape of operation nodes in postfix order, so that a
// forward sweep over an expression's run of nodes computes each node after its operands and a
// backward sweep over the same run carries derivatives from the root back to the operands.
//
// Operands are slots of one value array laid out as
//   [ variables | defined variables | one slot per node | constants ]
// so variables and constants cost no node and no work in a sweep: an operation reads its
// operands' slots whatever they hold, and in the backward sweep the derivatives with respect to
// the variables gather in the variables' own slots. An expression may have no node at all
// ("v3", "n0"): its root is then a variable, defined-variable or constant slot.
//
// "if c then a else b" is laid out as
//   c ... JumpIfZero(c -> else) a ... Jump(-> if) b ... If(c, a, b)
// so that only the branch taken is evaluated (an error in the other one is no error).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro::nl {

enum class Op : uint8_t {
  // binary: operand slots a, b
  kAdd,
  kSub,
  kMul,
  kDiv,
  kRem,
  kPow,
  kLess,
  kIntDiv,
  kPrecision,
  kRound,
  kTrunc,
  kAtan2,
  kOr,
  kAnd,
  kLt,
  kLe,
  kEq,
  kGe,
  kGt,
  kNe,
  kIff,
  // powers with a constant part: a^b and b^a with b a constant slot
  kPowConst,
  kConstPow,
  // unary: operand slot a; kPowInt is a^b with the integer b (|b| <= 1024) in the node itself
  kSquare,
  kPowInt,
  kFloor,
  kCeil,
  kAbs,
  kNeg,
  kNot,
  kTanh,
  kTan,
  kSqrt,
  kSinh,
  kSin,
  kLog10,
  kLog,
  kExp,
  kCosh,
  kCos,
  kAtanh,
  kAtan,
  kAsinh,
  kAsin,
  kAcosh,
  kAcos,
  // lists: operand slots args[a .. a+b-1]
  kSum,
  kMin,
  kMax,
  kCount,
  kNumberOf,
  kAndList,
  kOrList,
  // if-then-else: args[a] condition, args[a+1] then, args[a+2] else
  kIf,
  // control: continue at node b (JumpIfZero: when slot a is zero)
  kJumpIfZero,
  kJump,
};

struct Node {
  Op op = Op::kAdd;
  uint32_t a = 0;
  uint32_t b = 0;
};

struct Tape {
  uint32_t nVars = 0, nDefined = 0;
  std::vector<Node> nodes;
  std::vector<uint32_t> args;  // operand slots of list nodes and of kIf
  std::vector<double> constants;
  std::vector<uint32_t> first, last;  // per expression: nodes [first, last)
  std::vector<uint32_t> root;         // per expression: the slot of its value

  uint32_t definedBase() const { return nVars; }
  uint32_t nodeBase() const { return nVars + nDefined; }
  uint32_t constantBase() const { return nodeBase() + static_cast<uint32_t>(nodes.size()); }
  size_t slots() const { return constantBase() + constants.size(); }
  bool isVariable(uint32_t s) const { return s < nVars; }
  bool isDefined(uint32_t s) const { return s >= nVars && s < nodeBase(); }
  bool isConstant(uint32_t s) const { return s >= constantBase(); }

  int32_t expressions() const { return static_cast<int32_t>(first.size()); }
  uint32_t size(int32_t e) const { return last[e] - first[e]; }
  // An expression that is a constant: no nonlinear part.
  bool isConstantExpression(int32_t e) const { return isConstant(root[e]); }
  double constantValue(int32_t e) const { return constants[root[e] - constantBase()]; }

  // Calls f(slot) for every operand slot of expression e's nodes and for its root.
  template <class F>
  void forEachOperand(int32_t e, F f) const {
    for (uint32_t k = first[e]; k < last[e]; ++k) {
      const Node& n = nodes[k];
      switch (operandKind(n.op)) {
        case kTwo: f(n.a), f(n.b); break;
        case kOne: f(n.a); break;
        case kList:
          for (uint32_t i = 0; i < n.b; ++i) f(args[n.a + i]);
          break;
        case kIfArgs:
          for (uint32_t i = 0; i < 3; ++i) f(args[n.a + i]);
          break;
        default: break;
      }
    }
    f(root[e]);
  }

  // Which fields of a node hold operand slots.
  enum OperandKind { kTwo, kOne, kList, kIfArgs, kControl };
  static OperandKind operandKind(Op op) {
    if (op <= Op::kConstPow) return kTwo;
    if (op <= Op::kAcos) return kOne;
    if (op <= Op::kOrList) return kList;
    if (op == Op::kIf) return kIfArgs;
    return op == Op::kJumpIfZero ? kOne : kControl;
  }
};

}  // namespace kavro::nl
