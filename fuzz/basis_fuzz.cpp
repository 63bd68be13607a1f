// Fuzzes the three basis-file readers (Old basis, Insert, Load) on one small problem with
// names that collide between rows and columns. The first byte picks the reader; the rest is the
// file. The readers must not crash, must not touch memory outside the arrays, and must leave
// every state in 0..3.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/basis_files.hpp"

namespace {

kavro::Problem fuzzProblem() {
  kavro::Problem p;
  p.n = 5;
  p.m = 3;
  p.objRow = 2;
  p.a.colStart.assign(6, 0);
  p.lower = {0, -1e20, 1, 0, 3, -4, 0, -1e20};
  p.upper = {10, 1e20, 1, 5, 3, 1e20, 0, 1e20};
  p.columnNames = {"C1", "C2", "R1", "C4", "C5"};
  p.rowNames = {"R1", "R2", "COST"};
  return p;
}

std::string scratchPath() {
  char path[64];
  std::snprintf(path, sizeof path, "/tmp/basis_fuzz_%d.txt", static_cast<int>(getpid()));
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const kavro::Problem problem = fuzzProblem();
  static const std::string path = scratchPath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  kavro::Parameters params;
  params.errorMessageLimit = 5;
  kavro::UnitTable units;
  units.connect(11, path);
  units.connect(9, "/dev/null");
  const kavro::ReportChannels out{&units, 9, 0};
  const kavro::BasisFileChannel io{units, out, params};
  kavro::InputUnit* in = units.openInput(11);
  if (!in) return 0;

  std::vector<int32_t> hs(static_cast<size_t>(problem.nb()), 0);
  std::vector<double> x(static_cast<size_t>(problem.nb()), 0.0);
  const kavro::BasisTarget target{problem, hs, x};
  kavro::BasisReadResult r;
  switch (data[0] % 3) {
    case 0: r = kavro::readOldBasis(io, 11, *in, target); break;
    case 1: r = kavro::readInsert(io, 11, *in, target); break;
    default: r = kavro::readLoad(io, 11, *in, target); break;
  }
  for (int32_t h : hs)
    if (h < 0 || h > 3) std::abort();
  if (r.superbasics < 0 || r.superbasics > static_cast<int32_t>(size) * 2) std::abort();
  return 0;
}
