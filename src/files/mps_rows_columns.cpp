// The ROWS and COLUMNS sections of the MPS reader.

#include <algorithm>
#include <cmath>

#include "files/mps_reader_impl.hpp"

namespace kavro {

namespace {

// Row type codes: -1 at least the RHS, 0 equal, 1 at most, 2 free.
int rowTypeCode(std::string_view key) {
  if (key == "G") return -1;
  if (key == "E") return 0;
  if (key == "L") return 1;
  if (key == "N") return 2;
  return -2;
}

std::string padded(std::string_view name) {
  std::string s(name);
  if (s.size() < 8) s.resize(8, ' ');
  return s;
}

}  // namespace

// ---------------------------------------------------------------- ROWS

void MpsReader::rowRecord(const MpsCard& card) {
  const int type = rowTypeCode(card.key);
  if (type < -1) {
    recordError(kIllegalRowType, " XXXX  Illegal row type at line");
    return;
  }
  const std::string_view name = trimName(card.name1);
  if (name.empty()) {
    recordError(kBlankName, " XXXX  Blank row name at line");
    return;
  }
  if (findRow(name) >= 0) {
    error(kDuplicateRow, " XXXX  Duplicate row name --%s-- ignored", padded(name).c_str());
    return;
  }
  // Rows beyond the limit are only counted, for the message at the end of the section.
  if (++rowsSeen_ > rowLimit_) return;
  const int32_t row = static_cast<int32_t>(rowNames_.size());
  rowNames_.emplace_back(name);
  rowTable_.insert(row, rowNames_);
  rowType_.push_back(static_cast<int8_t>(type));
  // Slack bounds before the RHS: activity <= 0, >= 0, == 0 or free.
  slackLower_.push_back(type == 1 || type == 0 ? 0.0 : -infBound_);
  slackUpper_.push_back(type == -1 || type == 0 ? 0.0 : infBound_);
  if (type == 2 && objRow_ < 0) selectObjective(name, row);
}

// The linear objective is the first N row with the Objective name, or the first N row at all
// when no name was given.
void MpsReader::selectObjective(std::string_view name, int32_t row) {
  const std::string_view wanted = trimName(params_.objectiveName);
  if (!wanted.empty() && wanted != name) return;
  objRow_ = row;
  if (wanted.empty()) {
    params_.objectiveName = padded(name);
    if (nNonlinCons_ > 0) note(" ===>  Note:  row %s selected as linear part of objective.", padded(name).c_str());
  }
  if (row < nNonlinCons_) {
    fatal(" XXXX  The linear objective card      N  %s", padded(name).c_str());
    note(" XXXX  is out of place.    Nonlinear constraints%8d", nNonlinCons_);
    note(" XXXX  must be listed first in the ROWS section.");
  }
}

void MpsReader::endRows() {
  if (rowsSeen_ > rowLimit_) {
    fatal(" XXXX  Too many rows.  Limit was%8lld   Actual number is%8lld", static_cast<long long>(rowLimit_),
          static_cast<long long>(rowsSeen_));
    storage_ = done_ = true;
    return;
  }
  if (rowsSeen_ == 0) fatal(" XXXX  No rows specified");
  else if (objRow_ < 0) note(" ===>  Warning - no linear objective selected");
  rowMark_.assign(rowNames_.size(), 0);
}

int32_t MpsReader::findRow(std::string_view name) { return rowTable_.find(trimName(name), rowNames_); }

// ---------------------------------------------------------------- COLUMNS

void MpsReader::columnRecord(const MpsCard& card) {
  if (card.marker) {
    markerCard(card);
    return;
  }
  const std::string_view name = trimName(card.name1);
  if (name.empty()) {
    recordError(kBlankName, " XXXX  Blank column name at line");
    return;
  }
  if (!haveColumn_ || name != currentColumn_) startColumn(name);
  if (currentIgnored_) return;
  currentLastLine_ = lineNumber();
  for (const MpsPair& pair : card.pair)
    if (pair.present) addEntry(pair);
}

// 'MARKER' cards bracket integer columns between 'INTORG' and 'INTEND'.
void MpsReader::markerCard(const MpsCard& card) {
  const std::string_view kind = trimName(card.pair[1].name);
  if (kind == "'INTORG'") integerMarker_ = true;
  else if (kind == "'INTEND'") integerMarker_ = false;
  else recordError(kIllegalMarker, " XXXX  Illegal MARKER card at line");
}

void MpsReader::startColumn(std::string_view name) {
  flushColumn();
  haveColumn_ = true;
  currentColumn_.assign(name);
  currentLastLine_ = lineNumber();
  currentValid_ = 0;
  currentIgnored_ = columnTable_.find(name, columnNames_) >= 0;
  if (currentIgnored_) {
    error(kDuplicateColumn, " XXXX  Duplicate column name --%s-- entries ignored from line%7ld", padded(name).c_str(),
          lineNumber());
    return;
  }
  // Columns beyond the limit are counted with their elements but not stored.
  currentStored_ = ++columnsSeen_ <= columnLimit_;
  if (!currentStored_) return;
  const int32_t j = static_cast<int32_t>(columnNames_.size());
  columnNames_.push_back(currentColumn_);
  columnTable_.insert(j, columnNames_);
  // Default bounds the wrong way round are taken as the parameter completion would swap them.
  colLower_.push_back(std::min(params_.lowerBoundDefault, params_.upperBoundDefault));
  colUpper_.push_back(std::max(params_.lowerBoundDefault, params_.upperBoundDefault));
  integer_.push_back(0);
  if (integerMarker_) markInteger(j);
}

void MpsReader::addEntry(const MpsPair& pair) {
  const int32_t i = findRow(pair.name);
  if (i < 0) {
    error(kNonexistentRow, " XXXX  Non-existent row    specified --%s-- entry ignored in line%7ld",
          padded(trimName(pair.name)).c_str(), lineNumber());
    return;
  }
  double v = 0.0;
  if (!readValue(pair.value, !free_, v)) return;
  int64_t& mark = rowMark_[i];
  if (mark == columnsSeen_) {
    error(kDuplicateEntry, " X  Column %s has more than one entry in row %s", padded(currentColumn_).c_str(),
          padded(rowNames_[i]).c_str());
    return;
  }
  mark = columnsSeen_;
  // The nonlinear Jacobian block keeps every entry: its values are only starting values.
  const bool jacobian = i < nNonlinCons_ && columnsSeen_ <= nNonlinJacVars_;
  if (jacobian) {
    ++nJacobian_;
  } else if (std::fabs(v) < params_.aijTolerance) {
    ++nRejected_;
    return;
  }
  ++currentValid_;
  if (++elementsSeen_ <= elementsLimit_ && currentStored_) pending_.emplace_back(i, v);
}

// Stores the finished column with its rows in increasing order.
void MpsReader::flushColumn() {
  if (!haveColumn_ || currentIgnored_) return;
  if (currentValid_ == 0)
    warning(kNoValidEntries, " XXXX  No valid row entries in column %s after line%7ld", padded(currentColumn_).c_str(),
            currentLastLine_);
  if (currentStored_) {
    std::sort(pending_.begin(), pending_.end());
    for (const auto& [i, v] : pending_) {
      rowIndex_.push_back(i);
      value_.push_back(v);
    }
    colStart_.push_back(static_cast<int32_t>(value_.size()));
  }
  pending_.clear();
  haveColumn_ = false;
}

void MpsReader::endColumns() {
  flushColumn();
  if (columnsSeen_ > columnLimit_)
    fatal(" XXXX  Too many columns.   The limit was%8lld   Actual number is%8lld", static_cast<long long>(columnLimit_),
          static_cast<long long>(columnsSeen_));
  if (elementsSeen_ > elementsLimit_)
    fatal(" XXXX  Too many elements.  The limit was%8lld   Actual number is%8lld",
          static_cast<long long>(elementsLimit_), static_cast<long long>(elementsSeen_));
  if (columnsSeen_ > columnLimit_ || elementsSeen_ > elementsLimit_) {
    storage_ = done_ = true;
    return;
  }
  if (columnsSeen_ == 0) fatal(" XXXX  No columns specified");
}

void MpsReader::markInteger(int32_t j) {
  uint8_t& flag = integer_[j];
  if (!flag) ++nInteger_;
  flag = 1;
}

bool MpsReader::readValue(std::string_view text, bool blanksIgnored, double& value) {
  if (parseMpsNumber(text, blanksIgnored, value)) return true;
  recordError(kInvalidNumber, " XXXX  Invalid number at line");
  return false;
}

}  // namespace kavro
