// varnex import FILE [options]: runs the import, prints the scene it built,
// and writes the requested exports. With several AMC takes of one skeleton
// it imports each in turn and writes them into one glTF file. The exit code
// is the import's result, 2 when an export could not be written, or 128
// plus a stop signal.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "commands.h"
#include "acclaim_pairing.h"
#include "gltf_export.h"
#include "import_session.h"
#include "scene_print.h"
#include "stop_signals.h"
#include "take.h"
#include "worker_report.h"

namespace varnex {

namespace {

struct ImportCommand {
  ImportRequest request;
  SceneExports exports;
  ExportSettings exportSettings;
  CLI::App* cli = nullptr;
};

void UseUnitLength(ImportCommand& command, const TakeFiles& take) {
  if (command.request.acclaimRootScale && !take.skeleton.empty())
    command.exportSettings.rootMotionScale = AsfUnitLength(take.skeleton);
}

void SayOptionsFileNotice(const ImportRequest& request, const HostOptions& host) {
  if (request.quiet) return;
  const std::string notice = OptionsFileNotice(request.reduction, host);
  if (!notice.empty()) std::fprintf(stderr, "%s\n", notice.c_str());
}

// Several takes: an ASF named first is their skeleton; each is imported on
// a fresh scene and captured, then all go into the one glTF file.
int RunTakesCommand(const HostOptions& host, ImportCommand& command) {
  ImportRequest request = command.request;
  std::vector<std::string> files = {request.file};
  files.insert(files.end(), request.moreFiles.begin(), request.moreFiles.end());
  if (IsAsfFile(files.front()) && request.skeleton.empty()) {
    request.skeleton = files.front();
    files.erase(files.begin());
  }
  for (const char* single : {"--positions", "--preview", "--dump-json"}) {
    if (command.cli->count(single) > 0) {
      std::fprintf(stderr, "varnex: %s writes one take; several takes go into one glTF file (-o)\n", single);
      return kExitHostProblem;
    }
  }
  const CLI::Option* output = command.cli->get_option("--output");
  if (output->count() == 0) {
    std::fprintf(stderr, "varnex: several takes go into one glTF file: give -o OUT.glb\n");
    return kExitHostProblem;
  }
  std::vector<TakeFiles> takes;
  for (const std::string& file : files) {
    std::optional<TakeFiles> take = ResolveTake(file, request);
    if (!take) return kExitFailure;
    takes.push_back(*take);
  }
  UseUnitLength(command, takes.front());
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  SayOptionsFileNotice(request, host);
  const std::string path = output->as<std::string>();
  std::vector<Take> captured;
  for (const TakeFiles& take : takes) {
    vxhost::ResetHost();
    const int32_t result = RunImport(*plugin, request, take);
    if (StopRequested()) {
      std::fprintf(stderr, "varnex: stopped by %s during the import of %s; nothing was written\n", StopSignalName(),
                   take.motion.string().c_str());
      return StopExitCode();
    }
    if (result != 0) return result;
    if (!request.quiet && path != "-") {
      std::printf("%s: ", take.name.c_str());
      PrintSceneSummary(stdout);
      std::fflush(stdout);
    }
    request.noticesSaid = true;
    NoteTakeFigures();
    captured.push_back(CaptureTake(take.name, command.exportSettings));
    std::string difference;
    if (!SameHierarchy(captured.front(), captured.back(), difference)) {
      std::fprintf(stderr, "varnex: %s and %s cannot share one glTF file: %s\n", takes.front().motion.string().c_str(),
                   take.motion.string().c_str(), difference.c_str());
      return kExitFailure;
    }
  }
  std::string error;
  const bool written = !StopRequested() && WriteGltfTakes(path, captured, command.exportSettings, error);
  if (!written && !error.empty())
    std::fprintf(stderr, "varnex: cannot write the glTF file to %s: %s\n", path.c_str(), error.c_str());
  if (StopRequested()) {
    std::fprintf(stderr, "varnex: stopped by %s; written: %s; not written: %s\n", StopSignalName(),
                 written ? path.c_str() : "none", written ? "none" : path.c_str());
    return StopExitCode();
  }
  if (!written) return kExitHostProblem;
  return WriteWorkerReportIfAsked(*command.cli);
}

int RunImportCommand(const HostOptions& host, ImportCommand& command) {
  // An export to standard output takes the place of the printed scene; two would mix.
  const auto toStandardOutput = std::count_if(command.exports.begin(), command.exports.end(),
                                              [](const SceneExport& output) { return *output.target == "-"; });
  if (toStandardOutput > 1) {
    std::fprintf(stderr, "varnex: only one output can go to standard output (-)\n");
    return kExitHostProblem;
  }
  StopSignals stopSignals;
  if (!command.request.moreFiles.empty()) return RunTakesCommand(host, command);
  const std::optional<TakeFiles> take = ResolveTake(command.request.file, command.request);
  if (!take) return kExitFailure;
  UseUnitLength(command, *take);
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  SayOptionsFileNotice(command.request, host);
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
  state->cli = command;
  AddImportOptions(*command, state->request);
  AddExportSettingsOptions(*command, state->exportSettings);
  AddSceneExports(*command, state->exports, state->exportSettings);
  program.commands.push_back({command, [&host = program.host, state] { return RunImportCommand(host, *state); }});
}

}  // namespace varnex
