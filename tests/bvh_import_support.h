// Imports BVH text through the plug-in's entry point into the reference host,
// the way the host program does, and collects what a user would see.
#pragma once

#include <unistd.h>
#include <varnex/host.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace bvhtest {

struct Options {
  bool reduceTranslation = false;
  bool reduceRotation = false;
  const char* distance = "0.01";
  const char* angle = "0.01";
};

struct Outcome {
  int32_t result = -1;
  std::vector<std::string> prints;  // Import_IO_printf texts, in order
  std::vector<std::string> log;     // the host's call log
};

// Imports run in a folder of their own, with a relative file name, so the
// top instance is named after the file alone.
inline std::filesystem::path TestDir() {
  static const std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() / ("varnex_bvh_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return dir;
}

inline void WriteTestFile(const std::string& name, const std::string& contents) {
  std::ofstream out(TestDir() / name, std::ios::binary);
  out << contents;
}

inline int32_t RunImport(const std::string& fileName, const Options& options = {}) {
  std::filesystem::current_path(TestDir());
  const char* keywords[] = {"execute_geometry_converter", "filename", "distance_threshold", "angular_threshold",
                            "ena_trans_kf_reduction", "ena_rot_kf_reduction", nullptr};
  void* values[] = {nullptr,
                    const_cast<char*>(fileName.c_str()),
                    const_cast<char*>(options.distance),
                    const_cast<char*>(options.angle),
                    reinterpret_cast<void*>(static_cast<intptr_t>(options.reduceTranslation)),
                    reinterpret_cast<void*>(static_cast<intptr_t>(options.reduceRotation)),
                    nullptr};
  int32_t result = -1;
  Varnex_Plugin_EntryPoint(keywords, values, &result, nullptr);
  return result;
}

inline std::vector<std::string> PrintedTexts() {
  std::vector<std::string> texts;
  for (const auto& message : vxhost::Messages()) {
    if (message.kind == vxhost::MessageKind::Print) texts.push_back(message.text);
  }
  return texts;
}

// Imports the text as a fresh host would: empty scene, log switched on.
inline Outcome ImportText(const std::string& text, const Options& options = {},
                          const std::string& name = "walk.bvh") {
  vxhost::ResetHost();
  vxhost::SetCallLogEnabled(true);
  WriteTestFile(name, text);
  Outcome outcome;
  outcome.result = RunImport(name, options);
  outcome.prints = PrintedTexts();
  outcome.log = vxhost::CallLog();
  return outcome;
}

// Log lines that mention the quoted instance name.
inline std::vector<std::string> LogLinesFor(const std::vector<std::string>& log, const std::string& name) {
  std::vector<std::string> lines;
  const std::string quoted = "\"" + name + "\"";
  for (const auto& line : log) {
    if (line.find(quoted) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

inline std::vector<std::string> LogLinesStartingWith(const std::vector<std::string>& log, const std::string& prefix) {
  std::vector<std::string> lines;
  for (const auto& line : log) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

// The small walk of the reader's own example: ROOT Hips with six channels,
// JOINT Chest with three, an End Site; two frames.
inline const char* kTwoFrameWalk = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Chest
  {
    OFFSET 0 5 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    End Site
    {
      OFFSET 0 4 0
    }
  }
}
MOTION
Frames: 2
Frame Time: 0.033333
1 2 3 10 20 30 40 50 60
4 5 6 11 21 31 41 51 61
)";

}  // namespace bvhtest
