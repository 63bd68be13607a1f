#pragma once
// The host functions the library calls, bound by name from the host's three libraries at
// set-up. Each context binds its own copy; only the binding itself is serialized.

#include <string>

#include "qarn/qarn.h"

#define KAVRO_QMO_FUNCTIONS(X)                                                                                       \
  X(qmoObjStyleSet)                                                                                                  \
  X(qmoObjReformSet) X(qmoIndexBaseSet) X(qmoPinfSet) X(qmoMinfSet) X(qmoSetRvVarPermutation)                        \
      X(qmoSetRvEquPermutation) X(qmoSetNRowPerm) X(qmoN) X(qmoM) X(qmoNZ) X(qmoNZ64) X(qmoNLNZ) X(qmoNLNZ64)        \
          X(qmoObjNLNZ) X(qmoNLM) X(qmoNLN) X(qmoModelType) X(qmoSense) X(qmoObjConst) X(qmoHaveBasis) X(qmoOptFile) \
              X(qmoNameOptFile) X(qmoEnvironment) X(qmoGetEquTypeOne) X(qmoGetEquTypeTxt) X(qmoGetEquOrderOne)       \
                  X(qmoGetRhsOne) X(qmoGetRowSparse) X(qmoGetObjSparse) X(qmoGetVarL) X(qmoGetVarLower)              \
                      X(qmoGetVarUpper) X(qmoGetEquL) X(qmoGetEquM) X(qmoGetVarStatOne) X(qmoGetEquStatOne)          \
                          X(qmoEvalNewPoint) X(qmoEvalGradNL) X(qmoEvalGradNLObj) X(qmoSetSolutionVarRec)            \
                              X(qmoSetSolutionEquRec) X(qmoModelStatSet) X(qmoSolveStatSet) X(qmoModelStat)          \
                                  X(qmoSetHeadnTail) X(qmoCompleteSolution)

// Second derivatives, which a host may not have: a library without them binds as before and
// its models are solved without them (the pointers stay null).
#define KAVRO_QMO_OPTIONAL_FUNCTIONS(X) \
  X(qmoHaveHessLag) X(qmoHessLagNZ) X(qmoHessLagStruct) X(qmoHessLagValues) X(qmoHessLagVec)

#define KAVRO_QEV_FUNCTIONS(X)                                                                                       \
  X(qevLogStat)                                                                                                      \
  X(qevLogStatNoC) X(qevStatCon) X(qevStatCoff) X(qevGetIntOpt) X(qevGetDblOpt) X(qevGetStrOpt) X(qevGetScratchName) \
      X(qevTimeDiffStart) X(qevTerminateGet) X(qevSynchronizeOpt)

#define KAVRO_OPT_FUNCTIONS(X)                                                                                \
  X(optCreate)                                                                                                \
  X(optFree) X(optReadDefinition) X(optReadParameterFile) X(optEchoSet) X(optEOLOnlySet) X(optResetAllRecent) \
      X(optMessageCount) X(optGetMessage) X(optClearMessages) X(optCount) X(optGetInfoNr) X(optGetValuesNr)   \
          X(optGetIntStr) X(optGetOptGroupNr)

namespace kavro::link {

#define KAVRO_HOST_POINTER(f) decltype(&::f) f = nullptr;
struct ModelApi {
  KAVRO_QMO_FUNCTIONS(KAVRO_HOST_POINTER)
  KAVRO_QMO_OPTIONAL_FUNCTIONS(KAVRO_HOST_POINTER)
};
struct EnvironmentApi {
  KAVRO_QEV_FUNCTIONS(KAVRO_HOST_POINTER)
};
struct OptionApi {
  KAVRO_OPT_FUNCTIONS(KAVRO_HOST_POINTER)
};
#undef KAVRO_HOST_POINTER

// An opened shared library, closed with the object.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  void* handle = nullptr;
};

struct HostBinding {
  SharedLibrary modelLibrary, environmentLibrary, optionLibrary;
  ModelApi qmo;
  EnvironmentApi qev;
  OptionApi opt;
};

// Each returns an empty string when every function was bound, else the loader's text.
std::string bindModelLibrary(HostBinding& binding);
std::string bindEnvironmentLibrary(HostBinding& binding);
std::string bindOptionLibrary(HostBinding& binding);

// Where a host library is looked for: the environment variable when set, else the file name
// in the directory of this library.
std::string hostLibraryPath(const char* variable, const char* fileName);

}  // namespace kavro::link
