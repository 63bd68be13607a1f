// nlp_ipopt: the interior-point peer of the nonlinear benchmarks. Reads MODEL.nl with the
// project's reader, gives Ipopt the problem with exact first and second derivatives (the
// evaluator's gradients and Jacobian in the .nl sparsity, the Hessian of nl_hessian.hpp) and
// Ipopt's own defaults (its default linear solver, tolerances and strategy; print level 0),
// and prints one line in the columns of bench/nlp.sh:
//   model class exit objective ref_obj rel_error iterations majors funobj funcon cpu_seconds solved
// exit is Ipopt's return status by name; funobj and funcon count the objective and constraint
// evaluations Ipopt asked for (values only, as its own statistics count them); cpu_seconds is
// the process's processor time from its start (reading and set-up count) to the end of the
// solve; solved is 1 for Solve_Succeeded with the objective within 1e-6 of the reference
// relative to max(1, |ref|) (or without a reference).
//
//   nlp_ipopt [-t CPU_SECONDS] [-c CLASS] [-r REF_OBJ] [-s SOLUTION.json] MODEL.nl[.gz]
//
// -t is given to Ipopt as max_cpu_time (default 10); the benchmark script also puts the same
// limit on the process. -s writes the returned point in the JSON layout of `kavro --solution`
// (objective, every column's level, every row's marginal in the optimizer's sign convention),
// so that bench/nl_certify checks the peer's answers exactly as it checks ours. Models with integer variables or complementarity conditions are refused
// (exit "refused"), as the optimizer refuses them. Exit status 0 once the line is printed, 2 for
// a usage error or a file that cannot be read.

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IpIpoptApplication.hpp"
#include "IpSolveStatistics.hpp"
#include "IpTNLP.hpp"
#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"
#include "nl/nl_reader.hpp"

namespace {

using Ipopt::Index;
using Ipopt::Number;
using kavro::nl::Model;

constexpr double kInfinity = 1e20;  // beyond Ipopt's 1e19: no bound

double bound(double v) { return std::max(-kInfinity, std::min(kInfinity, v)); }

// The model as Ipopt's TNLP: minimize the first objective (negated when it is maximized).
class NlProblem : public Ipopt::TNLP {
 public:
  NlProblem(const Model& m, kavro::nl::Hessian& hessian)
      : m_(m),
        ev_(m),
        hessian_(hessian),
        sign_(m.nObjs() > 0 && m.objSense[0] ? -1.0 : 1.0),
        work_(static_cast<size_t>(m.nVars())),
        lambda_(static_cast<size_t>(m.nCons())) {}

  int64_t objectiveCalls = 0, constraintCalls = 0;

  bool get_nlp_info(Index& n, Index& m, Index& nnzJac, Index& nnzHess, IndexStyleEnum& style) override {
    n = m_.nVars();
    m = m_.nCons();
    nnzJac = static_cast<Index>(m_.conLinear.terms.size());
    nnzHess = static_cast<Index>(hessian_.nonzeros());
    style = C_STYLE;
    return true;
  }

  bool get_bounds_info(Index n, Number* xl, Number* xu, Index m, Number* gl, Number* gu) override {
    for (Index j = 0; j < n; ++j)
      xl[j] = bound(m_.varLower[static_cast<size_t>(j)]), xu[j] = bound(m_.varUpper[static_cast<size_t>(j)]);
    for (Index i = 0; i < m; ++i)
      gl[i] = bound(m_.conLower[static_cast<size_t>(i)]), gu[i] = bound(m_.conUpper[static_cast<size_t>(i)]);
    return true;
  }

  bool get_starting_point(Index n, bool, Number* x, bool, Number*, Number*, Index, bool, Number*) override {
    for (Index j = 0; j < n; ++j) x[j] = m_.x0[static_cast<size_t>(j)];
    return true;
  }

  bool eval_f(Index, const Number* x, bool, Number& f) override {
    ++objectiveCalls;
    f = 0.0;
    if (m_.nObjs() == 0) return true;
    ev_.setPoint(x);
    const bool ok = ev_.value(m_.objExpression(0), f);
    f *= sign_;
    return ok;
  }

  bool eval_grad_f(Index n, const Number* x, bool, Number* g) override {
    std::fill(g, g + n, 0.0);
    if (m_.nObjs() == 0) return true;
    ev_.setPoint(x);
    const int32_t f = m_.objExpression(0);
    double nonlinear = 0.0;
    if (!ev_.gradient(f, nonlinear, work_.data())) return false;
    for (int32_t k = 0; k < ev_.termCount(f); ++k) g[ev_.termsBegin(f)[k].var] = sign_ * work_[static_cast<size_t>(k)];
    return true;
  }

