#pragma once
// Reads one expression (the file writes it in prefix order: an operator, then its operands)
// and appends its operations to the tape in postfix order. The nesting is followed with
// explicit stacks, so a deeply nested expression costs memory, never the call stack.
//
// While the file is read a constant's slot is not known yet (the constants follow all nodes):
// operands refer to constant k as kConstantTag | k until finish() places them.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "nl/nl_input.hpp"
#include "nl/nl_opcodes.hpp"
#include "nl/nl_tape.hpp"

namespace kavro::nl {

// Where an expression's operations went: nodes [first, last) of the tape, its value in slot root.
struct ExpressionSpan {
  uint32_t first = 0, last = 0, root = 0;
};

class ExpressionReader {
 public:
  ExpressionReader(Tape& tape, std::vector<int64_t>& opcodeCounts) : tape_(tape), counts_(opcodeCounts) {}

  // Reads the expression that follows in the input onto the tape.
  template <class Input>
  ExpressionSpan read(Input& in);

  // Gives the constants their slots, after the last expression has been read and the tape's
  // roots have been set from the spans.
  void finish();

 private:
  static constexpr uint32_t kConstantTag = 0x80000000u;
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
  struct Frame {
    Op op;
    Arity arity;
    uint32_t needed;                            // operands the operator takes
    size_t operandBase;                         // operands_ size when the operator was read
    uint32_t jumpIfZero = kNone, jump = kNone;  // if-then-else control nodes
  };

  template <class Input>
  void readNode(Input& in);
  template <class Input>
  void readOperator(Input& in);
  template <class Input>
  uint32_t emit(Input& in, Node node);
  template <class Input>
  void operandDone(Input& in, uint32_t slot);
  template <class Input>
  uint32_t emitOperator(Input& in, const Frame& f);
  template <class Input>
  uint32_t constant(Input& in, double value);
  Node power(uint32_t base, uint32_t exponent);

  bool isConstant(uint32_t slot) const { return (slot & kConstantTag) != 0; }
  double constantOf(uint32_t slot) const { return tape_.constants[slot & ~kConstantTag]; }

