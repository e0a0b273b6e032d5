// The table of scene exports. A new export is one file with its setup
// function and one line in kSceneExports.
#include "varnex.h"

namespace varnex {

void SetupPositionsExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);
void SetupGltfExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);
void SetupPreviewExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);
void SetupJsonExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);
void SetupReportExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);

namespace {

constexpr SceneExportSetup kSceneExports[] = {
    SetupPositionsExport, SetupGltfExport, SetupPreviewExport, SetupJsonExport, SetupReportExport,
};

}  // namespace

void AddSceneExports(CLI::App& command, SceneExports& exports, const ExportSettings& settings) {
  for (SceneExportSetup setup : kSceneExports) setup(command, exports, settings);
}

int WriteSceneExports(const SceneExports& exports) {
  int exitCode = kExitSuccess;
  for (const SceneExport& sceneExport : exports) {
    if (!sceneExport.requested()) continue;
    int written = sceneExport.write();
    if (exitCode == kExitSuccess) exitCode = written;
  }
  return exitCode;
}

}  // namespace varnex
