#include "optimizer/loop_exit.hpp"

namespace kavro {

const char* exitMessage(ExitCode code) {
  switch (code) {
    case kOptimal: return " EXIT -- optimal solution found";
    case kInfeasible: return " EXIT -- the problem is infeasible";
    case kUnbounded: return " EXIT -- the problem is unbounded (or badly scaled).";
    case kTooManyIterations: return " EXIT -- too many iterations";
    case kNumericalError: return " EXIT -- numerical error.  General constraints cannot be satisfied accurately";
    case kFactorizationTwice: return " EXIT -- basis factorization requested twice in a row";
    case kTimeLimit: return " EXIT -- CPU limit exceeded";
    case kInterrupted: return " EXIT -- control-c interrupt";
    default: return nullptr;  // printed where they arise
  }
}

}  // namespace kavro
