#include "optimizer/linesearch.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "specs/report_capture.hpp"

namespace kavro {
namespace {

// A one-dimensional function along the line, with its slope, that records every call.
struct Curve : LineFunction {
  std::function<double(double)> f;
  std::function<double(double)> slope;
  std::function<int(double)> status = [](double) { return 0; };
  struct Call {
    double alfa;
    bool wantGradient;
  };
  std::vector<Call> calls;

  Curve(std::function<double(double)> value, std::function<double(double)> derivative)
      : f(std::move(value)), slope(std::move(derivative)) {}

  int evaluate(double alfa, bool wantGradient, double& fv, double& gtp) override {
    calls.push_back({alfa, wantGradient});
    const int code = status(alfa);
    if (code != 0) return code;
    fv = f(alfa);
    gtp = slope(alfa);
    return 0;
  }
};

// f(alfa) = 1 - alfa + alfa^2 / (2 m): a quadratic with its minimizer at m and slope -1 at 0.
Curve quadratic(double m) {
  return Curve([m](double x) { return 1.0 - x + x * x / (2.0 * m); }, [m](double x) { return -1.0 + x / m; });
}

// Rises at once although the slope reported at 0 is -1 (a kink, or a wrong gradient).
Curve kink() {
  return Curve([](double x) { return 1.0 + 10.0 * std::fabs(x); }, [](double x) { return x > 0.0 ? 10.0 : -1.0; });
}

// Rises with infinite slope at 0 although the slope reported there is -1.
Curve cusp() {
  return Curve([](double x) { return 1.0 + std::sqrt(std::fabs(x)); },
               [](double x) { return x > 0.0 ? 0.5 / std::sqrt(x) : -1.0; });
}

LinesearchSettings settingsFor(const Curve& c, double alfmax, double initial, bool derivatives) {
  LinesearchSettings st;
  st.alfmax = alfmax;
  st.initialStep = initial;
  st.f0 = c.f(0.0);
  st.gtp0 = c.slope(0.0);
  st.functionPrecision = st.machine.eps0;
  st.differenceInterval = std::sqrt(st.functionPrecision);
  st.linesearchTolerance = 0.1;
  st.gnorm = std::fabs(st.gtp0);
  st.pNorm = 1.0;
  st.xNorm = 0.0;
  st.tinyStepRatio = 1.0 / st.machine.eps0;  // |p| = 1 at x = 0
  st.derivatives = derivatives;
  return st;
}

TEST(Linesearch, UphillDirectionOrNoRoomEndsWithoutEvaluation) {
  for (bool derivatives : {true, false}) {
    testing::ReportCapture capture;
    Curve rising([](double x) { return x; }, [](double) { return 1.0; });
    LinesearchSettings st = settingsFor(rising, 1.0, 1.0, derivatives);
    st.out = capture.out;
    LinesearchResult r = m6srch(st, rising);
    EXPECT_EQ(r.searchResult, SearchResult::kUphill);
    EXPECT_EQ(r.alfa, 0.0);
    st.gtp0 = 0.0;
    EXPECT_EQ(m6srch(st, rising).searchResult, SearchResult::kUphill);
    // A descent direction whose maximum step moves no variable meaningfully.
    Curve q = quadratic(1.0);
    st = settingsFor(q, 1.0e-14, 1.0, derivatives);
    st.out = capture.out;
    r = m6srch(st, q);
    EXPECT_EQ(r.searchResult, SearchResult::kUphill);
    EXPECT_TRUE(rising.calls.empty());
    EXPECT_TRUE(q.calls.empty());
    // Each failure leaves one summary line in the print file.
    const std::vector<std::string> lines = capture.print();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find("alfmax =    1.00e-14"), std::string::npos) << lines[2];
    for (const std::string& line : lines) {
      for (const char* label : {"alfmax =", "pnorm  =", "gnorm  =", "g(t)p  =", "numf ="})
        EXPECT_NE(line.find(label), std::string::npos) << line;
    }
  }
}

TEST(Linesearch, QuadraticMinimizerFoundByTheFirstFits) {
  // The search minimizes the shifted function f(alfa) - f(0) - 1e-4 alfa g'p, whose minimizer
  // is 0.9999 m. With slopes the cubic is exact: one trial to learn the curve, one at the
  // minimizer, and no further call since the last trial is the accepted point. Without slopes
  // the parabolas are exact too, and a last call evaluates the gradient at the accepted point.
  for (bool derivatives : {true, false}) {
    for (double m : {0.3, 2.5}) {
      Curve q = quadratic(m);
      const LinesearchResult r = m6srch(settingsFor(q, 10.0, 1.0, derivatives), q);
      EXPECT_EQ(r.searchResult, SearchResult::kCurvature) << m;
      EXPECT_NEAR(r.alfa, 0.9999 * m, (derivatives ? 1e-12 : 1e-9) * m);
      ASSERT_FALSE(q.calls.empty());
      EXPECT_EQ(q.calls.back().alfa, r.alfa);
      EXPECT_TRUE(q.calls.back().wantGradient);
      if (derivatives) {
        EXPECT_EQ(r.numf, 2);
        EXPECT_EQ(r.evaluations, 2);
      } else {
        EXPECT_LE(r.numf, 4);
        EXPECT_EQ(r.evaluations, r.numf + 1);
        for (size_t i = 0; i + 1 < q.calls.size(); ++i) EXPECT_FALSE(q.calls[i].wantGradient);
      }
    }
  }
}

TEST(Linesearch, CurvatureTestAtTheMaximumStepGivesResult2) {
  // With slopes: alfmax = 0.95 m, where the slope -0.05 is inside the tolerance 0.1 |g'p|.
  Curve q = quadratic(1.0);
  LinesearchResult r = m6srch(settingsFor(q, 0.95, 1.0, true), q);
  EXPECT_EQ(r.searchResult, SearchResult::kCurvatureAtMax);
  EXPECT_EQ(r.alfa, 0.95);
  EXPECT_EQ(q.calls.front().alfa, 0.95);  // the first trial is cut to alfmax exactly
  EXPECT_EQ(q.calls.size(), 1u);
  // Without slopes the test compares with the w point (here alfa = 0): a dip followed by a
  // plateau leaves an average slope of about 0.01 |g'p| over [0, alfmax].
  for (bool derivatives : {true, false}) {
    Curve plateau([](double x) { return 1.0 - 0.01 * (1.0 - std::exp(-100.0 * x)); },
                  [](double x) { return -std::exp(-100.0 * x); });
    r = m6srch(settingsFor(plateau, 1.0, 2.0, derivatives), plateau);
    EXPECT_EQ(r.searchResult, SearchResult::kCurvatureAtMax);
    EXPECT_EQ(r.alfa, 1.0);
    EXPECT_EQ(r.numf, 1);
  }
  // A quadratic still falling at alfmax: the search cannot see the slope there and stops at
  // alfmax without the curvature test.
  Curve falling = quadratic(1.0);
  r = m6srch(settingsFor(falling, 0.95, 1.0, false), falling);
  EXPECT_EQ(r.searchResult, SearchResult::kBetterPoint);
  EXPECT_EQ(r.alfa, 0.95);
}

TEST(Linesearch, BetterPointWithoutCurvatureTestGivesResult3) {
  // A straight descent: every trial is better, the step runs into alfmax.
  for (bool derivatives : {true, false}) {
    Curve line([](double x) { return 1.0 - x; }, [](double) { return -1.0; });
    const LinesearchResult r = m6srch(settingsFor(line, 50.0, 1.0, derivatives), line);
    EXPECT_EQ(r.searchResult, SearchResult::kBetterPoint);
    EXPECT_EQ(r.alfa, 50.0);
  }
}

TEST(Linesearch, MaximumStepBelowTheMinimalSpacingGivesResult4) {
  // tolabs = eps^0.8 (1 + xNorm) / pNorm is about 3e-10 with xNorm = 1000, while the smallest
  // meaningful step (from the variable at 0) is about 3e-13.
  for (bool derivatives : {true, false}) {
    Curve k = kink();
    LinesearchSettings st = settingsFor(k, 1.0e-10, 1.0, derivatives);
    st.xNorm = 1000.0;
    const LinesearchResult r = m6srch(st, k);
    EXPECT_EQ(r.searchResult, SearchResult::kMaxStepTooSmall);
    EXPECT_EQ(r.alfa, 0.0);
    EXPECT_LT(r.numf, derivatives ? 10 : 15);
  }
}

TEST(Linesearch, IntervalBelowTheDifferenceStepGivesResult5) {
  Curve k = kink();
  LinesearchSettings st = settingsFor(k, 1.0, 1.0, false);
  st.forwardDifferences = true;
  st.differenceInterval = 1.0e-3;
  const LinesearchResult r = m6srch(st, k);
  EXPECT_EQ(r.searchResult, SearchResult::kStepTooSmall);
  EXPECT_EQ(r.alfa, 0.0);
  for (const Curve::Call& c : k.calls) EXPECT_GT(c.alfa, 0.0);
  // The last trial was below the difference step, the one before it above.
  ASSERT_GE(k.calls.size(), 2u);
  EXPECT_LE(k.calls.back().alfa, 1.0e-3);
}

TEST(Linesearch, NoBetterPointGivesResult6) {
  // The interval collapses before the trial limit and cannot be refined below toltny.
  for (bool derivatives : {true, false}) {
    Curve k = kink();
    LinesearchSettings st = settingsFor(k, 1.0e-9, 1.0, derivatives);
    st.tinyStepRatio = 0.5 / st.machine.eps0;  // toltny just below tolabs
    const LinesearchResult r = m6srch(st, k);
    EXPECT_EQ(r.searchResult, SearchResult::kNoMinimizer);
    EXPECT_EQ(r.alfa, 0.0);
    EXPECT_LT(r.numf, derivatives ? 10 : 15);
  }
}

TEST(Linesearch, TrialLimitsGiveResult7) {
  for (bool derivatives : {true, false}) {
    testing::ReportCapture capture;
    // Values far above f(0) however close the trials come, and steps allowed to become tiny:
    // only the limit stops the search.
    Curve k = cusp();
    LinesearchSettings st = settingsFor(k, 1.0, 1.0, derivatives);
    st.tinyStepRatio = 1.0e30;
    st.out = capture.out;
    const LinesearchResult r = m6srch(st, k);
    EXPECT_EQ(r.searchResult, SearchResult::kTooManyFunctions);
    EXPECT_EQ(r.numf, derivatives ? 10 : 15);
    EXPECT_EQ(r.evaluations, r.numf);
    EXPECT_EQ(r.alfa, 0.0);
    const std::vector<std::string> lines = capture.print();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(derivatives ? "numf =  10" : "numf =  15"), std::string::npos) << lines[0];
  }
}