  Tape& tape_;
  std::vector<int64_t>& counts_;
  std::vector<Frame> frames_;
  std::vector<uint32_t> operands_;
};

template <class Input>
ExpressionSpan ExpressionReader::read(Input& in) {
  frames_.clear();
  operands_.clear();
  ExpressionSpan span;
  span.first = static_cast<uint32_t>(tape_.nodes.size());
  do readNode(in);
  while (!frames_.empty());
  span.last = static_cast<uint32_t>(tape_.nodes.size());
  span.root = operands_.back();
  return span;
}

template <class Input>
void ExpressionReader::readNode(Input& in) {
  const int kind = in.letter();
  switch (kind) {
    case 'n': operandDone(in, constant(in, in.real("a constant"))); return;
    case 's': operandDone(in, constant(in, static_cast<double>(in.shortInteger("a constant")))); return;
    case 'l': operandDone(in, constant(in, static_cast<double>(in.longInteger("a constant")))); return;
    case 'v': {
      const int32_t v = in.int32("a variable index");
      if (v < 0 || static_cast<int64_t>(v) >= static_cast<int64_t>(tape_.nodeBase()))
        in.fail("variable index " + std::to_string(v) + " is out of range");
      operandDone(in, static_cast<uint32_t>(v));
      return;
    }
    case 'o': readOperator(in); return;
    case 'f': in.fail("a call of an imported function, which is not supported");
    case 'h': in.fail("a string operand, which is not supported");
    case 0: in.fail("the file ends inside an expression");
    default: in.fail("unexpected '" + std::string(1, static_cast<char>(kind)) + "' in an expression");
  }
}

template <class Input>
uint32_t ExpressionReader::constant(Input& in, double value) {
  if (!std::isfinite(value)) in.fail("a constant is not a finite number");
  if (tape_.constants.size() >= kConstantTag - 1) in.fail("the expressions hold too many constants");
  tape_.constants.push_back(value);
  return kConstantTag | static_cast<uint32_t>(tape_.constants.size() - 1);
}

template <class Input>
void ExpressionReader::readOperator(Input& in) {
  const int32_t code = in.int32("an opcode");
  const OpcodeInfo& info = opcodeInfo(code);
  if (info.arity == Arity::kUnsupported) in.fail("unknown or unsupported opcode " + std::to_string(code));
  ++counts_[code];
  uint32_t needed = info.arity == Arity::kUnary ? 1 : info.arity == Arity::kBinary ? 2 : 3;
  if (info.arity == Arity::kList) {
    const int32_t count = in.int32("an operand count");
    if (count < 0) in.fail("negative operand count " + std::to_string(count));
    if (info.op == Op::kNumberOf && count < 1) in.fail("numberof needs at least one operand");
    needed = static_cast<uint32_t>(count);
  }
  frames_.push_back({info.op, info.arity, needed, operands_.size()});
  if (needed == 0) {
    const Frame f = frames_.back();
    frames_.pop_back();
    operandDone(in, emitOperator(in, f));
  }
}

template <class Input>
uint32_t ExpressionReader::emit(Input& in, Node node) {
  // Node slots and constant slots must stay below the constant tag.
  if (tape_.nodeBase() + tape_.nodes.size() + tape_.constants.size() >= kConstantTag - 1)
    in.fail("the expressions are too large");
  tape_.nodes.push_back(node);
  return static_cast<uint32_t>(tape_.nodes.size() - 1);
}

// An operand is complete: the operators waiting for it may be complete in turn.
template <class Input>
void ExpressionReader::operandDone(Input& in, uint32_t slot) {
  operands_.push_back(slot);
  while (!frames_.empty()) {
    Frame& f = frames_.back();
    const size_t have = operands_.size() - f.operandBase;
    if (f.op == Op::kIf && have == 1 && f.jumpIfZero == kNone) {
      f.jumpIfZero = emit(in, {Op::kJumpIfZero, operands_.back(), 0});
      return;
    }
    if (f.op == Op::kIf && have == 2 && f.jump == kNone) {
      f.jump = emit(in, {Op::kJump, 0, 0});
      return;
    }
    if (have < f.needed) return;
    const Frame done = f;
    frames_.pop_back();
    operands_.push_back(emitOperator(in, done));
  }
}

// Emits the operator of a complete frame; returns the slot of its value.
template <class Input>
uint32_t ExpressionReader::emitOperator(Input& in, const Frame& f) {
  const uint32_t* ops = operands_.data() + f.operandBase;
  uint32_t node = 0;
  switch (f.arity) {
    case Arity::kUnary: node = emit(in, {f.op, ops[0], 0}); break;
    case Arity::kBinary: node = emit(in, f.op == Op::kPow ? power(ops[0], ops[1]) : Node{f.op, ops[0], ops[1]}); break;
    default: {
      const uint32_t offset = static_cast<uint32_t>(tape_.args.size());
      tape_.args.insert(tape_.args.end(), ops, ops + f.needed);
      node = emit(in, {f.op, offset, f.needed});
      if (f.op == Op::kIf) {
        tape_.nodes[f.jumpIfZero].b = f.jump + 1;  // the else branch starts after the jump
        tape_.nodes[f.jump].b = node;
      }
    }
  }
  operands_.resize(f.operandBase);
  return tape_.nodeBase() + node;
}

// Powers with a constant exponent or base get their own operations: x^2 and x^k are the most
// common nonlinear terms, integer powers are products, and none needs a logarithm for its
// derivative.
inline Node ExpressionReader::power(uint32_t base, uint32_t exponent) {
  if (isConstant(exponent)) {
    const double c = constantOf(exponent);
    if (c == 2.0) return {Op::kSquare, base, 0};
    if (c >= -1024.0 && c <= 1024.0 && c == static_cast<int32_t>(c))
      return {Op::kPowInt, base, static_cast<uint32_t>(static_cast<int32_t>(c))};
    return {Op::kPowConst, base, exponent};
  }
  if (isConstant(base)) return {Op::kConstPow, exponent, base};
  return {Op::kPow, base, exponent};
}

inline void ExpressionReader::finish() {
  const uint32_t base = tape_.constantBase();
  auto place = [&](uint32_t& slot) {
    if (isConstant(slot)) slot = base + (slot & ~kConstantTag);
  };
  for (Node& n : tape_.nodes) {
    const Tape::OperandKind kind = Tape::operandKind(n.op);
    if (kind == Tape::kTwo || kind == Tape::kOne) place(n.a);
    if (kind == Tape::kTwo) place(n.b);
  }
  for (uint32_t& s : tape_.args) place(s);
  for (uint32_t& s : tape_.root) place(s);
}

}  // namespace kavro::nl
