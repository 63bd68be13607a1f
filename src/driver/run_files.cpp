#include "driver/run_files.hpp"

namespace kavro {

std::vector<FileUse> runFileUses(const Parameters& p) {
  using Kind = FileUse::Kind;
  std::vector<FileUse> uses = {{p.printFile, "print file", Kind::kReport},
                               {p.summaryFile, "summary file", Kind::kReport},
                               {p.specsFile, "SPECS file", Kind::kInput},
                               {p.mpsFile, "MPS file", Kind::kInput}};
  if (p.oldBasisFile > 0) uses.push_back({p.oldBasisFile, "Old basis file", Kind::kBasisInput});
  else if (p.insertFile > 0) uses.push_back({p.insertFile, "Insert file", Kind::kBasisInput});
  else if (p.loadFile > 0) uses.push_back({p.loadFile, "Load file", Kind::kBasisInput});
  // Completion drops a Backup basis file that is the New basis file.
  const int32_t backup = p.backupBasisFile == p.newBasisFile ? 0 : p.backupBasisFile;
  uses.insert(uses.end(), {{p.newBasisFile, "New basis file", Kind::kOutput},
                           {backup, "Backup basis file", Kind::kOutput},
                           {p.punchFile, "Punch file", Kind::kOutput},
                           {p.dumpFile, "Dump file", Kind::kOutput},
                           {p.solutionFile, "Solution file", Kind::kOutput},
                           {p.reportFile, "Report file", Kind::kOutput}});
  return uses;
}

std::vector<FileClash> runFileClashes(const Parameters& p, const UnitTable& units) {
  return findFileClashes(units, runFileUses(p));
}

bool refuseFileClashes(const Parameters& p, const UnitTable& units, const ReportChannels& out) {
  const std::vector<FileClash> clashes = runFileClashes(p, units);
  if (clashes.empty()) return false;
  ReportChannels safe = out;
  for (const FileClash& c : clashes) {
    if (c.involves(safe.printUnit)) safe.printUnit = 0;
    if (c.involves(safe.summaryUnit)) safe.summaryUnit = 0;
  }
  for (const FileClash& c : clashes) safe.both(" XXX  %s", c.text.c_str());
  safe.both("%s", " EXIT -- an output file is an input or another output file of the run");
  return true;
}

}  // namespace kavro
