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
using vxtest::ChannelOf;
using vxtest::DriverOptions;
using vxtest::KeyTimesOf;
using vxtest::PrintedTexts;
using vxtest::ScratchDir;

// A root at the origin, unturned, with all six DOFs.
constexpr char kAsfRoot[] = ":root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n";

// One bone of an ASF file; axis ("X Y Z ORDER"), dof and limits are left out when null.
struct AsfBone {
  const char* name;
  const char* direction;
  const char* length;
  const char* axis = nullptr;
  const char* dof = nullptr;
  const char* limits = nullptr;
};

// The :bonedata section of the bones, one keyword a line as exporters write it.
inline std::string BoneData(std::initializer_list<AsfBone> bones) {
  std::string text = ":bonedata\n";
  for (const AsfBone& bone : bones) {
    text += std::string("  begin\n    name ") + bone.name + "\n    direction " + bone.direction + "\n    length " +
            bone.length + "\n";
    for (auto [keyword, value] : {std::pair{"axis", bone.axis}, {"dof", bone.dof}, {"limits", bone.limits}})
      if (value) text += std::string("    ") + keyword + " " + value + "\n";
    text += "  end\n";
  }
  return text;
}

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

inline size_t CountLogLines(std::string_view prefix) {
  size_t count = 0;
  for (const auto& line : vxhost::CallLog()) {
    if (line.rfind(prefix, 0) == 0) count++;
  }
  return count;
}

}  // namespace acclaim_test
