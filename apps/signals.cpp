#include "signals.hpp"

namespace kavro::app {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t stopSignalNumber = 0;

void setAction(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &action, nullptr);
}

extern "C" void onStopSignal(int signal) {
  stopSignalNumber = signal;
  setAction(SIG_DFL);  // the next stop signal ends the process
}

}  // namespace

void watchStopSignals() { setAction(onStopSignal); }
void restoreStopSignals() { setAction(SIG_DFL); }
bool stopRequested() { return stopSignalNumber != 0; }
int stopSignal() { return stopSignalNumber; }
const volatile std::sig_atomic_t* stopFlag() { return &stopSignalNumber; }

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace kavro::app