TEST(Linesearch, UndefinedPointRestartsBelowATenthOfTheTrial) {
  // Defined only below 0.05 (a log-like barrier); the minimizer 0.02 lies inside.
  for (bool derivatives : {true, false}) {
    Curve q = quadratic(0.02);
    q.status = [](double x) { return x < 0.05 ? 0 : -1; };
    const LinesearchResult r = m6srch(settingsFor(q, 2.0, 1.0, derivatives), q);
    ASSERT_GE(q.calls.size(), 3u);
    EXPECT_EQ(q.calls[0].alfa, 1.0);
    EXPECT_DOUBLE_EQ(q.calls[1].alfa, 0.1);  // restarted with alfmax = 0.1 x 1.0
    EXPECT_DOUBLE_EQ(q.calls[2].alfa, 0.01);
    EXPECT_DOUBLE_EQ(r.alfmax, 0.01);
    EXPECT_GE(r.searchResult, SearchResult::kCurvature);
    EXPECT_LE(r.searchResult, SearchResult::kBetterPoint);
    EXPECT_GT(r.alfa, 0.0);
    EXPECT_LE(r.alfa, r.alfmax);
  }
  // A NaN or infinite value is an undefined point as well.
  Curve nan([](double x) { return x > 0.5 ? std::nan("") : 1.0 - x; },
            [](double x) { return x > 0.2 ? INFINITY : -1.0; });
  const LinesearchResult r = m6srch(settingsFor(nan, 1.0, 1.0, true), nan);
  EXPECT_DOUBLE_EQ(nan.calls[1].alfa, 0.1);
  EXPECT_EQ(r.searchResult, SearchResult::kBetterPoint);
  EXPECT_DOUBLE_EQ(r.alfa, 0.1);
}

