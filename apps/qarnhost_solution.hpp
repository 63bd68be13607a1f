#pragma once
// The --solution file of qarnhost: statuses, statistics and every row and column record, as JSON.

#include <string>

#include "qarn/qarn.h"

namespace kavro::app {

// Writes the file whole or not at all (a failure leaves an earlier file as it was). `stopSignal`
// names the signal that interrupted the run ("SIGTERM"), or is null: the file says
// "interrupted": true or false. Names that are not valid UTF-8 are written with U+FFFD in place
// of the bytes that are not. Returns an empty string on success, else the path and the reason.
std::string writeSolutionJson(qmoHandle_t model, const std::string& modelPath, const std::string& path,
                              const char* stopSignal = nullptr);

}  // namespace kavro::app
