// varnex import FILE [options]: runs the import, prints the scene it built,
// and writes the requested exports. With several AMC takes of one skeleton
// it imports each in turn and writes them into one glTF file. The exit code
// is the import's result, 2 when an export could not be written, or 128
// plus a stop signal.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "commands/commands.h"
#include "commands/export_options.h"
#include "library/acclaim_pairing.h"
#include "player/gallery.h"
#include "export/bvh_export.h"
#include "export/gltf_export.h"
#include "player/html_player.h"
#include "session/import_session.h"
#include "commands/scene_print.h"
#include "export/svg_preview.h"
#include "io/standard_output.h"
#include "io/stop_signals.h"
#include "scene/scene_sampling.h"
#include "scene/take.h"
#include "scene/take_edits.h"
#include "scene/take_meaning.h"
#include "commands/worker_report.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

struct ImportCommand {
  ImportRequest request;
  SceneExports exports;
  MeaningOptions meaning;         // as asked
  ExportSettings exportSettings;  // as decided for the take, read by every export
  SharedGltf gltf;  // built once for -o, the player page and a gallery card's player
  CLI::App* cli = nullptr;
};

// Decides what the take in the scene means, says it in the take's line and
// hands it to every export and to a worker's report.
Meaning UnderstandTake(ImportCommand& command, const TakeFiles& take) {
  MeaningOptions options = command.meaning;
  options.acclaimRootScale = command.request.acclaimRootScale;
  const Meaning meaning = DecideMeaning(options, take.skeleton.empty() ? 1.0 : AsfUnitLength(take.skeleton));
  command.exportSettings = meaning.settings;
  NoteTakeMeaning(MeaningSummary(meaning), meaning.height);
  return meaning;
}

// A range of frames that keeps none of this take's is said, and nothing is written.
bool EditsApply(const std::string& takeName, const ExportSettings& settings) {
  if (!settings.edits.Any()) return true;
  const std::string problem = TakeEditsProblem(settings.edits, SampleTicks().size());
  if (problem.empty()) return true;
  std::fprintf(stderr, "varnex: %s: %s; nothing was written\n", takeName.c_str(), problem.c_str());
  return false;
}

