// Reading option definition files and option files into the option object.

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "option_object.hpp"

namespace qarn {

namespace {

// Lines of a text file through C stdio: the first C++ file stream of a process sets up the
// locale machinery, which cost more than everything else the solver library does before a
// short solve. A line may hold at most kMaxLineLength characters: a longer one ends the reading
// (tooLong()), so that no file can take unbounded memory.
class TextLines {
 public:
  static constexpr size_t kMaxLineLength = 65536;

  explicit TextLines(const char* path) : file_(std::fopen(path ? path : "", "r")) {}
  ~TextLines() {
    if (file_) std::fclose(file_);
  }
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;
  explicit operator bool() const { return file_ != nullptr; }
  // The next line without its newline; false at the end of the file or at a line too long.
  bool next(std::string& line) {
    line.clear();
    if (tooLong_) return false;
    bool any = false;
    for (int c; (c = getc_unlocked(file_)) != EOF;) {
      any = true;
      if (c == '\n') return true;
      if (line.size() == kMaxLineLength) {
        tooLong_ = true;
        return false;
      }
      line.push_back(static_cast<char>(c));
    }
    return any;
  }
  bool tooLong() const { return tooLong_; }
  std::string tooLongText(int lineNumber) const {
    return "line " + std::to_string(lineNumber) + " is longer than " + std::to_string(kMaxLineLength) + " characters";
  }

