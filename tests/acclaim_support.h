// Shared by the Acclaim tests: writes ASF/AMC pairs into a scratch folder,
// imports them through the plug-in's entry point against the reference host,
// and reads back messages, instances and keys.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "varnex/host.h"
#include "varnex/sg.h"

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace acclaim_test {

namespace fs = std::filesystem;

// A folder of its own per test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("acclaim_") + (info ? info->test_suite_name() : "x") + "_" +
                       (info ? info->name() : "y") + "_" + std::to_string(counter_++);
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Write(const std::string& file, std::string_view text) const {
    fs::path target = path_ / file;
    std::ofstream out(target, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return target.string();
  }
  std::string Path(const std::string& file) const { return (path_ / file).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

struct ImportSettings {
  bool reduceTranslation = false;
  bool reduceRotation = false;
  const char* distance = "0.01";
  const char* angle = "0.01";
};

inline int32_t ImportThroughEntryPoint(const std::string& path, const ImportSettings& settings = {}) {
  const char* keywords[] = {"execute_geometry_converter", "filename",         "distance_threshold",
                            "angular_threshold",          "ena_trans_kf_reduction", "ena_rot_kf_reduction",
                            nullptr};
  void* values[] = {nullptr,
                    const_cast<char*>(path.c_str()),
                    const_cast<char*>(settings.distance),
                    const_cast<char*>(settings.angle),
                    reinterpret_cast<void*>(static_cast<intptr_t>(settings.reduceTranslation)),
                    reinterpret_cast<void*>(static_cast<intptr_t>(settings.reduceRotation)),
                    nullptr};
  int32_t result = -1;
  Varnex_Plugin_EntryPoint(keywords, values, &result, nullptr);
  return result;
}

// Texts printed to the message window, without the note about a missing AMC
// file (whose text carries the scratch path).
inline std::vector<std::string> PrintedTexts(bool keepMissingAmcNote = false) {
  std::vector<std::string> texts;
  for (const auto& message : vxhost::Messages()) {
    if (message.kind != vxhost::MessageKind::Print) continue;
    if (!keepMissingAmcNote && message.text.rfind("Could not find a corresponding AMC file.", 0) == 0) continue;
    texts.push_back(message.text);
  }
  return texts;
}

inline bool HasHostErrors() { return !vxhost::HostErrors().empty(); }

inline void SetSceneFrameRate(int32_t rate) {
  Sg_Animation(Sg_Inquire_Token("framerate"), &rate, reinterpret_cast<void*>(intptr_t{1}), nullptr);
}

inline const vxhost::Instance& Instance(std::string_view name) {
  const vxhost::Instance* instance = vxhost::FindInstance(name);
  if (!instance) {
    ADD_FAILURE() << "no instance " << name;
    static vxhost::Instance none;
    return none;
  }
  return *instance;
}

inline const vxhost::Channel* ChannelOf(std::string_view name, int entry) {
  const vxhost::Instance* instance = vxhost::FindInstance(name);
  return instance ? instance->channels[entry] : nullptr;
}

inline std::vector<float> KeyValues(std::string_view name, int entry) {
  std::vector<float> values;
  if (const vxhost::Channel* channel = ChannelOf(name, entry)) {
    for (const auto& key : channel->keys) values.push_back(key.value);
  }
  return values;
}

inline std::vector<int32_t> KeyTimesOf(std::string_view name, int entry) {
  std::vector<int32_t> times;
  if (const vxhost::Channel* channel = ChannelOf(name, entry)) {
    for (const auto& key : channel->keys) times.push_back(key.time);
  }
  return times;
}

inline size_t CountLogLines(std::string_view prefix) {
  size_t count = 0;
  for (const auto& line : vxhost::CallLog()) {
    if (line.rfind(prefix, 0) == 0) count++;
  }
  return count;
}

// Everything a user could see of the scene, as text: two imports that built
// the same scene give the same digest.
inline std::string SceneDigest() {
  std::ostringstream out;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) {
    out << vxhost::InstancePath(*instance) << " e" << instance->endEffector << " j" << instance->jointNode << " a"
        << instance->ikAnchor << " o" << instance->eulerOrder << " l";
    for (const auto& kind : instance->locked) {
      for (bool locked : kind) out << locked;
    }
    for (const auto* constraint : {&instance->position, &instance->rotation}) {
      for (int i = 0; i < 3; i++) {
        out << " " << constraint->minValue[i] << "/" << constraint->maxValue[i] << constraint->minEnabled[i]
            << constraint->maxEnabled[i];
      }
    }
    out << "\n";
    for (const vxhost::Channel* channel : instance->channels) {
      if (!channel) continue;
      out << "  " << channel->entry << " r" << channel->reductionRequests << ":";
      for (const auto& key : channel->keys) out << " " << key.time << "=" << key.value;
      out << "\n";
    }
  }
  return out.str();
}

}  // namespace acclaim_test
