#pragma once
// Command-line options of the kavro command.

#include <string>
#include <utility>
#include <vector>

namespace kavro::app {

struct CommandLine {
  std::string specsPath;
  std::string printPath;
  std::string summaryPath;
  std::vector<std::pair<int, std::string>> units;
  bool freeMps = false;
  bool relaxIntegers = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string problemPath;
};

// Parses argv; on a usage error returns false with a message in error.
bool parseCommandLine(int argc, char** argv, CommandLine& cl, std::string& error);

const char* usageText();

}  // namespace kavro::app
