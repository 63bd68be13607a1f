#include "nl/nl_sweep.hpp"

#include <cmath>

namespace kavro::nl {

namespace {

constexpr double kLn10 = 2.302585092994045684;

double truthOf(bool b) { return b ? 1.0 : 0.0; }

double roundTo(double x, double digits) {
  const double scale = std::pow(10.0, digits);
  return std::round(x * scale) / scale;
}

double truncTo(double x, double digits) {
  const double scale = std::pow(10.0, digits);
  return std::trunc(x * scale) / scale;
}

// x rounded to the given number of significant digits.
double precisionOf(double x, double digits) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  const double magnitude = std::floor(std::log10(std::fabs(x))) + 1.0;
  return roundTo(x, digits - magnitude);
}

double listValue(Op op, const uint32_t* arg, uint32_t count, const double* v) {
  switch (op) {
    case Op::kSum: {
      double s = 0.0;
      for (uint32_t i = 0; i < count; ++i) s += v[arg[i]];
      return s;
    }
    case Op::kMin:
    case Op::kMax: {
      if (count == 0) return 0.0;
      double best = v[arg[0]];
      for (uint32_t i = 1; i < count; ++i) {
        const double t = v[arg[i]];
        if (op == Op::kMin ? t < best : t > best) best = t;
      }
      return best;
    }
    case Op::kCount: {
      double n = 0.0;
      for (uint32_t i = 0; i < count; ++i) n += truthOf(v[arg[i]] != 0.0);
      return n;
    }
    case Op::kNumberOf: {
      double n = 0.0;
      for (uint32_t i = 1; i < count; ++i) n += truthOf(v[arg[i]] == v[arg[0]]);
      return n;
    }
    case Op::kAndList:
      for (uint32_t i = 0; i < count; ++i)
        if (v[arg[i]] == 0.0) return 0.0;
      return 1.0;
    default:  // kOrList
      for (uint32_t i = 0; i < count; ++i)
        if (v[arg[i]] != 0.0) return 1.0;
      return 0.0;
  }
}

double binaryValue(Op op, double a, double b) {
  switch (op) {
    case Op::kAdd: return a + b;
    case Op::kSub: return a - b;
    case Op::kMul: return a * b;
    case Op::kDiv: return a / b;
    case Op::kRem: return std::fmod(a, b);
    case Op::kPow: return std::pow(a, b);
    case Op::kLess: return a > b ? a - b : 0.0;
    case Op::kIntDiv: return std::trunc(a / b);
    case Op::kPrecision: return precisionOf(a, b);
    case Op::kRound: return roundTo(a, b);
    case Op::kTrunc: return truncTo(a, b);
    case Op::kAtan2: return std::atan2(a, b);
    case Op::kOr: return truthOf(a != 0.0 || b != 0.0);
    case Op::kAnd: return truthOf(a != 0.0 && b != 0.0);
    case Op::kLt: return truthOf(a < b);
    case Op::kLe: return truthOf(a <= b);
    case Op::kEq: return truthOf(a == b);
    case Op::kGe: return truthOf(a >= b);
    case Op::kGt: return truthOf(a > b);
    case Op::kNe: return truthOf(a != b);
    default: return truthOf((a != 0.0) == (b != 0.0));  // kIff
  }
}

// a^k for an integer k, |k| <= 1024, by repeated squaring (a few products, against a call of pow).
double integerPower(double a, int32_t k) {
  uint32_t e = static_cast<uint32_t>(k < 0 ? -k : k);
  double result = 1.0, square = a;
  while (e != 0) {
    if (e & 1u) result *= square;
    square *= square;
    e >>= 1;
  }
  return k < 0 ? 1.0 / result : result;
}

double unaryValue(Op op, double a) {
  switch (op) {
    case Op::kFloor: return std::floor(a);
    case Op::kCeil: return std::ceil(a);
    case Op::kAbs: return std::fabs(a);
    case Op::kNeg: return -a;
    case Op::kNot: return truthOf(a == 0.0);
    case Op::kTanh: return std::tanh(a);
    case Op::kTan: return std::tan(a);
    case Op::kSqrt: return std::sqrt(a);
    case Op::kSinh: return std::sinh(a);
    case Op::kSin: return std::sin(a);
    case Op::kLog10: return std::log10(a);
    case Op::kLog: return std::log(a);
    case Op::kExp: return std::exp(a);
    case Op::kCosh: return std::cosh(a);
    case Op::kCos: return std::cos(a);
    case Op::kAtanh: return std::atanh(a);
    case Op::kAtan: return std::atan(a);
    case Op::kAsinh: return std::asinh(a);
    case Op::kAsin: return std::asin(a);
    case Op::kAcosh: return std::acosh(a);
    default: return std::acos(a);  // kAcos
  }
}

// Derivative of a unary operation at operand a, given its value v there.
double unaryDerivative(Op op, double a, double v) {
  switch (op) {
    case Op::kAbs: return a < 0.0 ? -1.0 : 1.0;
    case Op::kNeg: return -1.0;
    case Op::kTanh: return 1.0 - v * v;
    case Op::kTan: return 1.0 + v * v;
    case Op::kSqrt: return 0.5 / v;
    case Op::kSinh: return std::cosh(a);
    case Op::kSin: return std::cos(a);
    case Op::kLog10: return 1.0 / (a * kLn10);
    case Op::kLog: return 1.0 / a;
    case Op::kExp: return v;
    case Op::kCosh: return std::sinh(a);
    case Op::kCos: return -std::sin(a);
    case Op::kAtanh: return 1.0 / (1.0 - a * a);
    case Op::kAtan: return 1.0 / (1.0 + a * a);
    case Op::kAsinh: return 1.0 / std::sqrt(a * a + 1.0);
    case Op::kAsin: return 1.0 / std::sqrt(1.0 - a * a);
    case Op::kAcosh: return 1.0 / std::sqrt(a * a - 1.0);
    case Op::kAcos: return -1.0 / std::sqrt(1.0 - a * a);
    default: return 0.0;  // floor, ceil, not: piecewise constant
  }
}

// Derivatives of a binary operation with operands a, b and value v.
void binaryDerivative(Op op, double a, double b, double v, double& da, double& db) {
  da = db = 0.0;
  switch (op) {
    case Op::kAdd: da = 1.0, db = 1.0; return;
    case Op::kSub: da = 1.0, db = -1.0; return;
    case Op::kMul: da = b, db = a; return;
    case Op::kDiv: da = 1.0 / b, db = -v / b; return;
    case Op::kRem: da = 1.0, db = -std::trunc(a / b); return;
    case Op::kPow:
      da = b * std::pow(a, b - 1.0);
      // d/db a^b = a^b log a; at a = 0 the power is 0 on a side of b (or undefined).
      db = a > 0.0 ? v * std::log(a) : (a == 0.0 ? 0.0 : NAN);
      return;
    case Op::kLess:
      if (a > b) da = 1.0, db = -1.0;
      return;
    case Op::kAtan2: {
      const double r = a * a + b * b;
      da = b / r, db = -a / r;
      return;
    }
    default: return;  // rounding, integer division, comparisons, logic: piecewise constant
  }
}

}  // namespace

