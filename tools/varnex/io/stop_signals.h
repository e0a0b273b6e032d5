// SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on Windows) turned into a
// request to stop: the work in hand checks StopRequested() at its safe points,
// removes its temporaries, says what it did and leaves with StopExitCode().
#pragma once

namespace varnex {

// While one lives, the first stop signal only records itself; a second one
// ends the program at once, removing the output temporary being written.
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

// The temporary file an output is being written to, removed by a second
// signal; nullptr when none.
void SetPendingTemporary(const char* path);

}  // namespace varnex
