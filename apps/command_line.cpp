#include "command_line.hpp"

#include <cstdlib>
#include <string_view>

namespace kavro::app {

namespace {

bool parseUnit(std::string_view text, std::pair<int, std::string>& unit) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == text.size()) return false;
  const std::string number(text.substr(0, eq));
  char* end = nullptr;
  const long n = std::strtol(number.c_str(), &end, 10);
  if (*end != '\0' || n < 1 || n > 99) return false;
  unit = {static_cast<int>(n), std::string(text.substr(eq + 1))};
  return true;
}

// The units the command connects itself, and the option that names each one's file.
const char* ownUnitOption(int unit) {
  switch (unit) {
    case 4: return "--specs";
    case 6: return "--summary";
    case 9: return "--print";
    case 98: return "the PROBLEM argument";
    default: return nullptr;
  }
}

}  // namespace

const char* usageText() {
  return "Usage: kavro [--specs FILE] [--print FILE] [--summary FILE] [--unit N=PATH]... [--free-mps]\n"
         "             [--relax-integers] [--quiet] [PROBLEM]\n"
         "       kavro [options] [--solution FILE.json] [--relax-integers] MODEL.nl\n"
         "       kavro STUB -AMPL\n"
         "\n"
         "Solves a linear program read from an MPS file (plain or .gz) with the KAVRO optimizer,\n"
         "or a model read from an AMPL .nl file.\n"
         "\n"
         "  PROBLEM          the MPS file (a pipe such as <(zcat f.gz) is read once). Without it the\n"
         "                   MPS file named in the SPECS file is read; with neither, a small built-in\n"
         "                   example problem is solved.\n"
         "  MODEL.nl         an AMPL model (text or binary .nl, plain or .gz), solved with the solve\n"
         "                   strategy: the options you leave unset (superbasics limit, Hessian\n"
         "                   dimension and memory, multiple pricing, iteration limits) are sized\n"
         "                   from the model, and a model with nonlinear constraints that ends\n"
         "                   without a solution is solved again from its start with Penalty\n"
         "                   parameter 10, then 100, then from the all-slack basis (Crash option 0)\n"
         "                   with penalty 1, then 10; a run whose violation stays above ten times\n"
         "                   its best for 100 major iterations is stopped for the next of these.\n"
         "                   \"Solve strategy 0\" asks for a single run. Exact second derivatives\n"
         "                   give Newton directions once the superbasics outgrow the quasi-Newton\n"
         "                   factor (\"Hessian option 2\"; 0: quasi-Newton only, 1: always).\n"
         "                   A \"Maximize\" or \"Minimize\" option wins over the model's sense.\n"
         "  -AMPL            the AMPL solver protocol: reads STUB.nl, takes options from the\n"
         "                   environment variable kavro_options (key=value, '_' for blanks) and\n"
         "                   writes the solution to STUB.sol.\n"
         "  --solution FILE  (.nl models) write statuses and every row and column as JSON.\n"
         "  --specs FILE     SPECS options: one or more Begin ... End blocks. Each block runs the\n"
         "                   problem again with its options.\n"
         "  --print FILE     write the full report (parameters, iteration log, solution) to FILE.\n"
         "                   Without it there is no print file.\n"
         "  --summary FILE   write the short report to FILE instead of standard output.\n"
         "  --unit N=PATH    connect file unit N (1..99) to PATH: basis, punch, dump, solution and\n"
         "                   report files are named by unit numbers in the SPECS options. Output\n"
         "                   units that are not connected write to fort.N in the working directory.\n"
         "                   Units 4, 6, 9 and 98 are the command's own (--specs, --summary,\n"
         "                   --print, PROBLEM).\n"
         "  --free-mps       read the MPS file in free format (fields separated by blanks). Without\n"
         "                   it fixed columns are read, and free format is chosen automatically\n"
         "                   when a record does not fit the fixed columns.\n"
         "  --relax-integers solve the continuous relaxation of a file with integer columns (MARKER\n"
         "                   cards, BV, LI, UI bounds; .nl integer variables), and say so. Without\n"
         "                   it such a file is refused.\n"
         "  --quiet          no progress display on standard error.\n"
         "  --help           this text.   --version   the version.\n"
         "\n"
         "Without an \"Iterations limit\" option the command allows 10,000,000 iterations, or\n"
         "10 x (rows + columns) when that is more (the library's own default is 3 x rows).\n"
         "\"Solve strategy 1\" in a SPECS file gives MPS problems the solve strategy too (for a\n"
         "linear program: steepest-edge pricing, \"Pricing option 2\", unless you chose the pricing).\n"
         "\n"
         "Ctrl-C, SIGTERM and SIGHUP end the run at its next iteration (\"EXIT -- control-c\n"
         "interrupt\") with the current point reported and saved as the options ask, and no further\n"
         "SPECS block is run; one that comes while an input is read ends the reading at once; a\n"
         "second one ends the process at once.\n"
         "\n"
         "No output is ever written over an input or over another output: a run whose files clash\n"
         "(\"Print file 4\", \"New basis file 98\", --print naming the problem, --solution naming the\n"
         "model, a STUB.sol that is a link to STUB.nl, two files on one path) is refused before\n"
         "anything is written. Basis, solution, JSON and .sol files are replaced whole, so an\n"
         "interrupted or failed save leaves the previous file. Input lines may be 1 MiB long; a pipe\n"
         "may bring at most 2 GiB (a file given by its name is read without a copy).\n"
         "\n"
         "Exit status: 0 when the run ends optimal (exit code 0); 1 for any other optimizer exit\n"
         "code or a stop signal; 2 for a usage error, files that clash, an input file that cannot\n"
         "be read or has fatal errors, or a problem too large for the memory; 3 when an output\n"
         "(print, summary, basis, JSON or .sol file, standard output) could not be written, each\n"
         "such file named on standard error with the reason.\n";
}

bool parseCommandLine(int argc, char** argv, CommandLine& cl, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = "option " + std::string(arg) + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (arg == "--specs") {
      if (!value(cl.specsPath)) return false;
    } else if (arg == "--print") {
      if (!value(cl.printPath)) return false;
    } else if (arg == "--summary") {
      if (!value(cl.summaryPath)) return false;
    } else if (arg == "--unit") {
      std::string text;
      if (!value(text)) return false;
      std::pair<int, std::string> unit;
      if (!parseUnit(text, unit)) {
        error = "--unit expects N=PATH with N from 1 to 99, not '" + text + "'";
        return false;
      }
      if (const char* own = ownUnitOption(unit.first)) {
        error = "--unit " + std::to_string(unit.first) + " is the command's own unit: use " + own;
        return false;
      }
      cl.units.push_back(unit);
    } else if (arg == "--solution") {
      if (!value(cl.solutionPath)) return false;
    } else if (arg == "-AMPL") cl.ampl = true;
    else if (arg == "--relax-integers") cl.relaxIntegers = true;
    else if (arg == "--free-mps") cl.freeMps = true;
    else if (arg == "--quiet") cl.quiet = true;
    else if (arg == "--help" || arg == "-h") cl.help = true;
    else if (arg == "--version") cl.version = true;
    else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      error = "unknown option " + std::string(arg);
      return false;
    } else if (cl.problemPath.empty()) cl.problemPath = std::string(arg);
    else {
      error = "only one problem file may be given";
      return false;
    }
  }
  return true;
}

}  // namespace kavro::app
