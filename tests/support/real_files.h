// The real files an import starts from: every BVH file, and every ASF file
// with its AMC file beside it, found below a folder in a fixed order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vxtest {

// Sorted full paths; empty when the folder is not there (the shared mocap
// folder is absent outside the project's machines: callers skip).
std::vector<std::string> ImportableFiles(const std::filesystem::path& folder);

// The shared mocap folder's files.
inline std::vector<std::string> RealFiles() { return ImportableFiles(VARNEX_SHARED_MOCAP); }

// A name fit for a test: the file's folder and name, other characters as '_'.
std::string TestNameOf(const std::filesystem::path& path);

}  // namespace vxtest
