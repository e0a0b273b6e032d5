// Decides from what PATH names how to write it, and keeps the temporary of
// a replaced file noted so that a forced end removes it too.
#include "io/atomic_file.h"

#include <algorithm>
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

#include "io/standard_output.h"
#include "io/stop_signals.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

// After a stop, whatever failed failed because of it.
std::string Reason(int code) { return StopRequested() ? "stopped" : std::strerror(code); }

// The temporary's name: the target's after a dot, with a random tail; a
// name near the longest a folder takes is shortened, at a character's
// start, so that the temporary still fits.
std::string TemporaryName(const std::string& fileName, size_t longest, const std::string& tail) {
  const size_t room = longest > tail.size() + 1 ? longest - tail.size() - 1 : 0;
  size_t keep = std::min(fileName.size(), room);
  while (keep > 0 && keep < fileName.size() && (static_cast<unsigned char>(fileName[keep]) & 0xC0) == 0x80) --keep;
  return "." + fileName.substr(0, keep) + tail;
}

// Whether two paths name one file, links followed. A FIFO or a device too,
// which std::filesystem::equivalent will not compare.
bool SameFile(const std::string& a, const fs::path& b) {
#ifdef _WIN32
  std::error_code ec;
  return fs::equivalent(a, b, ec);
#else
  struct stat first = {}, second = {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
#endif
}

}  // namespace

std::string OutputRefusal(const std::string& path, const std::vector<fs::path>& inputs) {
  if (path == "-") return {};
  std::error_code ec;
  if (!fs::exists(path, ec)) return {};
  for (const fs::path& input : inputs)
    if (SameFile(path, input)) return "it is the input " + input.string();
#ifndef _WIN32
  if (fs::is_regular_file(path, ec) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return std::strerror(errno);
#endif
  return {};
}

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Abandon() {
  if (stream_ != nullptr && !standardOutput_) std::fclose(stream_);
  stream_ = nullptr;
  cut_.reset();
  if (!temporary_.empty()) {
    StopSignalsDeferred deferred;
    std::remove(temporary_.c_str());
    ForgetOnForcedEnd(removalNote_);
    removalNote_ = -1;
    temporary_.clear();
  }
}

#ifdef _WIN32

namespace {

int SyncToDisk(std::FILE* stream) { return _commit(_fileno(stream)); }

bool ReplaceWith(const std::string& temporary, const std::string& target) {
  if (MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = EACCES;
  return false;
}

}  // namespace

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
  const fs::path target(path);
  const std::string name = TemporaryName(target.filename().string(), 255, ".tmp" + std::to_string(GetCurrentProcessId()));
  StopSignalsDeferred deferred;
  temporary_ = (target.parent_path() / name).string();
  stream_ = std::fopen(temporary_.c_str(), "wb");
  if (stream_ == nullptr) {
    error = Reason(errno);
    temporary_.clear();
    return false;
  }
  removalNote_ = RemoveOnForcedEnd(temporary_, false);
  return true;
}

#else

namespace {

int SyncToDisk(std::FILE* stream) { return ::fsync(::fileno(stream)); }

bool ReplaceWith(const std::string& temporary, const std::string& target) {
  return std::rename(temporary.c_str(), target.c_str()) == 0;
}

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
    const fs::path target(std::string(link.data(), size_t(length)));
    path = target.is_absolute() ? target.string() : (fs::path(path).parent_path() / target).string();
  }
  errno = ELOOP;
  return false;
}

size_t LongestName(const fs::path& folder) {
  const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return longest > 0 ? size_t(longest) : 255;
}

}  // namespace

bool OutputFile::Open(const std::string& path, std::string& error) {
  if (path == "-") {
    stream_ = stdout;
    standardOutput_ = true;
    cut_ = std::make_unique<StopCutsOutput>(STDOUT_FILENO);
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
      cut_ = std::make_unique<StopCutsOutput>(fd);
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
    // As ">" would: a file the user may not write is not replaced either.
    if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
      error = Reason(errno);
      return false;
    }
    // A replaced file keeps its rights, but not set-user or set-group ID:
    // those were granted to the old contents.
    mode = status.st_mode & 0777;
  } else if (errno == ENOENT) {
    mode = NewFileMode();
  } else {
    error = Reason(errno);
    return false;
  }

  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const std::string pattern = (folder / TemporaryName(target.filename().string(), LongestName(folder), ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  StopSignalsDeferred deferred;
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  temporary_ = name.data();
  removalNote_ = RemoveOnForcedEnd(temporary_, false);
  stream_ = ::fchmod(fd, mode) == 0 ? ::fdopen(fd, "wb") : nullptr;
  if (stream_ == nullptr) {
    error = Reason(errno);
    ::close(fd);
    Abandon();
    return false;
  }
  return true;
}

#endif

bool OutputFile::Commit(std::string& error) {
  if (standardOutput_) {
    const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!ok) {
      error = Reason(errno);
      StandardOutputFailureReported();  // the export says so, naming itself
    }
    stream_ = nullptr;
    cut_.reset();
    return ok;
  }
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  int code = errno;
  if (ok && !temporary_.empty() && SyncToDisk(stream_) != 0) ok = false, code = errno;
  if (std::fclose(stream_) != 0 && ok) ok = false, code = errno;
  stream_ = nullptr;
  cut_.reset();
  // A stop that came while writing abandons the file rather than finish it.
  if (ok && !temporary_.empty() && StopRequested()) ok = false, code = EINTR;
  if (ok && !temporary_.empty() && !ReplaceWith(temporary_, target_)) ok = false, code = errno;
  if (ok) {
    ForgetOnForcedEnd(removalNote_);
    removalNote_ = -1;
    temporary_.clear();
  } else {
    error = Reason(code != 0 ? code : EIO);
    Abandon();
  }
  return ok;
}

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
