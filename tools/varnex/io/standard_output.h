// Standard output is checked as any output is: a write that fails there (a
// full disk, a closed descriptor, a reader that went away) is said on stderr
// and makes the exit code 2, never a silent 0.
#pragma once

namespace varnex {

// Puts a descriptor that refuses its use on any of 0, 1 and 2 that is
// closed, so that no file varnex opens takes their place and receives what
// was meant for the terminal; a write to a closed stdout then fails as it should.
void KeepStandardDescriptorsTaken();

// Flushes what was printed so far (the scene, a dialog's answer), keeping
// the reason of a failure for the line FinishStandardOutput says.
void FlushStandardOutput();

// An export to "-" said that standard output failed; no second line for it.
void StandardOutputFailureReported();

// Flushes standard output at the end of a command. When anything written to
// it failed, says so on stderr (unless said already or a stop ended the
// command) and answers 2; a stop's 128 + N stays. Otherwise EXIT_CODE.
int FinishStandardOutput(int exitCode);

}  // namespace varnex
