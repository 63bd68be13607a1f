#pragma once
// Pieces shared by the objective and the Jacobian verification.

#include <cstdint>

#include "specs/parameters.hpp"

namespace kavro::verification {

// The checks run in the user's units: "Scale option" is 0 while one is alive and gets its old
// value back on every way out, failures included.
class ScaleOptionOff {
 public:
  explicit ScaleOptionOff(Parameters& p) : p_(p), saved_(p.scaleOption) { p_.scaleOption = 0; }
  ~ScaleOptionOff() { p_.scaleOption = saved_; }
  ScaleOptionOff(const ScaleOptionOff&) = delete;
  ScaleOptionOff& operator=(const ScaleOptionOff&) = delete;

 private:
  Parameters& p_;
  int32_t saved_;
};

// The mark of a checked element.
inline const char* mark(bool bad) { return bad ? "bad?" : "ok  "; }

// The two fixed directions of the cheap objective test: distinct non-zero components of varying
// sign, built from 1/n and 1/(n-1).
void objectiveDirections(int32_t n, double* p1, double* p2);
// The direction of the cheap Jacobian test: 1/n, then each component -0.99999 times the one before.
void jacobianDirection(int32_t n, double* p);

}  // namespace kavro::verification
