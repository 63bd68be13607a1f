#pragma once
// A private temporary folder for the tests of the file units, with small helpers to write and
// read its files.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kavro::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro_io_XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(dir_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string write(const std::string& name, const std::string& contents) const {
    std::ofstream(dir_ / name, std::ios::binary) << contents;
    return path(name);
  }
  std::string read(const std::string& name) const { return slurp(path(name)); }
  static std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Names in the folder, for checking that no temporary file is left behind.
  size_t entries() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++n;
    return n;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace kavro::testing
