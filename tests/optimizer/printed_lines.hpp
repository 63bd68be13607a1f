#pragma once
// A print file read back line by line, and the lines looked up by their beginning.

#include <fstream>
#include <string>
#include <vector>

namespace kavro::testing {

inline std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The first line from `from` on that begins with prefix, -1 when none does.
inline int find(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
  for (int k = from; k < static_cast<int>(lines.size()); ++k)
    if (lines[static_cast<size_t>(k)].rfind(prefix, 0) == 0) return k;
  return -1;
}

}  // namespace kavro::testing
