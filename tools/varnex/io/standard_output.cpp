// The end-of-command check of standard output, and its guard against a
// closed descriptor at the start.
#include "io/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "io/exit_codes.h"
#include "io/stop_signals.h"

namespace varnex {

namespace {

bool failureReported = false;
int failureReason = 0;  // errno of the first flush that failed: a failed flush may drop what it held

}  // namespace

void KeepStandardDescriptorsTaken() {
#ifndef _WIN32
  // The opposite direction of each, so that any use of it fails.
  constexpr int kRefusing[3] = {O_WRONLY, O_RDONLY, O_RDONLY};
  for (int fd = 0; fd < 3; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", kRefusing[fd]);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
#endif
}

void FlushStandardOutput() {
  if (std::fflush(stdout) != 0 && failureReason == 0) failureReason = errno;
}

void StandardOutputFailureReported() { failureReported = true; }

int FinishStandardOutput(int exitCode) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int code = !flushed && errno != 0 ? errno : failureReason;
  if (flushed && !std::ferror(stdout)) return exitCode;
  if (StopRequested()) return exitCode;
  if (!failureReported) {
    if (code != 0) std::fprintf(stderr, "varnex: cannot write to standard output: %s\n", std::strerror(code));
    else std::fprintf(stderr, "varnex: cannot write to standard output\n");
  }
  return exitCode > 128 ? exitCode : kExitHostProblem;
}

}  // namespace varnex
