#include "nl/nl_header.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "nl/nl_input.hpp"

namespace kavro::nl {

namespace {

class HeaderLines {
 public:
  explicit HeaderLines(std::string_view data) : data_(data) {}

  // The numbers of the next line, up to a '#' comment.
  std::vector<std::string_view> next() {
    ++line_;
    if (pos_ >= data_.size()) fail("the file ends inside the header");
    size_t end = data_.find('\n', pos_);
    if (end == std::string_view::npos) end = data_.size();
    std::string_view text = data_.substr(pos_, end - pos_);
    pos_ = end < data_.size() ? end + 1 : data_.size();
    if (const size_t hash = text.find('#'); hash != std::string_view::npos) text = text.substr(0, hash);
    std::vector<std::string_view> words;
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

  size_t position() const { return pos_; }
  long line() const { return line_; }

 private:
  std::string_view data_;
  size_t pos_ = 0;
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
  for (int64_t k = 1; k <= count; ++k) h.options.push_back(static_cast<int32_t>(lines.number(words[static_cast<size_t>(k)])));
  // A second option of 3 means that a real number (a bound tolerance) follows the options.
  if (h.options.size() >= 2 && h.options[1] == 3) {
    const size_t k = static_cast<size_t>(count) + 1;
    if (k >= words.size()) lines.fail("the bound tolerance announced by the options is missing");
    h.hasVbtol = true;
    h.vbtol = std::strtod(std::string(words[k]).c_str(), nullptr);
  }
}

// A file holds at least a byte for every variable bound, constraint bound and nonzero it
// declares; counts beyond the file's size are wrong, and refusing them keeps a corrupt header
// from sizing anything.
void checkAgainstSize(const HeaderLines& lines, const Header& h, size_t bytes) {
  const int64_t limit = static_cast<int64_t>(bytes);
  auto check = [&](int64_t count, const char* what) {
    if (count > limit)
      lines.fail(std::string("the header declares ") + std::to_string(count) + " " + what + " but the file has only " +
                 std::to_string(bytes) + " bytes");
  };
  check(h.nVars, "variables");
  check(h.nCons, "constraints");
  check(h.nObjs, "objectives");
  check(h.nJacobianNonzeros, "Jacobian nonzeros");
  check(h.nGradientNonzeros, "gradient nonzeros");
  check(h.nDefinedVars(), "defined variables");
  if (h.nNonlinCons > h.nCons || h.nNonlinObjs > h.nObjs || h.nNonlinVarsCons > h.nVars || h.nNonlinVarsObjs > h.nVars ||
      h.nNonlinVarsBoth > h.nNonlinVarsCons || h.nNonlinVarsBoth > h.nNonlinVarsObjs)
    lines.fail("the nonlinear counts do not fit the numbers of variables, constraints and objectives");
  if (static_cast<int64_t>(h.nVars) + h.nDefinedVars() > INT32_MAX) lines.fail("too many variables");
}

}  // namespace

HeaderPosition readHeader(std::string_view data, Header& h) {
  HeaderLines lines(data);
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
  checkAgainstSize(lines, h, data.size());
  return {lines.position(), lines.line() + 1};
}

}  // namespace kavro::nl
