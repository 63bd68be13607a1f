#pragma once
// The solution as a host sees it, written as JSON: statuses, statistics and every row and
// column record. qarnhost --solution and kavro --solution (for .nl models) write the same file.

#include <string>
#include <vector>

namespace kavro::app {

struct SolutionRecord {
  std::string name;
  bool returned = false;  // false: the solver returned no record ("level": null)
  double level = 0.0, marginal = 0.0;
  int basisStatus = 0, condition = 0;
};

// The certificate of the returned point (kavro/solver.hpp), as far as the writer knows it.
struct CertificateReport {
  bool known = false;      // false: left out of the file
  bool evaluated = false;  // false: no point, or the functions could not be evaluated there
  bool passed = false;
  double primal = 0.0, primalRelative = 0.0, dual = 0.0, dualRelative = 0.0;
};

struct SolutionReport {
  std::string model;
  int modelStatus = 0, solveStatus = 0;
  bool complete = false;
  long long iterations = 0;
  long long majorIterations = -1;  // -1: not known to the writer (left out of the file)
  int exitCode = -1;               // the optimizer's EXIT code; -1: not known (left out)
  double time = 0.0, objective = 0.0;
  long long evaluationErrors = 0;
  std::string stopSignal;  // the signal that interrupted the run ("SIGTERM"), empty when none
  CertificateReport certificate;
  std::vector<SolutionRecord> rows, columns;
};

const char* modelStatusText(int status);
const char* solveStatusText(int status);

// Writes the file whole or not at all (a failure leaves an earlier file as it was); names that
// are not valid UTF-8 get U+FFFD in place of the bytes that are not. Returns an empty string on
// success, else the path and the reason.
std::string writeSolutionReport(const SolutionReport& report, const std::string& path);

}  // namespace kavro::app
