#pragma once
// Helpers for the tests of the files subsystem: MPS texts written to temporary files, fixed
// column cards, and the print and summary lines of a read.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>
#include <zlib.h>

#include "files/mps_reader.hpp"
#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro::test {

// A directory of this test process, removed when the process ends.
struct TempDirectory {
  std::filesystem::path path;
  TempDirectory() : path(std::filesystem::temp_directory_path() / ("kavro_files_test_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path);
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

inline std::string tempPath(const std::string& name) {
  static const TempDirectory dir;
  return (dir.path / name).string();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline void writeGzip(const std::string& path, const std::string& text) {
  gzFile f = gzopen(path.c_str(), "wb");
  gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
  gzclose(f);
}

inline std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A record with its fields in the fixed columns 1-4, 5-12, 15-22, 25-36, 40-47, 50-61.
inline std::string card(const std::string& key, const std::string& name1 = "", const std::string& name2 = "",
                        const std::string& value1 = "", const std::string& name3 = "", const std::string& value2 = "") {
  std::string r(61, ' ');
  auto put = [&](size_t col, const std::string& s) { r.replace(col - 1, s.size(), s); };
  put(1, key);
  put(5, name1);
  put(15, name2);
  put(25, value1);
  put(40, name3);
  put(50, value2);
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r + "\n";
}

struct MpsRun {
  MpsResult r;
  std::vector<std::string> print;
  std::vector<std::string> summary;

  bool printed(const std::string& line) const { return std::find(print.begin(), print.end(), line) != print.end(); }
  bool inSummary(const std::string& line) const {
    return std::find(summary.begin(), summary.end(), line) != summary.end();
  }
  // Lines of the print file that begin with `prefix`.
  std::vector<std::string> printedStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : print)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
};

inline MpsRun readMpsPath(const std::string& path, Parameters params = {}, MpsFormat format = MpsFormat::kFixed,
                          MpsIntegers integers = MpsIntegers::kRefuse) {
  MpsRun run;
  // The reports go to the temporary folder, never beside the input (which may be read-only data).
  const std::string base = tempPath(path.substr(path.find_last_of('/') + 1));
  const std::string printPath = base + ".print", summaryPath = base + ".summary";
  {
    UnitTable units;
    units.connect(9, printPath);
    units.connect(6, summaryPath);
    ReportChannels out{&units, 9, 6};
    InputUnit in(path);
    run.r = readMpsFile(params, in, out, format, integers);
  }
  run.print = readLines(printPath);
  run.summary = readLines(summaryPath);
  return run;
}

// Reads a file with the limits sized from the file itself, as the kavro command does.
inline MpsRun readSized(const std::string& path) {
  InputUnit in(path);
  const MpsDimensions d = scanMpsDimensions(in);
  Parameters params;
  params.rowLimit = static_cast<int32_t>(d.rows);
  params.columnLimit = static_cast<int32_t>(d.columns);
  params.elementsLimit = static_cast<int32_t>(d.elements);
  return readMpsPath(path, params, MpsFormat::kAutomatic);
}

inline MpsRun readMpsText(const std::string& text, Parameters params = {}, MpsFormat format = MpsFormat::kFixed,
                          MpsIntegers integers = MpsIntegers::kRefuse) {
  static int counter = 0;
  const std::string path = tempPath("case" + std::to_string(++counter) + ".mps");
  writeFile(path, text);
  return readMpsPath(path, params, format, integers);
}

}  // namespace kavro::test
