#pragma once
// The certificate of the current point with the functions evaluated afresh there: what the run
// checks before it says "optimal" and what it reports at its end. It owns the scratch the
// evaluation and the certificate need, sized once for the problem.

#include <cstdint>
#include <vector>

#include "nonlinear/function_evaluator.hpp"
#include "optimizer/certificate.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class PointCertifier {
 public:
  PointCertifier(const Problem& prob, int32_t nJacElements);

  // Certifies x (the optimizer's units, scales as for CertificateInput) with multipliers pi
  // (nullptr: the primal part only). The functions are evaluated at x through the evaluator
  // (nullptr when the problem is linear); when they cannot be, the certificate is not evaluated
  // and does not pass.
  Certificate certify(const Problem& prob, const std::vector<double>* scales, const double* x, const double* pi,
                      double sigma, FunctionEvaluator* evaluator, const Parameters& p);

  // The reduced gradient of the last certificate with multipliers (the input's units, nb).
  const std::vector<double>& reducedGradient() const { return work_.reducedGradient; }

 private:
  std::vector<double> gradient_, values_, jacobian_;
  CertificateWork work_;
};

}  // namespace kavro
