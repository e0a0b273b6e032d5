// Makes and removes the private folder of links that gives the plug-in a
// take under its file's stem (see staged_take.h), without changing the
// process's working directory: a host that imports inside a user's process
// must leave it where it was. Writes only inside the system's temporary folder.
#include "session/staged_take.h"
#include "io/stop_signals.h"
#include "io/text_case.h"

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

// What the plug-in can be handed under a staged name: anything there (a
// FIFO too) with an extension it imports; a folder draws its own message.
bool Stageable(const fs::path& path) {
  const std::string extension = LowerExtension(path);
  std::error_code ec;
  return (extension == ".bvh" || extension == ".asf" || extension == ".amc") && fs::exists(path, ec) &&
         !fs::is_directory(path, ec);
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
    if (ec) return {};
  }
  return {};
#else
  std::string pattern = (base / "varnex-take-XXXXXX").string();
  return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
#endif
}

// The folder inside the private one whose name ends the base name: "\stem"
// here, where a backslash is an ordinary character, "stem" on Windows.
std::string StemFolderName(const std::string& stem) {
#ifdef _WIN32
  return stem;
#else
  return "\\" + stem;
#endif
}

}  // namespace

fs::path MotionBesideSkeleton(const fs::path& skeleton) {
  std::string motion = skeleton.string();
  if (motion.size() >= 3) motion.replace(motion.size() - 3, 3, "amc");
  return motion;
}

void StagedTake::Note(const fs::path& path, bool folder) {
  made_.push_back(path);
  const int note = RemoveOnForcedEnd(path.string(), folder);
  if (note >= 0) removalNotes_.push_back(note);
}

// A symbolic link where the system allows one, else a hard link, else a copy.
bool StagedTake::Link(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(target, ec);
  if (ec) return false;
  const StopSignalsDeferred deferred;
  bool made = (fs::create_symlink(absolute, link, ec), !ec);
  if (!made) made = (fs::create_hard_link(absolute, link, ec), !ec);
  if (!made) made = fs::copy_file(absolute, link, ec) && !ec;
  if (made) {
    Note(link, false);
    aliases_.push_back({link.string(), target.string()});
  }
  return made;
}

StagedTake::StagedTake(const TakeFiles& take) : pluginPath_(take.motion.string()) {
  const bool amc = LowerExtension(take.motion) == ".amc";
  if (!Stageable(take.motion) || (amc && !Stageable(take.skeleton))) return;
  {
    const StopSignalsDeferred deferred;
    folder_ = MakePrivateFolder();
    if (folder_.empty()) return;
    Note(folder_, true);
  }
  const fs::path stemFolder = folder_ / StemFolderName(take.motion.stem().string());
  std::error_code ec;
  {
    const StopSignalsDeferred deferred;
    if (!fs::create_directory(stemFolder, ec)) return;
    Note(stemFolder, true);
  }
  bool linked = true;
  std::string extension = LowerExtension(take.motion).substr(1);
  if (amc) {
    linked = Link(take.skeleton, stemFolder / "asf") && Link(take.motion, stemFolder / "amc");
    extension = "asf";
  } else {
    linked = Link(take.motion, stemFolder / extension);
    if (extension == "asf") {
      const fs::path motion = MotionBesideSkeleton(take.motion);
      if (Stageable(motion)) linked = linked && Link(motion, stemFolder / "amc");
      // A missing motion is named in the plug-in's message as the user would find it.
      else aliases_.push_back({(stemFolder / "amc").string(), motion.string()});
    }
  }
  if (linked) pluginPath_ = (stemFolder / extension).string();
}

StagedTake::~StagedTake() {
  if (folder_.empty()) return;
  const StopSignalsDeferred deferred;
  // What was made, newest first, one call each: nothing to list, nothing to
  // allocate, so that this holds after an import that ran out of memory.
  std::error_code ec;
  for (auto made = made_.rbegin(); made != made_.rend(); ++made) fs::remove(*made, ec);
  if (fs::exists(folder_, ec)) fs::remove_all(folder_, ec);
  for (int note : removalNotes_) ForgetOnForcedEnd(note);
}

std::string StagedTake::AsTheUserNamedIt(std::string text) const {
  for (const auto& [staged, user] : aliases_) {
    for (size_t at = text.find(staged); at != std::string::npos; at = text.find(staged, at + user.size()))
      text.replace(at, staged.size(), user);
  }
  return text;
}

}  // namespace varnex
