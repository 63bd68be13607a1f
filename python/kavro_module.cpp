// The Python module _kavro: kavro::Model for Python callables and NumPy arrays. The package
// (kavro/__init__.py) builds minimize() and the other entry points on it.
//
// A solve runs without the GIL; a callback takes it only while Python runs. A Python exception
// raised in a callback stops the run and is raised again from solve(), unchanged.

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>

#include "kavro/model.hpp"

namespace py = pybind11;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
using IndexArray = py::array_t<int32_t, py::array::c_style | py::array::forcecast>;

std::span<const double> view(const Array& a) { return {a.data(), static_cast<size_t>(a.size())}; }
std::span<const int32_t> view(const IndexArray& a) { return {a.data(), static_cast<size_t>(a.size())}; }
Array array(std::span<const double> values) { return Array(static_cast<py::ssize_t>(values.size()), values.data()); }

// Thrown through the solver when a Python callback raised; the Python error waits in the model.
struct PythonRaised {};

void copyInto(const py::handle& values, std::span<double> out, const char* what) {
  const Array a = Array::ensure(values);
  if (!a || static_cast<size_t>(a.size()) != out.size())
    throw py::value_error(std::string(what) + " must have " + std::to_string(out.size()) + " elements");
  std::copy(a.data(), a.data() + out.size(), out.begin());
}

py::dict toDict(const kavro::ModelResult& r) {
  py::dict d;
  d["status"] = static_cast<int>(r.status);
  d["status_text"] = std::string(kavro::modelStatusText(r.status));
  d["exit_code"] = r.exitCode;
  d["message"] = r.message;
  d["objective"] = r.objective;
  d["x"] = array(r.x);
  d["constraint_values"] = array(r.constraintValues);
  d["constraint_multipliers"] = array(r.constraintMultipliers);
  d["bound_multipliers"] = array(r.boundMultipliers);
  d["variable_states"] = r.variableStates;
  d["constraint_states"] = r.constraintStates;
  d["iterations"] = r.iterations;
  d["major_iterations"] = r.majorIterations;
  d["objective_calls"] = r.objectiveCalls;
  d["gradient_calls"] = r.gradientCalls;
  d["constraint_calls"] = r.constraintCalls;
  d["jacobian_calls"] = r.jacobianCalls;
  d["hessian_calls"] = r.hessianCalls;
  d["seconds"] = r.seconds;
  d["runs"] = r.runs;
  const kavro::Certificate& c = r.certificate;
  py::dict cert;
  cert["evaluated"] = c.evaluated, cert["passed"] = c.passed;
  cert["max_primal_infeasibility"] = c.maxPrimalInfeas;
  cert["max_primal_infeasibility_relative"] = c.maxPrimalInfeasRelative;
  cert["max_dual_infeasibility"] = c.maxDualInfeas;
  cert["max_dual_infeasibility_relative"] = c.maxDualInfeasRelative;
  cert["multiplier_norm"] = c.multiplierNorm;
  d["certificate"] = cert;
  d["variable_names"] = r.variableNames;
  d["constraint_names"] = r.constraintNames;
  d["summary"] = r.summary;
  return d;
}

class PyModel {
 public:
  int32_t addVariables(const Array& lower, const Array& upper, const Array& start) {
    return model_.addVariables(view(lower), view(upper), view(start));
  }

  int32_t addLinearCsr(const py::array_t<int64_t, py::array::c_style | py::array::forcecast>& indptr,
                       const IndexArray& indices, const Array& data, const Array& lower, const Array& upper) {
    return model_.addLinearConstraintsCsr({indptr.data(), static_cast<size_t>(indptr.size())}, view(indices),
                                          view(data), view(lower), view(upper));
  }

  void setLinearObjective(const IndexArray& variables, const Array& coefficients, double constant) {
    std::vector<kavro::LinearTerm> terms(static_cast<size_t>(variables.size()));
    for (size_t k = 0; k < terms.size(); ++k) terms[k] = {variables.data()[k], coefficients.data()[k]};
    model_.setLinearObjective(terms, constant);
  }

