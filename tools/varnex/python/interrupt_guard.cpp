// The guard's handler only sets a flag, which is all a handler may do; the
// flag is read by the import's abort poll on whichever thread runs it. POSIX only, as the module is.
#include "python/interrupt_guard.h"

#include <atomic>

namespace varnex {

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true, std::memory_order_relaxed); }

}  // namespace

InterruptGuard::InterruptGuard() {
  interrupted = false;
  if (sigaction(SIGINT, nullptr, &previous_) != 0) return;
  const bool pythonHandles = (previous_.sa_flags & SA_SIGINFO) != 0 ||
                             (previous_.sa_handler != SIG_IGN && previous_.sa_handler != SIG_DFL);
  if (!pythonHandles) return;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  installed_ = sigaction(SIGINT, &action, nullptr) == 0;
}

InterruptGuard::~InterruptGuard() { Release(); }

bool InterruptGuard::Release() {
  if (installed_) sigaction(SIGINT, &previous_, nullptr);
  installed_ = false;
  return interrupted.exchange(false);
}

bool InterruptGuard::Interrupted() { return interrupted.load(std::memory_order_relaxed); }

}  // namespace varnex
