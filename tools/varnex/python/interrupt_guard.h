// Ctrl-C inside a module call. While an import runs, Python's own SIGINT
// handler could not act until the call returns, so the guard puts a handler
// of its own in its place that only notes the interrupt; the import's next
// abort poll then stops it. Afterwards Python's handler is put back and the
// interrupt handed to it, so Python raises KeyboardInterrupt (or runs the
// user's handler) as if the signal came then. A process that ignores
// SIGINT, or leaves it to the system, keeps doing so.
#pragma once

#include <csignal>

namespace varnex {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Whether an interrupt came since the guard was made.
  static bool Interrupted();
  // Puts Python's handler back now; answers whether an interrupt came, which
  // the caller then hands to Python (PyErr_SetInterruptEx).
  bool Release();

 private:
  bool installed_ = false;
  struct sigaction previous_ = {};
};

}  // namespace varnex
