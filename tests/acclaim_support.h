// Shared by the Acclaim tests: writes ASF/AMC pairs into a scratch folder,
// imports them through the plug-in's entry point against the reference host,
// and reads back messages, instances and keys.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/plugin_calls.h"
#include "support/scratch.h"
#include "varnex/host.h"
#include "varnex/sg.h"

namespace acclaim_test {

namespace fs = std::filesystem;
using vxtest::DriverOptions;
using vxtest::PrintedTexts;
using vxtest::ScratchDir;

inline int32_t ImportThroughEntryPoint(const std::string& path, const DriverOptions& options = {}) {
  return vxtest::Import(path, options);
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

}  // namespace acclaim_test
