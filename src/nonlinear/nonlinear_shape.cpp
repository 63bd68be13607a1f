#include "nonlinear/nonlinear_shape.hpp"

namespace kavro {

NonlinearShape NonlinearShape::fromProblem(const Problem& prob) {
  NonlinearShape shape;
  shape.nNonlinObjVars = prob.nNonlinObjVars;
  const bool hasJacobian = prob.nNonlinCons > 0 && prob.nNonlinJacVars > 0;
  JacobianStructure& jac = shape.jacobian;
  jac.nCons = hasJacobian ? prob.nNonlinCons : 0;
  jac.nVars = hasJacobian ? prob.nNonlinJacVars : 0;
  jac.colStart.assign(static_cast<size_t>(jac.nVars) + 1, 0);
  for (int32_t j = 0; j < jac.nVars; ++j) {
    jac.colStart[j] = jac.elements();
    for (int32_t k = prob.a.colStart[j]; k < prob.a.colStart[j + 1]; ++k) {
      const int32_t i = prob.a.row[k];
      if (i >= jac.nCons) continue;
      jac.row.push_back(i);
      jac.position.push_back(k);
      shape.storedJacobian.push_back(prob.a.value[k]);
    }
  }
  jac.colStart[jac.nVars] = jac.elements();
  return shape;
}

}  // namespace kavro
