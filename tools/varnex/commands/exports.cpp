// The table of scene exports. A new export is one file with its setup
// function and one line in kSceneExports.
#include <cstdio>
#include <new>

#include "io/atomic_file.h"
#include "io/stop_signals.h"
#include "commands/program.h"

namespace varnex {

void SetupPositionsExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);
void SetupGltfExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);
void SetupPreviewExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);
void SetupJsonExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);
void SetupReportExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);
void SetupGalleryCardExport(CLI::App&, SceneExports&, const ExportSettings&, SharedGltf&);

namespace {

constexpr SceneExportSetup kSceneExports[] = {
    SetupPositionsExport, SetupGltfExport,   SetupPreviewExport,
    SetupJsonExport,      SetupReportExport, SetupGalleryCardExport,
};

}  // namespace

void AddSceneExports(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf& gltf) {
  for (SceneExportSetup setup : kSceneExports) setup(command, exports, settings, gltf);
}

namespace {

// An export too big for the memory left is not written; the next, smaller
// one may still be. Its output file gave its temporary back on the way out.
int WriteOrRunOutOfMemory(const SceneExport& sceneExport) {
  try {
    return sceneExport.write();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "varnex: out of memory while writing %s; it was not written\n", sceneExport.target->c_str());
    return kExitHostProblem;
  }
}

}  // namespace

int CheckSceneExports(const SceneExports& exports, const std::vector<std::filesystem::path>& inputs) {
  for (const SceneExport& sceneExport : exports) {
    if (sceneExport.target->empty()) continue;
    const std::string refusal = OutputRefusal(*sceneExport.target, inputs);
    if (refusal.empty()) continue;
    std::fprintf(stderr, "varnex: cannot write the %s to %s: %s\n", sceneExport.what(*sceneExport.target).c_str(),
                 sceneExport.target->c_str(), refusal.c_str());
    return kExitHostProblem;
  }
  return kExitSuccess;
}

int WriteSceneExports(const SceneExports& exports) {
  int exitCode = kExitSuccess;
  std::string written, notWritten;
  for (const SceneExport& sceneExport : exports) {
    if (sceneExport.target->empty()) continue;
    const int code = StopRequested() ? kExitHostProblem : WriteOrRunOutOfMemory(sceneExport);
    std::string& list = code == kExitSuccess ? written : notWritten;
    list += (list.empty() ? "" : ", ") + *sceneExport.target;
    if (exitCode == kExitSuccess) exitCode = code;
  }
  if (!StopRequested()) return exitCode;
  if (written.empty() && notWritten.empty()) {
    std::fprintf(stderr, "varnex: stopped by %s\n", StopSignalName());
    return StopExitCode();
  }
  std::fprintf(stderr, "varnex: stopped by %s; written: %s; not written: %s\n", StopSignalName(),
               written.empty() ? "none" : written.c_str(), notWritten.empty() ? "none" : notWritten.c_str());
  return StopExitCode();
}

}  // namespace varnex
