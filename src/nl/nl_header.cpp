#include "nl/nl_header.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "nl/nl_input.hpp"

namespace kavro::nl {

namespace {

// Header lines hold a few numbers; the text before a '#' comment is limited to this many
// characters (comments are skipped, whatever their length).
constexpr size_t kMaxHeaderText = 4096;

class HeaderLines {
 public:
  explicit HeaderLines(ByteSource& source) : src_(source), pos_(source.begin()) {}

  // The numbers of the next line, up to a '#' comment; valid until the next call.
  std::vector<std::string_view> next() {
    ++line_;
    if (!available()) fail("the file ends inside the header");
    text_.clear();
    bool comment = false;
    for (; available() && *pos_ != '\n'; ++pos_) {
      comment = comment || *pos_ == '#';
      if (comment) continue;
      if (text_.size() == kMaxHeaderText)
        fail("a header line longer than " + std::to_string(kMaxHeaderText) + " characters");
      text_ += *pos_;
    }
    if (available()) ++pos_;  // the line end
    std::vector<std::string_view> words;
    const std::string_view text = text_;
    size_t k = 0;
    while (k < text.size()) {
      while (k < text.size() && (text[k] == ' ' || text[k] == '\t' || text[k] == '\r')) ++k;
      const size_t begin = k;
      while (k < text.size() && text[k] != ' ' && text[k] != '\t' && text[k] != '\r') ++k;
      if (k > begin) words.push_back(text.substr(begin, k - begin));
    }
    return words;
  }

  int64_t number(std::string_view word) const {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || end != word.data() + word.size() || v < 0 || v > INT32_MAX)
      fail("'" + std::string(word) + "' is not a count");
    return v;
  }

  // Reads the counts of one line into the fields; the first `required` must be present.
  void counts(std::initializer_list<int32_t*> fields, size_t required, const char* what) {
    const std::vector<std::string_view> words = next();
    if (words.size() < required) fail(std::string("expected ") + std::to_string(required) + " numbers (" + what + ")");
    size_t k = 0;
    for (int32_t* f : fields) {
      if (k < words.size()) *f = static_cast<int32_t>(number(words[k]));
      ++k;
    }
  }

  [[noreturn]] void fail(const std::string& message) const {
    throw ReadError("line " + std::to_string(line_) + ": " + message);
  }

  const char* position() const { return pos_; }
  long line() const { return line_; }

 private:
  bool available() {
    if (pos_ != src_.end()) return true;
    const char* mark = pos_;
    return src_.fill(mark, pos_) && pos_ != src_.end();
  }