  bool eval_g(Index, const Number* x, bool, Index m, Number* g) override {
    ++constraintCalls;
    ev_.setPoint(x);
    bool ok = true;
    for (Index i = 0; i < m; ++i) ok = ev_.value(m_.conExpression(i), g[i]) && ok;
    return ok;
  }

  bool eval_jac_g(Index, const Number* x, bool, Index m, Index, Index* row, Index* col, Number* values) override {
    if (!values) {
      for (Index i = 0, k = 0; i < m; ++i)
        for (const auto* t = m_.conLinear.begin(i); t != m_.conLinear.end(i); ++t, ++k) row[k] = i, col[k] = t->var;
      return true;
    }
    ev_.setPoint(x);
    bool ok = true;
    double nonlinear = 0.0;
    for (Index i = 0; i < m; ++i)
      ok = ev_.gradient(m_.conExpression(i), nonlinear, values + m_.conLinear.start[static_cast<size_t>(i)]) && ok;
    return ok;
  }

  bool eval_h(Index, const Number* x, bool, Number objFactor, Index m, const Number* lambda, bool, Index nnz,
              Index* row, Index* col, Number* values) override {
    if (!values) {
      for (Index k = 0; k < nnz; ++k) row[k] = hessian_.rowOf(k), col[k] = hessian_.colOf(k);
      return true;
    }
    std::copy(lambda, lambda + m, lambda_.begin());
    return hessian_.evaluate(x, sign_ * objFactor, lambda_.data(), values);
  }

  void finalize_solution(Ipopt::SolverReturn, Index n, const Number* x, const Number*, const Number*, Index m,
                         const Number*, const Number* lambda, Number f, const Ipopt::IpoptData*,
                         Ipopt::IpoptCalculatedQuantities*) override {
    objective_ = sign_ * f;
    point_.assign(x, x + n);
    // Ipopt's Lagrangian is sign f + lambda'g; the optimizer's multipliers y make sign grad f - J'y
    // the reduced gradient, so y = -lambda.
    multipliers_.resize(static_cast<size_t>(m));
    for (Index i = 0; i < m; ++i) multipliers_[static_cast<size_t>(i)] = -lambda[i];
  }

  double objective() const { return objective_; }
  const std::vector<double>& point() const { return point_; }
  const std::vector<double>& multipliers() const { return multipliers_; }

 private:
  const Model& m_;
  kavro::nl::Evaluator ev_;
  kavro::nl::Hessian& hessian_;
  double sign_;
  std::vector<double> work_, lambda_, point_, multipliers_;
  double objective_ = NAN;
};

const char* statusName(Ipopt::ApplicationReturnStatus s) {
  switch (s) {
    case Ipopt::Solve_Succeeded: return "Solve_Succeeded";
    case Ipopt::Solved_To_Acceptable_Level: return "Solved_To_Acceptable_Level";
    case Ipopt::Infeasible_Problem_Detected: return "Infeasible_Problem_Detected";
    case Ipopt::Search_Direction_Becomes_Too_Small: return "Search_Direction_Becomes_Too_Small";
    case Ipopt::Diverging_Iterates: return "Diverging_Iterates";
    case Ipopt::User_Requested_Stop: return "User_Requested_Stop";
    case Ipopt::Feasible_Point_Found: return "Feasible_Point_Found";
    case Ipopt::Maximum_Iterations_Exceeded: return "Maximum_Iterations_Exceeded";
    case Ipopt::Restoration_Failed: return "Restoration_Failed";
    case Ipopt::Error_In_Step_Computation: return "Error_In_Step_Computation";
    case Ipopt::Maximum_CpuTime_Exceeded: return "Maximum_CpuTime_Exceeded";
    case Ipopt::Not_Enough_Degrees_Of_Freedom: return "Not_Enough_Degrees_Of_Freedom";
    case Ipopt::Invalid_Problem_Definition: return "Invalid_Problem_Definition";
    case Ipopt::Invalid_Option: return "Invalid_Option";
    case Ipopt::Invalid_Number_Detected: return "Invalid_Number_Detected";
    case Ipopt::Unrecoverable_Exception: return "Unrecoverable_Exception";
    case Ipopt::NonIpopt_Exception_Thrown: return "NonIpopt_Exception_Thrown";
    case Ipopt::Insufficient_Memory: return "Insufficient_Memory";
    default: return "Internal_Error";
  }
}

double processSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct Options {
  double limit = 10.0;
  std::string cls = "-", ref, path, solution;
};

bool parse(int argc, char** argv, Options& o) {
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if ((a == "-t" || a == "-c" || a == "-r" || a == "-s") && k + 1 < argc) {
      const std::string v = argv[++k];
      if (a == "-t") o.limit = std::atof(v.c_str());
      else if (a == "-c") o.cls = v;
      else if (a == "-s") o.solution = v;
      else o.ref = v;
    } else if (!a.empty() && a[0] != '-' && o.path.empty()) {
      o.path = a;
    } else {
      return false;
    }
  }
  return !o.path.empty() && o.limit > 0.0;
}

