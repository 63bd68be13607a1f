#pragma once
// Fills a host model object from an AMPL .nl file and answers its nonlinear calls.
//
//   qarn::Model model(env);
//   qarn::NlModelSource source;                 // must outlive the model's use, not the model
//   std::string error = source.load(model.handle(), "model.nl");
//
// The model is the one the kavro command solves (nl/nl_problem.hpp): the .nl variables as the
// host's columns, the constraints as its rows (a range becomes an =E= row with a column
// "rng.<row>", a free row an =N= row), the first objective with its sense and constant. An entry
// is nonlinear where its column occurs in the row's (objective's) nonlinear part; its value is
// the derivative at the starting point. The variables' levels are the starting point, the
// equations' levels the row bodies there and their marginals the initial duals (as the
// optimizer's multipliers). Names come from STUB.col and STUB.row when AMPL wrote them, else
// x1, x2, ... and r1, r2, ...
//
// The source installs itself as the model object's evaluator (qmoEvalNewPoint, qmoEvalGradNL,
// qmoEvalGradNLObj, and the second derivatives of qmoHessLag*); its destructor removes it.
// Evaluations allocate nothing. Second derivatives are those the command's functions serve
// (nl/nl_functions.hpp): built at the first call that needs them, as a triangle unless the
// Hessian is served by products only; the range columns have none.

#include <memory>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_model.hpp"
#include "nl/nl_source.hpp"
#include "qarn/qarn.h"

namespace qarn {

class NlModelSource {
 public:
  NlModelSource() = default;
  ~NlModelSource();
  NlModelSource(const NlModelSource&) = delete;
  NlModelSource& operator=(const NlModelSource&) = delete;

  // Returns an empty string on success, else what went wrong. Integer variables are refused
  // unless relaxIntegers (then they are taken as continuous). `stop` is asked while the file is
  // read: true ends the reading. The reader's warnings go to `notes` when given.
  std::string load(qmoHandle_t model, const std::string& path, bool relaxIntegers = false,
                   const kavro::nl::StopCheck& stop = {}, std::string* notes = nullptr);

  // The evaluator's callbacks (host indices). A row is evaluated at the point of the last
  // newPoint (qarn.h), the objective at x.
  int row(int row, const double* x, double& f, double* gradient, int& errors);
  int objective(const double* x, double& f, double* gradient, int& errors);
  void newPoint(const double* x) { evaluator_->setPoint(x); }
  // Second derivatives (qarn.h, qmoEvaluator), host indices.
  int hessianStructure(int64_t& count, const int*& rows, const int*& columns);
  int hessianValues(const double* x, double objWeight, const double* rowWeights, double* values, int& errors);
  int hessianProduct(const double* x, double objWeight, const double* rowWeights, const double* v, double* hv,
                     int& errors);

 private:
  int function(int32_t f, const std::vector<uint8_t>& nonlinearTerm, int32_t firstTerm, const double* x, double& value,
               double* gradient, int& errors);
  std::string fill(qmoHandle_t model, const std::string& stub, bool relaxIntegers);
  // Makes the Hessian ready at x for these weights, unless it already is; false when it cannot
  // be had there.
  bool prepareHessian(const double* x, double objWeight, const double* rowWeights);

  qmoHandle_t handle_ = nullptr;
  kavro::nl::Model model_;
  std::unique_ptr<kavro::nl::Evaluator> evaluator_;
  std::vector<uint8_t> conNonlinear_, objNonlinear_;  // per J (G) term: its column is nonlinear there
  std::vector<double> gradient_;                      // one function's gradient on its J or G list
  std::unique_ptr<kavro::nl::ModelFunctions> secondOrder_;
  // The point and weights the Hessian was last made ready for (products come many to a point).
  std::vector<double> hessianPoint_, hessianWeights_;
  double hessianObjWeight_ = 0.0;
  bool hessianBuilt_ = false, hessianReady_ = false;
};

}  // namespace qarn
