// The import's status line and progress bar on stderr, and Ctrl-C turned
// into a request to stop the import.
#pragma once

#include <signal.h>

#include <cstdint>
#include <string>

namespace varnex {

class TerminalProgress {
 public:
  explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
  void SetStatus(const std::string& text);
  void Show(int64_t done, int64_t total);
  // Removes the bar so that a message can take the line.
  void Clear();

 private:
  void Draw();
  bool enabled_;
  bool drawn_ = false;
  std::string status_;
  int permille_ = -1;
};

// While it lives, the first Ctrl-C makes InterruptRequested() true instead
// of ending the program; a second one ends it as usual.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
#ifdef _WIN32
  void (*previous_)(int) = nullptr;
#else
  struct sigaction previous_ = {};
#endif
};

bool InterruptRequested();

}  // namespace varnex
