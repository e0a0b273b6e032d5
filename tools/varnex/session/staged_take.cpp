// Makes, enters, leaves and removes the private folder of links that gives
// the plug-in a take under its file's stem (see staged_take.h). Writes only
// inside the system's temporary folder.
#include "session/staged_take.h"
#include "io/text_case.h"

#include <cctype>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace varnex {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& path) { return LowerCase(path.extension().string()); }

bool Stageable(const fs::path& path) {
  const std::string extension = LowerExtension(path);
  std::error_code ec;
  return (extension == ".bvh" || extension == ".asf" || extension == ".amc") && fs::is_regular_file(path, ec);
}

fs::path MakePrivateFolder() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return {};
#ifdef _WIN32
  // The process id keeps parallel workers apart, the count a process's own folders.
  static unsigned long made = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder =
        base / ("varnex-take-" + std::to_string(_getpid()) + "-" + std::to_string(made++));
    if (fs::create_directory(folder, ec)) return folder;
  }
  return {};
#else
  std::string pattern = (base / "varnex-take-XXXXXX").string();
  return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
#endif
}

// A symbolic link where the system allows one, else a hard link, else a copy.
bool Link(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(target, ec);
  if (ec) return false;
  fs::create_symlink(absolute, link, ec);
  if (!ec) return true;
  fs::create_hard_link(absolute, link, ec);
  if (!ec) return true;
  return fs::copy_file(absolute, link, ec) && !ec;
}

}  // namespace

StagedTake::StagedTake(const TakeFiles& take) : pluginPath_(take.motion.string()) {
  const bool amc = LowerExtension(take.motion) == ".amc";
  if (!Stageable(take.motion) || (amc && !Stageable(take.skeleton))) return;
  folder_ = MakePrivateFolder();
  if (folder_.empty()) return;
  const std::string stem = take.motion.stem().string();
  bool linked = true;
  if (amc) {
    linked = Link(take.skeleton, folder_ / (stem + ".asf")) && Link(take.motion, folder_ / (stem + ".amc"));
    pluginPath_ = stem + ".asf";
  } else {
    const std::string extension = LowerExtension(take.motion);
    linked = Link(take.motion, folder_ / (stem + extension));
    if (extension == ".asf") {
      // The plug-in's own rule: the path with its last three characters made "amc".
      std::string motion = take.motion.string();
      motion.replace(motion.size() - 3, 3, "amc");
      std::error_code ec;
      if (fs::is_regular_file(motion, ec)) linked = linked && Link(motion, folder_ / (stem + ".amc"));
    }
    pluginPath_ = stem + extension;
  }
  std::error_code ec;
  if (linked) previousDirectory_ = fs::current_path(ec);
  if (linked && !ec) fs::current_path(folder_, ec);
  if (!linked || ec) {
    previousDirectory_.reset();
    pluginPath_ = take.motion.string();
  }
}

StagedTake::~StagedTake() {
  std::error_code ec;
  if (previousDirectory_) fs::current_path(*previousDirectory_, ec);
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

}  // namespace varnex
