// Hands the plug-in one take under the name of its file. The plug-in names a
// BVH file's top instance after the path up to the last backslash, and finds
// an ASF's motion by replacing its extension with "amc"; so varnex links the
// take's files into a private temporary folder as <stem>.bvh, or <stem>.asf
// and <stem>.amc, and imports from inside that folder by the bare name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "library/take_files.h"

namespace varnex {

class StagedTake {
 public:
  // Makes the folder of links and enters it. A file that does not exist or
  // that the plug-in would refuse by its extension is handed over as written,
  // so that the plug-in's own message names it.
  explicit StagedTake(const TakeFiles& take);
  // Leaves the folder (back to the working directory of before) and removes it.
  ~StagedTake();
  StagedTake(const StagedTake&) = delete;
  StagedTake& operator=(const StagedTake&) = delete;

  // The path to give the plug-in as "filename".
  const std::string& PluginPath() const { return pluginPath_; }

 private:
  std::filesystem::path folder_;
  std::optional<std::filesystem::path> previousDirectory_;
  std::string pluginPath_;
};

}  // namespace varnex
