#include "files/file_save.hpp"

namespace kavro {

namespace {

bool isReport(const ReportChannels& out, int unit) {
  return (out.hasPrint() && unit == out.printUnit) || (out.hasSummary() && unit == out.summaryUnit);
}

}  // namespace

void startSave(UnitTable& units, const ReportChannels& out, int unit) {
  if (!isReport(out, unit)) units.beginSave(unit);
}

bool finishSave(UnitTable& units, const ReportChannels& out, int unit, const std::string& saved, const char* label) {
  bool ok = true;
  if (isReport(out, unit)) units.flush(unit);
  else ok = units.commitSave(unit);
  const UnitFailure* failure = units.failureOf(unit);
  if (ok && failure && isReport(out, unit)) ok = false;  // the report itself cannot be written
  if (ok) {
    out.both("%s", saved.c_str());
  } else if (failure && failure->times == 1) {
    out.both(" XXX  %s file not saved on file %3d: %s", label, unit, failure->text.c_str());
  }
  return ok;
}

}  // namespace kavro
