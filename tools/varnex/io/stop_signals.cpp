// Keeps the first stop signal's number where the handlers and the work both
// see it, and the name of the temporary a forced end must not leave behind.
#include "io/stop_signals.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace varnex {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// Written only outside the handler, with the flag cleared first, so the
// handler never reads a half-copied name.
char pendingTemporary[4096];
volatile std::sig_atomic_t pendingSet = 0;

#ifdef _WIN32
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
void (*previousHandlers[3])(int) = {};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3] = {};
#endif

void RemovePendingTemporary() {
  if (!pendingSet) return;
#ifdef _WIN32
  _unlink(pendingTemporary);
#else
  unlink(pendingTemporary);
#endif
}

void OnStopSignal(int number) {
  if (stopSignal == 0) {
    stopSignal = number;
#ifdef _WIN32
    std::signal(number, OnStopSignal);  // the C runtime put the default back
#endif
    return;
  }
  RemovePendingTemporary();
  std::signal(number, SIG_DFL);
  std::raise(number);
}

}  // namespace

#ifdef _WIN32
StopSignals::StopSignals() {
  stopSignal = 0;
  for (size_t i = 0; i < 3; ++i) previousHandlers[i] = std::signal(kStopSignals[i], OnStopSignal);
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < 3; ++i) std::signal(kStopSignals[i], previousHandlers[i]);
}
#else
// No SA_RESTART: a read from a FIFO, an open of one or a wait for a worker
// returns at once with EINTR, so that the stop is seen without delay.
StopSignals::StopSignals() {
  stopSignal = 0;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previousActions[i]);
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previousActions[i], nullptr);
}
#endif

bool StopRequested() { return stopSignal != 0; }
int StopSignalNumber() { return stopSignal; }

const char* StopSignalName() {
  switch (stopSignal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#ifdef _WIN32
    case SIGBREAK: return "SIGBREAK";
#else
    case SIGHUP: return "SIGHUP";
#endif
    default: return "a signal";
  }
}

int StopExitCode() { return 128 + stopSignal; }

void SetPendingTemporary(const char* path) {
  pendingSet = 0;
  if (path == nullptr || std::strlen(path) >= sizeof pendingTemporary) return;
  std::memcpy(pendingTemporary, path, std::strlen(path) + 1);
  pendingSet = 1;
}

}  // namespace varnex
