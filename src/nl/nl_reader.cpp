#include "nl/nl_reader.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "nl/nl_expression_reader.hpp"
#include "nl/nl_file.hpp"
#include "nl/nl_header.hpp"
#include "nl/nl_structure.hpp"

namespace kavro::nl {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Triplet {
  int32_t function;
  int32_t var;
  double coef;
};

// Sorts the terms of each function by variable and packs them function by function.
LinearParts packTerms(std::vector<Triplet>& terms, int32_t functions, const char* what) {
  std::stable_sort(terms.begin(), terms.end(), [](const Triplet& a, const Triplet& b) {
    return a.function != b.function ? a.function < b.function : a.var < b.var;
  });
  LinearParts parts;
  parts.start.assign(static_cast<size_t>(functions) + 1, 0);
  parts.terms.reserve(terms.size());
  for (size_t k = 0; k < terms.size(); ++k) {
    const Triplet& t = terms[k];
    if (k > 0 && terms[k - 1].function == t.function && terms[k - 1].var == t.var)
      throw ReadError(std::string(what) + " " + std::to_string(t.function) + " lists variable " + std::to_string(t.var) +
                      " twice");
    ++parts.start[static_cast<size_t>(t.function) + 1];
    parts.terms.push_back({t.var, t.coef});
  }
  for (size_t f = 0; f < static_cast<size_t>(functions); ++f) parts.start[f + 1] += parts.start[f];
  return parts;
}

template <class Input>
class SegmentReader {
 public:
  SegmentReader(Input& in, Model& m)
      : in_(in), m_(m), h_(m.header), expressions_(m.tape, m.opcodeCounts) {}

  void readAll() {
    sizeArrays();
    for (int letter = in_.letter(); letter != 0; letter = in_.letter()) segment(letter);
    finish();
  }

 private:
  void sizeArrays() {
    const size_t nVars = static_cast<size_t>(h_.nVars), nCons = static_cast<size_t>(h_.nCons);
    const size_t expressions = static_cast<size_t>(h_.nObjs) + nCons + static_cast<size_t>(h_.nDefinedVars());
    m_.varLower.assign(nVars, -kInf);
    m_.varUpper.assign(nVars, kInf);
    m_.x0.assign(nVars, 0.0);
    m_.x0Given.assign(nVars, 0);
    m_.conLower.assign(nCons, -kInf);
    m_.conUpper.assign(nCons, kInf);
    m_.conType.assign(nCons, BoundType::kFree);
    m_.complementVar.assign(nCons, -1);
    m_.dual0.assign(nCons, 0.0);
    m_.objSense.assign(static_cast<size_t>(h_.nObjs), 0);
    m_.tape.nVars = static_cast<uint32_t>(h_.nVars);
    m_.tape.nDefined = static_cast<uint32_t>(h_.nDefinedVars());
    m_.tape.first.assign(expressions, 0);
    m_.tape.last.assign(expressions, 0);
    m_.tape.root.assign(expressions, 0);
    m_.opcodeCounts.assign(kOpcodeLimit, 0);
    seen_.assign(expressions, 0);
  }

  void segment(int letter) {
    switch (letter) {
      case 'C': expression(in_.int32("a constraint number"), h_.nCons, h_.nObjs, "constraint"); return;
      case 'O': objective(); return;
      case 'V': defined(); return;
      case 'J': linear(conTerms_, h_.nCons, "constraint"); return;
      case 'G': linear(objTerms_, h_.nObjs, "objective"); return;
      case 'x': values(m_.x0, &m_.x0Given, "x"); return;
      case 'd': m_.dual0Given = true; values(m_.dual0, nullptr, "d"); return;
      case 'r': conBounds(); return;
      case 'b': varBounds(); return;
      case 'k': columnCounts(); return;
      case 'S': suffix(); return;
      case 'F': importedFunction(); return;
      case 'L': in_.fail("logical constraints (L segments) are not supported");
      default: in_.fail("unknown segment '" + std::string(1, static_cast<char>(letter)) + "'");
    }
  }

