// Calling the plug-in as the host does, and scratch folders for the files a
// test imports, shared by the frame's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <varnex/host.h>

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace frametest {

struct Item {
  const char* keyword;
  void* value;
};

inline void* Text(const std::string& text) { return const_cast<char*>(text.c_str()); }
inline void* Text(const char* text) { return const_cast<char*>(text); }
inline void* Number(intptr_t number) { return reinterpret_cast<void*>(number); }

// One entry-point call; the lists end with a null keyword unless the items
// end them themselves.
inline int32_t CallPlugin(const std::vector<Item>& items, int32_t resultBefore = 12345) {
  std::vector<const char*> keywords;
  std::vector<void*> values;
  for (const Item& item : items) {
    keywords.push_back(item.keyword);
    values.push_back(item.value);
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  int32_t result = resultBefore;
  Varnex_Plugin_EntryPoint(keywords.data(), values.data(), &result, nullptr);
  return result;
}

inline int32_t Import(const std::string& path, std::vector<Item> options = {}) {
  std::vector<Item> items = {{"execute_geometry_converter", nullptr}, {"filename", Text(path)}};
  items.insert(items.end(), options.begin(), options.end());
  return CallPlugin(items);
}

// A fresh folder, removed with everything in it when the test ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnex-frame-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Dir() const { return path_.string() + "/"; }
  std::string Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
    return Path(name);
  }

 private:
  std::filesystem::path path_;
};

// Runs with the working directory set to a folder, for relative paths.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() { std::filesystem::current_path(previous_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace frametest
