// SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on Windows) turned into a
// request to stop: the work in hand checks StopRequested() at its safe points,
// removes its temporaries, says what it did and leaves with StopExitCode().
#pragma once

#include <string>

namespace varnex {

// While one lives, the first stop signal only records itself; a second one
// ends the program at once, removing every path held for a forced end.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

bool StopRequested();
int StopSignalNumber();       // 0 while none came
const char* StopSignalName();  // "SIGINT", ...
int StopExitCode();           // 128 plus the signal number, as shells report it

// Holds the stop signals back while it lives, so that a file and the note
// that removes it on a forced end are made, or undone, as one step.
class StopSignalsDeferred {
 public:
  StopSignalsDeferred();
  ~StopSignalsDeferred();
  StopSignalsDeferred(const StopSignalsDeferred&) = delete;
  StopSignalsDeferred& operator=(const StopSignalsDeferred&) = delete;
};

// A path that a forced end removes (unlink, or rmdir for a folder), the
// newest first, so that a folder's entries go before the folder. Answers a
// note to forget it by once its owner removed it, or -1 when none is free.
int RemoveOnForcedEnd(const std::string& path, bool folder);
void ForgetOnForcedEnd(int note);

// While one lives, a stop signal makes every write to FD fail at once: a
// write that waits on a reader who does not read (a stopped pager, a full
// pipe) returns, and the writer's next writes fail instead of waiting again.
class StopCutsOutput {
 public:
  explicit StopCutsOutput(int fd);
  ~StopCutsOutput();
  StopCutsOutput(const StopCutsOutput&) = delete;
  StopCutsOutput& operator=(const StopCutsOutput&) = delete;

 private:
  int slot_ = -1;
};

}  // namespace varnex
