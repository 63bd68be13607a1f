// nl_certify: checks an answer to a .nl model with the reader's own evaluator, independent of
// everything the optimizer computed: the point of a solution file (the JSON of
// `kavro --solution`, `qarnhost --solution` or bench/nl_entry; the host's columns for ranged
// rows are left out) is evaluated afresh and measured against the model as the file states it.
//
//   nl_certify [--feasibility T] [--optimality T] MODEL.nl[.gz] SOLUTION.json
//
//   primal   the largest violation of a variable's bounds or a constraint's limits, absolute
//            and relative to 1 + |bound|;
//   dual     with the rows' marginals y of the solution (the optimizer's convention: the
//            objective minimized is sigma f, sigma = -1 for maximization), the reduced gradient
//            d = sigma grad f - J'y, of which the part pointing the wrong way for where x_j lies
//            (-d at a lower bound, d at an upper one, |d| in between), relative to 1 + max|y|.
//
// Prints one line of tab-separated fields:
//   certified  0|1  objective  V  primal  ABS  REL  dual  ABS  REL  reported  V
// where certified is 1 when REL primal <= feasibility and REL dual <= optimality (both 1e-6
// unless given), and "reported" is the objective the solution file states. A point at which the
// model cannot be evaluated prints "certified 0 error ...". Exit status 0, or 2 for a usage
// error or a file that cannot be read.

#include <cstdio>
#include <string>

#include "nl/nl_point_check.hpp"
#include "nl/nl_reader.hpp"
#include "nl_answer.hpp"

namespace {

using kavro::nl::Model;

struct Options {
  std::string model, solution;
  double feasibility = 1e-6, optimality = 1e-6;
};

bool parse(int argc, char** argv, Options& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--feasibility" && k + 1 < argc) o.feasibility = std::stod(argv[++k]);
    else if (a == "--optimality" && k + 1 < argc) o.optimality = std::stod(argv[++k]);
    else if (!a.empty() && a[0] != '-' && o.model.empty()) o.model = a;
    else if (!a.empty() && a[0] != '-' && o.solution.empty()) o.solution = a;
    else return false;
  }
  return !o.solution.empty();
}

int certify(const Model& m, const kavro::bench::Answer& a, const Options& o) {
  const kavro::nl::PointCheck c = kavro::nl::checkPoint(m, a.x.data(), &a.y, o.feasibility);
  if (!c.evaluated) {
    std::printf("certified\t0\terror\t%s\n", c.failure.c_str());
    return 0;
  }
  std::printf("certified\t%d\tobjective\t%.17g\tprimal\t%.3e\t%.3e\tdual\t%.3e\t%.3e\treported\t%.17g\n",
              c.passed(o.feasibility, o.optimality) ? 1 : 0, c.objective, c.primalAbsolute, c.primalRelative,
              c.dualAbsolute, c.dualRelative, a.reported);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: nl_certify [--feasibility T] [--optimality T] MODEL.nl SOLUTION.json\n");
    return 2;
  }
  kavro::nl::ReadResult r = kavro::nl::readNlFile(o.model);
  if (!r.ok) {
    std::fprintf(stderr, "nl_certify: %s\n", r.error.c_str());
    return 2;
  }
  kavro::bench::Answer a;
  if (!kavro::bench::readAnswer(o.solution, r.model, a)) {
    std::fprintf(stderr, "nl_certify: %s: not a solution of this model\n", o.solution.c_str());
    return 2;
  }
  return certify(r.model, a, o);
}
