// nl_eval: values and first derivatives of a .nl model at one point, in the layout of the
// reference evaluations of ../shared/data/nl/eval (one item a line, tab-separated, 0-based
// indices, 17 significant digits), so that our evaluator can be checked against another.
//
//   nl_eval [--point FILE | --perturbed] [--x] [--time] MODEL.nl[.gz]
//
// The point is the model's starting point (0 where the model gives none), the values of FILE
// (one number a line, in the file's variable order) or, with --perturbed, the second point of
// the reference files: x_j = min(max(v + 0.1 max(1, |v|) u_j, lo_j), hi_j) with v the starting
// value and u_j = ((7919 j + 17) mod 1009) / 504.5 - 1.
//
// Lines: "x J V" for the point unless it is the starting point (always with --x), "obj V" for
// the first objective as written ("obj error" when it cannot be evaluated, "obj none" without
// objective), "grad J V" on its G list, "con I V" for every constraint body
// ("con error" when some constraint cannot be evaluated), "jac I J V" on the J lists. With
// --time also "size NODES NONZEROS" and the median thread processor seconds of one objective-and-gradient and of
// one constraints-and-Jacobian evaluation ("time_objgrad S", "time_conjac S"), each with a new
// point so that the defined variables are evaluated again.
//
// Exit status 0, or 2 for a usage error or a file that cannot be read.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_reader.hpp"

namespace {

using kavro::nl::Evaluator;
using kavro::nl::Model;

struct Options {
  std::string model, pointFile;
  bool perturbed = false, time = false, listPoint = false;
};

bool parse(int argc, char** argv, Options& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--point" && k + 1 < argc) o.pointFile = argv[++k];
    else if (a == "--perturbed") o.perturbed = true;
    else if (a == "--time") o.time = true;
    else if (a == "--x") o.listPoint = true;
    else if (!a.empty() && a[0] != '-' && o.model.empty()) o.model = a;
    else return false;
  }
  return !o.model.empty() && !(o.perturbed && !o.pointFile.empty());
}

bool readPoint(const std::string& path, std::vector<double>& x) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  size_t k = 0;
  double v = 0.0;
  while (k < x.size() && std::fscanf(f, "%lf", &v) == 1) x[k++] = v;
  std::fclose(f);
  return k == x.size();
}

void perturb(const Model& m, std::vector<double>& x) {
  for (size_t j = 0; j < x.size(); ++j) {
    const double u = static_cast<double>((j * 7919 + 17) % 1009) / 504.5 - 1.0;
    const double v = x[j] + 0.1 * std::max(1.0, std::fabs(x[j])) * u;
    x[j] = std::min(std::max(v, m.varLower[j]), m.varUpper[j]);
  }
}

void printObjective(const Model& m, Evaluator& ev) {
  if (m.nObjs() == 0) {
    std::printf("obj\tnone\n");
    return;
  }
  const int32_t f = m.objExpression(0);
  std::vector<double> g(static_cast<size_t>(ev.termCount(f)));
  double value = 0.0, nonlinear = 0.0;
  if (!ev.value(f, value)) {
    std::printf("obj\terror\n");
    return;
  }
  std::printf("obj\t%.17g\n", value);
  if (!ev.gradient(f, nonlinear, g.data())) {
    std::printf("grad\terror\n");
    return;
  }
  for (int32_t k = 0; k < ev.termCount(f); ++k)
    std::printf("grad\t%d\t%.17g\n", ev.termsBegin(f)[k].var, g[static_cast<size_t>(k)]);
}

