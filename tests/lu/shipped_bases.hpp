#pragma once
// The Netlib bases shipped with the tests (tests/data/bases) with their replacement sequences.

#include <string>
#include <vector>

#include "bench/matrix_market.hpp"
#include "lu/lu_test_support.hpp"

namespace kavro::lu::test {

struct ShippedBasis {
  Entries entries;
  std::vector<int32_t> positions;             // basis positions replaced, in order
  std::vector<std::vector<double>> entering;  // the entering columns, dense
};

// Reads basis `name` and its replacements; returns an empty string or the reason it failed.
inline std::string loadShippedBasis(const std::string& name, ShippedBasis& s) {
  bench::CooMatrix B, R;
  const std::string dir = KAVRO_TEST_DATA_DIR "/bases/";
  if (std::string err = bench::readMatrixMarket(dir + name + ".mtx.gz", B); !err.empty()) return err;
  if (std::string err = bench::readMatrixMarket(dir + "repl/" + name + ".mtx.gz", R); !err.empty()) return err;
  s.positions = bench::replacementPositions(R);
  if (static_cast<int32_t>(s.positions.size()) != R.cols) return "positions do not match the columns";
  s.entries = Entries{};
  s.entries.m = B.rows;
  s.entries.n = B.cols;
  for (size_t k = 0; k < B.value.size(); ++k) s.entries.add(B.row[k], B.col[k], B.value[k]);
  s.entering.assign(static_cast<size_t>(R.cols), std::vector<double>(static_cast<size_t>(B.rows), 0.0));
  for (size_t k = 0; k < R.value.size(); ++k) s.entering[R.col[k]][R.row[k]] = R.value[k];
  return {};
}

}  // namespace kavro::lu::test
