// model_callbacks: the problem of bench/python_overhead.py's callback measure, solved through the
// C++ model API with C++ callbacks. The Python run's time minus this run's time, both less the
// time inside the callbacks, divided by the calls, is what the Python binding costs per call.
//
//   minimize  sum_i 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2      (Rosenbrock, scipy.optimize.rosen)
//   s.t.      x_i^2 + x_{i+1}^2 <= 4,  i = 0 .. n-2             (sparse: two entries a row)
//   from      x = 0.5
//
// The functions compute what SciPy's rosen and rosen_der and the script's NumPy constraint
// compute, operation for operation, and sum as NumPy's pairwise summation does: the solver sees
// the same values bit for bit, so both runs take the same path and make the same calls (the
// output prints the objective and the calls to check it).
//
// The solve runs without clocks in the callbacks (reading the processor clock is a system call,
// as long as a short callback and slowing the code after it); the callbacks' time is their calls
// times the time of each kind of call (value; value and derivatives) at the answer afterwards.
//
// Usage: model_callbacks [n]   (default 1000). Times are process CPU seconds.

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "kavro/model.hpp"

namespace {

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// NumPy's pairwise summation of a contiguous float64 array (blocks of 128 summed with eight
// accumulators, halves at multiples of eight above), so that the sum rounds as np.sum's does.
double pairwiseSum(const double* a, int64_t n) {
  constexpr int64_t kBlock = 128;
  if (n < 8) {
    double s = 0.0;
    for (int64_t i = 0; i < n; ++i) s += a[i];
    return s;
  }
  if (n <= kBlock) {
    double r[8];
    for (int k = 0; k < 8; ++k) r[k] = a[k];
    int64_t i = 8;
    for (; i < n - (n % 8); i += 8)
      for (int k = 0; k < 8; ++k) r[k] += a[i + k];
    double s = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
    for (; i < n; ++i) s += a[i];
    return s;
  }
  int64_t half = n / 2;
  half -= half % 8;
  return pairwiseSum(a, half) + pairwiseSum(a + half, n - half);
}

struct Counters {
  int64_t values = 0, gradients = 0;       // objective calls without and with the gradient
  int64_t constraints = 0, jacobians = 0;  // constraint calls without and with the Jacobian
};

// np.sum starts from the addition's identity, 0, and adds the array's pairwise sum to it.
double numpySum(const std::vector<double>& terms) {
  return 0.0 + pairwiseSum(terms.data(), static_cast<int64_t>(terms.size()));
}

void rosen(std::span<const double> x, double& f, std::span<double> g, std::vector<double>& terms) {
  const size_t n = x.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    const double a = x[i + 1] - x[i] * x[i];
    const double b = 1 - x[i];
    terms[i] = 100.0 * (a * a) + b * b;
  }
  f = numpySum(terms);
  if (g.empty()) return;
  for (size_t i = 1; i + 1 < n; ++i)
    g[i] = 200 * (x[i] - x[i - 1] * x[i - 1]) - 400 * (x[i + 1] - x[i] * x[i]) * x[i] - 2 * (1 - x[i]);
  // rosen_der squares these two NumPy scalars with pow(), which rounds differently from x * x now
  // and then; the volatile exponent keeps the compiler from turning the call into x * x.
  volatile double two = 2.0;
  g[0] = -400 * x[0] * (x[1] - std::pow(x[0], two)) - 2 * (1 - x[0]);
  g[n - 1] = 200 * (x[n - 1] - std::pow(x[n - 2], two));
}

void band(std::span<const double> x, std::span<double> c, std::span<double> jac) {
  for (size_t i = 0; i < c.size(); ++i) c[i] = x[i] * x[i] + x[i + 1] * x[i + 1];
  if (jac.empty()) return;
  for (size_t i = 0; i < c.size(); ++i) {
    jac[2 * i] = 2 * x[i];
    jac[2 * i + 1] = 2 * x[i + 1];
  }
}

kavro::Model build(int32_t n, Counters& counters, std::vector<double>& terms) {
  kavro::Model model;
  model.addVariables(n, -kavro::kInfinity, kavro::kInfinity, 0.5);
  model.setObjective([&counters, &terms](std::span<const double> x, double& f, std::span<double> g) {
    rosen(x, f, g, terms);
    ++(g.empty() ? counters.values : counters.gradients);
    return true;
  });
  kavro::NonlinearConstraintSpec spec;
  spec.count = n - 1;
  spec.lower.assign(static_cast<size_t>(n - 1), -kavro::kInfinity);
  spec.upper.assign(static_cast<size_t>(n - 1), 4.0);
  for (int32_t i = 0; i + 1 < n; ++i) {
    spec.pattern.push_back({i, i});
    spec.pattern.push_back({i, i + 1});
  }
  spec.function = [&counters](std::span<const double> x, std::span<double> c, std::span<double> jac) {
    band(x, c, jac);
    ++(jac.empty() ? counters.constraints : counters.jacobians);
    return true;
  };
  model.addNonlinearConstraints(std::move(spec));
  return model;
}

// Seconds one call of op takes: the least over five batches of 1,000 calls.
template <class Op>
double secondsPerCall(Op op) {
  constexpr int kCalls = 1000;
  double best = 1e300;
  for (int batch = 0; batch < 5; ++batch) {
    const double start = cpuSeconds();
    for (int k = 0; k < kCalls; ++k) op();
    best = std::min(best, (cpuSeconds() - start) / kCalls);
  }
  return best;
}

// The time the solve's callbacks took: each kind of call timed at x, times its calls.
double callbackSeconds(std::span<const double> x, const Counters& counters, std::vector<double>& terms) {
  const size_t n = x.size();
  std::vector<double> g(n), c(n - 1), jac(2 * (n - 1));
  double f = 0.0;
  const double value = secondsPerCall([&] { rosen(x, f, {}, terms); });
  const double gradient = secondsPerCall([&] { rosen(x, f, g, terms); });
  const double constraints = secondsPerCall([&] { band(x, c, {}); });
  const double jacobian = secondsPerCall([&] { band(x, c, jac); });
  return static_cast<double>(counters.values) * value + static_cast<double>(counters.gradients) * gradient +
         static_cast<double>(counters.constraints) * constraints + static_cast<double>(counters.jacobians) * jacobian;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (n < 3) {
    std::fprintf(stderr, "model_callbacks: n must be at least 3\n");
    return 2;
  }
  Counters counters;
  std::vector<double> terms(static_cast<size_t>(n - 1));
  kavro::Model model = build(n, counters, terms);
  const double start = cpuSeconds();
  const kavro::ModelResult r = model.solve();
  const double seconds = cpuSeconds() - start;
  const double callbacks = callbackSeconds(r.x, counters, terms);
  std::printf(
      "status\t%s\nobjective\t%.17g\nobjective_calls\t%lld\nconstraint_calls\t%lld\n"
      "iterations\t%lld\nsolve_cpu_s\t%.4f\ncallbacks_cpu_s\t%.4f\n",
      std::string(kavro::modelStatusText(r.status)).c_str(), r.objective,
      static_cast<long long>(counters.values + counters.gradients),
      static_cast<long long>(counters.constraints + counters.jacobians), static_cast<long long>(r.iterations), seconds,
      callbacks);
  return r.status == kavro::ModelStatus::kOptimal ? 0 : 1;
}