TEST(Linesearch, EvaluationFailurePassesItsCodeUp) {
  for (bool derivatives : {true, false}) {
    Curve q = quadratic(0.5);
    q.status = [](double x) { return x > 0.9 ? 0 : 42; };
    const LinesearchResult r = m6srch(settingsFor(q, 2.0, 1.0, derivatives), q);
    EXPECT_EQ(r.searchResult, SearchResult::kEvaluationFailed);
    EXPECT_EQ(r.evaluationCode, 42);
    EXPECT_EQ(r.alfa, 0.0);
    EXPECT_EQ(q.calls.size(), 2u);
  }
}

// Random smooth and not so smooth curves: every trial lies in (0, alfmax] and is a number, every
// search ends with a result code, and an accepted step does not raise the objective beyond its
// precision.
TEST(Linesearch, TrialsStayWithinTheSafeguards) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const double c2 = 2.0 * std::fabs(u(rng)) + 1e-3, c3 = u(rng), c4 = std::fabs(u(rng)), w = 10.0 * u(rng);
    const bool wavy = trial % 3 == 0;
    Curve c(
        [=](double x) {
          return -x + c2 * x * x + c3 * x * x * x + c4 * x * x * x * x + (wavy ? 0.05 * std::sin(w * x) : 0.0);
        },
        [=](double x) {
          return -1.0 + 2 * c2 * x + 3 * c3 * x * x + 4 * c4 * x * x * x + (wavy ? 0.05 * w * std::cos(w * x) : 0.0);
        });
    const double slope0 = c.slope(0.0);
    if (slope0 >= 0.0) continue;
    const double alfmax = std::pow(10.0, 3.0 * u(rng));
    const double initial = std::pow(10.0, 2.0 * u(rng));
    const bool derivatives = trial % 2 == 0;
    LinesearchSettings st = settingsFor(c, alfmax, initial, derivatives);
    st.forwardDifferences = !derivatives && trial % 4 == 1;
    const LinesearchResult r = m6srch(st, c);
    ASSERT_GE(r.searchResult, SearchResult::kCurvature) << trial;
    ASSERT_LE(r.searchResult, SearchResult::kTooManyFunctions) << trial;
    for (const Curve::Call& call : c.calls) {
      ASSERT_TRUE(std::isfinite(call.alfa)) << trial;
      ASSERT_GT(call.alfa, 0.0) << trial;
      ASSERT_LE(call.alfa, alfmax) << trial;
    }
    if (r.alfa > 0.0) {
      const double epsaf = st.functionPrecision * (1.0 + std::fabs(st.f0));
      EXPECT_LE(c.f(r.alfa), st.f0 + epsaf) << trial;
      EXPECT_EQ(c.calls.back().alfa, r.alfa) << trial;
      EXPECT_TRUE(c.calls.back().wantGradient) << trial;
    }
  }
}

