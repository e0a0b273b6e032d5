// One take's files, as pairing and library scans find them and an import
// hands them to the plug-in.
#pragma once

#include <filesystem>
#include <string>

namespace varnex {

// The files of one take: a BVH file, an ASF skeleton (with the same-name AMC
// when there is one), or an AMC motion with the skeleton found for it.
struct TakeFiles {
  std::filesystem::path motion;
  std::filesystem::path skeleton;  // for an AMC motion only
  std::string name;                // the take's name: the motion file's stem
};

}  // namespace varnex
