// Starts and reaps the convert command's workers. A worker's crash must not
// take the convert command along, and on Windows it must not open an error
// dialog that waits for a person either. No worker outlives the command.
#include "commands/worker_processes.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "io/stop_signals.h"

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
  HANDLE job = nullptr;  // closing it, even by dying, ends every worker
};

WorkerProcesses::WorkerProcesses() : table_(std::make_unique<Table>()) {
  // Inherited by the workers: a crash ends the worker without a dialog.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  table_->job = CreateJobObjectA(nullptr, nullptr);
  if (table_->job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(table_->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
}

WorkerProcesses::~WorkerProcesses() {
  for (HANDLE process : table_->processes) CloseHandle(process);
  if (table_->job != nullptr) CloseHandle(table_->job);
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
  // Suspended until it is in the job, so that not even its first steps outlive us.
  const BOOL started = CreateProcessA(args[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                      nullptr, nullptr, &startup, &process);
  const DWORD error = GetLastError();
  CloseHandle(output);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!started) {
    reason = SystemMessage(error);
    return false;
  }
  if (table_->job != nullptr) AssignProcessToJobObject(table_->job, process.hProcess);
  ResumeThread(process.hThread);
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
  WorkerEnd end{table_->jobs[index], code == 0, false, "ok"};
  table_->processes.erase(table_->processes.begin() + static_cast<std::ptrdiff_t>(index));
  table_->jobs.erase(table_->jobs.begin() + static_cast<std::ptrdiff_t>(index));
  // The console's Ctrl-C reaches every worker itself; a stopped one answers
  // 128 plus the signal, or the runtime's own Ctrl-C code.
  if (code != 0 && StopRequested() && ((code > 128 && code < 160) || code == 0xC000013Au)) {
    end.stopped = true;
    end.result = "stopped";
  } else if (code >= 0xC0000000u) {  // an NTSTATUS error code: the worker died of an exception
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

namespace {

// A SIGCHLD with a handler, unlike an ignored one, stays pending for sigwait.
void OnChildEnded(int) {}

// How long a worker asked to stop may take to remove its temporaries before
// it is killed: a stopped import answers at its next abort poll, well within it.
constexpr std::chrono::seconds kStopGrace{5};

// A worker that ends by a signal, or with 128 plus one, after a stop was
// requested was stopped rather than failed.
void Describe(int status, WorkerEnd& end) {
  const int code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  if (code > 128 && StopRequested()) {
    end.stopped = true;
    end.result = "stopped";
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    end.ok = true;
    end.result = "ok";
  } else if (WIFSIGNALED(status)) {
    end.result = "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
  } else {
    end.result = "failed (exit " + std::to_string(WEXITSTATUS(status)) + ")";
  }
}

}  // namespace

struct WorkerProcesses::Table {
  std::map<pid_t, size_t> running;
  bool stopping = false;  // the workers were asked to stop
  bool forced = false;    // ... and asked again, after a second stop signal
  struct sigaction previousChildAction = {};
  sigset_t previousMask;
};

// While the pool lives the stop signals are blocked outside WaitForAny, so
// that none lands between a check and a wait; after a stop they stay blocked
// until the program ends, and a second one cannot cut its cleanup short.
WorkerProcesses::WorkerProcesses() : table_(std::make_unique<Table>()) {
  struct sigaction action = {};
  action.sa_handler = OnChildEnded;
  action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, &table_->previousChildAction);
  sigset_t stops;
  sigemptyset(&stops);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, number);
  sigprocmask(SIG_BLOCK, &stops, &table_->previousMask);
}

// Workers still running (the command is leaving early) are asked to stop,
// given a grace period to remove their temporaries, then killed; each is
// reaped, so that leaving never waits on a worker that does not answer.
WorkerProcesses::~WorkerProcesses() {
  for (const auto& [pid, job] : table_->running) kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  while (!table_->running.empty() && std::chrono::steady_clock::now() < deadline) {
    for (auto it = table_->running.begin(); it != table_->running.end();)
      it = waitpid(it->first, nullptr, WNOHANG) == 0 ? std::next(it) : table_->running.erase(it);
    if (!table_->running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (const auto& [pid, job] : table_->running) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  sigaction(SIGCHLD, &table_->previousChildAction, nullptr);
  if (!StopRequested()) sigprocmask(SIG_SETMASK, &table_->previousMask, nullptr);
}

bool WorkerProcesses::Start(size_t job, const std::vector<std::string>& args, const fs::path& log,
                            std::string& reason) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    // A group of its own: a terminal's Ctrl-C reaches only the parent, which
    // passes it on once; a worker stopped twice would end without cleaning up.
    setpgid(0, 0);
    // Until exec puts its own handlers in, a stop simply ends the worker.
    for (int number : {SIGINT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
#ifdef __linux__
    // A parent killed outright takes its workers along; one already gone
    // before this line leaves nothing to wait for.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(128 + SIGTERM);
#else
    (void)parent;
#endif
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
  setpgid(pid, pid);  // set on both sides, so that no stop finds it half done
  table_->running[pid] = job;
  return true;
}

// The child and stop signals are taken one at a time with sigwait, never
// while a check is under way. The first stop signal is handed to its handler
// (unblocked for that one signal alone), which notes the stop; a second one
// never reaches the handler's forced end: it is passed on to the workers,
// whose own second-signal rule ends them at once, and the command still
// reaps them, removes its folder and prints its table. Only the workers'
// own pids are waited for: another child of the program is not ours to reap.
std::optional<WorkerEnd> WorkerProcesses::WaitForAny() {
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  for (int number : {SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, number);
  sigprocmask(SIG_BLOCK, &blocked, &previous);
  std::optional<WorkerEnd> end;
  while (!end && !table_->running.empty()) {
    for (auto it = table_->running.begin(); it != table_->running.end(); ++it) {
      int status = 0;
      if (waitpid(it->first, &status, WNOHANG) != it->first) continue;
      end = WorkerEnd{it->second, false, false, ""};
      table_->running.erase(it);
      Describe(status, *end);
      break;
    }
    if (end) break;
    if (StopRequested() && !table_->stopping) {
      table_->stopping = true;
      for (const auto& [worker, job] : table_->running) kill(worker, SIGTERM);
      continue;
    }
    int number = 0;
    if (sigwait(&blocked, &number) != 0 || number == SIGCHLD) continue;
    if (!StopRequested()) {
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, number);
      raise(number);
      sigprocmask(SIG_UNBLOCK, &one, nullptr);
      sigprocmask(SIG_BLOCK, &one, nullptr);
    } else if (!table_->forced) {
      table_->forced = true;
      for (const auto& [worker, job] : table_->running) kill(worker, SIGTERM);
    }
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return end;
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

TemporaryFolder::TemporaryFolder() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("varnex-" + std::to_string(ProcessNumber()) + "-" + std::to_string(attempt));
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
    if (ec) return;
  }
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

}  // namespace varnex
