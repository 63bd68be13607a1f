#include "optimizer/point_certifier.hpp"

#include <algorithm>

namespace kavro {

PointCertifier::PointCertifier(const Problem& prob, int32_t nJacElements)
    : gradient_(static_cast<size_t>(std::max(prob.nNonlinObjVars, 1))),
      values_(static_cast<size_t>(std::max(prob.nNonlinCons, 1))),
      jacobian_(static_cast<size_t>(std::max(nJacElements, 1))) {
  work_.activity.reserve(prob.m);
  work_.reducedGradient.reserve(prob.nb());
}

Certificate PointCertifier::certify(const Problem& prob, const std::vector<double>* scales, const double* x,
                                    const double* pi, double sigma, FunctionEvaluator* evaluator, const Parameters& p) {
  CertificateInput in;
  in.prob = &prob;
  in.scales = scales;
  in.x = x;
  in.pi = pi;
  in.sigma = sigma;
  in.infBound = p.machine.infBound;
  in.feasibilityTolerance = p.feasibilityTolerance;
  in.rowTolerance = p.rowTolerance;
  in.optimalityTolerance = p.optimalityTolerance;
  if (prob.nNonlinCons > 0 || prob.nNonlinObjVars > 0) {
    if (!evaluator) return Certificate{};
    if (prob.nNonlinCons > 0) {
      if (evaluator->constraintsAndJacobian(x, values_.data(), jacobian_.data()) != 0) return Certificate{};
      in.constraintValues = values_.data();
      in.jacobian = jacobian_.data();
    }
    if (prob.nNonlinObjVars > 0) {
      double f = 0.0;
      if (evaluator->objectiveAndGradient(x, f, gradient_.data()) != 0) return Certificate{};
      in.objectiveGradient = gradient_.data();
    }
  }
  return kavro::certify(in, work_);
}

}  // namespace kavro
