// Draws "status [#####.....]  42%" on one terminal line, redrawn only when
// the figure changes.
#include "session/progress.h"

#include <cstdio>

namespace varnex {

namespace {

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

}  // namespace varnex
