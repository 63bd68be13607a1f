#include "qarnhost_solution.hpp"

#include <nlohmann/json.hpp>

#include "io/output_guard.hpp"

namespace kavro::app {

namespace {

using nlohmann::json;

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

template <class Name, class Result>
json records(qmoHandle_t model, int count, Name name, Result result) {
  json list = json::array();
  char text[256];
  for (int k = 0; k < count; ++k) {
    name(model, k, text, static_cast<int>(sizeof text));
    double level = 0.0, marginal = 0.0;
    int basis = 0, condition = 0;
    json r = {{"name", text}};
    if (result(model, k, &level, &marginal, &basis, &condition) == 0) {
      r["level"] = level;
      r["marginal"] = marginal;
      r["basisStatus"] = basis;
      r["condition"] = condition;
    } else {
      r["level"] = nullptr;  // the solver returned no record
    }
    list.push_back(std::move(r));
  }
  return list;
}

}  // namespace

std::string writeSolutionJson(qmoHandle_t model, const std::string& modelPath, const std::string& path,
                              const char* stopSignal) {
  const int ms = qmoModelStat(model), ss = qmoSolveStat(model);
  json j = {
      {"model", modelPath},
      {"modelStatus", ms},
      {"modelStatusText", modelStatusText(ms)},
      {"solveStatus", ss},
      {"solveStatusText", solveStatusText(ss)},
      {"solutionComplete", qmoSolutionComplete(model) != 0},
      {"iterations", static_cast<long long>(qmoHeadnTail(model, qmoHiterused))},
      {"time", qmoHeadnTail(model, qmoHresused)},
      {"objective", qmoHeadnTail(model, qmoHobjval)},
      {"evaluationErrors", static_cast<long long>(qmoHeadnTail(model, qmoHdomused))},
      {"interrupted", stopSignal != nullptr},
  };
  if (stopSignal) j["stopSignal"] = stopSignal;
  j["rows"] = records(model, qmoHostM(model), qmoEquName, qmoResultEqu);
  j["columns"] = records(model, qmoHostN(model), qmoVarName, qmoResultVar);
  const std::string failure =
      replaceFileContents(path, j.dump(1, ' ', false, json::error_handler_t::replace) + '\n');
  return failure.empty() ? failure : "cannot write " + failure;
}

}  // namespace kavro::app
