#include "nl/nl_opcodes.hpp"

#include <array>

namespace kavro::nl {

namespace {

struct Entry {
  int32_t code;
  OpcodeInfo info;
};

// Counting and logical operators evaluate to numbers like the others (1 true, 0 false) and
// have a zero derivative. The operators on strings (symbolic if, numberof over strings) and
// calls of imported functions are not evaluated.
constexpr Entry kEntries[] = {
    {0, {Op::kAdd, Arity::kBinary, "+"}},
    {1, {Op::kSub, Arity::kBinary, "-"}},
    {2, {Op::kMul, Arity::kBinary, "*"}},
    {3, {Op::kDiv, Arity::kBinary, "/"}},
    {4, {Op::kRem, Arity::kBinary, "mod"}},
    {5, {Op::kPow, Arity::kBinary, "^"}},
    {6, {Op::kLess, Arity::kBinary, "less"}},
    {11, {Op::kMin, Arity::kList, "min"}},
    {12, {Op::kMax, Arity::kList, "max"}},
    {13, {Op::kFloor, Arity::kUnary, "floor"}},
    {14, {Op::kCeil, Arity::kUnary, "ceil"}},
    {15, {Op::kAbs, Arity::kUnary, "abs"}},
    {16, {Op::kNeg, Arity::kUnary, "unary -"}},
    {20, {Op::kOr, Arity::kBinary, "or"}},
    {21, {Op::kAnd, Arity::kBinary, "and"}},
    {22, {Op::kLt, Arity::kBinary, "<"}},
    {23, {Op::kLe, Arity::kBinary, "<="}},
    {24, {Op::kEq, Arity::kBinary, "=="}},
    {28, {Op::kGe, Arity::kBinary, ">="}},
    {29, {Op::kGt, Arity::kBinary, ">"}},
    {30, {Op::kNe, Arity::kBinary, "!="}},
    {34, {Op::kNot, Arity::kUnary, "not"}},
    {35, {Op::kIf, Arity::kTernary, "if-then-else"}},
    {37, {Op::kTanh, Arity::kUnary, "tanh"}},
    {38, {Op::kTan, Arity::kUnary, "tan"}},
    {39, {Op::kSqrt, Arity::kUnary, "sqrt"}},
    {40, {Op::kSinh, Arity::kUnary, "sinh"}},
    {41, {Op::kSin, Arity::kUnary, "sin"}},
    {42, {Op::kLog10, Arity::kUnary, "log10"}},
    {43, {Op::kLog, Arity::kUnary, "log"}},
    {44, {Op::kExp, Arity::kUnary, "exp"}},
    {45, {Op::kCosh, Arity::kUnary, "cosh"}},
    {46, {Op::kCos, Arity::kUnary, "cos"}},
    {47, {Op::kAtanh, Arity::kUnary, "atanh"}},
    {48, {Op::kAtan2, Arity::kBinary, "atan2"}},
    {49, {Op::kAtan, Arity::kUnary, "atan"}},
    {50, {Op::kAsinh, Arity::kUnary, "asinh"}},
    {51, {Op::kAsin, Arity::kUnary, "asin"}},
    {52, {Op::kAcosh, Arity::kUnary, "acosh"}},
    {53, {Op::kAcos, Arity::kUnary, "acos"}},
    {54, {Op::kSum, Arity::kList, "sum"}},
    {55, {Op::kIntDiv, Arity::kBinary, "div"}},
    {56, {Op::kPrecision, Arity::kBinary, "precision"}},
    {57, {Op::kRound, Arity::kBinary, "round"}},
    {58, {Op::kTrunc, Arity::kBinary, "trunc"}},
    {59, {Op::kCount, Arity::kList, "count"}},
    {60, {Op::kNumberOf, Arity::kList, "numberof"}},
    {62, {Op::kLe, Arity::kBinary, "atleast"}},
    {63, {Op::kGe, Arity::kBinary, "atmost"}},
    {66, {Op::kEq, Arity::kBinary, "exactly"}},
    {67, {Op::kGt, Arity::kBinary, "!atleast"}},
    {68, {Op::kLt, Arity::kBinary, "!atmost"}},
    {69, {Op::kNe, Arity::kBinary, "!exactly"}},
    {70, {Op::kAndList, Arity::kList, "forall"}},
    {71, {Op::kOrList, Arity::kList, "exists"}},
    {72, {Op::kIf, Arity::kTernary, "==> else"}},
    {73, {Op::kIff, Arity::kBinary, "<==>"}},
    {75, {Op::kPow, Arity::kBinary, "^ constant"}},
    {76, {Op::kSquare, Arity::kUnary, "^2"}},
    {77, {Op::kPow, Arity::kBinary, "constant ^"}},
};

constexpr std::array<OpcodeInfo, kOpcodeLimit> makeTable() {
  std::array<OpcodeInfo, kOpcodeLimit> table{};
  for (const Entry& e : kEntries) table[e.code] = e.info;
  return table;
}

constexpr std::array<OpcodeInfo, kOpcodeLimit> kTable = makeTable();
constexpr OpcodeInfo kNone{};

}  // namespace

const OpcodeInfo& opcodeInfo(int32_t code) { return code >= 0 && code < kOpcodeLimit ? kTable[code] : kNone; }

}  // namespace kavro::nl
