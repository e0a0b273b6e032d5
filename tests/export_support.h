// Imports through the plug-in's entry point for the export and reduction
// tests, and finds the real mocap files when they are there.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <varnex/host.h>

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace exporttest {

// The plug-in keeps its options from one import to the next, so every
// import here states them all.
struct Reduction {
  bool translation = false, rotation = false;
  std::string distance = "0.01", angle = "0.01";  // as the host program hands them over
};

// One import into a fresh host; answers the plug-in's result.
inline int32_t Import(const std::string& path, const Reduction& reduction = {}) {
  vxhost::ResetHost();
  std::vector<const char*> keywords = {"execute_geometry_converter", "filename"};
  std::vector<void*> values = {nullptr, const_cast<char*>(path.c_str())};
  keywords.insert(keywords.end(), {"distance_threshold", "angular_threshold", "ena_trans_kf_reduction",
                                   "ena_rot_kf_reduction"});
  values.insert(values.end(), {const_cast<char*>(reduction.distance.c_str()), const_cast<char*>(reduction.angle.c_str()),
                               reinterpret_cast<void*>(intptr_t(reduction.translation)),
                               reinterpret_cast<void*>(intptr_t(reduction.rotation))});
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  int32_t result = -1;
  Varnex_Plugin_EntryPoint(keywords.data(), values.data(), &result, nullptr);
  return result;
}

// Every real file an import starts from: each BVH, and each ASF with an AMC beside it.
inline std::vector<std::string> RealFiles() {
  std::vector<std::string> files;
  const std::filesystem::path root = VARNEX_SHARED_MOCAP;
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec)) {
    const std::filesystem::path& p = entry.path();
    if (p.extension() == ".bvh") files.push_back(p.string());
    std::filesystem::path amc = p;
    if (p.extension() == ".asf" && std::filesystem::exists(amc.replace_extension(".amc"))) files.push_back(p.string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// A fresh folder, removed with what it holds when the test ends.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnex-export-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return Path(name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace exporttest
