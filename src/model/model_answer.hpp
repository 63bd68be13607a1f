#pragma once
// A solve's answer in the caller's terms: the status for the solver's exit code, and the point,
// constraint values, multipliers and basis in the caller's numbering (include/kavro/model.hpp
// gives the multipliers' convention).

#include "kavro/model.hpp"
#include "model/model_layout.hpp"

namespace kavro::model {

ModelStatus statusOf(int32_t exitCode, bool callbackFailed);

// Fills the result's vectors from the solver's final state. rowValues holds the nonlinear rows'
// values at the final point (empty when they could not be evaluated: minus the slacks then).
void mapAnswer(const ModelData& data, const Layout& layout, const ProblemState& state,
               const std::vector<double>& rowValues, ModelResult& r);

// The solver's starting state from a previous result (Start "Warm").
void warmState(const ModelData& data, const Layout& layout, const ModelResult& previous, ProblemState& state);

}  // namespace kavro::model
