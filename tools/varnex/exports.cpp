// The table of scene exports. A new export is one file with its setup
// function and one line in kSceneExports.
#include "varnex.h"

namespace varnex {

void SetupPositionsExport(CLI::App& command, SceneExports& exports);

namespace {

constexpr SceneExportSetup kSceneExports[] = {
    SetupPositionsExport,
};

}  // namespace

void AddSceneExports(CLI::App& command, SceneExports& exports) {
  for (SceneExportSetup setup : kSceneExports) setup(command, exports);
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
