// Writing an output without harming what the path names: "-" is standard
// output; a FIFO or a character device is written directly, never replaced;
// a symbolic link is followed to its target; a new or regular file is written
// whole or not at all, through a temporary beside it renamed over it. A file
// the user may not write, or one an import reads, is refused.
#pragma once

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/stop_signals.h"

namespace varnex {

// Why PATH must not be written by an import that reads INPUTS, as the user
// is told it before the import: it is one of them (links followed, the same
// device and inode), or an existing file the user may not write (as the
// shell's ">" refuses it; root may). Empty when it may be written.
std::string OutputRefusal(const std::string& path, const std::vector<std::filesystem::path>& inputs);

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an output never committed leaves no temporary behind
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False with the reason (as strerror words it) when PATH cannot be written.
  bool Open(const std::string& path, std::string& error);
  std::FILE* stream() const { return stream_; }
  // Completes the output; a temporary is synced and renamed over the
  // target, unless a stop signal came meanwhile (the reason is then "stopped").
  bool Commit(std::string& error);

 private:
  void Abandon();
  std::string target_;     // the path written, links followed
  std::string temporary_;  // empty when written directly
  int removalNote_ = -1;   // the temporary's, for a forced end
  std::FILE* stream_ = nullptr;
  bool standardOutput_ = false;
  std::unique_ptr<StopCutsOutput> cut_;  // a stream that may wait on its reader
};

// The whole of BYTES to PATH through an OutputFile; or of PARTS, one after
// another, so that a large part is written where it lies.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);
bool WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> parts, std::string& error);

}  // namespace varnex
