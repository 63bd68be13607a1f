#include "nl/nl_reader.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#include "nl/nl_expression_reader.hpp"
#include "nl/nl_header.hpp"
#include "nl/nl_structure.hpp"

namespace kavro::nl {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The shortest text that reads back as v ("5", "0.1", "inf").
std::string shortest(double v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  return ec == std::errc() ? std::string(text, end) : "?";
}

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
      throw ReadError(std::string(what) + " " + std::to_string(t.function) + " lists variable " +
                      std::to_string(t.var) + " twice");
    ++parts.start[t.function + 1];
    parts.terms.push_back({t.var, t.coef});
  }
  for (size_t f = 0; f < static_cast<size_t>(functions); ++f) parts.start[f + 1] += parts.start[f];
  return parts;
}

// Reads the segments after the header. Nothing is sized by a count of the header alone: the
// arrays of the variables grow as the b segment brings their bounds, those of the constraints
// as the r segment brings theirs, and values given by index (x, d) and the expressions are kept
// as they come and placed once the segments that prove the counts have been read. So the
// memory a file takes is in proportion to what it holds, whatever its header declares.
template <class Input>
class SegmentReader {
 public:
  SegmentReader(Input& in, Model& m, std::vector<std::string>& warnings)
      : in_(in), m_(m), h_(m.header), warnings_(warnings), expressions_(m.tape, m.opcodeCounts) {}

  void readAll() {
    m_.tape.nVars = static_cast<uint32_t>(h_.nVars);
    m_.tape.nDefined = static_cast<uint32_t>(h_.nDefinedVars());
    m_.opcodeCounts.assign(kOpcodeLimit, 0);
    for (int letter = in_.letter(); letter != 0; letter = in_.letter()) segment(letter);
    finish();
  }

 private:
  struct IndexedValue {
    int32_t index;
    double value;
  };
  struct ReadExpression {
    int32_t e;  // tape expression
    ExpressionSpan span;
  };

