// Storage handling for the column replacement: appending to rows of U, moving rows to the end of
// the row file, compressing it, and appending L entries.
#include "lu/lu_update_file.hpp"

#include "lu/lu_sparse_index.hpp"

namespace kavro::lu::detail {

bool UpdateFile::room(int32_t len, int32_t lNeed) {
  if (static_cast<int64_t>(lrow()) + len + lNeed <= lu1()) return true;
  const int32_t before = lrow();
  p_.rowFileEnd() = lu1rec(m_, before, lu_.rowLength.data(), lu_.rowStart.data(), indr_, a_);
  ++p_.compressions();
  if (print_.on(50)) {
    int32_t nempty = 0;
    for (int32_t i = 0; i < m_; ++i) nempty += lu_.rowLength[i] == 0;
    print_.line(50, " lu1rec.  File compressed from%10d  to%10d  nempty =%8d", before, lrow(), nempty);
  }
  return static_cast<int64_t>(lrow()) + len + lNeed <= lu1();
}

void UpdateFile::trim() {
  int32_t end = lrow();
  while (end > 0 && indr_[end - 1] == kFree) --end;
  p_.rowFileEnd() = end;
}

bool UpdateFile::append(int32_t i, double v, int32_t j) {
  int32_t end = lu_.rowStart[i] + lu_.rowLength[i];
  if (end < lrow() && indr_[end] == kFree && lu_.rowLength[i] > 0) {
    // the slot behind the row is free
  } else if (end == lrow() && lu_.rowLength[i] > 0) {
    if (!room(1, 0)) return false;
    end = lu_.rowStart[i] + lu_.rowLength[i];
    if (end != lrow()) {  // the compression moved the row away from the end
      return append(i, v, j);
    }
    ++p_.rowFileEnd();
  } else {
    const int32_t len = lu_.rowLength[i];
    if (!room(len + 1, 0)) return false;
    const int32_t from = lu_.rowStart[i], to = lrow();
    for (int32_t t = 0; t < len; ++t) {
      a_[to + t] = a_[from + t];
      indr_[to + t] = indr_[from + t];
      indr_[from + t] = kFree;
    }
    lu_.rowStart[i] = to;
    end = to + len;
    p_.rowFileEnd() = end + 1;
  }
  a_[end] = v;
  indr_[end] = j;
  ++lu_.rowLength[i];
  ++p_.lenU();
  noteUEntry(lu_, i, j);
  return true;
}

void UpdateFile::freeRow(int32_t i) {
  const int32_t rs = lu_.rowStart[i];
  for (int32_t e = rs; e < rs + lu_.rowLength[i]; ++e) indr_[e] = kFree;
  p_.lenU() -= lu_.rowLength[i];
  lu_.rowLength[i] = 0;
}

int32_t UpdateFile::newRow(int32_t i, int32_t len) {
  if (!room(len, 0)) return -1;
  const int32_t start = lrow();
  lu_.rowStart[i] = start;
  lu_.rowLength[i] = len;
  p_.rowFileEnd() = start + len;
  p_.lenU() += len;
  return start;
}

bool UpdateFile::appendL(double mult, int32_t i, int32_t p) {
  if (!room(0, 1)) return false;
  const int32_t t = lu1() - 1;
  a_[t] = mult;
  indc_[t] = i;
  indr_[t] = p;
  ++p_.lenL();
  return true;
}

}  // namespace kavro::lu::detail
