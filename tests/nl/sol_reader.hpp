#pragma once
// A small reader of AMPL .sol files (text variant) for the tests: what AMPL itself takes from
// the file after a solve.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kavro::nl::testing {

struct ReadSol {
  bool ok = false;
  std::string message;  // the lines before the empty line, joined by '\n'
  std::vector<int> options;
  int nCons = 0, nDuals = 0, nVars = 0, nPrimals = 0;
  std::vector<double> duals, primals;
  int objno = -1, solveResult = -1;
};

inline ReadSol readSol(const std::string& path) {
  ReadSol s;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && !line.empty()) s.message += (s.message.empty() ? "" : "\n") + line;
  if (!std::getline(in, line) || line != "Options") return s;
  int count = 0;
  in >> count;
  s.options.resize(static_cast<size_t>(count));
  for (int& o : s.options) in >> o;
  in >> s.nCons >> s.nDuals >> s.nVars >> s.nPrimals;
  s.duals.resize(static_cast<size_t>(s.nDuals));
  s.primals.resize(static_cast<size_t>(s.nPrimals));
  for (double& y : s.duals) in >> y;
  for (double& x : s.primals) in >> x;
  std::string word;
  in >> word >> s.objno >> s.solveResult;
  s.ok = in.good() && word == "objno";
  std::string rest;
  s.ok = s.ok && !(in >> rest);  // nothing after the objno line
  return s;
}

}  // namespace kavro::nl::testing