  int32_t index(int32_t limit, const char* what) {
    const int32_t k = in_.int32(what);
    if (k < 0 || k >= limit) in_.fail(std::string(what) + " " + std::to_string(k) + " is out of range");
    return k;
  }

  void expression(int32_t k, int32_t limit, int32_t offset, const char* what) {
    if (k < 0 || k >= limit) in_.fail(std::string(what) + " " + std::to_string(k) + " is out of range");
    const int32_t e = offset + k;
    if (seen_[static_cast<size_t>(e)]) in_.fail(std::string(what) + " " + std::to_string(k) + " is defined twice");
    seen_[static_cast<size_t>(e)] = 1;
    expressions_.read(in_, e);
  }

  void objective() {
    const int32_t k = index(h_.nObjs, "objective");
    const int32_t sense = in_.int32("the objective sense");
    if (sense != 0 && sense != 1) in_.fail("objective sense " + std::to_string(sense) + " is neither 0 nor 1");
    m_.objSense[static_cast<size_t>(k)] = static_cast<uint8_t>(sense);
    expression(k, h_.nObjs, 0, "objective");
  }

  void defined() {
    const int32_t v = in_.int32("a defined variable");
    if (v < h_.nVars || v - h_.nVars >= h_.nDefinedVars())
      in_.fail("defined variable " + std::to_string(v) + " is out of range");
    const int32_t count = in_.int32("the number of linear terms");
    (void)in_.int32("the defined variable's use");
    terms(definedTerms_, v - h_.nVars, count);
    expression(v - h_.nVars, h_.nDefinedVars(), h_.nObjs + h_.nCons, "defined variable");
  }

  void terms(std::vector<Triplet>& into, int32_t function, int32_t count) {
    if (count < 0 || count > h_.nVars) in_.fail("term count " + std::to_string(count) + " is out of range");
    for (int32_t t = 0; t < count; ++t) {
      const int32_t var = index(h_.nVars, "variable");
      const double coef = in_.real("a coefficient");
      if (!std::isfinite(coef)) in_.fail("a coefficient is not a finite number");
      into.push_back({function, var, coef});
    }
  }

  void linear(std::vector<Triplet>& into, int32_t limit, const char* what) {
    const int32_t k = index(limit, what);
    terms(into, k, in_.int32("the number of terms"));
  }

  void values(std::vector<double>& into, std::vector<uint8_t>* given, const char* what) {
    const int32_t count = in_.int32("a count");
    const int32_t limit = static_cast<int32_t>(into.size());
    if (count < 0 || count > limit) in_.fail(std::string(what) + " segment: count " + std::to_string(count) + " is out of range");
    for (int32_t t = 0; t < count; ++t) {
      const int32_t k = index(limit, "index");
      into[static_cast<size_t>(k)] = in_.real("a value");
      if (!std::isfinite(into[static_cast<size_t>(k)])) in_.fail(std::string(what) + " segment: a value is not a finite number");
      if (given) (*given)[static_cast<size_t>(k)] = 1;
    }
  }

  // One bound of the r or b segment: the type, then its numbers.
  BoundType bound(double& lower, double& upper, bool constraint, int32_t& complement) {
    const int type = in_.typeCharacter("a bound type");
    lower = -kInf;
    upper = kInf;
    switch (type) {
      case '0': lower = in_.real("a lower bound"); upper = in_.real("an upper bound"); return BoundType::kRange;
      case '1': upper = in_.real("an upper bound"); return BoundType::kUpper;
      case '2': lower = in_.real("a lower bound"); return BoundType::kLower;
      case '3': return BoundType::kFree;
      case '4': lower = upper = in_.real("a value"); return BoundType::kEqual;
      case '5':
        if (constraint) {
          (void)in_.int32("the complementarity kind");
          complement = in_.int32("the complementary variable") - 1;
          if (complement < 0 || complement >= h_.nVars) in_.fail("complementary variable out of range");
          return BoundType::kComplement;
        }
        [[fallthrough]];
      default: in_.fail("unknown bound type '" + std::string(1, static_cast<char>(type)) + "'");
    }
  }

