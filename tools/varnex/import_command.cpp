// varnex import FILE [options]: runs the import, prints the scene it built,
// and writes the requested exports. The exit code is the import's result,
// 2 when an export could not be written, or 128 plus a stop signal.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "acclaim_pairing.h"
#include "import_session.h"
#include "scene_print.h"
#include "stop_signals.h"

namespace varnex {

namespace {

struct ImportCommand {
  ImportRequest request;
  SceneExports exports;
  ExportSettings exportSettings;
};

int RunImportCommand(const HostOptions& host, ImportCommand& command) {
  // An export to standard output takes the place of the printed scene; two would mix.
  const auto toStandardOutput = std::count_if(command.exports.begin(), command.exports.end(),
                                              [](const SceneExport& output) { return *output.target == "-"; });
  if (toStandardOutput > 1) {
    std::fprintf(stderr, "varnex: only one output can go to standard output (-)\n");
    return kExitHostProblem;
  }
  StopSignals stopSignals;
  const std::optional<TakeFiles> take = ResolveTake(command.request.file, command.request);
  if (!take) return kExitFailure;
  if (command.request.acclaimRootScale && !take->skeleton.empty())
    command.exportSettings.rootMotionScale = AsfUnitLength(take->skeleton);
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  int32_t result = RunImport(*plugin, command.request, *take);
  if (StopRequested()) {
    std::fprintf(stderr, "varnex: stopped by %s during the import of %s; nothing was written\n", StopSignalName(),
                 command.request.file.c_str());
    return StopExitCode();
  }
  // A failed import leaves nothing worth showing or writing.
  if (result != 0) return result;
  if (!command.request.quiet && toStandardOutput == 0) {
    PrintSceneTree(stdout);
    PrintSceneSummary(stdout);
    std::fflush(stdout);
  }
  return WriteSceneExports(command.exports);
}

}  // namespace

void SetupImportCommand(Program& program) {
  auto state = std::make_shared<ImportCommand>();
  CLI::App* command = program.cli.add_subcommand("import", "Import a file and print the scene it builds");
  AddImportOptions(*command, state->request);
  AddExportSettingsOptions(*command, state->exportSettings);
  AddSceneExports(*command, state->exports, state->exportSettings);
  program.commands.push_back({command, [&host = program.host, state] { return RunImportCommand(host, *state); }});
}

}  // namespace varnex
