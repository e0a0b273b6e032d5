// How exports convert the scene's units and axes: the scene stays as the
// import built it, and every geometric export (glTF, CSV positions) applies
// these on the way out. Parsed from --scale, --up and --exact.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace varnex {

struct ExportSettings {
  double scale = 1.0;            // scene units to exported units (glTF wants metres)
  char up = 'y';                 // the source's up axis; 'z' is turned to glTF's Y-up
  double rootMotionScale = 1.0;  // extra factor on the root's own motion (Acclaim unit length)
  bool exact = false;            // keep every frame instead of a compact animation
};

// Adds --scale F, --up y|z and --exact to a command that exports.
void AddExportSettingsOptions(CLI::App& command, ExportSettings& settings);

// The same settings as arguments of a `varnex import` worker; only those
// that differ from the defaults.
std::vector<std::string> ExportSettingsArguments(const ExportSettings& settings);

}  // namespace varnex
