#pragma once
// Saving a basis or solution file. Each save replaces the file as a whole (see
// UnitTable::beginSave), so that a save that fails or is cut short leaves the previous one; a
// save to the print or summary file is added to that report instead. The message that claims a
// file was saved is printed only once it was; a failure is printed (the first time only) with
// the file's path and the system's reason.

#include <string>

#include "io/units.hpp"

namespace kavro {

void startSave(UnitTable& units, const ReportChannels& out, int unit);
// `saved` is the report line for a save that was written (" PUNCH file saved on file  13"),
// `label` what the failure line calls the file ("PUNCH").
bool finishSave(UnitTable& units, const ReportChannels& out, int unit, const std::string& saved, const char* label);

}  // namespace kavro
