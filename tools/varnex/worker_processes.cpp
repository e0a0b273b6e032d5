// Starts and reaps the convert command's workers. A worker's crash must not
// take the convert command along, and on Windows it must not open an error
// dialog that waits for a person either.
#include "worker_processes.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace varnex {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

// The command line as the C runtime splits it again: quotes around an
// argument with blanks or quotes, a quote escaped with a backslash, and
// backslashes doubled only where a quote follows them.
std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string SystemMessage(DWORD code) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
  return length ? std::string(text, length) : "error " + std::to_string(code);
}

}  // namespace

struct WorkerProcesses::Table {
  std::vector<HANDLE> processes;
  std::vector<size_t> jobs;
};

WorkerProcesses::WorkerProcesses() : table_(std::make_unique<Table>()) {
  // Inherited by the workers: a crash ends the worker without a dialog.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

WorkerProcesses::~WorkerProcesses() {
  for (HANDLE process : table_->processes) CloseHandle(process);
}

bool WorkerProcesses::Start(size_t job, const std::vector<std::string>& args, const fs::path& log,
                            std::string& reason) {
  std::string commandLine;
  for (const std::string& argument : args) commandLine += (commandLine.empty() ? "" : " ") + QuoteArgument(argument);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    reason = SystemMessage(GetLastError());
    return false;
  }
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  std::fflush(nullptr);
  const BOOL started = CreateProcessA(args[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD error = GetLastError();
  CloseHandle(output);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!started) {
    reason = SystemMessage(error);
    return false;
  }
  CloseHandle(process.hThread);
  table_->processes.push_back(process.hProcess);
  table_->jobs.push_back(job);
  return true;
}

std::optional<WorkerEnd> WorkerProcesses::WaitForAny() {
  if (table_->processes.empty()) return std::nullopt;
  const DWORD count = static_cast<DWORD>(table_->processes.size());
  const DWORD signalled = WaitForMultipleObjects(count, table_->processes.data(), FALSE, INFINITE);
  if (signalled >= WAIT_OBJECT_0 + count) return std::nullopt;
  const size_t index = signalled - WAIT_OBJECT_0;
  HANDLE process = table_->processes[index];
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  WorkerEnd end{table_->jobs[index], code == 0, "ok"};
  table_->processes.erase(table_->processes.begin() + static_cast<std::ptrdiff_t>(index));
  table_->jobs.erase(table_->jobs.begin() + static_cast<std::ptrdiff_t>(index));
  if (code >= 0xC0000000u) {  // an NTSTATUS error code: the worker died of an exception
    char text[40];
    std::snprintf(text, sizeof text, "crashed (exception 0x%08lX)", static_cast<unsigned long>(code));
    end.result = text;
  } else if (code != 0) {
    end.result = "failed (exit " + std::to_string(code) + ")";
  }
  return end;
}

size_t WorkerProcesses::Running() const { return table_->processes.size(); }
size_t WorkerProcesses::Limit() { return MAXIMUM_WAIT_OBJECTS; }

std::string ProgramFile() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string("varnex.exe") : std::string(path, length);
}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

#else

struct WorkerProcesses::Table {
  std::map<pid_t, size_t> running;
};

WorkerProcesses::WorkerProcesses() : table_(std::make_unique<Table>()) {}
WorkerProcesses::~WorkerProcesses() = default;

bool WorkerProcesses::Start(size_t job, const std::vector<std::string>& args, const fs::path& log,
                            std::string& reason) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      close(fd);
    }
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    execv(argv[0], argv.data());
    std::fprintf(stderr, "varnex: cannot start a worker: %s\n", std::strerror(errno));
    _exit(127);
  }
  table_->running[pid] = job;
  return true;
}

std::optional<WorkerEnd> WorkerProcesses::WaitForAny() {
  while (!table_->running.empty()) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    auto it = table_->running.find(pid);
    if (it == table_->running.end()) continue;
    WorkerEnd end{it->second, false, ""};
    table_->running.erase(it);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      end.ok = true;
      end.result = "ok";
    } else if (WIFSIGNALED(status)) {
      end.result = "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    } else {
      end.result = "failed (exit " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return end;
  }
  return std::nullopt;
}

size_t WorkerProcesses::Running() const { return table_->running.size(); }
size_t WorkerProcesses::Limit() { return static_cast<size_t>(-1); }

std::string ProgramFile() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("varnex") : self.string();
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

#endif

}  // namespace varnex
