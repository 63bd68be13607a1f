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

}  // namespace

std::vector<FileClash> findFileClashes(const UnitTable& units, const std::vector<FileUse>& given) {
  std::vector<FileUse> uses;
  for (const std::vector<FileUse>* list : {&given, &units.declaredUses()})
    for (const FileUse& u : *list) {
      if (u.unit <= 0) continue;
      bool repeated = false;
      for (const FileUse& v : uses) repeated |= v.unit == u.unit && v.role == u.role;
      if (!repeated) uses.push_back(u);
    }
  std::map<int, FileIdentity> identity;
  for (const FileUse& u : uses)
    if (!identity.count(u.unit)) identity[u.unit] = units.identityOf(u.unit);

  std::vector<FileClash> clashes;
  for (size_t i = 0; i < uses.size(); ++i)
    for (size_t j = i + 1; j < uses.size(); ++j) {
      const FileUse& a = uses[i];
      const FileUse& b = uses[j];
      const bool sameUnit = a.unit == b.unit;
      if (!sameUnit && !sameFile(identity[a.unit], identity[b.unit])) continue;
      if (!usesClash(a, b, sameUnit)) continue;
      clashes.push_back({a, b, "the " + a.role + " (unit " + std::to_string(a.unit) + ") and the " + b.role + " (unit " +
                        std::to_string(b.unit) + ") are the same file: " + printableText(units.pathOf(a.unit))});
    }
  return clashes;
}

}  // namespace kavro