  void conBounds() {
    // A second r or b segment replaces the first (some published files add artificial bounds
    // this way).
    seenR_ = true;
    for (size_t i = 0; i < static_cast<size_t>(h_.nCons); ++i) {
      m_.conType[i] = bound(m_.conLower[i], m_.conUpper[i], true, m_.complementVar[i]);
      if (std::isnan(m_.conLower[i]) || std::isnan(m_.conUpper[i])) in_.fail("a bound is not a number");
    }
  }

  void varBounds() {
    seenB_ = true;
    int32_t unused = -1;
    for (size_t j = 0; j < static_cast<size_t>(h_.nVars); ++j) {
      bound(m_.varLower[j], m_.varUpper[j], false, unused);
      if (std::isnan(m_.varLower[j]) || std::isnan(m_.varUpper[j])) in_.fail("a bound is not a number");
    }
  }

  // Cumulative counts of Jacobian entries for all columns but the last.
  void columnCounts() {
    const int32_t count = in_.int32("a count");
    if (count != h_.nVars - 1 && !(count == 0 && h_.nVars == 0))
      in_.fail("k segment: " + std::to_string(count) + " counts for " + std::to_string(h_.nVars) + " variables");
    std::vector<int32_t> cumulative(static_cast<size_t>(count));
    for (int32_t& c : cumulative) c = in_.int32("a cumulative count");
    m_.jacColumnCount.assign(static_cast<size_t>(h_.nVars), 0);
    int64_t previous = 0;
    for (size_t j = 0; j < cumulative.size(); ++j) {
      if (cumulative[j] < previous || cumulative[j] > h_.nJacobianNonzeros) in_.fail("k segment: counts are not cumulative");
      m_.jacColumnCount[j] = static_cast<int32_t>(cumulative[j] - previous);
      previous = cumulative[j];
    }
    if (h_.nVars > 0) m_.jacColumnCount.back() = static_cast<int32_t>(h_.nJacobianNonzeros - previous);
  }

  void suffix() {
    const int32_t kind = in_.int32("the suffix kind");
    const int32_t count = in_.int32("the number of suffix values");
    const std::string name = in_.name("the suffix name");
    const int32_t target = kind & 3;
    const int32_t limit = target == 0 ? h_.nVars : target == 1 ? h_.nCons : target == 2 ? h_.nObjs : 1;
    if (kind < 0 || kind > 7 || count < 0 || count > limit) in_.fail("suffix " + name + ": bad kind or count");
    Suffix& s = m_.suffixes[name];
    s.kind = kind;
    for (int32_t t = 0; t < count; ++t) {
      s.index.push_back(index(limit, "suffix index"));
      s.value.push_back((kind & 4) ? in_.real("a suffix value") : static_cast<double>(in_.int32("a suffix value")));
    }
  }

  void importedFunction() {
    (void)in_.int32("a function number");
    (void)in_.int32("the function type");
    (void)in_.int32("the number of arguments");
    const std::string name = in_.name("the function name");
    in_.fail("the model uses the imported function '" + name + "', which is not supported");
  }

