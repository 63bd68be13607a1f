#pragma once
// A model read from an AMPL .nl file, as the file states it: sizes, bounds, starting values,
// the linear parts of objectives and constraints, and their nonlinear parts compiled into
// expression tapes (see nl_tape.hpp). Indices are 0-based and in the file's order, which puts
// the nonlinear variables and the nonlinear constraints first.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nl/nl_tape.hpp"

namespace kavro::nl {

enum class Format { kText, kBinary };

// The ten header lines after the first, in the order the format fixes them.
struct Header {
  Format format = Format::kText;
  std::vector<int32_t> options;  // the numbers on the first line after the letter
  bool hasVbtol = false;         // options[1] == 3: a real follows the options
  double vbtol = 0.0;

  int32_t nVars = 0, nCons = 0, nObjs = 0, nRanges = 0, nEqns = 0, nLogicalCons = 0;
  int32_t nNonlinCons = 0, nNonlinObjs = 0;
  int32_t nComplementarity = 0, nNonlinComplementarity = 0, nDoubleComplementarity = 0, nComplementarityBounded = 0;
  int32_t nNetworkNonlinCons = 0, nNetworkLinCons = 0;
  int32_t nNonlinVarsCons = 0, nNonlinVarsObjs = 0, nNonlinVarsBoth = 0;
  int32_t nLinearNetworkVars = 0, nFunctions = 0, arith = 0, flags = 0;
  int32_t nBinaryVars = 0, nIntegerVars = 0, nNonlinIntBoth = 0, nNonlinIntCons = 0, nNonlinIntObjs = 0;
  int64_t nJacobianNonzeros = 0, nGradientNonzeros = 0;
  int32_t maxConNameLength = 0, maxVarNameLength = 0;
  int32_t nCommonBoth = 0, nCommonCons = 0, nCommonObjs = 0, nCommonCons1 = 0, nCommonObjs1 = 0;

  int32_t nDefinedVars() const { return nCommonBoth + nCommonCons + nCommonObjs + nCommonCons1 + nCommonObjs1; }
  int32_t nDiscreteVars() const {
    return nBinaryVars + nIntegerVars + nNonlinIntBoth + nNonlinIntCons + nNonlinIntObjs;
  }
};

// Bound types of the r and b segments.
enum class BoundType : uint8_t { kRange = 0, kUpper = 1, kLower = 2, kFree = 3, kEqual = 4, kComplement = 5 };

struct LinearTerm {
  int32_t var = 0;
  double coef = 0.0;
};

// Linear terms of several functions, function by function (compressed rows).
struct LinearParts {
  std::vector<int32_t> start{0};  // functions + 1 entries
  std::vector<LinearTerm> terms;

  int32_t size(int32_t f) const { return start[f + 1] - start[f]; }
  const LinearTerm* begin(int32_t f) const { return terms.data() + start[f]; }
  const LinearTerm* end(int32_t f) const { return terms.data() + start[f + 1]; }
};

// Index lists of several items, item by item (compressed rows).
struct IndexLists {
  std::vector<int32_t> start{0};
  std::vector<int32_t> index;

  int32_t size(int32_t k) const { return start[k + 1] - start[k]; }
  const int32_t* begin(int32_t k) const { return index.data() + start[k]; }
  const int32_t* end(int32_t k) const { return index.data() + start[k + 1]; }
};

// Suffix values (S segments), kept by name; the optimizer uses none of them.
struct Suffix {
  int32_t kind = 0;  // 0 variables, 1 constraints, 2 objectives, 3 the problem; +4 real values
  std::vector<int32_t> index;
  std::vector<double> value;
};

struct Model {
  std::string name;  // file name without folders and extensions
  Header header;

  // Variables: bounds (+-infinity where the file gives none) and starting values.
  std::vector<double> varLower, varUpper;
  std::vector<double> x0;
  std::vector<uint8_t> x0Given;
  // Constraint bodies: lower <= body <= upper; complementarity rows keep their variable.
  std::vector<double> conLower, conUpper;
  std::vector<BoundType> conType;
  std::vector<int32_t> complementVar;  // per constraint, -1 when not complementary
  std::vector<double> dual0;           // initial dual values (0 where the file gives none)
  bool dual0Given = false;

  std::vector<uint8_t> objSense;        // 0 minimize, 1 maximize
  LinearParts objLinear, conLinear;     // G and J segments, variables increasing in each function
  std::vector<int32_t> jacColumnCount;  // the k segment made per column (empty when absent)

  // Expressions: objective k is function k, constraint i is function nObjs + i, defined
  // variable v (index nVars + v in the file) is tape expression nObjs + nCons + v.
  Tape tape;
  LinearParts definedLinear;          // the linear terms of each defined variable
  std::vector<int32_t> definedOrder;  // defined variables in an order where each comes after
                                      // the ones it uses
  // Per expression, the variables its value depends on (increasing), through the defined
  // variables it uses and their linear terms: the variables that occur nonlinearly.
  IndexLists expressionVars;

  std::vector<int64_t> opcodeCounts;  // occurrences of each opcode of the format

  std::map<std::string, Suffix> suffixes;

  int32_t nVars() const { return header.nVars; }
  int32_t nCons() const { return header.nCons; }
  int32_t nObjs() const { return header.nObjs; }
  int32_t nDefined() const { return header.nDefinedVars(); }
  int32_t objExpression(int32_t k) const { return k; }
  int32_t conExpression(int32_t i) const { return header.nObjs + i; }
  int32_t definedExpression(int32_t v) const { return header.nObjs + header.nCons + v; }
};

}  // namespace kavro::nl
