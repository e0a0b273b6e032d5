// The pieces every varnex command shares: the parsed command line and the
// tables through which commands and scene exports register themselves.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "io/exit_codes.h"
#include "scene/export_settings.h"
#include "session/host_options.h"

namespace varnex {

class SharedGltf;  // export/gltf_export.h

// A subcommand and what runs when it was given.
struct Command {
  CLI::App* subcommand = nullptr;
  std::function<int()> run;
};

struct Program {
  CLI::App cli{"varnex: runs the motion-capture import plug-in outside its host application"};
  HostOptions host;
  std::vector<Command> commands;
};

// Registers a subcommand on the program.
using CommandSetup = void (*)(Program& program);

// Something written from the imported scene after a successful import, such
// as --positions. It adds its options to a command that imports; the
// settings are the command's, read when the export is written, and the
// glTF document is the one every export of the import that holds it shares.
struct SceneExport {
  std::shared_ptr<const std::string> target;  // the path given; empty: not requested
  std::function<int()> write;                 // answers an exit code
  // What it writes to the path given, as messages name it: "glTF file", "BVH file", "positions", ...
  std::function<std::string(const std::string& path)> what = [](const std::string&) { return std::string("output"); };
};
using SceneExports = std::vector<SceneExport>;
using SceneExportSetup = void (*)(CLI::App& command, SceneExports& exports, const ExportSettings& settings,
                                  SharedGltf& gltf);

// Adds every known scene export to a command that imports (exports.cpp).
void AddSceneExports(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf& gltf);
// Before the import: refuses, with exit 2 and a line naming the export, an
// export that would replace one of INPUTS or that the user may not write
// (io/atomic_file.h); 0 when every one may be written.
int CheckSceneExports(const SceneExports& exports, const std::vector<std::filesystem::path>& inputs);
// Writes each requested export; answers the first failing exit code, else 0.
// After a stop signal it writes no more, says which were written and which
// not, and answers 128 plus the signal.
int WriteSceneExports(const SceneExports& exports);

}  // namespace varnex
