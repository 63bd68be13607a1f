#pragma once
// A small Matrix Market reader (coordinate, real or integer or pattern, general) for plain and
// gzip-compressed files, shared by the LU benchmarks and the LU tests.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kavro::bench {

struct CooMatrix {
  int32_t rows = 0, cols = 0;
  std::vector<int32_t> row, col;  // 0-based
  std::vector<double> value;
  std::vector<std::string> comments;  // comment lines without the leading '%'
};

// Reads path into m. Returns an empty string on success, else the reason.
inline std::string readMatrixMarket(const std::string& path, CooMatrix& m) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return "cannot open " + path;
  std::vector<char> buf(1 << 16);
  auto readLine = [&](std::string& line) {
    line.clear();
    for (;;) {
      if (!gzgets(f, buf.data(), static_cast<int>(buf.size()))) return !line.empty();
      line += buf.data();
      if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
    }
  };
  std::string line;
  if (!readLine(line) || line.rfind("%%MatrixMarket", 0) != 0) {
    gzclose(f);
    return "not a Matrix Market file: " + path;
  }
  const bool pattern = line.find("pattern") != std::string::npos;
  if (line.find("coordinate") == std::string::npos) {
    gzclose(f);
    return "only coordinate matrices are read: " + path;
  }
  long rows = -1, cols = -1, nnz = -1;
  while (readLine(line)) {
    if (!line.empty() && line[0] == '%') {
      m.comments.push_back(line.substr(1));
      continue;
    }
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (std::sscanf(line.c_str(), "%ld %ld %ld", &rows, &cols, &nnz) != 3) break;
    break;
  }
  if (rows < 0 || cols < 0 || nnz < 0 || rows > INT32_MAX || cols > INT32_MAX) {
    gzclose(f);
    return "bad size line in " + path;
  }
  m.rows = static_cast<int32_t>(rows);
  m.cols = static_cast<int32_t>(cols);
  m.row.reserve(nnz);
  m.col.reserve(nnz);
  m.value.reserve(nnz);
  for (long k = 0; k < nnz; ++k) {
    if (!readLine(line)) {
      gzclose(f);
      return "file ends early: " + path;
    }
    char* end = nullptr;
    const long i = std::strtol(line.c_str(), &end, 10);
    const long j = std::strtol(end, &end, 10);
    const double v = pattern ? 1.0 : std::strtod(end, &end);
    if (i < 1 || i > rows || j < 1 || j > cols) {
      gzclose(f);
      return "index out of range in " + path;
    }
    m.row.push_back(static_cast<int32_t>(i - 1));
    m.col.push_back(static_cast<int32_t>(j - 1));
    m.value.push_back(v);
  }
  gzclose(f);
  return {};
}

// The positions (0-based) listed on a comment line "positions p1 p2 ..." (1-based in the file).
inline std::vector<int32_t> replacementPositions(const CooMatrix& m) {
  std::vector<int32_t> pos;
  for (const std::string& c : m.comments) {
    const size_t at = c.find_first_not_of(" \t");
    if (at == std::string::npos || c.compare(at, 9, "positions") != 0) continue;
    const char* p = c.c_str() + at + 9;
    char* end = nullptr;
    for (long v = std::strtol(p, &end, 10); end != p; v = std::strtol(p, &end, 10)) {
      pos.push_back(static_cast<int32_t>(v - 1));
      p = end;
    }
    break;
  }
  return pos;
}

}  // namespace kavro::bench