int32_t forwardSweep(const Tape& tape, uint32_t first, uint32_t last, double* value) {
  const Node* nodes = tape.nodes.data();
  const uint32_t* args = tape.args.data();
  double* out = value + tape.nodeBase();
  int32_t errors = 0;
  uint32_t k = first;
  while (k < last) {
    const Node& n = nodes[k];
    double v;
    switch (n.op) {
      case Op::kAdd: v = value[n.a] + value[n.b]; break;
      case Op::kSub: v = value[n.a] - value[n.b]; break;
      case Op::kMul: v = value[n.a] * value[n.b]; break;
      case Op::kSquare: v = value[n.a] * value[n.a]; break;
      case Op::kPowInt: v = integerPower(value[n.a], static_cast<int32_t>(n.b)); break;
      case Op::kPowConst: v = std::pow(value[n.a], value[n.b]); break;
      case Op::kConstPow: v = std::pow(value[n.b], value[n.a]); break;
      case Op::kNeg: v = -value[n.a]; break;
      case Op::kSum:
      case Op::kMin:
      case Op::kMax:
      case Op::kCount:
      case Op::kNumberOf:
      case Op::kAndList:
      case Op::kOrList: v = listValue(n.op, args + n.a, n.b, value); break;
      case Op::kIf: v = value[args[n.a]] != 0.0 ? value[args[n.a + 1]] : value[args[n.a + 2]]; break;
      case Op::kJumpIfZero: k = value[n.a] == 0.0 ? n.b : k + 1; continue;
      case Op::kJump: k = n.b; continue;
      case Op::kDiv:
      case Op::kRem:
      case Op::kPow:
      case Op::kLess:
      case Op::kIntDiv:
      case Op::kPrecision:
      case Op::kRound:
      case Op::kTrunc:
      case Op::kAtan2:
      case Op::kOr:
      case Op::kAnd:
      case Op::kLt:
      case Op::kLe:
      case Op::kEq:
      case Op::kGe:
      case Op::kGt:
      case Op::kNe:
      case Op::kIff: v = binaryValue(n.op, value[n.a], value[n.b]); break;
      default: v = unaryValue(n.op, value[n.a]); break;
    }
    errors += !std::isfinite(v);
    out[k] = v;
    ++k;
  }
  return errors;
}

void backwardSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, double* a) {
  const Node* nodes = tape.nodes.data();
  const uint32_t* args = tape.args.data();
  double* own = a + tape.nodeBase();
  const double* ownValue = value + tape.nodeBase();
  for (uint32_t k = last; k-- > first;) {
    const double w = own[k];
    if (w == 0.0) continue;
    own[k] = 0.0;
    const Node& n = nodes[k];
    switch (n.op) {
      case Op::kAdd: a[n.a] += w, a[n.b] += w; break;
      case Op::kSub: a[n.a] += w, a[n.b] -= w; break;
      case Op::kMul: a[n.a] += w * value[n.b], a[n.b] += w * value[n.a]; break;
      case Op::kSquare: a[n.a] += 2.0 * w * value[n.a]; break;
      case Op::kPowInt: {
        const int32_t e = static_cast<int32_t>(n.b);
        if (e != 0) a[n.a] += w * e * integerPower(value[n.a], e - 1);
        break;
      }
      case Op::kPowConst: a[n.a] += w * value[n.b] * std::pow(value[n.a], value[n.b] - 1.0); break;
      case Op::kConstPow: a[n.a] += w * ownValue[k] * std::log(value[n.b]); break;
      case Op::kNeg: a[n.a] -= w; break;
      case Op::kSum:
        for (uint32_t i = 0; i < n.b; ++i) a[args[n.a + i]] += w;
        break;
      case Op::kMin:
      case Op::kMax:
        // The first operand that attains the minimum (maximum) takes the derivative.
        for (uint32_t i = 0; i < n.b; ++i)
          if (value[args[n.a + i]] == ownValue[k]) {
            a[args[n.a + i]] += w;
            break;
          }
        break;
      case Op::kCount:
      case Op::kNumberOf:
      case Op::kAndList:
      case Op::kOrList:
      case Op::kJumpIfZero:
      case Op::kJump: break;
      case Op::kIf: a[value[args[n.a]] != 0.0 ? args[n.a + 1] : args[n.a + 2]] += w; break;
      case Op::kDiv:
      case Op::kRem:
      case Op::kPow:
      case Op::kLess:
      case Op::kIntDiv:
      case Op::kPrecision:
      case Op::kRound:
      case Op::kTrunc:
      case Op::kAtan2:
      case Op::kOr:
      case Op::kAnd:
      case Op::kLt:
      case Op::kLe:
      case Op::kEq:
      case Op::kGe:
      case Op::kGt:
      case Op::kNe:
      case Op::kIff: {
        double da, db;
        binaryDerivative(n.op, value[n.a], value[n.b], ownValue[k], da, db);
        if (da != 0.0) a[n.a] += w * da;
        if (db != 0.0) a[n.b] += w * db;
        break;
      }
      default: {
        const double d = unaryDerivative(n.op, value[n.a], ownValue[k]);
        if (d != 0.0) a[n.a] += w * d;
      }
    }
  }
}

}  // namespace kavro::nl
