#pragma once
// One evaluator over the test functions, with its print and summary files captured.

#include <gtest/gtest.h>

#include <memory>

#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/test_functions.hpp"
#include "specs/report_capture.hpp"

namespace kavro::testing {

class EvaluatorTest : public ::testing::Test {
 protected:
  // jacobianConstant is the matrix value stored at the position of the constant element (1,3).
  void make(double jacobianConstant = 3.0, Timers* timers = nullptr) {
    ev = std::make_unique<FunctionEvaluator>(p, report.out, timers, &fun,
                                             NonlinearShape::fromProblem(testProblem(jacobianConstant)));
  }
  std::vector<std::string> print() { return report.print(); }
  std::vector<std::string> summary() { return report.summary(); }

  Parameters p = testParameters();
  ReportCapture report;
  TestFunctions fun;
  std::unique_ptr<FunctionEvaluator> ev;
  std::vector<double> x{-1.2, 1.0, 0.5, 7.0};  // the fourth (linear) variable is never read
  std::vector<double> g = std::vector<double>(3, 0.0);
  std::vector<double> f = std::vector<double>(2, 0.0);
  std::vector<double> jac = std::vector<double>(4, 0.0);
};

}  // namespace kavro::testing
