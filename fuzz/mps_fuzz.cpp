// libFuzzer target for the MPS reader. The first input byte chooses the format (fixed, free,
// automatic), small limits, a nonlinear block and a line limit of 64 characters (so that short
// inputs reach the long-line path: reading stops with a read error at any point of the file);
// the rest is the file, plain or (when it starts with the gzip magic) compressed. Reports go to /dev/null so that the printing paths run; a
// problem read without errors also goes through the solution listing.
// Checks beyond the sanitizers: the problem is consistent (matrix by columns with rows
// increasing and in range, nb bounds, finite values) whatever the exit code.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "io/units.hpp"
#include "files/mps_reader.hpp"
#include "files/solution_output.hpp"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void checkProblem(const kavro::MpsResult& r) {
  const kavro::Problem& p = r.problem;
  check(p.m >= 0 && p.n >= 0);
  check(p.a.colStart.size() == static_cast<size_t>(p.n) + 1 && p.a.colStart[0] == 0);
  check(p.a.row.size() == p.a.value.size() && p.a.colStart.back() == p.nElements());
  for (int32_t j = 0; j < p.n; ++j) {
    check(p.a.colStart[j] <= p.a.colStart[j + 1]);
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
      check(p.a.row[k] >= 0 && p.a.row[k] < p.m);
      check(k == p.a.colStart[j] || p.a.row[k - 1] < p.a.row[k]);
      check(std::isfinite(p.a.value[k]));
    }
  }
  check(p.lower.size() == static_cast<size_t>(p.nb()) && p.upper.size() == static_cast<size_t>(p.nb()));
  for (int32_t j = 0; j < p.nb(); ++j) check(std::isfinite(p.lower[j]) && std::isfinite(p.upper[j]));
  check(p.objRow >= -1 && p.objRow < p.m);
  check(r.start.x.size() == static_cast<size_t>(p.nb()) && r.start.pi.size() == static_cast<size_t>(p.m));
  if (r.exitCode == 0)
    for (int32_t j = 0; j < p.n; ++j) check(p.lower[j] <= p.upper[j]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The reader reads files: the input goes to one, in memory where the system offers it.
  static const std::string path =
      std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/kavro_mps_fuzz_" +
      std::to_string(::getpid()) + ".mps";
  const uint8_t control = data[0];
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  kavro::Parameters params;
  params.rowLimit = (control & 0x08) ? 6 : 0;
  params.columnLimit = (control & 0x08) ? 5 : 0;
  params.elementsLimit = (control & 0x08) ? 12 : 0;
  params.errorMessageLimit = (control & 0x10) ? 1 : 10;
  params.listLimit = (control & 0x20) ? 1000 : 0;
  if (control & 0x40) {
    params.nonlinearConstraints = 2;
    params.nonlinearJacobianVars = 2;
    params.nonlinearObjectiveVars = 1;
  }
  params.feasibilityTolerance = 1e-6;
  params.optimalityTolerance = 1e-6;
  const kavro::MpsFormat format = (control & 3) == 0 ? kavro::MpsFormat::kFixed
                                  : (control & 3) == 1 ? kavro::MpsFormat::kFree
                                                       : kavro::MpsFormat::kAutomatic;

  kavro::UnitTable units;
  units.connect(9, "/dev/null");
  units.connect(6, "/dev/null");
  const kavro::ReportChannels out{&units, 9, 6};
  kavro::InputUnit in(path, (control & 0x04) ? 64 : kavro::InputUnit::kMaxLineLength);
  if (control & 0x80) (void)kavro::scanMpsDimensions(in, format);
  const kavro::MpsIntegers integers = (control & 0x10) ? kavro::MpsIntegers::kRelax : kavro::MpsIntegers::kRefuse;
  const kavro::MpsResult r = kavro::readMpsFile(params, in, out, format, integers);
  // A read that stopped early (a long line, damaged data) never passes as a complete problem.
  if (in.hadReadError() && r.exitCode == 0) __builtin_trap();
  // Integer columns are solved only when the relaxation was asked for.
  if (integers == kavro::MpsIntegers::kRefuse && r.nIntegerColumns > 0 && r.exitCode == 0) __builtin_trap();
  checkProblem(r);
  if (r.exitCode == 0) {
    kavro::SolutionReport report;
    report.problem = &r.problem;
    report.state = &r.start;
    kavro::SolutionMarks marks;
    params.printFile = 9;
    kavro::writeSolutionOutput(1, report, params, units, out, marks);
    kavro::writeSolutionOutput(2, report, params, units, out, marks);
  }
  return 0;
}