  // fun(x, want_gradient) -> f, or (f, gradient) when the gradient is wanted.
  void setObjective(py::function fun, bool hasGradient) {
    kavro::ObjectiveSpec spec;
    spec.hasGradient = hasGradient;
    spec.function = [this, fun](std::span<const double> x, double& f, std::span<double> g) {
      return guarded([&] {
        py::object out = fun(array(x), !g.empty());
        if (g.empty()) {
          f = out.cast<double>();
          return;
        }
        py::tuple pair = out.cast<py::tuple>();
        f = pair[0].cast<double>();
        copyInto(pair[1], g, "the gradient");
      });
    };
    model_.setObjective(std::move(spec));
  }

  // fun(x, want_jacobian) -> values, or (values, jacobian values in the pattern's order).
  int32_t addNonlinear(const Array& lower, const Array& upper, py::function fun, bool hasJacobian,
                       const IndexArray& rows, const IndexArray& columns) {
    kavro::NonlinearConstraintSpec spec;
    spec.count = static_cast<int32_t>(lower.size());
    spec.lower.assign(lower.data(), lower.data() + lower.size());
    spec.upper.assign(upper.data(), upper.data() + upper.size());
    spec.hasJacobian = hasJacobian;
    if (rows.size() != columns.size()) throw py::value_error("the pattern's rows and columns differ in length");
    for (py::ssize_t k = 0; k < rows.size(); ++k) spec.pattern.push_back({rows.data()[k], columns.data()[k]});
    spec.function = [this, fun](std::span<const double> x, std::span<double> c, std::span<double> jac) {
      return guarded([&] {
        py::object out = fun(array(x), !jac.empty());
        if (jac.empty()) return copyInto(out, c, "the constraint values");
        py::tuple pair = out.cast<py::tuple>();
        copyInto(pair[0], c, "the constraint values");
        copyInto(pair[1], jac, "the Jacobian values");
      });
    };
    return model_.addNonlinearConstraints(std::move(spec));
  }

  // fun(x, sigma, lam) -> the Hessian's values in the order of (rows, columns), the lower triangle.
  void setHessian(const IndexArray& rows, const IndexArray& columns, py::function fun) {
    if (rows.size() != columns.size()) throw py::value_error("the Hessian's rows and columns differ in length");
    std::vector<kavro::HessianEntry> pattern(static_cast<size_t>(rows.size()));
    for (size_t k = 0; k < pattern.size(); ++k) pattern[k] = {rows.data()[k], columns.data()[k]};
    model_.setHessian(std::move(pattern), [this, fun](std::span<const double> x, double sigma,
                                                      std::span<const double> lambda, std::span<double> h) {
      return guarded([&] { copyInto(fun(array(x), sigma, array(lambda)), h, "the Hessian values"); });
    });
  }

  // fun(x, sigma, lam, v) -> the Hessian of the Lagrangian times v.
  void setHessianProduct(py::function fun) {
    model_.setHessianProduct([this, fun](std::span<const double> x, double sigma, std::span<const double> lambda,
                                         std::span<const double> v, std::span<double> hv) {
      return guarded([&] { copyInto(fun(array(x), sigma, array(lambda), array(v)), hv, "the Hessian product"); });
    });
  }

  void setMaximize(bool maximize) { model_.setSense(maximize ? kavro::Sense::kMaximize : kavro::Sense::kMinimize); }
  void setOption(const std::string& line) { model_.setOption(line); }

  // progress(dict) -> 0 go on, 1 stop for a limit, 2 stop.
  void setProgress(py::function progress) {
    model_.setProgress([this, progress](const kavro::IterationLogEntry& e) {
      int answer = 0;
      try {
        guarded([&] {
          py::dict d;
          d["kind"] = e.kind, d["major"] = e.majorItn, d["minor"] = e.minorItn, d["objective"] = e.objective;
          d["infeasibilities"] = e.ninf, d["feasibility"] = e.feasibility, d["optimality"] = e.optimality;
          answer = progress(d).cast<int>();
        });
      } catch (const PythonRaised&) {
        answer = 2;  // the error is raised from solve()
      }
      return answer;
    });
  }

