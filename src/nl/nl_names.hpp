#pragma once
// Row and column names from AMPL's auxiliary files (STUB.row, STUB.col, written with
// "option auxfiles rc"): one name a line, in the .nl file's order (the .row file lists the
// constraints, then the objectives).

#include <string>
#include <vector>

namespace kavro::nl {

// The first count names of the file; empty when the file is absent or holds fewer lines.
std::vector<std::string> readAuxiliaryNames(const std::string& path, int count);

// The stub of a model's files: the path without the endings .gz and .nl ("m.nl.gz" -> "m"), to
// which AMPL's files add .sol, .row and .col.
std::string stubOf(const std::string& modelPath);

}  // namespace kavro::nl