  void segment(int letter) {
    switch (letter) {
      case 'C': expression(in_.int32("a constraint number"), h_.nCons, h_.nObjs, "constraint"); return;
      case 'O': objective(); return;
      case 'V': defined(); return;
      case 'J': linear(conTerms_, h_.nCons, "constraint"); return;
      case 'G': linear(objTerms_, h_.nObjs, "objective"); return;
      case 'x': values(x0_, h_.nVars, "x"); return;
      case 'd':
        m_.dual0Given = true;
        values(dual0_, h_.nCons, "d");
        return;
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
    read_.push_back({offset + k, expressions_.read(in_)});
  }

  void objective() {
    const int32_t k = index(h_.nObjs, "objective");
    const int32_t sense = in_.int32("the objective sense");
    if (sense != 0 && sense != 1) in_.fail("objective sense " + std::to_string(sense) + " is neither 0 nor 1");
    senses_.push_back({k, static_cast<double>(sense)});
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

  void values(std::vector<IndexedValue>& into, int32_t limit, const char* what) {
    const int32_t count = in_.int32("a count");
    if (count < 0 || count > limit)
      in_.fail(std::string(what) + " segment: count " + std::to_string(count) + " is out of range");
    for (int32_t t = 0; t < count; ++t) {
      const int32_t k = index(limit, "index");
      const double v = in_.real("a value");
      if (!std::isfinite(v)) in_.fail(std::string(what) + " segment: a value is not a finite number");
      into.push_back({k, v});
    }
  }

  // One bound of the r or b segment: the type, then its numbers.
  BoundType bound(double& lower, double& upper, bool constraint, int32_t& complement) {
    const int type = in_.typeCharacter("a bound type");
    lower = -kInf;
    upper = kInf;
    switch (type) {
      case '0':
        lower = in_.real("a lower bound");
        upper = in_.real("an upper bound");
        return BoundType::kRange;
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

  // Bounds that no value satisfies ([5, 1], a lower bound of +infinity) would only make the
  // optimizer search for a point that does not exist.
  void checkBounds(double lower, double upper, const char* what, size_t k) {
    if (std::isnan(lower) || std::isnan(upper)) in_.fail("a bound is not a number");
    if (lower > upper || lower == kInf || upper == -kInf)
      in_.fail(std::string(what) + " " + std::to_string(k) + ": the bounds [" + shortest(lower) + ", " +
               shortest(upper) + "] admit no value");
  }

  // A second segment replaces the first: some published files add artificial bounds this way.
  void noteRepeated(bool& seen, const char* letter, const char* what) {
    if (seen)
      warnings_.push_back(in_.where() + ": a second " + letter + " segment replaces the " + what + " of the first");
    seen = true;
  }

  void conBounds() {
    noteRepeated(seenR_, "r", "constraint bounds");
    m_.conLower.clear();
    m_.conUpper.clear();
    m_.conType.clear();
    m_.complementVar.clear();
    for (size_t i = 0; i < static_cast<size_t>(h_.nCons); ++i) {
      double lower = 0.0, upper = 0.0;
      int32_t complement = -1;
      const BoundType type = bound(lower, upper, true, complement);
      if (type != BoundType::kComplement) checkBounds(lower, upper, "constraint", i);
      m_.conLower.push_back(lower);
      m_.conUpper.push_back(upper);
      m_.conType.push_back(type);
      m_.complementVar.push_back(complement);
    }
  }

  void varBounds() {
    noteRepeated(seenB_, "b", "variable bounds");
    m_.varLower.clear();
    m_.varUpper.clear();
    int32_t unused = -1;
    for (size_t j = 0; j < static_cast<size_t>(h_.nVars); ++j) {
      double lower = 0.0, upper = 0.0;
      bound(lower, upper, false, unused);
      checkBounds(lower, upper, "variable", j);
      m_.varLower.push_back(lower);
      m_.varUpper.push_back(upper);
    }
  }

  // Cumulative counts of Jacobian entries for all columns but the last.
  void columnCounts() {
    if (seenK_) in_.fail("a second k segment");
    seenK_ = true;
    const int32_t count = in_.int32("a count");
    if (count != h_.nVars - 1 && !(count == 0 && h_.nVars == 0))
      in_.fail("k segment: " + std::to_string(count) + " counts for " + std::to_string(h_.nVars) + " variables");
    int64_t previous = 0;
    for (int32_t j = 0; j < count; ++j) {
      const int32_t cumulative = in_.int32("a cumulative count");
      if (cumulative < previous || cumulative > h_.nJacobianNonzeros) in_.fail("k segment: counts are not cumulative");
      m_.jacColumnCount.push_back(static_cast<int32_t>(cumulative - previous));
      previous = cumulative;
    }
    if (h_.nVars > 0) m_.jacColumnCount.push_back(static_cast<int32_t>(h_.nJacobianNonzeros - previous));
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
    if (h_.nFunctions > 0)
      in_.fail("the header declares imported functions (" + std::to_string(h_.nFunctions) +
               "), but the file defines none");
    placeExpressions();
    expressions_.finish();
    if (static_cast<int64_t>(conTerms_.size()) != h_.nJacobianNonzeros)
      in_.fail("the J segments hold " + std::to_string(conTerms_.size()) + " entries but the header declares " +
               std::to_string(h_.nJacobianNonzeros));
    if (static_cast<int64_t>(objTerms_.size()) != h_.nGradientNonzeros)
      in_.fail("the G segments hold " + std::to_string(objTerms_.size()) + " entries but the header declares " +
               std::to_string(h_.nGradientNonzeros));
    m_.conLinear = packTerms(conTerms_, h_.nCons, "constraint");
    m_.objLinear = packTerms(objTerms_, h_.nObjs, "objective");
    m_.definedLinear = packTerms(definedTerms_, h_.nDefinedVars(), "defined variable");
    placeValues();
    checkColumnCounts();
  }

  // The expressions in tape order; each of them exactly once (the bounds segments have proved
  // the counts of variables and constraints, and the expressions now prove the rest).
  void placeExpressions() {
    std::stable_sort(read_.begin(), read_.end(),
                     [](const ReadExpression& a, const ReadExpression& b) { return a.e < b.e; });
    const int64_t expressions = int64_t{h_.nObjs} + h_.nCons + h_.nDefinedVars();
    for (size_t k = 1; k < read_.size(); ++k)
      if (read_[k].e == read_[k - 1].e) in_.fail(expressionName(read_[k].e) + " is defined twice");
    for (int64_t e = 0; e < expressions; ++e)
      if (static_cast<size_t>(e) >= read_.size() || read_[e].e != e) in_.fail(missing(static_cast<int32_t>(e)));
    Tape& tape = m_.tape;
    tape.first.resize(read_.size());
    tape.last.resize(read_.size());
    tape.root.resize(read_.size());
    for (size_t e = 0; e < read_.size(); ++e) {
      tape.first[e] = read_[e].span.first;
      tape.last[e] = read_[e].span.last;
      tape.root[e] = read_[e].span.root;
    }
    read_ = {};
  }

  std::string expressionName(int32_t e) const {
    const int32_t defined = e - h_.nObjs - h_.nCons;
    if (defined >= 0) return "defined variable " + std::to_string(h_.nVars + defined);
    if (e >= h_.nObjs) return "constraint " + std::to_string(e - h_.nObjs);
    return "objective " + std::to_string(e);
  }

  std::string missing(int32_t e) const {
    const int32_t defined = e - h_.nObjs - h_.nCons;
    return expressionName(e) + (defined >= 0    ? " has no V segment"
                                : e >= h_.nObjs ? " has no C segment"
                                                : " has no O segment");
  }

  // Values given by index, now that the counts they index are proved.
  void placeValues() {
    m_.x0.assign(h_.nVars, 0.0);
    m_.x0Given.assign(h_.nVars, 0);
    for (const IndexedValue& v : x0_) {
      m_.x0[v.index] = v.value;
      m_.x0Given[v.index] = 1;
    }
    m_.dual0.assign(h_.nCons, 0.0);
    for (const IndexedValue& v : dual0_) m_.dual0[v.index] = v.value;
    m_.objSense.assign(h_.nObjs, 0);
    for (const IndexedValue& v : senses_) m_.objSense[v.index] = static_cast<uint8_t>(v.value);
  }

  void checkColumnCounts() {
    if (m_.jacColumnCount.empty()) return;
    std::vector<int32_t> count(static_cast<size_t>(h_.nVars), 0);
    for (const LinearTerm& t : m_.conLinear.terms) ++count[t.var];
    for (size_t j = 0; j < count.size(); ++j)
      if (count[j] != m_.jacColumnCount[j])
        in_.fail("k segment: column " + std::to_string(j) + " has " + std::to_string(count[j]) +
                 " Jacobian entries, not " + std::to_string(m_.jacColumnCount[j]));
  }

  Input& in_;
  Model& m_;
  const Header& h_;
  std::vector<std::string>& warnings_;
  ExpressionReader expressions_;
  std::vector<ReadExpression> read_;
  std::vector<IndexedValue> x0_, dual0_, senses_;
  bool seenR_ = false, seenB_ = false, seenK_ = false;
  std::vector<Triplet> conTerms_, objTerms_, definedTerms_;
};

void readBody(ByteSource& source, Model& m, std::vector<std::string>& warnings) {
  const HeaderPosition start = readHeader(source, m.header);
  const Header& h = m.header;
  if (h.nLogicalCons > 0) throw ReadError("the model has logical constraints, which are not supported");
  if (h.format == Format::kText) {
    TextInput in(source, start.cursor, start.line);
    SegmentReader<TextInput>(in, m, warnings).readAll();
  } else {
    // Arithmetic 1 is the byte order of this machine's IEEE numbers, 2 the other one.
    if (h.arith > 2) throw ReadError("unknown arithmetic " + std::to_string(h.arith) + " in the header");
    const bool littleEndian = std::endian::native == std::endian::little;
    const bool swap = h.arith == 2 ? littleEndian : (h.arith == 1 ? !littleEndian : false);
    BinaryInput in(source, start.cursor, swap);
    SegmentReader<BinaryInput>(in, m, warnings).readAll();
  }
  analyzeStructure(m);
}

}  // namespace

std::string modelNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  for (const char* ext : {".gz", ".nl"})
    if (name.size() > std::string_view(ext).size() && name.ends_with(ext))
      name.resize(name.size() - std::string_view(ext).size());
  return name;
}

namespace {

std::string notEnoughMemory(const Header& h) {
  return "not enough memory for a model of " + std::to_string(h.nVars) + " variables and " + std::to_string(h.nCons) +
         " constraints";
}

// Reads the model from the source; the error names the model as `name`.
ReadResult readFrom(ByteSource& source, const std::string& name) {
  ReadResult r;
  r.model.name = name;
  try {
    readBody(source, r.model, r.warnings);
    r.ok = true;
  } catch (const ReadStopped& e) {
    r.stopped = true;
    r.error = name + ": " + e.what();
  } catch (const ReadError& e) {
    r.error = name + ": " + e.what();
  } catch (const std::bad_alloc&) {
    r.error = name + ": " + notEnoughMemory(r.model.header);
  } catch (const std::length_error&) {
    r.error = name + ": " + notEnoughMemory(r.model.header);
  }
  if (!r.ok) r.model = Model{};
  return r;
}

}  // namespace

ReadResult readNlData(std::string_view data, const std::string& name) {
  ByteSource source;
  source.openMemory(data);
  return readFrom(source, name);
}

ReadResult readNlFile(const std::string& path, const StopCheck& stop) {
  ByteSource source;
  source.setStopCheck(stop);
  std::string reason;
  if (!source.openFile(path, reason)) {
    ReadResult r;
    r.error = "cannot open " + path + ": " + reason;
    return r;
  }
  ReadResult r = readFrom(source, path);
  r.model.name = modelNameOf(path);
  return r;
}

}  // namespace kavro::nl
