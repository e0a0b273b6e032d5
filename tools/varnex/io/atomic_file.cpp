// Decides from what PATH names how to write it, and keeps the temporary of
// a replaced file registered so that a forced end removes it too.
#include "io/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "io/stop_signals.h"

namespace varnex {

namespace {

std::string Reason(int code) { return code == EINTR && StopRequested() ? "stopped" : std::strerror(code); }

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Abandon() {
  if (stream_ != nullptr && !standardOutput_) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    SetPendingTemporary(nullptr);
    temporary_.clear();
  }
}

#ifdef _WIN32

// Windows has no mkstemp, FIFOs or links to follow here: the temporary is
// named after the process and moved over the target in one step.
bool OutputFile::Open(const std::string& path, std::string& error) {
  if (path == "-") {
    _setmode(_fileno(stdout), _O_BINARY);
    stream_ = stdout;
    standardOutput_ = true;
    return true;
  }
  target_ = path;
  temporary_ = path + ".tmp" + std::to_string(GetCurrentProcessId());
  stream_ = std::fopen(temporary_.c_str(), "wb");
  if (stream_ == nullptr) {
    error = Reason(errno);
    temporary_.clear();
    return false;
  }
  SetPendingTemporary(temporary_.c_str());
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (standardOutput_) {
    const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!ok) error = Reason(errno);
    return ok;
  }
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_) && _commit(_fileno(stream_)) == 0;
  int code = errno;
  if (std::fclose(stream_) != 0 && ok) ok = false, code = errno;
  stream_ = nullptr;
  if (ok && StopRequested()) ok = false, code = EINTR;
  if (ok && !MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    code = EACCES;
  }
  if (ok) {
    SetPendingTemporary(nullptr);
    temporary_.clear();
  } else {
    error = Reason(code);
    Abandon();
  }
  return ok;
}

#else

namespace {

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Follows symbolic links to the path finally written; fills STATUS, or
// answers false with errno ENOENT when that path does not exist yet.
bool FollowLinks(std::string& path, struct stat& status) {
  for (int hops = 0; hops < 40; ++hops) {
    if (::lstat(path.c_str(), &status) != 0) return false;
    if (!S_ISLNK(status.st_mode)) return true;
    std::vector<char> link(4096);
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size() - 1);
    if (length < 0) return false;
    const std::filesystem::path target(std::string(link.data(), size_t(length)));
    path = target.is_absolute() ? target.string() : (std::filesystem::path(path).parent_path() / target).string();
  }
  errno = ELOOP;
  return false;
}

}  // namespace

bool OutputFile::Open(const std::string& path, std::string& error) {
  if (path == "-") {
    stream_ = stdout;
    standardOutput_ = true;
    return true;
  }
  target_ = path;
  struct stat status = {};
  mode_t mode = 0;
  if (FollowLinks(target_, status)) {
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
      const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      stream_ = fd < 0 ? nullptr : ::fdopen(fd, "wb");
      if (stream_ == nullptr) {
        error = Reason(errno);
        if (fd >= 0) ::close(fd);
        return false;
      }
      return true;
    }
    if (S_ISDIR(status.st_mode)) {
      error = std::strerror(EISDIR);
      return false;
    }
    if (!S_ISREG(status.st_mode)) {
      error = "not a regular file, character device or FIFO";
      return false;
    }
    mode = status.st_mode & 07777;  // a replaced file keeps its rights
  } else if (errno == ENOENT) {
    mode = NewFileMode();
  } else {
    error = Reason(errno);
    return false;
  }

  const std::filesystem::path target(target_);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  temporary_ = name.data();
  SetPendingTemporary(temporary_.c_str());
  ::fchmod(fd, mode);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    error = Reason(errno);
    ::close(fd);
    Abandon();
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (standardOutput_) {
    const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!ok) error = Reason(errno);
    stream_ = nullptr;
    return ok;
  }
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  int code = errno;
  if (ok && !temporary_.empty() && ::fsync(::fileno(stream_)) != 0) ok = false, code = errno;
  if (std::fclose(stream_) != 0 && ok) ok = false, code = errno;
  stream_ = nullptr;
  // A stop that came while writing abandons the file rather than finish it.
  if (ok && !temporary_.empty() && StopRequested()) ok = false, code = EINTR;
  if (ok && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) ok = false, code = errno;
  if (ok) {
    if (!temporary_.empty()) SetPendingTemporary(nullptr);
    temporary_.clear();
  } else {
    error = Reason(code != 0 ? code : EIO);
    Abandon();
  }
  return ok;
}

#endif

bool WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> parts, std::string& error) {
  OutputFile output;
  if (!output.Open(path, error)) return false;
  for (const std::string_view bytes : parts) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), output.stream()) != bytes.size()) {
      const int code = errno;
      output.Commit(error);  // reports the stream's error, removes the temporary
      if (error.empty()) error = Reason(code);
      return false;
    }
  }
  return output.Commit(error);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  return WriteFileAtomically(path, {bytes}, error);
}

}  // namespace varnex