  py::dict solve(std::optional<py::dict> warm) {
    std::optional<kavro::ModelResult> start;
    if (warm) start = warmResult(*warm);
    {
      py::gil_scoped_release release;
      try {
        result_ = start ? model_.solve(*start) : model_.solve();
      } catch (const PythonRaised&) {
        result_ = model_.lastResult();
      }
    }
    if (pending_) {
      py::error_already_set e = std::move(*pending_);
      pending_.reset();
      throw e;
    }
    return toDict(result_);
  }

 private:
  template <class Body>
  bool guarded(Body&& body) {
    py::gil_scoped_acquire gil;
    try {
      body();
      return true;
    } catch (py::error_already_set& e) {
      pending_ = std::make_unique<py::error_already_set>(std::move(e));
    } catch (const py::builtin_exception& e) {
      e.set_error();
      pending_ = std::make_unique<py::error_already_set>();
    }
    throw PythonRaised{};
  }

  static kavro::ModelResult warmResult(const py::dict& d) {
    kavro::ModelResult r;
    r.x = d["x"].cast<std::vector<double>>();
    r.constraintValues = d["constraint_values"].cast<std::vector<double>>();
    r.constraintMultipliers = d["constraint_multipliers"].cast<std::vector<double>>();
    r.variableStates = d["variable_states"].cast<std::vector<int32_t>>();
    r.constraintStates = d["constraint_states"].cast<std::vector<int32_t>>();
    return r;
  }

  kavro::Model model_;
  kavro::ModelResult result_;
  std::unique_ptr<py::error_already_set> pending_;
};

// A .nl file solved with SPECS lines; runs without the GIL.
py::dict solveNl(const std::string& path, const std::vector<std::string>& lines) {
  kavro::ModelResult r;
  {
    py::gil_scoped_release release;
    r = kavro::solveNlFile(path, lines);
  }
  return toDict(r);
}

// An MPS file solved as the kavro command solves it; runs without the GIL.
py::dict solveMps(const std::string& path, const std::string& specs, const std::string& print, bool freeMps,
                  bool relaxIntegers, const std::vector<std::string>& lines) {
  kavro::ModelResult r;
  {
    py::gil_scoped_release release;
    r = kavro::solveMpsFile(
        path, {.specsPath = specs, .printPath = print, .freeMps = freeMps, .relaxIntegers = relaxIntegers}, lines);
  }
  return toDict(r);
}

}  // namespace

PYBIND11_MODULE(_kavro, m) {
  m.doc() = "KAVRO's model API (use the package kavro)";
  py::register_exception<std::invalid_argument>(m, "InvalidArgument", PyExc_ValueError);
  m.def("solve_nl", &solveNl, py::arg("path"), py::arg("lines"));
  m.def("solve_mps", &solveMps, py::arg("path"), py::arg("specs"), py::arg("print_file"), py::arg("free_mps"),
        py::arg("relax_integers"), py::arg("lines"));
  py::class_<PyModel>(m, "Model")
      .def(py::init<>())
      .def("add_variables", &PyModel::addVariables, py::arg("lower"), py::arg("upper"), py::arg("start"))
      .def("add_linear_csr", &PyModel::addLinearCsr, py::arg("indptr"), py::arg("indices"), py::arg("data"),
           py::arg("lower"), py::arg("upper"))
      .def("set_linear_objective", &PyModel::setLinearObjective, py::arg("variables"), py::arg("coefficients"),
           py::arg("constant") = 0.0)
      .def("set_objective", &PyModel::setObjective, py::arg("fun"), py::arg("has_gradient"))
      .def("add_nonlinear", &PyModel::addNonlinear, py::arg("lower"), py::arg("upper"), py::arg("fun"),
           py::arg("has_jacobian"), py::arg("rows"), py::arg("columns"))
      .def("set_hessian", &PyModel::setHessian, py::arg("rows"), py::arg("columns"), py::arg("fun"))
      .def("set_hessian_product", &PyModel::setHessianProduct, py::arg("fun"))
      .def("set_maximize", &PyModel::setMaximize)
      .def("set_option", &PyModel::setOption)
      .def("set_progress", &PyModel::setProgress)
      .def("solve", &PyModel::solve, py::arg("warm") = py::none());
}
