#pragma once
// Timing and residual helpers shared by the LU benchmarks.

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "matrix_market.hpp"

namespace kavro::bench {

inline double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Calls of op between two clock reads: doubled from 1 until they last at least a millisecond,
// so that reading the clock (a system call for the thread CPU clock, see clockReadMicroseconds)
// adds nothing measurable to short operations.
template <class Op>
long callsPerClockRead(Op& op) {
  for (long calls = 1;; calls *= 2) {
    const double start = threadSeconds();
    for (long k = 0; k < calls; ++k) op();
    if (threadSeconds() - start >= 1e-3 || calls >= (1L << 30)) return calls;
  }
}

// Seconds of thread CPU time each batch lasts at least: 0.2, or BENCH_BATCH_SECONDS when set
// (shorter batches let a run over many bases finish on a busy machine; every program reads the
// same variable, so TRIAX and the peers stay under the same rule).
inline double batchSeconds() {
  const char* v = std::getenv("BENCH_BATCH_SECONDS");
  const double s = v != nullptr ? std::atof(v) : 0.0;
  return s > 0.0 ? s : 0.2;
}

// Median over `batches` batches of the thread CPU time per call of op, each batch repeating op
// until it has lasted at least minSeconds, with callsPerClockRead calls between clock reads.
template <class Op>
double medianMicroseconds(Op op, int batches = 5, double minSeconds = batchSeconds()) {
  const long group = callsPerClockRead(op);
  std::vector<double> perCall;
  for (int b = 0; b < batches; ++b) {
    long calls = 0;
    const double start = threadSeconds();
    double now = start;
    do {
      for (long k = 0; k < group; ++k) op();
      calls += group;
      now = threadSeconds();
    } while (now - start < minSeconds);
    perCall.push_back(1e6 * (now - start) / static_cast<double>(calls));
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

// What one read of the thread CPU clock costs (microseconds): the overhead per call of timing
// each call on its own, as these benchmarks did before they grouped calls.
inline double clockReadMicroseconds() {
  volatile double last = 0.0;
  return medianMicroseconds([&] { last = threadSeconds(); });
}

// Like medianMicroseconds for operations that need preparation that must not be timed: op
// prepares, reads the clock around its timed part itself and returns those seconds, and
// reports in count how many operations the timed part covered.
template <class Op>
double medianMicrosecondsPartial(Op op, int batches = 5, double minSeconds = batchSeconds()) {
  std::vector<double> perOp;
  for (int b = 0; b < batches; ++b) {
    double timed = 0.0;
    long ops = 0;
    const double start = threadSeconds();
    do {
      int count = 0;
      timed += op(count);
      ops += count;
    } while (threadSeconds() - start < minSeconds);
    perOp.push_back(1e6 * timed / static_cast<double>(std::max(ops, 1L)));
  }
  std::sort(perOp.begin(), perOp.end());
  return perOp[perOp.size() / 2];
}

// Compressed columns of a coordinate matrix (duplicates summed).
struct CscMatrix {
  int32_t rows = 0, cols = 0;
  std::vector<int32_t> colStart, row;
  std::vector<double> value;
};

inline CscMatrix toCsc(const CooMatrix& m) {
  CscMatrix c;
  c.rows = m.rows;
  c.cols = m.cols;
  c.colStart.assign(m.cols + 1, 0);
  for (int32_t j : m.col) ++c.colStart[j + 1];
  for (int32_t j = 0; j < m.cols; ++j) c.colStart[j + 1] += c.colStart[j];
  std::vector<int32_t> next(c.colStart.begin(), c.colStart.end() - 1);
  c.row.resize(m.value.size());
  c.value.resize(m.value.size());
  for (size_t k = 0; k < m.value.size(); ++k) {
    const int32_t t = next[m.col[k]]++;
    c.row[t] = m.row[k];
    c.value[t] = m.value[k];
  }
  return c;
}

// ||b - B x|| / (||B|| ||x|| + ||b||) in the infinity norm; transposed asks for B' x = b.
inline double relativeResidual(const CscMatrix& B, const std::vector<double>& x, const std::vector<double>& b,
                               bool transposed) {
  std::vector<double> r = b, rowSum(B.rows, 0.0);
  double bnorm = 0, xnorm = 0, anorm = 0, rnorm = 0;
  for (int32_t j = 0; j < B.cols; ++j) {
    double colSum = 0;
    for (int32_t t = B.colStart[j]; t < B.colStart[j + 1]; ++t) {
      const int32_t i = B.row[t];
      if (transposed) {
        r[j] -= B.value[t] * x[i];
      } else {
        r[i] -= B.value[t] * x[j];
      }
      rowSum[i] += std::fabs(B.value[t]);
      colSum += std::fabs(B.value[t]);
    }
    if (transposed) anorm = std::max(anorm, colSum);
  }
  if (!transposed)
    for (double s : rowSum) anorm = std::max(anorm, s);
  for (double v : b) bnorm = std::max(bnorm, std::fabs(v));
  for (double v : x) xnorm = std::max(xnorm, std::fabs(v));
  for (double v : r) rnorm = std::max(rnorm, std::fabs(v));
  return rnorm / (anorm * xnorm + bnorm + 1e-300);
}

inline std::vector<double> randomRhs(int32_t n, uint32_t seed) {
  std::vector<double> b(n);
  uint64_t s = seed * 6364136223846793005ULL + 1442695040888963407ULL;
  for (double& v : b) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    v = static_cast<double>((s >> 11) & ((1ULL << 52) - 1)) / static_cast<double>(1ULL << 52) * 2.0 - 1.0;
  }
  return b;
}

}  // namespace kavro::bench
