// Scratch folders for the files an import reads, removed with all they hold,
// and the working directory for imports by relative path.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vxtest {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Path(std::string_view name) const { return (path_ / name).string(); }
  std::string Dir() const { return path_.string() + "/"; }  // with the trailing slash initialize wants
  // Writes the bytes exactly (NULs included); answers the file's path.
  std::string Write(std::string_view name, std::string_view contents) const;

 private:
  std::filesystem::path path_;
};

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace vxtest
