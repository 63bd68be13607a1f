// qarnhost: a stand-in modelling host. Builds the host's model, environment and option objects
// from an MPS or AMPL .nl file and the command line, loads the solver library librevuride64.so, drives it
// through its four entry points and prints the host log on standard output.
//
// Exit status: 0 when the solve call returned 0, 1 when the library reported an error (or a stop
// signal ended the reading of the model), 2 for usage errors, files that clash and input that
// cannot be read, 3 when the --solution file or the host log on standard output could not be
// written. Ctrl-C, SIGTERM and SIGHUP stop the solve at its next iteration ("user interrupt");
// the --solution file is still written, with the point the run reached, and says it was
// interrupted. A stop signal while the model is read ends the reading at once.

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "io/units.hpp"
#include "link/kavro_link.h"
#include "mps_model.hpp"
#include "nl/nl_names.hpp"
#include "nl_model.hpp"
#include "qarn/model_builder.hpp"
#include "qarnhost_solution.hpp"
#include "signals.hpp"

namespace {

constexpr const char* kUsage =
    "usage: qarnhost [--optfile FILE] [--sysdir DIR] [--env NAME=VALUE]... [--solution FILE.json]\n"
    "                [--library PATH] [--relax-integers] MODEL.mps|MODEL.nl\n"
    "  --optfile FILE      the model's option file (names from optkavro.def, one \"name value\" a line)\n"
    "  --sysdir DIR        the system directory holding optkavro.def\n"
    "  --env NAME=VALUE    an environment option: DomLim, IterLim, ResLim, WorkSpace, WorkFactor,\n"
    "                      NameSysDir, ScrDir (where the print file kavro55Print goes)\n"
    "  --solution FILE     write statuses, statistics and all records as JSON\n"
    "  --library PATH      the solver library (default: $KAVRO_LIBRARY, else the one built here)\n"
    "  --relax-integers    solve the continuous relaxation of a file with integer columns (else refused)\n"
    "Exit status: 0 solved, 1 the library reported an error, 2 usage or input errors, 3 an output\n"
    "could not be written. Ctrl-C, SIGTERM, SIGHUP: the solve stops at its next iteration.\n";

enum { kStatusSolved = 0, kStatusFailed = 1, kStatusUsage = 2, kStatusWriteFailed = 3 };

struct Arguments {
  std::string optFile, sysDir = QARN_DEFAULT_SYSDIR, solution, model, library;
  std::vector<std::string> env;
  bool relaxIntegers = false;
};

bool parseArguments(int argc, char** argv, Arguments& a, std::string& error) {
  if (const char* lib = std::getenv("KAVRO_LIBRARY"); lib && *lib) a.library = lib;
  else a.library = KAVRO_LINK_LIBRARY;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    auto value = [&](std::string& target) {
      if (k + 1 >= argc) return error = arg + " needs a value", false;
      target = argv[++k];
      return true;
    };
    bool ok = true;
    if (arg == "--optfile") ok = value(a.optFile);
    else if (arg == "--sysdir") ok = value(a.sysDir);
    else if (arg == "--solution") ok = value(a.solution);
    else if (arg == "--library") ok = value(a.library);
    else if (arg == "--env") ok = value(a.env.emplace_back());
    else if (arg == "--relax-integers") a.relaxIntegers = true;
    else if (!arg.empty() && arg[0] == '-') return error = "unknown option " + arg, false;
    else if (a.model.empty()) a.model = arg;
    else return error = "more than one model file", false;
    if (!ok) return false;
  }
  if (a.model.empty()) return error = "no model file", false;
  return true;
}

bool configureEnvironment(qevHandle_t env, const Arguments& a, std::string& error) {
  qevLogStream(env, stdout);
  qevSetStrOpt(env, "NameSysDir", a.sysDir.c_str());
  for (const std::string& setting : a.env) {
    const size_t eq = setting.find('=');
    if (eq == std::string::npos) return error = "--env " + setting + ": NAME=VALUE expected", false;
    const std::string name = setting.substr(0, eq), value = setting.substr(eq + 1);
    const int rc = qevSetOptText(env, name.c_str(), value.c_str());
    if (rc == 1) return error = "--env: unknown environment option " + name, false;
    if (rc == 2) return error = "--env: bad value for " + name + ": " + value, false;
  }
  return true;
}

struct SolverLibrary {
  void* handle = nullptr;
  decltype(&kavCreate) create = nullptr;
  decltype(&kavReadyAPI) ready = nullptr;
  decltype(&kavCallSolver) call = nullptr;
  decltype(&kavFree) free = nullptr;
  ~SolverLibrary() {
    if (handle) dlclose(handle);
  }
};

bool loadLibrary(const std::string& path, SolverLibrary& lib, std::string& error) {
  lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib.handle) return error = dlerror(), false;
  lib.create = reinterpret_cast<decltype(lib.create)>(dlsym(lib.handle, "kavCreate"));
  lib.ready = reinterpret_cast<decltype(lib.ready)>(dlsym(lib.handle, "kavReadyAPI"));
  lib.call = reinterpret_cast<decltype(lib.call)>(dlsym(lib.handle, "kavCallSolver"));
  lib.free = reinterpret_cast<decltype(lib.free)>(dlsym(lib.handle, "kavFree"));
  if (!lib.create || !lib.ready || !lib.call || !lib.free) return error = path + ": entry points missing", false;
  return true;
}

