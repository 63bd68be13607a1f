#pragma once
// The row file of U and the end of L as the replacement routines see them: rows grow at the end
// of the row file, L columns are appended downward, and the two meet in the middle.

#include <cstdint>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {

class UpdateFile {
 public:
  UpdateFile(int32_t m, LuParams& p, LuStorage& lu, const Printer& print)
      : m_(m), p_(p), lu_(lu), print_(print), a_(lu.a.data()), indr_(lu.indr.data()), indc_(lu.indc.data()) {}

  int32_t rowStart(int32_t i) const { return lu_.rowStart[i]; }
  int32_t rowLength(int32_t i) const { return lu_.rowLength[i]; }
  double* a() { return a_; }
  int32_t* indr() { return indr_; }

  // Appends (v, j) to row i. False when the storage is exhausted.
  bool append(int32_t i, double v, int32_t j);
  // Frees the slots of row i (its length becomes 0).
  void freeRow(int32_t i);
  // Starts a new row i of len entries at the end of the file; returns its start or -1.
  int32_t newRow(int32_t i, int32_t len);
  // Appends the L entry v[i] -= mult * v[p]. False when the storage is exhausted.
  bool appendL(double mult, int32_t i, int32_t p);
  // Drops free slots at the end of the row file.
  void trim();

 private:
  int32_t lrow() const { return p_.rowFileEnd(); }
  int32_t lu1() const { return lu_.lena - p_.lenL(); }
  // Makes room for `len` slots at the end of the row file (and `lNeed` for L).
  bool room(int32_t len, int32_t lNeed);

  int32_t m_;
  LuParams& p_;
  LuStorage& lu_;
  const Printer& print_;
  double* a_;
  int32_t* indr_;
  int32_t* indc_;
};

}  // namespace kavro::lu::detail
