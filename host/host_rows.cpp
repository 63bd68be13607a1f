#include "host_rows.hpp"

#include <algorithm>

namespace qarn {

namespace {

constexpr double kInf = 1.0e20;

struct RowKind {
  int type = qmoEquN;
  double rhs = 0.0;
  bool ranged = false;
};

// A row's slack bounds say what kind of row it is (activity = -slack).
RowKind rowKind(double slackLower, double slackUpper) {
  const bool lowerInf = slackLower <= -kInf, upperInf = slackUpper >= kInf;
  if (lowerInf && upperInf) return {qmoEquN, 0.0, false};
  if (slackLower == slackUpper) return {qmoEquE, -slackLower, false};
  if (upperInf) return {qmoEquL, -slackLower, false};
  if (lowerInf) return {qmoEquG, -slackUpper, false};
  return {qmoEquE, 0.0, true};
}

}  // namespace

int addHostRow(qmoHandle_t model, const std::string& name, double slackLower, double slackUpper, double activity,
               double marginal, std::string& error) {
  const RowKind kind = rowKind(slackLower, slackUpper);
  const double level = kind.ranged ? 0.0 : activity;
  const int r = qmoAddEqu(model, name.c_str(), kind.type, kind.rhs, level, marginal, qmoBstatBasic);
  if (r < 0) {
    error = "row " + name + " cannot be taken by the host";
    return -1;
  }
  if (kind.ranged) {
    // activity - s = 0 with s between the row's limits.
    const double lo = -slackUpper, up = -slackLower;
    const int c = qmoAddVar(model, ("rng." + name).c_str(), lo, std::min(std::max(activity, lo), up), up, qmoBstatLower);
    if (c < 0 || qmoAddEntry(model, r, c, -1.0, 0) != 0) {
      error = "range of row " + name;
      return -1;
    }
  }
  return r;
}

}  // namespace qarn
