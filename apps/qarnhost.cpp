// qarnhost: a stand-in modelling host. Builds the host's model, environment and option objects
// from an MPS or AMPL .nl file and the command line, loads the solver library librevuride64.so, drives it
// through its four entry points and prints the host log on standard output.
//
// Exit status: 0 when the solve call returned 0, 1 when the library reported an error, 2 for
// usage errors and input that cannot be read.

#include <dlfcn.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/kavro_link.h"
#include "mps_model.hpp"
#include "nl_model.hpp"
#include "qarn/model_builder.hpp"
#include "qarnhost_solution.hpp"

namespace {

constexpr const char* kUsage =
    "usage: qarnhost [--optfile FILE] [--sysdir DIR] [--env NAME=VALUE]... [--solution FILE.json]\n"
    "                [--library PATH] MODEL.mps|MODEL.nl\n"
    "  --optfile FILE      the model's option file (names from optkavro.def, one \"name value\" a line)\n"
    "  --sysdir DIR        the system directory holding optkavro.def\n"
    "  --env NAME=VALUE    an environment option: DomLim, IterLim, ResLim, WorkSpace, WorkFactor,\n"
    "                      NameSysDir, ScrDir (where the print file kavro55Print goes)\n"
    "  --solution FILE     write statuses, statistics and all records as JSON\n"
    "  --library PATH      the solver library (default: $KAVRO_LIBRARY, else the one built here)\n";

enum { kStatusSolved = 0, kStatusFailed = 1, kStatusUsage = 2 };

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) { gInterrupted = 1; }

struct Arguments {
  std::string optFile, sysDir = QARN_DEFAULT_SYSDIR, solution, model, library;
  std::vector<std::string> env;
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

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!parseArguments(argc, argv, args, error)) {
    std::fprintf(stderr, "qarnhost: %s\n%s", error.c_str(), kUsage);
    return kStatusUsage;
  }
  try {
    qarn::Environment env;
    if (!configureEnvironment(env.handle(), args, error)) {
      std::fprintf(stderr, "qarnhost: %s\n", error.c_str());
      return kStatusUsage;
    }
    qarn::Model model(env);
    qarn::NlModelSource nlSource;  // answers the nonlinear calls of a .nl model
    const bool nl = args.model.ends_with(".nl") || args.model.ends_with(".nl.gz");
    error = nl ? nlSource.load(model.handle(), args.model) : qarn::loadMpsModel(model.handle(), args.model);
    if (!error.empty()) {
      std::fprintf(stderr, "qarnhost: %s\n", error.c_str());
      return kStatusUsage;
    }
    qmoSetOptFileName(model.handle(), args.optFile.c_str());
    SolverLibrary lib;
    if (!loadLibrary(args.library, lib, error)) {
      std::fprintf(stderr, "qarnhost: cannot load the solver library: %s\n", error.c_str());
      return kStatusUsage;
    }
    std::signal(SIGINT, onInterrupt);
    qevTerminateWatch(env.handle(), &gInterrupted);
    const int status = drive(lib, model.handle(), env.handle());
    std::signal(SIGINT, SIG_DFL);
    if (!args.solution.empty()) {
      if (error = kavro::app::writeSolutionJson(model.handle(), args.model, args.solution); !error.empty()) {
        std::fprintf(stderr, "qarnhost: %s\n", error.c_str());
        return kStatusUsage;
      }
    }
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qarnhost: %s\n", e.what());
    return kStatusUsage;
  }
}
