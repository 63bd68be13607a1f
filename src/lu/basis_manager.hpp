#pragma once
// Turns the current basic set (states hs == 3) into LU factors of the basis matrix B:
// builds the basic list, checks storage, assembles B, factorizes with the fallbacks, and
// replaces columns that the factorization finds dependent by slacks.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "lu/basis_lu.hpp"

namespace kavro {

struct Parameters;
struct ReportChannels;

// What the manager reads and changes.
struct BasisSet {
  const Problem* prob = nullptr;              // matrix and bounds (scaled)
  std::vector<int32_t>* hs = nullptr;         // states
  std::vector<double>* x = nullptr;           // values
  std::vector<int32_t>* basisList = nullptr;  // positions 0..m-1 basic, then superbasics
  int32_t* ns = nullptr;
};

// Why the next factorization is made, printed in its header as "Demand".
enum class FactorRequest : int32_t {
  kNone = 0,
  kFrequency = 1,            // "Factorize basis" updates made
  kFactorsGrew = 2,          // L and U more than doubled since the factorization
  kReplacementFailed = 7,    // a column replacement failed
  kRowError = 10,            // the row check found the basic values inaccurate
  kLinesearchFailures = 22,  // the linesearch failed again and again
};

struct FactorizationCounters {
  int32_t factorizations = 0;  // in this run
  FactorRequest factorRequest = FactorRequest::kNone;
  int32_t itn = 0;  // for the header line
  int32_t ninf = 0;
  double objectiveOrSinf = 0.0;
  bool infeasible = false;
  bool firstOfRun = true;  // raise the singularity tolerances on the very first one
  // Statistics copied after each factorization.
  int32_t lenL = 0, lenU = 0, rowFileEnd = 0, compressions = 0, need = 0;
  int32_t nonzerosAfterFactor = 0;  // L + U right after the last factorization
  // The B-S choice: the smallest U diagonal remembered after the last one, the factorizations
  // since then, and the exchanges made (for the major-iteration log).
  bool haveRememberedDumin = false;
  double rememberedDumin = 0.0;
  int32_t sinceChoice = 0;
  int32_t basisSwaps = 0;
  bool superbasicsChanged = false;  // set when a choice moved variables between the sets, or a
                                    // singular basis took a superbasic slack
  // Storage that grows: when above lena, a factorization that runs out of room gets new
  // element storage (what TRIAX asks for, with margin) up to this many elements instead of
  // ending the run with exit 20. 0: the storage stays as sized.
  int64_t maxFactorElements = 0;
  int32_t storageGrowths = 0;
};

// What a factorization is asked for: the ordinary one ("B "), one that first chooses the basic
// variables among the basic and superbasic ones ("BS"), or one that tests the new factors and
// makes that choice when they have deteriorated ("BT").
enum class FactorKind { kOrdinary, kChooseFirst, kTest };

// Factorizes the basis. Returns kOptimal on success, else the exit code (kNoStorageForFactors,
// kBasisPackageError, kSingularBasis or kTooManyBasics) after printing its message.
ExitCode factorizeBasis(BasisSet& basis, BasisLU& lu, Parameters& params, const ReportChannels& out,
                        FactorizationCounters& counters, FactorKind kind = FactorKind::kOrdinary);

// The B-S choice: a rank factorization of the transposed basic and superbasic columns picks the
// m variables that become basic; the others become superbasic (former superbasics first, in
// their order). Destroys the basis factors. Returns the number of basic variables that became
// superbasic. scratch is reused storage.
// " BS and SB values:" and each basic and superbasic variable's number and value ("Debug
// level" 100).
void printBasicAndSuperbasicValues(const BasisSet& basis, const ReportChannels& out);

int32_t chooseBasicAndSuperbasics(BasisSet& basis, BasisLU& lu, Parameters& params, const ReportChannels& out,
                                  std::vector<int32_t>& scratch);

// Fills basisList[0..m-1] with the basic variables in index order (-1 for empty positions).
// Returns the number of basic variables found.
int32_t buildBasicList(const std::vector<int32_t>& hs, int32_t m, std::vector<int32_t>& basisList);

// Assembles the entries of B into lu's entry area. Returns the number of entries.
int32_t assembleBasis(const Problem& prob, const std::vector<int32_t>& basisList, int32_t m, BasisLU& lu);

}  // namespace kavro
