// The RHS, RANGES and BOUNDS sections of the MPS reader.

#include <algorithm>
#include <cmath>

#include "files/fortran_format.hpp"
#include "files/mps_reader_impl.hpp"

namespace kavro {

namespace {

std::string padded(std::string_view name) {
  std::string s(name);
  if (s.size() < 8) s.resize(8, ' ');
  return s;
}

bool isBoundType(std::string_view t) {
  return t == "FR" || t == "FX" || t == "LO" || t == "UP" || t == "MI" || t == "PL" || t == "BV" || t == "LI" ||
         t == "UI";
}

}  // namespace

// The first set of a section is used unless the parameter names one; its name is stored in
// the parameter. A `special` set (LAGRANGE, INITIAL) is always used for its own purpose and,
// when it comes first, shuts out every other set (with a warning of its own). Every other set
// is named in a warning, once, so that no part of the file is left out without a word.
MpsReader::SetUse MpsReader::chooseSet(std::string_view set, SetChoice& choice, std::string& parameter,
                                       std::string_view special, const char* section) {
  set = trimName(set);
  const bool isSpecial = !special.empty() && set == special;
  if (!choice.seen) {
    choice.seen = true;
    choice.specialFirst = isSpecial;
  }
  if (isSpecial) return SetUse::kSpecial;
  if (choice.specialFirst) return SetUse::kIgnore;
  if (!choice.chosen) {
    choice.chosen = true;
    const std::string_view wanted = trimName(parameter);
    if (wanted.empty()) parameter = padded(set);
    choice.name = std::string(wanted.empty() ? set : wanted);
  }
  if (set == choice.name) return SetUse::kUse;
  if (std::find(choice.ignored.begin(), choice.ignored.end(), set) == choice.ignored.end()) {
    choice.ignored.emplace_back(set);
    warning(kIgnoredSet, " ===>  Warning - %s set %s ignored at line%7ld: the set used is %s", section,
            padded(set).c_str(), lineNumber(), padded(choice.name).c_str());
  }
  return SetUse::kIgnore;
}

// ---------------------------------------------------------------- RHS

void MpsReader::rhsRecord(const MpsCard& card) {
  const bool first = !rhsSet_.seen;
  const SetUse use = chooseSet(card.name1, rhsSet_, params_.rhsName, "LAGRANGE", "RHS");
  if (first && rhsSet_.specialFirst) note(" ===>  Warning - first RHS is LAGRANGE.   Other RHS's will be ignored.");
  if (use == SetUse::kIgnore) return;
  pi_.resize(rowNames_.size(), 0.0);
  rhsSeen_.resize(rowNames_.size(), 0);
  for (const MpsPair& pair : card.pair) {
    if (!pair.present) continue;
    const int32_t i = findRow(pair.name);
    if (i < 0) {
      error(kNonexistentRow, " XXXX  Non-existent row    specified --%s-- entry ignored in line%7ld",
            padded(trimName(pair.name)).c_str(), lineNumber());
      continue;
    }
    double r = 0.0;
    if (!readValue(pair.value, !free_, r)) continue;
    const size_t k = static_cast<size_t>(i);
    if (use == SetUse::kSpecial) {
      pi_[k] = r;  // initial multiplier estimate
      continue;
    }
    if (rhsSeen_[k])
      warning(kDuplicateRhs, " ===>  Warning - second RHS entry for row %s at line%7ld: the last value is used",
              padded(rowNames_[k]).c_str(), lineNumber());
    rhsSeen_[k] = 1;
    if (i == objRow_) {
      objConstant_ = -r;
    } else if (rowType_[k] != 2) {
      if (rowType_[k] >= 0) slackLower_[k] = -r;  // L, E: activity <= r
      if (rowType_[k] <= 0) slackUpper_[k] = -r;  // G, E: activity >= r
      ++rhsGiven_;
    }
  }
}

void MpsReader::endRhs() {
  if (objConstant_ != 0.0)
    note(" ===>  Note:  constant%s is added to the objective.", formatExponent(objConstant_, 16, 7).c_str());
  if (rhsGiven_ == 0) note(" ===>  Warning - the RHS is zero");
}

// ---------------------------------------------------------------- RANGES

void MpsReader::rangesRecord(const MpsCard& card) {
  if (chooseSet(card.name1, rangesSet_, params_.rangesName, {}, "RANGES") != SetUse::kUse) return;
  for (const MpsPair& pair : card.pair) {
    if (!pair.present) continue;
    const int32_t i = findRow(pair.name);
    if (i < 0) {
      error(kNonexistentRow, " XXXX  Non-existent row    specified --%s-- entry ignored in line%7ld",
            padded(trimName(pair.name)).c_str(), lineNumber());
      continue;
    }
    double value = 0.0;
    if (readValue(pair.value, !free_, value)) applyRange(i, value);
  }
}

// The RHS has set one end of the row's range; the range R = |value| sets the other:
// G rows [b, b + R], L rows [b - R, b], E rows [b, b + R] (value > 0) or [b - R, b] (value < 0).
void MpsReader::applyRange(int32_t row, double value) {
  const size_t k = static_cast<size_t>(row);
  const double range = std::fabs(value);
  switch (rowType_[k]) {
    case -1: slackLower_[k] = slackUpper_[k] - range; break;
    case 1: slackUpper_[k] = slackLower_[k] + range; break;
    case 0:
      if (value > 0) slackLower_[k] = slackUpper_[k] - range;
      else if (value < 0) slackUpper_[k] = slackLower_[k] + range;
      break;
    default:  // free rows (the objective among them) have no range
      warning(kFreeRowRange, " ===>  Warning - RANGES entry for free row %s ignored at line%7ld",
              padded(rowNames_[k]).c_str(), lineNumber());
      break;
  }
}

// ---------------------------------------------------------------- BOUNDS

void MpsReader::boundsRecord(const MpsCard& card) {
  const std::string_view type = card.key;
  if (!isBoundType(type)) {
    recordError(kIllegalBoundType, " XXXX  Illegal bound type at line");
    return;
  }
  const bool first = !boundsSet_.seen;
  const SetUse use = chooseSet(card.name1, boundsSet_, params_.boundsName, "INITIAL", "BOUNDS");
  if (first && boundsSet_.specialFirst)
    note(" ===>  Warning - first bounds set is  INITIAL .   Other bounds will be ignored.");
  if (use == SetUse::kIgnore) return;
  const std::string_view name = trimName(card.pair[0].name);
  const int32_t j = columnTable_.find(name, columnNames_);
  if (j < 0) {
    error(kNonexistentColumn, " XXXX  Non-existent column specified --%s-- entry ignored in line%7ld",
          padded(name).c_str(), lineNumber());
    return;
  }
  double value = 0.0;
  const bool initial = use == SetUse::kSpecial;
  if ((initial || boundTypeTakesValue(type)) && !readValue(card.pair[0].value, !free_, value)) return;
  if (!initial) {
    applyBound(type, j, value);
    return;
  }
  // INITIAL: a starting value; FR also makes the column superbasic.
  x_.resize(columnNames_.size(), 0.0);
  hs_.resize(columnNames_.size(), 0);
  const size_t k = static_cast<size_t>(j);
  x_[k] = value;
  ++nInitial_;
  if (type == "FR" && hs_[k] != 2) {
    hs_[k] = 2;
    ++nSuperbasics_;
  }
}

void MpsReader::applyBound(std::string_view type, int32_t j, double value) {
  double& lower = colLower_[j];
  double& upper = colUpper_[j];
  if (type == "LO") {
    lower = value;
  } else if (type == "UP") {
    upper = value;
  } else if (type == "FX") {
    lower = upper = value;
  } else if (type == "FR") {
    lower = -infBound_;
    upper = infBound_;
  } else if (type == "MI") {
    lower = -infBound_;
    if (upper >= infBound_) upper = 0.0;
  } else if (type == "PL") {
    upper = infBound_;
  } else if (type == "BV") {
    markInteger(j);
    lower = 0.0;
    upper = 1.0;
  } else if (type == "LI") {
    markInteger(j);
    lower = value;
  } else if (type == "UI") {
    markInteger(j);
    upper = value;
  }
}

}  // namespace kavro
