// Finds the importable files below a folder.
#include "support/real_files.h"

#include <algorithm>
#include <cctype>

namespace vxtest {

std::vector<std::string> ImportableFiles(const std::filesystem::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
    const std::filesystem::path& path = entry.path();
    std::filesystem::path amc = path;
    if (path.extension() == ".bvh" ||
        (path.extension() == ".asf" && std::filesystem::exists(amc.replace_extension(".amc"))))
      files.push_back(path.string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string TestNameOf(const std::filesystem::path& path) {
  std::string name = path.parent_path().filename().string() + "_" + path.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

}  // namespace vxtest
