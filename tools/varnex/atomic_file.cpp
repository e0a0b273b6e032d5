// Writes through a temporary file in the target's folder, so that a reader
// never sees half a file and a failed write leaves the old one in place.
#include "atomic_file.h"

#include "stop_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnex {

#ifdef _WIN32

// Windows has no mkstemp or fsync: the temporary file is named after the
// process, flushed with _commit, and moved over the target in one step.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 &&
            _commit(_fileno(file)) == 0;
  int code = errno;
  if (std::fclose(file) != 0 && ok) ok = false, code = errno;
  if (ok && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    code = EACCES;
  }
  if (!ok) {
    std::remove(temporary.c_str());
    error = std::strerror(code);
  }
  return ok;
}

#else

namespace {

std::string Reason(int code) { return std::strerror(code); }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  const std::filesystem::path target(path);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  SetPendingTemporary(name.data());
  bool ok = WriteAll(fd, bytes);
  int code = errno;
  // mkstemp makes the file readable by the owner only; give it the usual rights.
  if (ok) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  if (ok && ::fsync(fd) != 0) ok = false, code = errno;
  if (::close(fd) != 0 && ok) ok = false, code = errno;
  // A stop that came while writing abandons the file rather than finish it.
  if (ok && StopRequested()) ok = false, code = EINTR;
  if (ok && std::rename(name.data(), path.c_str()) != 0) ok = false, code = errno;
  if (!ok) ::unlink(name.data());
  SetPendingTemporary(nullptr);
  if (!ok) error = code == EINTR && StopRequested() ? "stopped" : Reason(code);
  return ok;
}

#endif

}  // namespace varnex