void printConstraints(const Model& m, Evaluator& ev) {
  std::vector<double> body(static_cast<size_t>(m.nCons()));
  for (int32_t i = 0; i < m.nCons(); ++i)
    if (!ev.value(m.conExpression(i), body[static_cast<size_t>(i)])) {
      std::printf("con\terror\n");
      return;
    }
  for (int32_t i = 0; i < m.nCons(); ++i) std::printf("con\t%d\t%.17g\n", i, body[static_cast<size_t>(i)]);
  std::vector<double> g(m.conLinear.terms.size());
  double nonlinear = 0.0;
  for (int32_t i = 0; i < m.nCons(); ++i)
    if (!ev.gradient(m.conExpression(i), nonlinear, g.data() + m.conLinear.start[static_cast<size_t>(i)])) {
      std::printf("jac\terror\n");
      return;
    }
  for (int32_t i = 0; i < m.nCons(); ++i)
    for (int32_t k = m.conLinear.start[static_cast<size_t>(i)]; k < m.conLinear.start[static_cast<size_t>(i) + 1]; ++k)
      std::printf("jac\t%d\t%d\t%.17g\n", i, m.conLinear.terms[static_cast<size_t>(k)].var, g[static_cast<size_t>(k)]);
}

// Processor time of this thread: other work on a shared machine does not count.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Median thread seconds per call of work(), over 5 batches of at least 20 ms each (the clock
// is read once a batch: reading it costs more than a small model's evaluation).
template <class Work>
double medianSeconds(Work work) {
  long calls = 1;
  for (;;) {
    const double start = threadSeconds();
    for (long k = 0; k < calls; ++k) work();
    if (threadSeconds() - start >= 0.02) break;
    calls *= 2;
  }
  std::vector<double> perCall;
  for (int batch = 0; batch < 5; ++batch) {
    const double start = threadSeconds();
    for (long k = 0; k < calls; ++k) work();
    perCall.push_back((threadSeconds() - start) / static_cast<double>(calls));
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[2];
}

void printTimes(const Model& m, Evaluator& ev, std::vector<double> x) {
  std::printf("size\t%zu\t%zu\n", m.tape.nodes.size(), m.conLinear.terms.size() + m.objLinear.terms.size());
  std::vector<double> g(std::max(m.conLinear.terms.size(), m.objLinear.terms.size()) + 1);
  double sink = 0.0, nonlinear = 0.0;
  // A point that changes from call to call, so that nothing is kept from the call before.
  auto next = [&x] {
    if (!x.empty()) x[0] = std::nextafter(x[0], x[0] + 1.0);
  };
  const double objTime = m.nObjs() == 0 ? 0.0 : medianSeconds([&] {
    next();
    ev.setPoint(x.data());
    ev.gradient(m.objExpression(0), nonlinear, g.data());
    sink += g[0];
  });
  const double conTime = medianSeconds([&] {
    next();
    ev.setPoint(x.data());
    double* out = g.data();
    for (int32_t i = 0; i < m.nCons(); ++i) {
      ev.gradient(m.conExpression(i), nonlinear, out);
      out += ev.termCount(m.conExpression(i));
    }
    sink += g[0];
  });
  std::printf("time_objgrad\t%.3e\ntime_conjac\t%.3e\n", objTime, conTime);
  if (sink == 12345.678) std::printf("\n");  // keeps the work from being optimized away
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: nl_eval [--point FILE | --perturbed] [--x] [--time] MODEL.nl\n");
    return 2;
  }
  kavro::nl::ReadResult r = kavro::nl::readNlFile(o.model);
  if (!r.ok) {
    std::fprintf(stderr, "nl_eval: %s\n", r.error.c_str());
    return 2;
  }
  const Model& m = r.model;
  std::vector<double> x = m.x0;
  if (!o.pointFile.empty() && !readPoint(o.pointFile, x)) {
    std::fprintf(stderr, "nl_eval: %s does not hold %d numbers\n", o.pointFile.c_str(), m.nVars());
    return 2;
  }
  if (o.perturbed) perturb(m, x);
  std::printf("model\t%s\nn_var\t%d\nn_con\t%d\npoint\t%s\n", m.name.c_str(), m.nVars(), m.nCons(),
              o.perturbed           ? "perturbed"
              : o.pointFile.empty() ? "start"
                                    : "file");
  if (o.perturbed || !o.pointFile.empty() || o.listPoint)
    for (int32_t j = 0; j < m.nVars(); ++j) std::printf("x\t%d\t%.17g\n", j, x[static_cast<size_t>(j)]);
  Evaluator ev(m);
  ev.setPoint(x.data());
  printObjective(m, ev);
  printConstraints(m, ev);
  if (o.time) printTimes(m, ev, x);
  return 0;
}
