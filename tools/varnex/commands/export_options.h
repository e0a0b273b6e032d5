// What exports write, on the command line: the options of a take's meaning
// and units, and the same options handed on to a `varnex import` worker.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "scene/take_meaning.h"

namespace varnex {

// Adds --scale F, --height H, --up auto|y|z, --joint-positions
// auto|add|replace, --as-built, --exact, --frames A:B, --fps N,
// --in-place and --compress to a command that exports.
void AddExportSettingsOptions(CLI::App& command, MeaningOptions& options);

// The same options as arguments of a `varnex import` worker; only those
// that differ from the defaults.
std::vector<std::string> ExportSettingsArguments(const MeaningOptions& options);

}  // namespace varnex
