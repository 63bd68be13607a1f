#pragma once
// An answer to a .nl model as the solution files give it (the JSON of `kavro --solution`,
// `qarnhost --solution` or `nlp_ipopt -s`): the point and the rows' multipliers, in the model's
// order, and the objective the file states. Used by the tools that check answers afresh.

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::bench {

struct Answer {
  std::vector<double> x, y;
  double reported = std::numeric_limits<double>::quiet_NaN();
};

// False when the file cannot be read or does not hold one level a variable (beyond them only the
// host's columns of ranged rows, "rng.NAME", which are left out) and one marginal a constraint;
// a value that is not a number (null) reads as NaN.
inline bool readAnswer(const std::string& path, const nl::Model& m, Answer& a) {
  std::ifstream in(path);
  if (!in) return false;
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.contains("columns") || !j.contains("rows")) return false;
  const auto& cols = j["columns"];
  const auto& rows = j["rows"];
  if (static_cast<int32_t>(cols.size()) < m.nVars() || static_cast<int32_t>(rows.size()) != m.nCons()) return false;
  // The host's model (qarnhost) has a column for each ranged row after the model's variables.
  for (size_t k = static_cast<size_t>(m.nVars()); k < cols.size(); ++k)
    if (!cols[k].value("name", std::string()).starts_with("rng.")) return false;
  auto number = [](const nlohmann::json& v) {
    return v.is_number() ? v.get<double>() : std::numeric_limits<double>::quiet_NaN();
  };
  for (int32_t k = 0; k < m.nVars(); ++k) a.x.push_back(number(cols[static_cast<size_t>(k)]["level"]));
  for (const auto& r : rows) a.y.push_back(number(r["marginal"]));
  if (j.contains("objective")) a.reported = number(j["objective"]);
  return true;
}

}  // namespace kavro::bench
