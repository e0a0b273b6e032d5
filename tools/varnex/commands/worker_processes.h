// The convert command's worker processes: starts varnex again with its
// output going to a log file, and waits for whichever worker ends first.
// Workers end with their parent: a stop signal is passed on to them, and a
// parent that dies takes them along (parent-death signal, or a job object).
// POSIX uses fork/exec and waitpid, Windows CreateProcess and a wait on handles.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnex {

struct WorkerEnd {
  size_t job;
  bool ok;             // exited with code 0
  bool stopped;        // ended by a stop signal (see stop_signals.h)
  std::string result;  // "ok", "stopped", "failed (exit N)", "crashed (…)"
};

class WorkerProcesses {
 public:
  WorkerProcesses();
  ~WorkerProcesses();
  WorkerProcesses(const WorkerProcesses&) = delete;
  WorkerProcesses& operator=(const WorkerProcesses&) = delete;

  // Runs args[0] with args, stdin empty, stdout and stderr into log. On
  // failure answers false with the reason.
  bool Start(size_t job, const std::vector<std::string>& args, const std::filesystem::path& log,
             std::string& reason);
  // Blocks until a running worker ends; nothing when none runs. Once a stop
  // is requested, every running worker is asked to stop as well.
  std::optional<WorkerEnd> WaitForAny();
  size_t Running() const;
  // The most workers that can run at once (Windows waits on at most 64 handles).
  static size_t Limit();

 private:
  struct Table;
  std::unique_ptr<Table> table_;
};

// A fresh folder in the system's temporary folder, removed with everything
// in it when the object goes; empty path() when none could be made.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The running program's own file, for starting it again.
std::string ProgramFile();
// Distinguishes this run's temporary files from another run's in the same folder.
unsigned long ProcessNumber();
bool StderrIsTerminal();

}  // namespace varnex