// The step-selection routines fed extreme values directly: no trial is ever NaN or leaves
// (0, alfmax].
TEST(Linesearch, ExtremeValuesNeverProduceABadTrial) {
  const double values[] = {0.0, 1e-300, -1e-300, 1e300, -1e300, 1.0, -1.0, 1e-12};
  for (bool derivatives : {true, false}) {
    std::mt19937 rng(derivatives ? 1 : 2);
    for (int run = 0; run < 200; ++run) {
      Curve dummy = quadratic(1.0);
      LinesearchSettings st = settingsFor(dummy, 1.0e3, 1.0, derivatives);
      LinesearchState s = startLinesearch(st, st.alfmax, st.initialStep);
      for (int call = 0; call < 20; ++call) {
        if (derivatives) {
          searchWithDerivatives(s, nullptr);
        } else {
          searchWithoutDerivatives(s, nullptr);
        }
        if (s.done) break;
        ASSERT_TRUE(std::isfinite(s.alfa));
        ASSERT_GT(s.alfa, 0.0);
        ASSERT_LE(s.alfa, s.alfmax);
        s.ftry = values[rng() % 8];
        s.gtry = values[rng() % 8];
      }
      EXPECT_TRUE(s.done);
      EXPECT_GE(s.searchResult, SearchResult::kCurvature);
      EXPECT_LE(s.searchResult, SearchResult::kTooManyFunctions);
    }
  }
}

TEST(Linesearch, DebugOutputShowsTheStateOfEveryCall) {
  for (bool derivatives : {true, false}) {
    testing::ReportCapture capture;
    Curve q = quadratic(0.3);
    LinesearchSettings st = settingsFor(q, 10.0, 1.0, derivatives);
    st.debug = true;
    st.itn = 17;
    st.out = capture.out;
    m6srch(st, q);
    std::string all;
    for (const std::string& line : capture.print()) all += line + "\n";
    std::vector<std::string> labels = {"Output from m6srch following iteration      17",
                                       "Norm p =",
                                       "Norm g =",
                                       "g0  tolabs  alfmax",
                                       "targtg  tolrel   epsaf",
                                       "crampd",
                                       "a       b       b - a   tol",
                                       "nsamea  nsameb  numf",
                                       "braktd  extrap  closef  imprvd",
                                       "found   quitI",
                                       "alfbst  fbest   gbest",
                                       "alfaw   fw      gw",
                                       "Polynomial fit accepted.  xtry",
                                       "-----"};
    if (derivatives) {
      labels.insert(labels.end(), {"alfa    ftry    gtry", "Cubic."});
    } else {
      labels.insert(labels.end(), {"alfa    ftry ", "quitFZ  quitS", "alfav   fv", "Parabolic fit,    two points.",
                                   "Parabolic fit,  three points."});
    }
    for (const std::string& label : labels) EXPECT_NE(all.find(label), std::string::npos) << label << "\n" << all;
    EXPECT_EQ(all.find("numf ="), std::string::npos);  // no summary line with debug on
  }
}

}  // namespace
}  // namespace kavro
