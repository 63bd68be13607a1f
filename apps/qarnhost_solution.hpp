#pragma once
// The --solution file of qarnhost: statuses, statistics and every row and column record, as JSON.

#include <string>

#include "qarn/qarn.h"

namespace kavro::app {

// Returns an empty string on success, else why the file could not be written.
std::string writeSolutionJson(qmoHandle_t model, const std::string& modelPath, const std::string& path);

}  // namespace kavro::app
