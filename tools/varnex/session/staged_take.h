// Hands the plug-in one take under the name of its file. The plug-in names a
// BVH file's top instance after the path's characters back to the last
// backslash, and finds an ASF's motion by making the path's last three
// characters "amc"; so varnex links the take's files into a private
// temporary folder as <folder>/\<stem>/bvh, or .../asf and .../amc, a path
// whose base name is the stem wherever the import runs. (On Windows the
// backslash is the separator itself: <folder>\<stem>\bvh.)
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "library/take_files.h"

namespace varnex {

// The AMC motion the plug-in reads with an ASF skeleton: the skeleton's path
// with its last three characters made "amc", whatever their case.
std::filesystem::path MotionBesideSkeleton(const std::filesystem::path& skeleton);

class StagedTake {
 public:
  // Makes the folder of links. A file that does not exist or that the
  // plug-in would refuse by its extension is handed over as written, so
  // that the plug-in's own message names it.
  explicit StagedTake(const TakeFiles& take);
  // Removes the folder; a forced end before then removes it too.
  ~StagedTake();
  StagedTake(const StagedTake&) = delete;
  StagedTake& operator=(const StagedTake&) = delete;

  // The path to give the plug-in as "filename".
  const std::string& PluginPath() const { return pluginPath_; }
  // TEXT (a message of the import) with every staged path replaced by the
  // user's file it stands for.
  std::string AsTheUserNamedIt(std::string text) const;

 private:
  void Note(const std::filesystem::path& path, bool folder);
  bool Link(const std::filesystem::path& target, const std::filesystem::path& link);

  std::filesystem::path folder_;
  std::vector<std::filesystem::path> made_;                   // every path made, in order
  std::vector<int> removalNotes_;                             // for a forced end
  std::vector<std::pair<std::string, std::string>> aliases_;  // staged path, the user's
  std::string pluginPath_;
};

}  // namespace varnex