  void finish() {
    if (h_.nVars > 0 && !seenB_) in_.fail("the file has no variable bounds (b segment)");
    if (h_.nCons > 0 && !seenR_) in_.fail("the file has no constraint bounds (r segment)");
    expressions_.finish();
    for (int32_t e = 0; e < m_.tape.expressions(); ++e) {
      if (seen_[static_cast<size_t>(e)]) continue;
      const int32_t defined = e - h_.nObjs - h_.nCons;
      if (defined >= 0) in_.fail("defined variable " + std::to_string(h_.nVars + defined) + " has no V segment");
      if (e >= h_.nObjs) in_.fail("constraint " + std::to_string(e - h_.nObjs) + " has no C segment");
      in_.fail("objective " + std::to_string(e) + " has no O segment");
    }
    if (static_cast<int64_t>(conTerms_.size()) != h_.nJacobianNonzeros)
      in_.fail("the J segments hold " + std::to_string(conTerms_.size()) + " entries but the header declares " +
               std::to_string(h_.nJacobianNonzeros));
    if (static_cast<int64_t>(objTerms_.size()) != h_.nGradientNonzeros)
      in_.fail("the G segments hold " + std::to_string(objTerms_.size()) + " entries but the header declares " +
               std::to_string(h_.nGradientNonzeros));
    m_.conLinear = packTerms(conTerms_, h_.nCons, "constraint");
    m_.objLinear = packTerms(objTerms_, h_.nObjs, "objective");
    m_.definedLinear = packTerms(definedTerms_, h_.nDefinedVars(), "defined variable");
    checkColumnCounts();
  }

  void checkColumnCounts() {
    if (m_.jacColumnCount.empty()) return;
    std::vector<int32_t> count(static_cast<size_t>(h_.nVars), 0);
    for (const LinearTerm& t : m_.conLinear.terms) ++count[static_cast<size_t>(t.var)];
    for (size_t j = 0; j < count.size(); ++j)
      if (count[j] != m_.jacColumnCount[j])
        in_.fail("k segment: column " + std::to_string(j) + " has " + std::to_string(count[j]) +
                 " Jacobian entries, not " + std::to_string(m_.jacColumnCount[j]));
  }

  Input& in_;
  Model& m_;
  const Header& h_;
  ExpressionReader expressions_;
  std::vector<uint8_t> seen_;
  bool seenR_ = false, seenB_ = false;
  std::vector<Triplet> conTerms_, objTerms_, definedTerms_;
};

void readBody(std::string_view data, Model& m) {
  const HeaderPosition start = readHeader(data, m.header);
  const Header& h = m.header;
  if (h.nLogicalCons > 0) throw ReadError("the model has logical constraints, which are not supported");
  if (h.format == Format::kText) {
    TextInput in(data, start.offset, start.line);
    SegmentReader<TextInput>(in, m).readAll();
  } else {
    // Arithmetic 1 is the byte order of this machine's IEEE numbers, 2 the other one.
    if (h.arith > 2) throw ReadError("unknown arithmetic " + std::to_string(h.arith) + " in the header");
    const bool littleEndian = std::endian::native == std::endian::little;
    const bool swap = h.arith == 2 ? littleEndian : (h.arith == 1 ? !littleEndian : false);
    BinaryInput in(data, start.offset, swap);
    SegmentReader<BinaryInput>(in, m).readAll();
  }
  analyzeStructure(m);
}

}  // namespace

std::string modelNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  for (const char* ext : {".gz", ".nl"})
    if (name.size() > std::string_view(ext).size() && name.ends_with(ext)) name.resize(name.size() - std::string_view(ext).size());
  return name;
}

ReadResult readNlData(std::string_view data, const std::string& name) {
  ReadResult r;
  r.model.name = name;
  try {
    readBody(data, r.model);
    r.ok = true;
  } catch (const ReadError& e) {
    r.error = name + ": " + e.what();
  } catch (const std::bad_alloc&) {
    r.error = name + ": not enough memory for the model";
  }
  if (!r.ok) r.model = Model{};
  return r;
}

ReadResult readNlFile(const std::string& path) {
  std::string data, error;
  if (!loadFile(path, data, error)) {
    ReadResult r;
    r.error = error;
    return r;
  }
  ReadResult r = readNlData(data, path);
  r.model.name = modelNameOf(path);
  return r;
}

}  // namespace kavro::nl
