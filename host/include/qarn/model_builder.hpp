#pragma once
// C++ owners of the stand-in host objects and a small model builder, for host programs and
// tests:
//
//   qarn::Environment env;
//   qarn::Model model(env);
//   int x = model.var("x", 0, 0, 10);
//   int r = model.equ("r", qmoEquL, 4.0);
//   model.entry(r, x, 1.0);
//   model.objectiveEntry(x, -1.0);
//   model.objective(/*sense=*/0);
//
// Builder calls that the model object refuses throw std::invalid_argument.

#include <stdexcept>
#include <string>

#include "qarn/qarn.h"

namespace qarn {

class Environment {
 public:
  Environment() {
    if (qevCreate(&h_) != 0) throw std::bad_alloc();
  }
  ~Environment() { qevFree(&h_); }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  qevHandle_t handle() const { return h_; }

  // The log lines written so far, one string with a newline after each.
  std::string logText() const {
    std::string text;
    for (int i = 0; i < qevLogLineCount(h_); ++i) text += std::string(qevLogLine(h_, i)) + "\n";
    return text;
  }

 private:
  qevHandle_t h_ = nullptr;
};

class Model {
 public:
  explicit Model(const Environment& env) {
    if (qmoCreate(&h_, env.handle()) != 0) throw std::bad_alloc();
  }
  ~Model() { qmoFree(&h_); }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;
  qmoHandle_t handle() const { return h_; }

  int var(const std::string& name, double lower, double level, double upper, int basis = qmoBstatLower) {
    return checked(qmoAddVar(h_, name.c_str(), lower, level, upper, basis), "variable " + name);
  }
  int equ(const std::string& name, int type, double rhs, double level = 0.0, double marginal = 0.0,
          int basis = qmoBstatLower) {
    return checked(qmoAddEqu(h_, name.c_str(), type, rhs, level, marginal, basis), "equation " + name);
  }
  void entry(int row, int column, double value, bool nonlinear = false) {
    if (qmoAddEntry(h_, row, column, value, nonlinear ? 1 : 0) != 0) throw std::invalid_argument("bad entry");
  }
  void objectiveEntry(int column, double value, bool nonlinear = false) { entry(-1, column, value, nonlinear); }
  // sense 0 minimize, 1 maximize.
  void objective(int sense = 0, double constant = 0.0) { qmoSetObjective(h_, 1, sense, constant); }
  void noObjective() { qmoSetObjective(h_, 0, 0, 0.0); }

 private:
  int checked(int index, const std::string& what) {
    if (index < 0) throw std::invalid_argument("bad " + what);
    return index;
  }
  qmoHandle_t h_ = nullptr;
};

}  // namespace qarn
