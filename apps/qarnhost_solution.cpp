#include "qarnhost_solution.hpp"

#include "solution_json.hpp"

namespace kavro::app {

namespace {

template <class Name, class Result>
std::vector<SolutionRecord> records(qmoHandle_t model, int count, Name name, Result result) {
  std::vector<SolutionRecord> list(static_cast<size_t>(count));
  char text[256];
  for (int k = 0; k < count; ++k) {
    SolutionRecord& r = list[static_cast<size_t>(k)];
    name(model, k, text, static_cast<int>(sizeof text));
    r.name = text;
    r.returned = result(model, k, &r.level, &r.marginal, &r.basisStatus, &r.condition) == 0;
  }
  return list;
}

// The certificate the library returned with the solution (head-and-tail fields 7 to 11).
CertificateReport certificate(qmoHandle_t model) {
  CertificateReport c;
  c.known = qmoSolutionComplete(model) != 0;
  const double certified = qmoHeadnTail(model, qmoHcertified);
  c.evaluated = certified >= 0.0;
  c.passed = certified > 0.0;
  c.primal = qmoHeadnTail(model, qmoHprimalinf);
  c.primalRelative = qmoHeadnTail(model, qmoHprimalinfrel);
  c.dual = qmoHeadnTail(model, qmoHdualinf);
  c.dualRelative = qmoHeadnTail(model, qmoHdualinfrel);
  return c;
}

}  // namespace

std::string writeSolutionJson(qmoHandle_t model, const std::string& modelPath, const std::string& path,
                              const char* stopSignal) {
  SolutionReport r;
  r.model = modelPath;
  r.modelStatus = qmoModelStat(model);
  r.solveStatus = qmoSolveStat(model);
  r.complete = qmoSolutionComplete(model) != 0;
  r.iterations = static_cast<long long>(qmoHeadnTail(model, qmoHiterused));
  r.time = qmoHeadnTail(model, qmoHresused);
  r.objective = qmoHeadnTail(model, qmoHobjval);
  r.evaluationErrors = static_cast<long long>(qmoHeadnTail(model, qmoHdomused));
  r.stopSignal = stopSignal ? stopSignal : "";
  r.certificate = certificate(model);
  r.rows = records(model, qmoHostM(model), qmoEquName, qmoResultEqu);
  r.columns = records(model, qmoHostN(model), qmoVarName, qmoResultVar);
  return writeSolutionReport(r, path);
}

}  // namespace kavro::app
