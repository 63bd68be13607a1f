#include "nl/ampl_options.hpp"

#include <charconv>
#include <cstdlib>

namespace kavro::nl {

namespace {

bool isNumber(std::string_view w) {
  if (w.empty()) return false;
  double v = 0.0;
  const char* begin = w.data() + (w[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(begin, w.data() + w.size(), v);
  return ec == std::errc() && end == w.data() + w.size();
}

bool parseInteger(std::string_view w, int32_t& v) {
  const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
  return ec == std::errc() && end == w.data() + w.size();
}

std::string withBlanks(std::string_view key) {
  std::string s(key);
  for (char& c : s)
    if (c == '_') c = ' ';
  return s;
}

// The protocol's own words; false when the key is not one of them.
bool protocolWord(std::string_view key, std::string_view value, AmplOptions& o) {
  int32_t v = 0;
  const bool integer = parseInteger(value, v);
  auto bad = [&] { o.errors.push_back(std::string(key) + "=" + std::string(value) + ": an integer is expected"); };
  if (key == "relax_integrality") {
    if (!integer) bad();
    else o.relaxIntegers = v != 0;
    return true;
  }
  if (key == "objno") {
    if (!integer || v < 0) bad();
    else o.objno = v;
    return true;
  }
  if (key == "wantsol") {
    if (!integer) bad();
    return true;
  }
  return false;
}

}  // namespace

AmplOptions parseAmplOptions(std::string_view text) {
  AmplOptions o;
  bool lastTakesValue = false;  // the last line came from a word without '='
  std::string_view lastWord;
  size_t k = 0;
  while (k < text.size()) {
    while (k < text.size() && (text[k] == ' ' || text[k] == '\t' || text[k] == '\n' || text[k] == '\r')) ++k;
    const size_t begin = k;
    while (k < text.size() && text[k] != ' ' && text[k] != '\t' && text[k] != '\n' && text[k] != '\r') ++k;
    if (k == begin) break;
    const std::string_view word = text.substr(begin, k - begin);
    const size_t eq = word.find('=');
    if (eq == std::string_view::npos) {
      if (lastTakesValue && isNumber(word)) {
        if (protocolWord(lastWord, word, o)) {
          o.specsLines.pop_back();
          o.words.pop_back();
          lastTakesValue = false;
        } else {
          o.specsLines.back() += " " + std::string(word);
          o.words.back() += " " + std::string(word);
        }
        continue;
      }
      o.specsLines.push_back(withBlanks(word));
      o.words.emplace_back(word);
      lastTakesValue = true;
      lastWord = word;
      continue;
    }
    lastTakesValue = false;
    const std::string_view key = word.substr(0, eq), value = word.substr(eq + 1);
    if (key.empty() || value.empty()) {
      o.errors.push_back(std::string(word) + ": key=value expected");
      continue;
    }
    if (!protocolWord(key, value, o)) {
      o.specsLines.push_back(withBlanks(key) + " " + std::string(value));
      o.words.emplace_back(word);
    }
  }
  return o;
}

}  // namespace kavro::nl
