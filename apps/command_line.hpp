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
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string problemPath;
  // .nl models (apps/nl_command.hpp)
  bool ampl = false;           // -AMPL: the AMPL solver protocol
  std::string solutionPath;    // --solution FILE.json
  bool relaxIntegers = false;  // --relax-integers (MPS and .nl)
};

// Parses argv; on a usage error returns false with a message in error.
bool parseCommandLine(int argc, char** argv, CommandLine& cl, std::string& error);

const char* usageText();

}  // namespace kavro::app
