#pragma once
// Print and summary files in a private temporary folder, read back line by line.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/units.hpp"

namespace kavro::testing {

class ReportCapture {
 public:
  static constexpr int kPrint = 9;
  static constexpr int kSummary = 10;

  explicit ReportCapture(bool withSummary = true) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro_specs_XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    units.connect(kPrint, (dir_ / "print").string());
    units.connect(kSummary, (dir_ / "summary").string());
    out = {&units, kPrint, withSummary ? kSummary : 0};
  }
  ~ReportCapture() { std::filesystem::remove_all(dir_); }

  std::filesystem::path path(const std::string& name) const { return dir_ / name; }
  std::vector<std::string> print() { return lines(kPrint, "print"); }
  std::vector<std::string> summary() { return lines(kSummary, "summary"); }

  // Writes a file in the folder and connects it to an input unit.
  void makeInput(int unit, const std::string& contents) {
    const auto file = path("input" + std::to_string(unit));
    std::ofstream(file, std::ios::binary) << contents;
    units.connect(unit, file.string());
  }

  UnitTable units;
  ReportChannels out;

 private:
  std::vector<std::string> lines(int unit, const char* name) {
    units.flush(unit);
    std::vector<std::string> result;
    std::ifstream in(dir_ / name, std::ios::binary);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  std::filesystem::path dir_;
};

}  // namespace kavro::testing
