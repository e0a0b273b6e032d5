// The export settings on the command line: their options, and the same
// settings handed on to a `varnex import` worker.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "scene/export_settings.h"

namespace varnex {

// Adds --scale F, --up y|z and --exact to a command that exports.
void AddExportSettingsOptions(CLI::App& command, ExportSettings& settings);

// The same settings as arguments of a `varnex import` worker; only those
// that differ from the defaults.
std::vector<std::string> ExportSettingsArguments(const ExportSettings& settings);

}  // namespace varnex