// The four calls in order. Returns the exit status.
int drive(const SolverLibrary& lib, qmoHandle_t model, qevHandle_t env) {
  kavHandle_t ctx = nullptr;
  char message[256] = "";
  if (lib.create(&ctx, message, sizeof message) != 0) {
    std::fprintf(stderr, "qarnhost: kavCreate failed: %s\n", message);
    return kStatusFailed;
  }
  qevTimeReset(env);
  int status = kStatusFailed;
  if (lib.ready(ctx, model) == 0 && lib.call(ctx) == 0) status = kStatusSolved;
  lib.free(&ctx);
  return status;
}

// Everything a run prints goes through here, a line at a time: paths and names may hold any bytes.
void fail(const std::string& message) {
  size_t start = 0;
  while (start < message.size()) {
    const size_t end = std::min(message.find('\n', start), message.size());
    std::fprintf(stderr, "qarnhost: %s\n", kavro::printableText(message.substr(start, end - start)).c_str());
    start = end + 1;
  }
}

bool isNlModel(const std::string& path) { return path.ends_with(".nl") || path.ends_with(".nl.gz"); }

// No output of the run may be an input or another output (links and other spellings of a path
// included): refused, both files named, before anything is written.
bool filesClash(qevHandle_t env, const Arguments& a) {
  using Kind = kavro::FileUse::Kind;
  std::vector<kavro::FileUse> uses = {{0, "model file", Kind::kInput, a.model}};
  if (!a.optFile.empty()) uses.push_back({0, "option file", Kind::kInput, a.optFile});
  if (!a.solution.empty()) uses.push_back({0, "--solution file", Kind::kOutput, a.solution});
  char print[4096];
  if (qevGetScratchName(env, "kavro55Print", print, sizeof print) == 0)
    uses.push_back({0, "solver library's print file", Kind::kReport, print});
  if (isNlModel(a.model)) {
    const std::string stub = kavro::nl::stubOf(a.model);
    uses.push_back({0, "row names file", Kind::kInput, stub + ".row"});
    uses.push_back({0, "column names file", Kind::kInput, stub + ".col"});
  }
  const std::vector<kavro::FileClash> clashes = kavro::findFileClashes(kavro::UnitTable{}, uses);
  for (const kavro::FileClash& c : clashes) fail(c.text);
  if (!clashes.empty()) fail("refused: an output would be written over an input or another output");
  return !clashes.empty();
}

int run(const Arguments& args) {
  std::string error;
  qarn::Environment env;
  if (!configureEnvironment(env.handle(), args, error)) return fail(error), kStatusUsage;
  if (filesClash(env.handle(), args)) return kStatusUsage;
  qarn::Model model(env);
  qarn::NlModelSource nlSource;  // answers the nonlinear calls of a .nl model
  std::string notes;
  const auto stop = [] { return kavro::app::stopRequested(); };
  error = isNlModel(args.model) ? nlSource.load(model.handle(), args.model, args.relaxIntegers, stop, &notes)
                                : qarn::loadMpsModel(model.handle(), args.model, args.relaxIntegers, &notes, stop);
  if (!error.empty()) return fail(error), kavro::app::stopRequested() ? kStatusFailed : kStatusUsage;
  if (!notes.empty()) fail(notes);
  qmoSetOptFileName(model.handle(), args.optFile.c_str());
  SolverLibrary lib;
  if (!loadLibrary(args.library, lib, error)) return fail("cannot load the solver library: " + error), kStatusUsage;
  qevTerminateWatch(env.handle(), kavro::app::stopFlag());
  const int status = drive(lib, model.handle(), env.handle());
  if (!args.solution.empty()) {
    const int signal = kavro::app::stopSignal();
    error = kavro::app::writeSolutionJson(model.handle(), args.model, args.solution,
                                          signal ? kavro::app::signalName(signal) : nullptr);
    if (!error.empty()) return fail(error), kStatusWriteFailed;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  kavro::app::watchStopSignals();
  Arguments args;
  std::string error;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kStatusWriteFailed;
  }
  if (!parseArguments(argc, argv, args, error)) {
    std::fprintf(stderr, "qarnhost: %s\n%s", kavro::printableText(error).c_str(), kUsage);
    return kStatusUsage;
  }
  int status = kStatusUsage;
  try {
    status = run(args);
  } catch (const std::bad_alloc&) {
    fail("not enough memory");
  } catch (const std::exception& e) {
    fail(e.what());
  }
  if (kavro::app::stopRequested()) fail(std::string("stopped by ") + kavro::app::signalName(kavro::app::stopSignal()));
  // The host log went to standard output.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    fail("cannot write standard output");
    if (status != kStatusUsage) status = kStatusWriteFailed;
  }
  return status;
}
