#pragma once
// The stop signals of the command-line programs: Ctrl-C (SIGINT), SIGTERM and SIGHUP. The first
// one only sets a flag, which the solver's progress callback (or a host's interrupt check) turns
// into a stop request: the run ends at its next iteration with its point reported and its files
// written as the options ask. A second stop signal ends the process at once, as the signal's
// default action does.
//
// A signal handler can reach nothing but process-wide state, so the flag is the one global of
// these programs; it is only ever set by the handler and read by the program.

#include <csignal>

namespace kavro::app {

// Installs the handlers (interrupted system calls are restarted, so reading a pipe or a
// terminal is not cut short).
void watchStopSignals();
// Back to the default actions.
void restoreStopSignals();

bool stopRequested();
// The signal that asked to stop, 0 while none has.
int stopSignal();
// The flag itself, for a host's interrupt watch: nonzero once a stop signal came.
const volatile std::sig_atomic_t* stopFlag();
// "SIGTERM", "SIGHUP", "SIGINT".
const char* signalName(int signal);

}  // namespace kavro::app
