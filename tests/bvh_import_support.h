// Imports BVH text through the plug-in's entry point into a fresh reference
// host, the way the host program does, and collects what a user would see.
#pragma once

#include <varnex/host.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/plugin_calls.h"
#include "support/samples.h"
#include "support/scratch.h"

namespace bvhtest {

using Options = vxtest::DriverOptions;

struct Outcome {
  int32_t result = -1;
  std::vector<std::string> prints;  // Import_IO_printf texts, in order
  std::vector<std::string> log;     // the host's call log
};

// Imports run in a folder of their own, with a relative file name, so the
// top instance is named after the file alone.
inline const vxtest::ScratchDir& TestDir() {
  static const vxtest::ScratchDir dir;
  return dir;
}

inline int32_t RunImport(const std::string& fileName, const Options& options = {}) {
  vxtest::WorkingDirectory here(TestDir().Dir());
  return vxtest::Import(fileName, options);
}

// Imports the text as a fresh host would: empty scene, log switched on.
inline Outcome ImportText(const std::string& text, const Options& options = {},
                          const std::string& name = "walk.bvh") {
  vxhost::ResetHost();
  vxhost::SetCallLogEnabled(true);
  TestDir().Write(name, text);
  Outcome outcome;
  outcome.result = RunImport(name, options);
  outcome.prints = vxtest::PrintedTexts();
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

}  // namespace bvhtest