 private:
  std::FILE* file_;
  bool tooLong_ = false;
};

}  // namespace

std::vector<std::string> splitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == '=') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool parseInteger(std::string_view text, int& value) {
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool parseReal(std::string_view text, double& value) {
  std::string s(text);
  for (char& c : s)
    if (c == 'd' || c == 'D') c = 'e';
  if (sameName(s, "inf") || sameName(s, "+inf")) return value = 1.0e300, true;
  if (sameName(s, "-inf")) return value = -1.0e300, true;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace qarn

namespace {

std::string trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

int dataTypeOf(std::string_view word) {
  if (qarn::sameName(word, "integer")) return optDataInteger;
  if (qarn::sameName(word, "real")) return optDataReal;
  if (qarn::sameName(word, "string")) return optDataString;
  if (qarn::sameName(word, "boolean")) return optDataBoolean;
  return 0;
}

}  // namespace

optRec::Definition* optRec::find(std::string_view name) {
  for (Definition& d : definitions)
    if (qarn::sameName(d.name, name)) return &d;
  return nullptr;
}

std::string optRec::assign(Definition& d, std::string_view value) {
  switch (d.dataType) {
    case optDataInteger: {
      int v = 0;
      if (!qarn::parseInteger(value, v)) return "an integer value is expected";
      if (v < d.lower || v > d.upper) return "value out of range";
      d.intValue = v;
      return {};
    }
    case optDataReal: {
      double v = 0.0;
      if (!qarn::parseReal(value, v) || std::fabs(v) >= 1.0e300) return "a real value is expected";
      if (v < d.lower || v > d.upper) return "value out of range";
      d.realValue = v;
      return {};
    }
    case optDataBoolean: {
      if (value == "1" || qarn::sameName(value, "yes") || qarn::sameName(value, "true")) d.intValue = 1;
      else if (value == "0" || qarn::sameName(value, "no") || qarn::sameName(value, "false")) d.intValue = 0;
      else return "a boolean value (0, 1, yes, no) is expected";
      return {};
    }
    default:
      d.text = value == "\"\"" ? std::string() : std::string(value);
      return {};
  }
}

bool optRec::readDefinitions(const char* path) {
  qarn::TextLines in(path);
  if (!in) {
    message(optMsgFileError, std::string("Cannot open the option definition file ") + (path ? path : ""));
    return false;
  }
  std::vector<Definition> read;
  std::vector<Group> readGroups;
  int group = 0;
  std::string line;
  int lineNumber = 1;
  for (; in.next(line); ++lineNumber) {
    if (line.empty() || line[0] == '#' || line[0] == '*') continue;
    std::string description;
    if (const size_t bang = line.find('!'); bang != std::string::npos) {
      description = trimmed(std::string_view(line).substr(bang + 1));
      line.resize(bang);
    }
    const std::vector<std::string> w = qarn::splitWords(line);
    if (w.empty()) continue;
    auto bad = [&](const char* why) {
      message(optMsgFileError, std::string(path) + ", line " + std::to_string(lineNumber) + ": " + why);
      return false;
    };
    if (qarn::sameName(w[0], "group")) {
      if (w.size() < 2 || !qarn::parseInteger(w[1], group) || group < 0) return bad("group number expected");
      std::string title;
      for (size_t k = 2; k < w.size(); ++k) title += (k > 2 ? " " : "") + w[k];
      readGroups.push_back({group, title});
      continue;
    }
    Definition d;
    d.name = w[0];
    d.dataType = w.size() >= 2 ? dataTypeOf(w[1]) : 0;
    d.group = group;
    d.description = description;
    if (d.dataType == 0) return bad("type integer, real, string or boolean expected");
    if (w.size() < 3) return bad("default value expected");
    const bool numeric = d.dataType == optDataInteger || d.dataType == optDataReal;
    if (w.size() == 5 && numeric) {
      if (!qarn::parseReal(w[3], d.lower) || !qarn::parseReal(w[4], d.upper) || d.lower > d.upper)
        return bad("bounds expected");
    } else if (w.size() != 3 && !(d.dataType == optDataString)) {
      return bad("too many fields");
    }
    std::string value = w[2];
    if (d.dataType == optDataString)
      for (size_t k = 3; k < w.size(); ++k) value += " " + w[k];
    if (const std::string why = assign(d, value); !why.empty()) return bad(("default: " + why).c_str());
    for (const Definition& other : read)
      if (qarn::sameName(other.name, d.name)) return bad("option defined twice");
    read.push_back(std::move(d));
  }
  if (in.tooLong()) {
    message(optMsgFileError, std::string(path) + ", " + in.tooLongText(lineNumber));
    return false;
  }
  definitions = std::move(read);
  groups = std::move(readGroups);
  return true;
}

int optRec::readParameterFile(const char* path) {
  qarn::TextLines in(path);
  if (!in) {
    message(optMsgFileError, std::string("*** Cannot open the option file ") + (path ? path : ""));
    return 1;
  }
  message(optMsgNote, std::string("Reading option file ") + path);
  int errors = 0;
  std::string line;
  int lineNumber = 1;
  for (; in.next(line); ++lineNumber) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (echo) message(optMsgEcho, "    >>  " + line);
    if (line.empty() || line[0] == '*') continue;
    if (eolOnly)
      if (const size_t bang = line.find('!'); bang != std::string::npos) line.resize(bang);
    const std::string text = trimmed(line);
    if (text.empty()) continue;
    size_t cut = 0;
    while (cut < text.size() && !std::isspace(static_cast<unsigned char>(text[cut])) && text[cut] != '=') ++cut;
    const std::string name = text.substr(0, cut);
    std::string value = trimmed(std::string_view(text).substr(cut));
    if (!value.empty() && value[0] == '=') value = trimmed(std::string_view(value).substr(1));
    auto error = [&](const std::string& why) {
      message(optMsgError, "*** Error in line " + std::to_string(lineNumber) + ": " + why);
      ++errors;
    };
    Definition* d = find(name);
    if (!d) {
      error("unknown option \"" + name + "\"");
      continue;
    }
    if (value.empty() && d->dataType != optDataString) {
      error("value missing for option \"" + d->name + "\"");
      continue;
    }
    if (const std::string why = assign(*d, value); !why.empty()) {
      error(why + " for option \"" + d->name + "\"");
      continue;
    }
    d->defined = d->definedRecent = true;
    message(optMsgDetail, d->name + " set to " + value);
  }
  if (in.tooLong()) {
    message(optMsgError, "*** Error: " + in.tooLongText(lineNumber));
    ++errors;
  }
  if (errors > 0) message(optMsgSummary, "*** " + std::to_string(errors) + " error(s) in option file " + path);
  return errors;
}