  ByteSource& src_;
  const char* pos_;
  std::string text_;
  long line_ = 0;
};

void readFirstLine(HeaderLines& lines, Header& h) {
  std::vector<std::string_view> words = lines.next();
  if (words.empty() || (words[0][0] != 'g' && words[0][0] != 'b'))
    lines.fail("not a .nl file: the first line must start with 'g' (text) or 'b' (binary)");
  h.format = words[0][0] == 'g' ? Format::kText : Format::kBinary;
  words[0].remove_prefix(1);
  if (words[0].empty()) words.erase(words.begin());
  if (words.empty()) return;
  const int64_t count = lines.number(words[0]);
  if (count > 100 || static_cast<size_t>(count) + 1 > words.size())
    lines.fail("the first line announces " + std::to_string(count) + " options but does not hold them");
  for (int64_t k = 1; k <= count; ++k) h.options.push_back(static_cast<int32_t>(lines.number(words[k])));
  // A second option of 3 means that a real number (a bound tolerance) follows the options.
  if (h.options.size() >= 2 && h.options[1] == 3) {
    const size_t k = static_cast<size_t>(count) + 1;
    if (k >= words.size()) lines.fail("the bound tolerance announced by the options is missing");
    h.hasVbtol = true;
    h.vbtol = std::strtod(std::string(words[k]).c_str(), nullptr);
    if (!std::isfinite(h.vbtol)) lines.fail("the bound tolerance is not a finite number");
  }
}

// A file holds at least a byte for every variable bound, constraint bound and nonzero it
// declares; counts beyond what the file can hold are wrong, and refusing them at once spares
// reading a file that must fail.
void checkAgainstSize(const HeaderLines& lines, const Header& h, const ByteSource& source) {
  // The sums of counts below must fit before they are formed.
  const int64_t defined = int64_t{h.nCommonBoth} + h.nCommonCons + h.nCommonObjs + h.nCommonCons1 + h.nCommonObjs1;
  const int64_t discrete = int64_t{h.nBinaryVars} + h.nIntegerVars + h.nNonlinIntBoth + h.nNonlinIntCons +
                           h.nNonlinIntObjs;
  if (defined > INT32_MAX || discrete > INT32_MAX) lines.fail("too many defined or discrete variables");
  const int64_t limit = source.sizeBound();
  auto check = [&](int64_t count, const char* what) {
    if (count <= limit) return;
    const std::string declared = std::string("the header declares ") + std::to_string(count) + " " + what;
    if (!source.compressed()) lines.fail(declared + " but the file has only " + std::to_string(limit) + " bytes");
    lines.fail(declared + " but the compressed file of " + std::to_string(source.storedSize()) +
               " bytes can expand to at most " + std::to_string(limit));
  };
  check(h.nVars, "variables");
  check(h.nCons, "constraints");
  check(h.nObjs, "objectives");
  check(h.nJacobianNonzeros, "Jacobian nonzeros");
  check(h.nGradientNonzeros, "gradient nonzeros");
  check(h.nDefinedVars(), "defined variables");
  if (h.nNonlinCons > h.nCons || h.nNonlinObjs > h.nObjs || h.nNonlinVarsCons > h.nVars ||
      h.nNonlinVarsObjs > h.nVars || h.nNonlinVarsBoth > h.nNonlinVarsCons || h.nNonlinVarsBoth > h.nNonlinVarsObjs)
    lines.fail("the nonlinear counts do not fit the numbers of variables, constraints and objectives");
  if (static_cast<int64_t>(h.nVars) + h.nDefinedVars() > INT32_MAX) lines.fail("too many variables");
}

}  // namespace

HeaderPosition readHeader(ByteSource& source, Header& h) {
  HeaderLines lines(source);
  readFirstLine(lines, h);
  // Older writers leave out the equation count and the variables nonlinear in both.
  lines.counts({&h.nVars, &h.nCons, &h.nObjs, &h.nRanges, &h.nEqns, &h.nLogicalCons}, 4,
               "variables, constraints, objectives, ranges, equations");
  lines.counts({&h.nNonlinCons, &h.nNonlinObjs, &h.nComplementarity, &h.nNonlinComplementarity,
                &h.nDoubleComplementarity, &h.nComplementarityBounded},
               2, "nonlinear constraints, objectives");
  lines.counts({&h.nNetworkNonlinCons, &h.nNetworkLinCons}, 2, "network constraints");
  h.nNonlinVarsBoth = -1;
  lines.counts({&h.nNonlinVarsCons, &h.nNonlinVarsObjs, &h.nNonlinVarsBoth}, 2,
               "nonlinear variables in constraints, objectives, both");
  if (h.nNonlinVarsBoth < 0) h.nNonlinVarsBoth = std::min(h.nNonlinVarsCons, h.nNonlinVarsObjs);
  lines.counts({&h.nLinearNetworkVars, &h.nFunctions, &h.arith, &h.flags}, 2,
               "linear network variables, functions, arithmetic, flags");
  lines.counts({&h.nBinaryVars, &h.nIntegerVars, &h.nNonlinIntBoth, &h.nNonlinIntCons, &h.nNonlinIntObjs}, 2,
               "discrete variables");
  int32_t nzc = 0, nzo = 0;
  lines.counts({&nzc, &nzo}, 2, "Jacobian and gradient nonzeros");
  h.nJacobianNonzeros = nzc;
  h.nGradientNonzeros = nzo;
  lines.counts({&h.maxConNameLength, &h.maxVarNameLength}, 2, "name lengths");
  lines.counts({&h.nCommonBoth, &h.nCommonCons, &h.nCommonObjs, &h.nCommonCons1, &h.nCommonObjs1}, 3,
               "common expressions");
  checkAgainstSize(lines, h, source);
  return {lines.position(), lines.line() + 1};
}

}  // namespace kavro::nl
