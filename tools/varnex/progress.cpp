// Draws "status [#####.....]  42%" on one terminal line, redrawn only when
// the figure changes, and keeps the Ctrl-C flag the abort polls answer with.
#include "progress.h"

#include <csignal>
#include <cstdio>

namespace varnex {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

void OnInterrupt(int) { interruptFlag = 1; }

constexpr int kBarWidth = 30;

}  // namespace

void TerminalProgress::SetStatus(const std::string& text) {
  status_ = text;
  if (enabled_) Draw();
}

void TerminalProgress::Show(int64_t done, int64_t total) {
  if (!enabled_ || total <= 0) return;
  int permille = static_cast<int>(done >= total ? 1000 : done <= 0 ? 0 : done * 1000 / total);
  if (permille == permille_) return;
  permille_ = permille;
  Draw();
}

void TerminalProgress::Draw() {
  char bar[kBarWidth + 1];
  int filled = permille_ < 0 ? 0 : permille_ * kBarWidth / 1000;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r\033[K%s [%s] %3d%%", status_.c_str(), bar, permille_ < 0 ? 0 : permille_ / 10);
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalProgress::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

#ifdef _WIN32
// The C runtime puts the default handler back before it calls ours, so a
// second Ctrl-C ends the program here too.
InterruptGuard::InterruptGuard() {
  interruptFlag = 0;
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptGuard::~InterruptGuard() { std::signal(SIGINT, previous_); }
#else
InterruptGuard::InterruptGuard() {
  interruptFlag = 0;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previous_, nullptr);
}
#endif

bool InterruptRequested() { return interruptFlag != 0; }

}  // namespace varnex