struct Outcome {
  std::string exit = "-";
  double objective = NAN;
  long iterations = -1, funobj = -1, funcon = -1;
  std::vector<double> x, y;
};

Outcome solve(const Model& m, double limit) {
  Outcome out;
  if (m.header.nDiscreteVars() > 0 || m.header.nComplementarity > 0) {
    out.exit = "refused";
    return out;
  }
  kavro::nl::Hessian hessian(m, m.nObjs() > 0 ? 0 : -1);
  Ipopt::SmartPtr<NlProblem> problem = new NlProblem(m, hessian);
  Ipopt::SmartPtr<Ipopt::IpoptApplication> app = IpoptApplicationFactory();
  app->Options()->SetIntegerValue("print_level", 0);
  app->Options()->SetStringValue("sb", "yes");
  app->Options()->SetNumericValue("max_cpu_time", limit);
  if (app->Initialize() != Ipopt::Solve_Succeeded) {
    out.exit = "Invalid_Option";
    return out;
  }
  const Ipopt::ApplicationReturnStatus status = app->OptimizeTNLP(problem);
  out.exit = statusName(status);
  out.objective = problem->objective();
  out.x = problem->point();
  out.y = problem->multipliers();
  if (Ipopt::IsValid(app->Statistics())) out.iterations = app->Statistics()->IterationCount();
  out.funobj = problem->objectiveCalls;
  out.funcon = problem->constraintCalls;
  return out;
}

std::string number(long v) { return v < 0 ? "-" : std::to_string(v); }

void jsonNumber(std::FILE* f, double v) {
  if (std::isfinite(v)) std::fprintf(f, "%.17g", v);
  else std::fputs("null", f);
}

// The answer in the layout nl_certify reads; nothing is written when Ipopt returned no point.
bool writeSolution(const std::string& path, const Outcome& r) {
  if (r.x.empty()) return true;
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "{\"solver\": \"ipopt\", \"status\": \"%s\", \"objective\": ", r.exit.c_str());
  jsonNumber(f, r.objective);
  std::fputs(",\n\"columns\": [", f);
  for (size_t j = 0; j < r.x.size(); ++j) {
    std::fputs(j ? ",\n{\"level\": " : "\n{\"level\": ", f);
    jsonNumber(f, r.x[j]);
    std::fputs("}", f);
  }
  std::fputs("],\n\"rows\": [", f);
  for (size_t i = 0; i < r.y.size(); ++i) {
    std::fputs(i ? ",\n{\"marginal\": " : "\n{\"marginal\": ", f);
    jsonNumber(f, r.y[i]);
    std::fputs("}", f);
  }
  std::fputs("]}\n", f);
  return std::fclose(f) == 0;
}

void printLine(const std::string& name, const Options& o, const Outcome& r) {
  char obj[64] = "-", err[32] = "-";
  if (std::isfinite(r.objective)) std::snprintf(obj, sizeof obj, "%.15g", r.objective);
  bool close = true;
  if (!o.ref.empty() && std::isfinite(r.objective)) {
    const double ref = std::atof(o.ref.c_str());
    const double e = std::fabs(r.objective - ref) / std::max(1.0, std::fabs(ref));
    std::snprintf(err, sizeof err, "%.2e", e);
    close = e <= 1e-6;
  }
  const bool solved = r.exit == "Solve_Succeeded" && std::isfinite(r.objective) && close;
  std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t-\t%s\t%s\t%.3f\t%d\n", name.c_str(), o.cls.c_str(), r.exit.c_str(), obj,
              o.ref.empty() ? "-" : o.ref.c_str(), err, number(r.iterations).c_str(), number(r.funobj).c_str(),
              number(r.funcon).c_str(), processSeconds(), solved ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: nlp_ipopt [-t CPU_SECONDS] [-c CLASS] [-r REF_OBJ] [-s SOLUTION.json] MODEL.nl[.gz]\n");
    return 2;
  }
  const kavro::nl::ReadResult r = kavro::nl::readNlFile(o.path);
  if (!r.ok) {
    std::fprintf(stderr, "%s\n", r.error.c_str());
    return 2;
  }
  Outcome out;
  try {
    out = solve(r.model, o.limit);
  } catch (const kavro::nl::HessianTooLarge& e) {
    out.exit = "hessian-too-large";
  } catch (const std::bad_alloc&) {
    out.exit = "Insufficient_Memory";
  }
  printLine(r.model.name, o, out);
  if (!o.solution.empty() && !writeSolution(o.solution, out)) {
    std::fprintf(stderr, "nlp_ipopt: cannot write %s\n", o.solution.c_str());
    return 2;
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
}
