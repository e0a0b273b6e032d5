// Keeps the first stop signal's number where the handlers and the work both
// see it, the paths a forced end must not leave behind, and the outputs a
// stop cuts. The handler touches only these fixed records and calls only
// functions that are safe in a signal handler.
#include "io/stop_signals.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace varnex {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// -- Paths a forced end removes

// A note is filled outside the handler with its kind cleared first, so the
// handler never reads a half-copied path.
enum : int { kFree = 0, kFile = 1, kFolder = 2 };
struct RemovalNote {
  char path[4096];
  volatile std::sig_atomic_t kind;
  volatile std::sig_atomic_t order;  // later notes are removed first
};
constexpr int kRemovalNotes = 16;
RemovalNote removalNotes[kRemovalNotes];
std::sig_atomic_t lastOrder = 0;

void RemoveNotedPaths() {
  int below = INT_MAX;
  for (;;) {
    int newest = -1;
    for (int i = 0; i < kRemovalNotes; ++i) {
      const RemovalNote& note = removalNotes[i];
      if (note.kind != kFree && note.order < below && (newest < 0 || note.order > removalNotes[newest].order))
        newest = i;
    }
    if (newest < 0) return;
    below = removalNotes[newest].order;
#ifdef _WIN32
    if (removalNotes[newest].kind == kFolder) _rmdir(removalNotes[newest].path);
    else _unlink(removalNotes[newest].path);
#else
    if (removalNotes[newest].kind == kFolder) rmdir(removalNotes[newest].path);
    else unlink(removalNotes[newest].path);
#endif
  }
}

// -- Outputs a stop cuts

constexpr int kCutSlots = 4;
volatile std::sig_atomic_t cutDescriptors[kCutSlots] = {-1, -1, -1, -1};
// Read-only, so that a write to a descriptor it replaced fails at once; the
// writer still owns and closes that descriptor, now the placeholder's copy.
volatile std::sig_atomic_t placeholder = -1;

void Cut(int fd) {
#ifdef _WIN32
  (void)fd;  // the handler runs on a thread of its own there; a waiting write is not interrupted
#else
  if (placeholder >= 0) dup2(placeholder, fd);
#endif
}

void CutOutputs() {
  for (int i = 0; i < kCutSlots; ++i)
    if (cutDescriptors[i] >= 0) Cut(cutDescriptors[i]);
}

#ifdef _WIN32
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
void (*previousHandlers[3])(int) = {};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3] = {};

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kStopSignals) sigaddset(&set, number);
  return set;
}
#endif

void OnStopSignal(int number) {
  const int savedErrno = errno;  // the work may be about to read it
  if (stopSignal == 0) {
    stopSignal = number;
#ifdef _WIN32
    std::signal(number, OnStopSignal);  // the C runtime put the default back
#endif
    CutOutputs();
    errno = savedErrno;
    return;
  }
  RemoveNotedPaths();
  std::signal(number, SIG_DFL);
#ifndef _WIN32
  // The handler's mask holds every stop signal back; this one must end us now.
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, number);
  sigprocmask(SIG_UNBLOCK, &own, nullptr);
#endif
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

StopSignalsDeferred::StopSignalsDeferred() {}
StopSignalsDeferred::~StopSignalsDeferred() {}
#else
// No SA_RESTART: a read from a FIFO, an open of one or a wait for a worker
// returns at once with EINTR, so that the stop is seen without delay. While
// the handler runs, the other stop signals wait, so that two at once are
// still a first and a second.
StopSignals::StopSignals() {
  stopSignal = 0;
  placeholder = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int ends[2];
  if (placeholder < 0 && pipe(ends) == 0) {  // a pipe's reading end refuses writes as well
    close(ends[1]);
    placeholder = ends[0];
  }
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  action.sa_mask = StopSignalSet();
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previousActions[i]);
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previousActions[i], nullptr);
  if (placeholder >= 0) close(placeholder);
  placeholder = -1;
}

namespace {
sigset_t deferredPrevious;
int deferredDepth = 0;
}  // namespace

StopSignalsDeferred::StopSignalsDeferred() {
  if (deferredDepth++ > 0) return;
  const sigset_t stops = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &stops, &deferredPrevious);
}

StopSignalsDeferred::~StopSignalsDeferred() {
  if (--deferredDepth > 0) return;
  pthread_sigmask(SIG_SETMASK, &deferredPrevious, nullptr);
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

int RemoveOnForcedEnd(const std::string& path, bool folder) {
  if (path.size() >= sizeof removalNotes[0].path) return -1;
  for (int i = 0; i < kRemovalNotes; ++i) {
    RemovalNote& note = removalNotes[i];
    if (note.kind != kFree) continue;
    std::memcpy(note.path, path.c_str(), path.size() + 1);
    note.order = ++lastOrder;
    note.kind = folder ? kFolder : kFile;
    return i;
  }
  return -1;
}

void ForgetOnForcedEnd(int note) {
  if (note >= 0 && note < kRemovalNotes) removalNotes[note].kind = kFree;
}

StopCutsOutput::StopCutsOutput(int fd) {
  for (int i = 0; i < kCutSlots; ++i) {
    if (cutDescriptors[i] >= 0) continue;
    cutDescriptors[i] = fd;
    slot_ = i;
    break;
  }
  if (StopRequested()) Cut(fd);  // the stop came first: nothing would wake this writer
}

StopCutsOutput::~StopCutsOutput() {
  if (slot_ >= 0) cutDescriptors[slot_] = -1;
}

}  // namespace varnex
