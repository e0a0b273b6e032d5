// One import through the plug-in, as a host runs it: the options become
// driver keywords, messages go to stderr, progress to the terminal, and
// Ctrl-C asks the import to stop at its next abort poll.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "plugin.h"

namespace varnex {

struct ImportRequest {
  std::string file;
  std::optional<std::string> distanceThreshold;  // handed over as written
  std::optional<std::string> angularThreshold;
  bool reduceTranslation = false;
  bool reduceRotation = false;
  bool quiet = false;                            // no progress bar
  std::optional<int32_t> frameRate;              // the scene's rate before the import
};

// Adds FILE and the import options to a command that imports.
void AddImportOptions(CLI::App& command, ImportRequest& request);

// Answers the plug-in's result: 0 imported, 1 failed or stopped.
int32_t RunImport(const Plugin& plugin, const ImportRequest& request);

}  // namespace varnex
