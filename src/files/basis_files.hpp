#pragma once
// The basis files: a run saves its basis and a later run starts from it. Three formats:
//
//   NEW BASIS  (New basis file, Backup basis file; read back as the Old basis file): a header,
//              the states as a map of digits, 80 to a line, and value lines keyed by number;
//   PUNCH      (Punch file; read back as the Insert file): MPS-like lines keyed by names, each
//              basic column paired with a nonbasic slack (" XL " / " XU ");
//   DUMP       (Dump file; read back as the Load file): one named line per variable.
//
// Writers take the optimizer's working data: the states may be its internal ones (4, -1) and
// the values and bounds may be scaled; what they write is always external and unscaled. Each
// save replaces the file whole (files/file_save.hpp), unless the unit is the print or summary
// file, to which it is added; " ... file saved on file" is printed only once it was.
//
// Readers are transactional: they work on copies and change the caller's states and values
// only when the file was read to its end. A file that cannot be used leaves them untouched.

#include <cstdint>
#include <span>
#include <vector>

#include "files/variable_names.hpp"
#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// Where the files go and where the messages about them go.
struct BasisFileChannel {
  UnitTable& units;
  const ReportChannels& out;
  const Parameters& params;  // problem and set names, infBound, Error message limit, units
};

// What the writers save.
struct BasisSource {
  const Problem& prob;             // bounds in the same scale as x
  std::span<const double> scales;  // nb factors when x and the bounds are scaled, else empty
                                   // (unscaled value = scaled value x factor)
  const std::vector<int32_t>& hs;  // nb states, internal ones allowed
  const std::vector<double>& x;    // nb values
};

// Line 1 of the NEW BASIS format.
struct NewBasisHeader {
  int32_t itn = 0;
  int32_t status = kRunProceeding;
  int32_t ninf = 0;
  double objective = 0.0;  // the value as written
};

void writeNewBasis(const BasisFileChannel& io, int unit, const BasisSource& src, const NewBasisHeader& header);
void writePunch(const BasisFileChannel& io, int unit, const BasisSource& src);
void writeDump(const BasisFileChannel& io, int unit, const BasisSource& src);

// What the readers fill: states and values of all nb variables, at cycle 0 (unscaled).
struct BasisTarget {
  const Problem& prob;
  std::vector<int32_t>& hs;
  std::vector<double>& x;
};

struct BasisReadResult {
  bool loaded = false;             // states and values were replaced from the file
  bool dimensionMismatch = false;  // Old basis file for another problem: the run must end (exit 30)
  int32_t superbasics = 0;         // the number of superbasics read, the new ns
};

// `in` is the open file of `unit`; reading starts where it stands.
BasisReadResult readOldBasis(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget target);
BasisReadResult readInsert(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget target);
BasisReadResult readLoad(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget target);

}  // namespace kavro
