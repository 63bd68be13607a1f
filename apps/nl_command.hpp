#pragma once
// The kavro command for AMPL .nl models:
//
//   kavro [--specs FILE] [--print FILE] [--summary FILE] [--solution FILE.json]
//         [--relax-integers] MODEL.nl          the summary report on standard output
//   kavro STUB -AMPL  (or STUB.nl -AMPL)       the AMPL solver protocol
//
// The model is read (text or binary, plain or gzip), turned into the optimizer's problem with
// its nonlinear functions served from the .nl evaluator, and handed to the library's solve with
// the solve strategy unless an option says "Solve strategy 0" (then the superbasics limit is the
// host link's estimate from the model, as the host link would solve it). The objective sense is
// the model's.
//
// Under the AMPL protocol the options come from the environment variable kavro_options (see
// nl/ampl_options.hpp; a SPECS file may be given too), the command prints a banner and a result
// line instead of the summary report, and it always writes STUB.sol once the model has been
// read, also when the model cannot be solved. Row and column names for --solution come from
// STUB.row and STUB.col when AMPL wrote them.
//
// Exit status: 0 optimal (under -AMPL: the .sol file was written), 1 any other optimizer exit,
// 2 a usage error, a model that cannot be read or cannot be given to the optimizer.

#include "command_line.hpp"
#include "kavro/solver.hpp"
#include "progress.hpp"

namespace kavro::app {

// True when the command line names a .nl model: a PROBLEM ending in .nl or .nl.gz, or -AMPL.
bool isNlRun(const CommandLine& cl);

// Runs the command for a .nl model; the optimizer's units are connected and it is initialized.
int runNlModel(Optimizer& opt, const CommandLine& cl, Progress& progress);

}  // namespace kavro::app
