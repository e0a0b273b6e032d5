// The import's status line and progress bar on stderr.
#pragma once

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

}  // namespace varnex
