#include "solution_json.hpp"

#include <nlohmann/json.hpp>

#include "io/output_guard.hpp"

namespace kavro::app {

namespace {

using nlohmann::json;

json records(const std::vector<SolutionRecord>& list) {
  json out = json::array();
  for (const SolutionRecord& r : list) {
    json j = {{"name", r.name}};
    if (r.returned) {
      j["level"] = r.level;
      j["marginal"] = r.marginal;
      j["basisStatus"] = r.basisStatus;
      j["condition"] = r.condition;
    } else {
      j["level"] = nullptr;  // the solver returned no record
    }
    out.push_back(std::move(j));
  }
  return out;
}

json certificate(const CertificateReport& c) {
  return {{"evaluated", c.evaluated},    {"passed", c.passed},
          {"maxPrimalInfeas", c.primal}, {"maxPrimalInfeasRelative", c.primalRelative},
          {"maxDualInfeas", c.dual},     {"maxDualInfeasRelative", c.dualRelative}};
}

}  // namespace

const char* modelStatusText(int s) {
  switch (s) {
    case 1: return "optimal";
    case 2: return "locally optimal";
    case 3: return "unbounded";
    case 4: return "infeasible";
    case 5: return "locally infeasible";
    case 6: return "intermediate infeasible";
    case 7: return "intermediate nonoptimal";
    case 13: return "error, no solution";
    case 14: return "no solution returned";
    case 16: return "solved";
    default: return "other";
  }
}

const char* solveStatusText(int s) {
  switch (s) {
    case 1: return "normal completion";
    case 2: return "iteration interrupt";
    case 3: return "resource interrupt";
    case 4: return "terminated by solver";
    case 5: return "evaluation error limit";
    case 6: return "capability problems";
    case 8: return "user interrupt";
    case 9: return "setup failure";
    case 10: return "solver failure";
    case 13: return "system failure";
    default: return "other";
  }
}

std::string writeSolutionReport(const SolutionReport& r, const std::string& path) {
  json j = {
      {"model", r.model},
      {"modelStatus", r.modelStatus},
      {"modelStatusText", modelStatusText(r.modelStatus)},
      {"solveStatus", r.solveStatus},
      {"solveStatusText", solveStatusText(r.solveStatus)},
      {"solutionComplete", r.complete},
      {"iterations", r.iterations},
      {"time", r.time},
      {"objective", r.objective},
      {"evaluationErrors", r.evaluationErrors},
      {"interrupted", !r.stopSignal.empty()},
  };
  if (r.majorIterations >= 0) j["majorIterations"] = r.majorIterations;
  if (r.exitCode >= 0) j["exitCode"] = r.exitCode;
  if (!r.stopSignal.empty()) j["stopSignal"] = r.stopSignal;
  if (r.certificate.known) j["certificate"] = certificate(r.certificate);
  j["rows"] = records(r.rows);
  j["columns"] = records(r.columns);
  const std::string failure = replaceFileContents(path, j.dump(1, ' ', false, json::error_handler_t::replace) + '\n');
  return failure.empty() ? failure : "cannot write " + failure;
}

}  // namespace kavro::app
