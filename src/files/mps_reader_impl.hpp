#pragma once
// The MPS reader's state machine, shared by the files that implement its sections:
// mps_reader.cpp (record loop, section order, messages, result), mps_rows_columns.cpp and
// mps_rhs_bounds.cpp (the data records of each section).

#include <array>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/mps_reader.hpp"
#include "files/mps_record.hpp"
#include "files/name_table.hpp"

namespace kavro {

class MpsReader {
 public:
  MpsReader(Parameters& params, InputUnit& in, const ReportChannels& out, bool freeFormat, MpsIntegers integers);
  MpsResult read();

 private:
  // Kinds of messages about single records; each kind is printed while its count is within
  // Error message limit.
  enum Message : int {
    kGarbage,
    kSectionCard,
    kFieldCount,
    kLongRecord,
    kInvalidNumber,
    kBlankName,
    kIllegalRowType,
    kDuplicateRow,
    kNonexistentRow,
    kDuplicateEntry,
    kNoValidEntries,
    kDuplicateColumn,
    kIllegalMarker,
    kIllegalBoundType,
    kNonexistentColumn,
    kBackToFront,
    kIgnoredSet,
    kFreeRowRange,
    kDuplicateRhs,
    kMessageKinds
  };
  // How a card of a section with named sets is used.
  enum class SetUse { kUse, kIgnore, kSpecial };
  struct SetChoice {
    bool seen = false;          // a card of the section was read
    bool specialFirst = false;  // the first set was LAGRANGE / INITIAL
    bool chosen = false;
    std::string name;                  // the set in use
    std::vector<std::string> ignored;  // other sets met so far (each is warned about once)
  };

  // ---- record loop and section order (mps_reader.cpp)
  void sectionCard(MpsSection s);
  void reportGarbage();
  void enterSection(MpsSection s);
  void leaveSection();
  void reportSkippedSections(MpsSection from, MpsSection to);
  void dataRecord();
  void endOfFile(bool sawAnyRecord);
  void checkBoundsOrder();
  void checkIntegerColumns();
  void printSummary();
  MpsResult result();

  // ---- messages
  bool allow(Message kind);
  void emit(const char* format, va_list args);
  void error(Message kind, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void warning(Message kind, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void fatal(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void note(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void recordError(Message kind, const char* text);
  std::string_view recordText() const;
  long lineNumber() const { return in_.lineNumber(); }

  // ---- data records (mps_rows_columns.cpp, mps_rhs_bounds.cpp)
  void rowRecord(const MpsCard& card);
  void selectObjective(std::string_view name, int32_t row);
  void endRows();
  void columnRecord(const MpsCard& card);
  void markerCard(const MpsCard& card);
  void startColumn(std::string_view name);
  void addEntry(const MpsPair& pair);
  void flushColumn();
  void endColumns();
  void rhsRecord(const MpsCard& card);
  void endRhs();
  void rangesRecord(const MpsCard& card);
  void applyRange(int32_t row, double value);
  void boundsRecord(const MpsCard& card);
  void applyBound(std::string_view type, int32_t j, double value);
  void markInteger(int32_t j);
  SetUse chooseSet(std::string_view set, SetChoice& choice, std::string& parameter, std::string_view special,
                   const char* section);
  int32_t findRow(std::string_view name);
  bool readValue(std::string_view text, bool blanksIgnored, double& value);

  Parameters& params_;
  InputUnit& in_;
  const ReportChannels& out_;
  const bool free_;
  const MpsIntegers integers_;
  int64_t rowLimit_, columnLimit_, elementsLimit_;
  double infBound_;
  int32_t nNonlinCons_, nNonlinJacVars_;

  std::string line_;
  std::vector<std::string_view> fields_;  // scratch for splitting records
  MpsSection section_ = MpsSection::kNone;
  bool sawName_ = false;
  bool skipping_ = false;  // data records after a bad section card are ignored
  bool done_ = false;      // ENDATA read, or reading stopped
  bool storage_ = false;   // a limit was exceeded
  std::array<int64_t, kMessageKinds> messageCount_{};
  int32_t errors_ = 0;
  std::string problemName_;

  // Rows.
  std::vector<std::string> rowNames_;
  std::vector<int8_t> rowType_;  // -1 G, 0 E, 1 L, 2 N
  NameTable rowTable_;
  int64_t rowsSeen_ = 0;
  int32_t objRow_ = -1;
  std::vector<double> slackLower_, slackUpper_;

  // Columns and the matrix.
  std::vector<std::string> columnNames_;
  NameTable columnTable_;
  int64_t columnsSeen_ = 0;
  int64_t elementsSeen_ = 0;
  std::vector<double> value_;
  std::vector<int32_t> rowIndex_, colStart_;
  std::vector<double> colLower_, colUpper_;
  std::vector<std::pair<int32_t, double>> pending_;  // entries of the current column
  std::vector<int64_t> rowMark_;                     // last column (1-based count) with an entry in the row
  std::string currentColumn_;
  bool haveColumn_ = false, currentStored_ = false, currentIgnored_ = false;
  int64_t currentValid_ = 0;
  long currentLastLine_ = 0;
  bool integerMarker_ = false;
  std::vector<uint8_t> integer_;
  int32_t nInteger_ = 0, nJacobian_ = 0, nRejected_ = 0;

  // RHS, RANGES, BOUNDS.
  SetChoice rhsSet_, rangesSet_, boundsSet_;
  int64_t rhsGiven_ = 0;
  std::vector<uint8_t> rhsSeen_;  // per row (objective included): an RHS entry was read
  double objConstant_ = 0.0;
  std::vector<double> pi_;
  std::vector<double> x_;
  std::vector<int32_t> hs_;
  int32_t nInitial_ = 0, nSuperbasics_ = 0;
};

// Name without its trailing blanks.
std::string_view trimName(std::string_view name);

}  // namespace kavro
