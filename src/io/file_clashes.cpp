// The check that no output of a run lands on an input or on another output.

#include <map>

#include "io/units.hpp"

namespace kavro {

namespace {

using Kind = FileUse::Kind;

bool isInput(const FileUse& u) { return !u.writes(); }

// Whether two uses of one file (sameUnit: through one unit number) lose or mix data.
bool usesClash(const FileUse& a, const FileUse& b, bool sameUnit) {
  if (isInput(a) && isInput(b)) return a.kind == Kind::kBasisInput || b.kind == Kind::kBasisInput;
  // A file written through the unit number of a report becomes part of that report.
  if (sameUnit && a.writes() && b.writes()) return a.kind != Kind::kReport && b.kind != Kind::kReport;
  return true;
}

bool byPath(const FileUse& u) { return u.unit <= 0; }

// "the New basis file (unit 11)", "the solution file".
std::string described(const FileUse& u) {
  return "the " + u.role + (byPath(u) ? std::string() : " (unit " + std::to_string(u.unit) + ")");
}

}  // namespace

std::vector<FileClash> findFileClashes(const UnitTable& units, const std::vector<FileUse>& given) {
  std::vector<FileUse> uses;
  for (const std::vector<FileUse>* list : {&given, &units.declaredUses()})
    for (const FileUse& u : *list) {
      if (byPath(u) && u.path.empty()) continue;
      bool repeated = false;
      for (const FileUse& v : uses) repeated |= v.unit == u.unit && v.role == u.role && v.path == u.path;
      if (!repeated) uses.push_back(u);
    }
  std::vector<FileIdentity> identity;
  std::map<int, FileIdentity> unitIdentity;
  for (const FileUse& u : uses) {
    if (!byPath(u) && !unitIdentity.count(u.unit)) unitIdentity[u.unit] = units.identityOf(u.unit);
    identity.push_back(byPath(u) ? identifyPath(u.path) : unitIdentity[u.unit]);
  }

  std::vector<FileClash> clashes;
  for (size_t i = 0; i < uses.size(); ++i)
    for (size_t j = i + 1; j < uses.size(); ++j) {
      const FileUse& a = uses[i];
      const FileUse& b = uses[j];
      const bool sameUnit = !byPath(a) && a.unit == b.unit;
      if (!sameUnit && !sameFile(identity[i], identity[j])) continue;
      if (!usesClash(a, b, sameUnit)) continue;
      const std::string path = byPath(a) ? a.path : units.pathOf(a.unit);
      clashes.push_back({a, b, described(a) + " and " + described(b) + " are the same file: " + printableText(path)});
    }
  return clashes;
}

}  // namespace kavro
