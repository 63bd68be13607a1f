// nl_curvature: the second-order test of an answer to a .nl model (see src/nl/nl_curvature.hpp): the
// smallest eigenvalue of the Lagrangian's Hessian on the subspace that keeps the active rows and
// bounds, with the answer's own multipliers. A certified answer (nl_certify) that shows negative
// curvature here is a stationary point that is not a minimum.
//
//   nl_curvature [--tolerance T] [--max-free N] MODEL.nl[.gz] SOLUTION.json
//
// Prints one line of tab-separated fields:
//   curvature  ok|negative|skipped|error  smallest  V  dimension  D  free  F  active_rows  K  threshold  T
// "negative" when the smallest eigenvalue is below -T = -tolerance (1 + max |H_ij|) (tolerance
// 1e-6 unless given); with "ok", V is -T, a bound. Dense algebra: a model with more than N free
// variables (default 3000) is "skipped". Exit status 0, or 2 for a usage error or a file that
// cannot be read.

#include <cstdio>
#include <string>

#include "nl/nl_curvature.hpp"
#include "nl/nl_reader.hpp"
#include "nl_answer.hpp"

namespace {

struct Options {
  std::string model, solution;
  double tolerance = 1e-6;
  long maxFree = 3000;
};

bool parse(int argc, char** argv, Options& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--tolerance" && k + 1 < argc) o.tolerance = std::stod(argv[++k]);
    else if (a == "--max-free" && k + 1 < argc) o.maxFree = std::stol(argv[++k]);
    else if (!a.empty() && a[0] != '-' && o.model.empty()) o.model = a;
    else if (!a.empty() && a[0] != '-' && o.solution.empty()) o.solution = a;
    else return false;
  }
  return !o.solution.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: nl_curvature [--tolerance T] [--max-free N] MODEL.nl SOLUTION.json\n");
    return 2;
  }
  const kavro::nl::ReadResult r = kavro::nl::readNlFile(o.model);
  if (!r.ok) {
    std::fprintf(stderr, "nl_curvature: %s\n", r.error.c_str());
    return 2;
  }
  kavro::bench::Answer a;
  if (!kavro::bench::readAnswer(o.solution, r.model, a)) {
    std::fprintf(stderr, "nl_curvature: %s: not a solution of this model\n", o.solution.c_str());
    return 2;
  }
  if (r.model.nVars() > o.maxFree) {
    std::printf("curvature\tskipped\tvariables\t%d\n", r.model.nVars());
    return 0;
  }
  const kavro::nl::Model& m = r.model;
  const double sigma = m.nObjs() > 0 && m.objSense[0] == 1 ? -1.0 : 1.0;
  const kavro::nl::Curvature c = kavro::nl::reducedCurvature(m, m.nObjs() > 0 ? 0 : -1, a.x.data(), a.y.data(), sigma,
                                                             o.tolerance, static_cast<int32_t>(o.maxFree));
  if (!c.evaluated) {
    std::printf("curvature\terror\t%s\n", c.failure.c_str());
    return 0;
  }
  std::printf("curvature\t%s\tsmallest\t%.6g\tdimension\t%d\tfree\t%d\tactive_rows\t%d\tthreshold\t%.3g\n",
              c.negative ? "negative" : "ok", c.smallest, c.dimension, c.free, c.activeRows, c.threshold);
  return 0;
}