void SayMeaning(const std::string& takeName, const Meaning& meaning) {
  const std::string line = MeaningLine(takeName, meaning);
  if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

void SayOptionsFileNotice(const ImportRequest& request, const HostOptions& host) {
  if (request.quiet) return;
  const std::string notice = OptionsFileNotice(request.reduction, host);
  if (!notice.empty()) std::fprintf(stderr, "%s\n", notice.c_str());
}

// What an import of several takes writes besides -o: the player of them
// all (--preview OUT.html) and a gallery card's files.
struct TakesPages {
  std::string preview, card;  // paths; empty when not asked for
  std::string heading;        // of the page: the skeleton, else the first take
};

// Several takes: an ASF named first is their skeleton; each is imported on
// a fresh scene and captured, then their one glTF document goes into the
// glTF file and the player page.
int RunTakesCommand(const HostOptions& host, ImportCommand& command) {
  ImportRequest request = command.request;
  std::vector<std::string> files = {request.file};
  files.insert(files.end(), request.moreFiles.begin(), request.moreFiles.end());
  if (IsAsfFile(files.front()) && request.skeleton.empty()) {
    request.skeleton = files.front();
    files.erase(files.begin());
  }
  for (const char* single : {"--positions", "--dump-json"}) {
    if (command.cli->count(single) > 0) {
      std::fprintf(stderr, "varnex: %s writes one take; several takes go into one glTF file (-o)\n", single);
      return kExitHostProblem;
    }
  }
  TakesPages pages;
  if (command.cli->count("--preview") > 0) {
    pages.preview = command.cli->get_option("--preview")->as<std::string>();
    if (!IsHtmlPath(pages.preview)) {
      std::fprintf(stderr, "varnex: --preview OUT.svg draws one take; several takes play in one page (--preview OUT.html)\n");
      return kExitHostProblem;
    }
  }
  if (const CLI::Option* card = command.cli->get_option_no_throw("--gallery-card"); card && card->count() > 0)
    pages.card = card->as<std::string>();
  const CLI::Option* output = command.cli->get_option("--output");
  if (output->count() > 0 && IsBvhPath(output->as<std::string>())) {
    std::fprintf(stderr, "varnex: a BVH file holds one take; several takes go into one glTF file (-o OUT.glb)\n");
    return kExitHostProblem;
  }
  if (output->count() == 0 && pages.preview.empty()) {
    std::fprintf(stderr, "varnex: several takes go into one glTF file: give -o OUT.glb\n");
    return kExitHostProblem;
  }
  std::vector<TakeFiles> takes;
  for (const std::string& file : files) {
    std::optional<TakeFiles> take = ResolveTake(file, request);
    if (!take) return kExitFailure;
    takes.push_back(*take);
  }
  std::vector<fs::path> inputs;
  for (const TakeFiles& take : takes) {
    const std::vector<fs::path> read = ImportInputs(take);
    inputs.insert(inputs.end(), read.begin(), read.end());
  }
  if (const int refused = CheckSceneExports(command.exports, inputs); refused != kExitSuccess) return refused;
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  SayOptionsFileNotice(request, host);
  // One file holds one skeleton: the first take's meaning serves them all.
  std::optional<Meaning> meaning;
  const std::string path = output->count() ? output->as<std::string>() : std::string();
  std::vector<Take> captured;
  GalleryCardFiles card;
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
      FlushStandardOutput();
    }
    request.noticesSaid = true;
    NoteTakeFigures();
    if (!meaning) {
      meaning = UnderstandTake(command, take);
      SayMeaning(take.name, *meaning);
    } else {
      SayMeaning(take.name + ": as " + takes.front().name, *meaning);
    }
    if (!EditsApply(take.name, command.exportSettings)) return kExitHostProblem;
    captured.push_back(CaptureTake(take.name, command.exportSettings));
    if (!pages.preview.empty() || !pages.card.empty()) card.figures.push_back(SceneFigures(take.motion.string(), command.exportSettings));
    // The card's picture is of the first take, drawn while its scene stands.
    if (!pages.card.empty() && captured.size() == 1)
      card.svg = RenderSvgPreview(take.motion.string(), command.exportSettings);
    std::string difference;
    if (!SameHierarchy(captured.front(), captured.back(), difference)) {
      std::fprintf(stderr, "varnex: %s and %s cannot share one glTF file: %s\n", takes.front().motion.string().c_str(),
                   take.motion.string().c_str(), difference.c_str());
      return kExitFailure;
    }
  }
  pages.heading = (request.skeleton.empty() ? takes.front().motion : takes.front().skeleton).filename().string();
  auto writePlayer = [&](const std::string& page, std::string& error) {
    return WriteHtmlPlayer(page, captured, card.figures, pages.heading, command.gltf, command.exportSettings, error);
  };
  card.writePlayer = writePlayer;

  // The glTF file, then the pages; after a stop, the user learns which were written.
  SceneExports outputs;
  auto shared = [](const std::string& target) { return std::make_shared<const std::string>(target); };
  if (!path.empty())
    outputs.push_back({shared(path), [&] {
                         std::string error;
                         GltfDocument& document = command.gltf.Of(captured, command.exportSettings);
                         NameScene(document, GltfSceneName(path, captured));
                         if (WriteGltfDocument(path, document, error)) return kExitSuccess;
                         if (!error.empty())
                           std::fprintf(stderr, "varnex: cannot write the glTF file to %s: %s\n", path.c_str(),
                                        error.c_str());
                         return kExitHostProblem;
                       }});
  if (!pages.preview.empty())
    outputs.push_back({shared(pages.preview), [&] {
                         std::string error;
                         if (writePlayer(pages.preview, error)) return kExitSuccess;
                         std::fprintf(stderr, "varnex: cannot write the preview to %s: %s\n", pages.preview.c_str(),
                                      error.c_str());
                         return kExitHostProblem;
                       }});
  if (!pages.card.empty())
    outputs.push_back({shared(pages.card), [&] { return WriteGalleryCardFiles(pages.card, card); }});
  const int written = WriteSceneExports(outputs);
  if (written != kExitSuccess) return written;
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
  const StopCutsOutput printout(1);  // standard output: the scene, or an export on "-"
  if (command.meaning.asBuilt) command.request.acclaimRootScale = false;
  // An ASF with one AMC is one take, as with --skeleton: every export serves it.
  if (OneTakeOfSkeleton(command.request)) {
    command.request.skeleton = command.request.file;
    command.request.file = command.request.moreFiles.front();
    command.request.moreFiles.clear();
  }
  if (!command.request.moreFiles.empty()) return RunTakesCommand(host, command);
  const std::optional<TakeFiles> take = ResolveTake(command.request.file, command.request);
  if (!take) return kExitFailure;
  if (const int refused = CheckSceneExports(command.exports, ImportInputs(*take)); refused != kExitSuccess)
    return refused;
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
    FlushStandardOutput();
  }
  SayMeaning(take->name, UnderstandTake(command, *take));
  if (!EditsApply(take->name, command.exportSettings)) return kExitHostProblem;
  return WriteSceneExports(command.exports);
}

}  // namespace

void SetupImportCommand(Program& program) {
  auto state = std::make_shared<ImportCommand>();
  CLI::App* command = program.cli.add_subcommand("import", "Import a file and print the scene it builds");
  state->cli = command;
  AddImportOptions(*command, state->request);
  AddExportSettingsOptions(*command, state->meaning);
  command->get_option("--as-built")->excludes("--acclaim-root-scale");
  AddSceneExports(*command, state->exports, state->exportSettings, state->gltf);
  program.commands.push_back({command, [&host = program.host, state] { return RunImportCommand(host, *state); }});
}

}  // namespace varnex
