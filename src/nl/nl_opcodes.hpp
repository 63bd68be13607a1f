#pragma once
// The operators of the .nl format: the file's opcode numbers, how many operands each takes
// and the tape operation it becomes.

#include <cstdint>

#include "nl/nl_tape.hpp"

namespace kavro::nl {

enum class Arity : uint8_t {
  kUnsupported,  // a code the evaluator does not take (or no operator at all)
  kUnary,
  kBinary,
  kTernary,  // if-then-else and implication: condition, then, else
  kList,     // a count follows the opcode, then that many operands
};

struct OpcodeInfo {
  Op op = Op::kAdd;
  Arity arity = Arity::kUnsupported;
  const char* name = "";  // as the operator is written in a model
};

// Codes 0 .. kOpcodeLimit - 1 exist in the format.
inline constexpr int32_t kOpcodeLimit = 83;

// The table entry for a code; arity kUnsupported for a code outside the table or one that
// needs strings or imported functions.
const OpcodeInfo& opcodeInfo(int32_t code);

}  // namespace kavro::nl
