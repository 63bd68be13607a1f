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

// False when the file cannot be read or does not hold one level a variable and one marginal a
// constraint; a value that is not a number (null) reads as NaN.
inline bool readAnswer(const std::string& path, const nl::Model& m, Answer& a) {
  std::ifstream in(path);
  if (!in) return false;
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.contains("columns") || !j.contains("rows")) return false;
  const auto& cols = j["columns"];
  const auto& rows = j["rows"];
  if (static_cast<int32_t>(cols.size()) != m.nVars() || static_cast<int32_t>(rows.size()) != m.nCons()) return false;
  auto number = [](const nlohmann::json& v) {
    return v.is_number() ? v.get<double>() : std::numeric_limits<double>::quiet_NaN();
  };
  for (const auto& c : cols) a.x.push_back(number(c["level"]));
  for (const auto& r : rows) a.y.push_back(number(r["marginal"]));
  if (j.contains("objective")) a.reported = number(j["objective"]);
  return true;
}

}  // namespace kavro::bench
