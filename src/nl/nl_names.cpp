#include "nl/nl_names.hpp"

#include <cstdio>
#include <string_view>

namespace kavro::nl {

std::vector<std::string> readAuxiliaryNames(const std::string& path, int count) {
  std::vector<std::string> names;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return names;
  char line[4096];
  while (static_cast<int>(names.size()) < count && std::fgets(line, sizeof line, f)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.push_back(name);
  }
  std::fclose(f);
  if (static_cast<int>(names.size()) < count) names.clear();
  return names;
}

std::string stubOf(const std::string& modelPath) {
  std::string stub = modelPath;
  for (const std::string_view ending : {".gz", ".nl"})
    if (stub.size() > ending.size() && stub.ends_with(ending)) stub.resize(stub.size() - ending.size());
  return stub;
}

}  // namespace kavro::nl
