#include "nl/nl_second_order.hpp"

#include <cmath>

namespace kavro::nl {

namespace {

constexpr double kLn10 = 2.302585092994045684;

// A product that is zero when either factor is, so that an infinite partial meets a zero
// tangent or adjoint (a direction or a function that does not involve it) without making NaN.
inline double times(double a, double b) { return (a == 0.0 || b == 0.0) ? 0.0 : a * b; }

// d/da and d2/da2 of the unary operations at operand a with value v.
void unaryPartials(Op op, double a, double v, double& d, double& dd) {
  switch (op) {
    case Op::kAbs: d = a < 0.0 ? -1.0 : 1.0, dd = 0.0; return;
    case Op::kNeg: d = -1.0, dd = 0.0; return;
    case Op::kTanh: d = 1.0 - v * v, dd = -2.0 * v * d; return;
    case Op::kTan: d = 1.0 + v * v, dd = 2.0 * v * d; return;
    case Op::kSqrt: d = 0.5 / v, dd = -0.25 / (v * v * v); return;
    case Op::kSinh: d = std::cosh(a), dd = v; return;
    case Op::kSin: d = std::cos(a), dd = -v; return;
    case Op::kLog10: d = 1.0 / (a * kLn10), dd = -d / a; return;
    case Op::kLog: d = 1.0 / a, dd = -d * d; return;
    case Op::kExp: d = v, dd = v; return;
    case Op::kCosh: d = std::sinh(a), dd = v; return;
    case Op::kCos: d = -std::sin(a), dd = -v; return;
    case Op::kAtanh: d = 1.0 / (1.0 - a * a), dd = 2.0 * a * d * d; return;
    case Op::kAtan: d = 1.0 / (1.0 + a * a), dd = -2.0 * a * d * d; return;
    case Op::kAsinh: d = 1.0 / std::sqrt(a * a + 1.0), dd = -a * d * d * d; return;
    case Op::kAsin: d = 1.0 / std::sqrt(1.0 - a * a), dd = a * d * d * d; return;
    case Op::kAcosh: d = 1.0 / std::sqrt(a * a - 1.0), dd = -a * d * d * d; return;
    case Op::kAcos: d = -1.0 / std::sqrt(1.0 - a * a), dd = a * d * d * d; return;
    default: d = dd = 0.0; return;  // floor, ceil, not: piecewise constant
  }
}

// a^b with both operands variable.
void powerPartials(double a, double b, double v, Partials& p) {
  p.da = b * std::pow(a, b - 1.0);
  const double k = b * (b - 1.0);
  p.daa = k == 0.0 ? 0.0 : k * std::pow(a, b - 2.0);
  if (a > 0.0) {
    const double lg = std::log(a);
    p.db = v * lg;
    p.dab = std::pow(a, b - 1.0) * (1.0 + b * lg);
    p.dbb = v * lg * lg;
  } else if (a < 0.0) {
    // The same convention as the first derivatives: undefined in the exponent.
    p.db = p.dab = p.dbb = NAN;
  }  // a == 0: the power is 0 on a side of b, so nothing moves with b
}

Partials binaryPartials(Op op, double a, double b, double v) {
  Partials p;
  switch (op) {
    case Op::kAdd: p.da = 1.0, p.db = 1.0; break;
    case Op::kSub: p.da = 1.0, p.db = -1.0; break;
    case Op::kMul: p.da = b, p.db = a, p.dab = 1.0; break;
    case Op::kDiv: {
      const double r = 1.0 / b;
      p.da = r, p.db = -v * r, p.dab = -r * r, p.dbb = 2.0 * v * r * r;
      break;
    }
    case Op::kRem: p.da = 1.0, p.db = -std::trunc(a / b); break;
    case Op::kPow: powerPartials(a, b, v, p); break;
    case Op::kLess:
      if (a > b) p.da = 1.0, p.db = -1.0;
      break;
    case Op::kAtan2: {
      const double r = a * a + b * b, r2 = r * r;
      p.da = b / r, p.db = -a / r;
      p.daa = -2.0 * a * b / r2, p.dab = (a * a - b * b) / r2, p.dbb = 2.0 * a * b / r2;
      break;
    }
    default: break;  // rounding, integer division, comparisons, logic: piecewise constant
  }
  return p;
}

// a^c with c constant; c^a with c constant.
void constantPowerPartials(double a, double c, double v, bool constantBase, Partials& p) {
  if (constantBase) {
    const double lg = std::log(c);
    p.da = v * lg, p.daa = v * lg * lg;
    return;
  }
  p.da = c == 0.0 ? 0.0 : c * std::pow(a, c - 1.0);
  const double k = c * (c - 1.0);
  p.daa = k == 0.0 ? 0.0 : k * std::pow(a, c - 2.0);
}

// The slot of the branch an if-then-else took, or of the first operand of a min or max that
// attains its value (the one the first derivatives follow too).
uint32_t chosenOperand(const Node& n, const uint32_t* args, const double* value, double own) {
  if (n.op == Op::kIf) return value[args[n.a]] != 0.0 ? args[n.a + 1] : args[n.a + 2];
  for (uint32_t i = 0; i < n.b; ++i)
    if (value[args[n.a + i]] == own) return args[n.a + i];
  return args[n.a];
}

void addSeeds(uint32_t slot, double w, double wd, double* adjoint, double* adjointDot) {
  adjoint[slot] += w;
  adjointDot[slot] += wd;
}

}  // namespace

Partials partialsOf(const Node& n, const double* value, double v) {
  const double a = value[n.a];
  switch (n.op) {
    case Op::kSquare: {
      Partials p;
      p.da = 2.0 * a, p.daa = 2.0;
      return p;
    }
    case Op::kPowInt: {
      Partials p;
      const double k = static_cast<int32_t>(n.b);
      p.da = k == 0.0 ? 0.0 : k * std::pow(a, k - 1.0);
      p.daa = k * (k - 1.0) == 0.0 ? 0.0 : k * (k - 1.0) * std::pow(a, k - 2.0);
      return p;
    }
    case Op::kPowConst:
    case Op::kConstPow: {
      Partials p;
      constantPowerPartials(a, value[n.b], v, n.op == Op::kConstPow, p);
      return p;
    }
    default: break;
  }
  if (Tape::operandKind(n.op) == Tape::kTwo) return binaryPartials(n.op, a, value[n.b], v);
  Partials p;
  unaryPartials(n.op, a, v, p.da, p.daa);
  return p;
}

// Whether node n has partials of its own (not a list, an if-then-else or control).
bool hasPartials(Op op) {
  const Tape::OperandKind kind = Tape::operandKind(op);
  return kind == Tape::kTwo || (kind == Tape::kOne && op != Op::kJumpIfZero);
}

void partialsSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, Partials* partials) {
  const Node* nodes = tape.nodes.data();
  const double* ownValue = value + tape.nodeBase();
  uint32_t k = first;
  while (k < last) {
    const Node& n = nodes[k];
    if (n.op == Op::kJumpIfZero) {
      k = value[n.a] == 0.0 ? n.b : k + 1;
      continue;
    }
    if (n.op == Op::kJump) {
      k = n.b;
      continue;
    }
    if (hasPartials(n.op)) partials[k] = partialsOf(n, value, ownValue[k]);
    ++k;
  }
}

void tangentSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, const Partials* partials,
                  double* tangent) {
  const Node* nodes = tape.nodes.data();
  const uint32_t* args = tape.args.data();
  const double* ownValue = value + tape.nodeBase();
  double* own = tangent + tape.nodeBase();
  uint32_t k = first;
  while (k < last) {
    const Node& n = nodes[k];
    double t = 0.0;
    switch (n.op) {
      case Op::kJumpIfZero: k = value[n.a] == 0.0 ? n.b : k + 1; continue;
      case Op::kJump: k = n.b; continue;
      case Op::kSum:
        for (uint32_t i = 0; i < n.b; ++i) t += tangent[args[n.a + i]];
        break;
      case Op::kMin:
      case Op::kMax:
      case Op::kIf:
        if (n.op == Op::kIf || n.b > 0) t = tangent[chosenOperand(n, args, value, ownValue[k])];
        break;
      case Op::kCount:
      case Op::kNumberOf:
      case Op::kAndList:
      case Op::kOrList: break;
      default: {
        const Partials& p = partials[k];
        t = times(p.da, tangent[n.a]);
        if (Tape::operandKind(n.op) == Tape::kTwo) t += times(p.db, tangent[n.b]);
      }
    }
    own[k] = t;
    ++k;
  }
}

void secondOrderSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, const Partials* partials,
                      const double* tangent, double* adjoint, double* adjointDot) {
  const Node* nodes = tape.nodes.data();
  const uint32_t* args = tape.args.data();
  const double* ownValue = value + tape.nodeBase();
  double* own = adjoint + tape.nodeBase();
  double* ownDot = adjointDot + tape.nodeBase();
  for (uint32_t k = last; k-- > first;) {
    const double w = own[k], wd = ownDot[k];
    if (w == 0.0 && wd == 0.0) continue;
    own[k] = ownDot[k] = 0.0;
    const Node& n = nodes[k];
    switch (n.op) {
      case Op::kSum:
        for (uint32_t i = 0; i < n.b; ++i) addSeeds(args[n.a + i], w, wd, adjoint, adjointDot);
        break;
      case Op::kMin:
      case Op::kMax:
      case Op::kIf:
        if (n.op == Op::kIf || n.b > 0)
          addSeeds(chosenOperand(n, args, value, ownValue[k]), w, wd, adjoint, adjointDot);
        break;
      case Op::kCount:
      case Op::kNumberOf:
      case Op::kAndList:
      case Op::kOrList:
      case Op::kJumpIfZero:
      case Op::kJump: break;
      default: {
        const Partials& p = partials[k];
        const double ta = tangent[n.a];
        adjoint[n.a] += times(w, p.da);
        adjointDot[n.a] += times(wd, p.da) + times(w, times(p.daa, ta));
        if (Tape::operandKind(n.op) != Tape::kTwo) break;
        const double tb = tangent[n.b];
        adjointDot[n.a] += times(w, times(p.dab, tb));
        adjoint[n.b] += times(w, p.db);
        adjointDot[n.b] += times(wd, p.db) + times(w, times(p.dab, ta) + times(p.dbb, tb));
      }
    }
  }
}

}  // namespace kavro::nl
