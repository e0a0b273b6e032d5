// The scene exports as command-line options of every importing command:
// -o/--output (glTF or BVH), --positions (CSV), --preview (SVG, or the HTML
// player), --dump-json, and convert's hidden --gallery-card.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/program.h"
#include "export/bvh_export.h"
#include "export/gltf_export.h"
#include "export/json_dump.h"
#include "export/positions_csv.h"
#include "export/svg_preview.h"
#include "io/output_option.h"
#include "library/acclaim_pairing.h"
#include "player/gallery.h"
#include "player/html_player.h"

namespace varnex {

namespace {

using Writer = std::function<bool(const std::string& path, const std::string& sourceFile, std::string& reason)>;
// What an export writes, in its failure message, for the path it was given.
using Kind = std::function<std::string(const std::string& path)>;

Kind Named(const char* what) {
  return [what](const std::string&) { return std::string(what); };
}

// The imported file's name, for titles; the command's positional "file"
// without its folder, so that no export depends on how the path was written.
std::string SourceFile(const CLI::App* command) {
  const CLI::Option* file = command->get_option_no_throw("file");
  if (!file || file->count() == 0) return std::string();
  std::string name = file->as<std::string>();
  // An ASF with one AMC is the AMC's take.
  const CLI::Option* more = command->get_option_no_throw("more");
  if (more && more->count() == 1 && IsAsfFile(name) && command->count("--skeleton") == 0)
    name = more->as<std::vector<std::string>>().front();
  return std::filesystem::path(name).filename().string();
}

void AddExport(CLI::App& command, SceneExports& exports, const char* names, const char* help, Kind what,
               std::vector<std::string> extensions, Writer writer) {
  auto target = std::make_shared<std::string>();
  command.add_option(names, *target, help)->check(OutputPathCheck(std::move(extensions)));
  const CLI::App* owner = &command;
  exports.push_back({target,
                     [target, owner, what, writer] {
                       std::string reason;
                       if (writer(*target, SourceFile(owner), reason)) return kExitSuccess;
                       std::fprintf(stderr, "varnex: cannot write the %s to %s: %s\n", what(*target).c_str(),
                                    target->c_str(), reason.c_str());
                       return kExitHostProblem;
                     },
                     what});
}

}  // namespace

void SetupGltfExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf& gltf) {
  // One take, named after the file's stem.
  auto write = [&settings, &gltf](const std::string& path, const std::string& sourceFile, std::string& reason) {
    const std::string take = std::filesystem::path(sourceFile).stem().string();
    if (IsBvhPath(path)) return WriteBvh(path, {CaptureTake(take, settings)}, settings, reason);
    return WriteGltfDocument(path, gltf.OfScene(take, settings), reason);
  };
  auto kind = [](const std::string& path) { return std::string(IsBvhPath(path) ? "BVH file" : "glTF file"); };
  AddExport(command, exports, "-o,--output",
            "Write the scene as glTF 2.0, OUT.glb (binary) or OUT.gltf (text), or as OUT.bvh", kind,
            {"glb", "gltf", "bvh"}, write);
}

void SetupPreviewExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf& gltf) {
  auto write = [&settings, &gltf](const std::string& path, const std::string& sourceFile, std::string& reason) {
    return IsHtmlPath(path) ? WriteHtmlPlayer(path, sourceFile, gltf, settings, reason)
                            : WriteSvgPreview(path, sourceFile, settings, reason);
  };
  AddExport(command, exports, "--preview",
            "Draw the skeleton at a few frames as SVG, or write OUT.html: a player of the take", Named("preview"),
            {"svg", "html"}, write);
}

void SetupJsonExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf&) {
  auto write = [&settings](const std::string& path, const std::string& sourceFile, std::string& reason) {
    return WriteSceneJson(path, sourceFile, settings, reason);
  };
  AddExport(command, exports, "--dump-json", "Write the whole imported scene as JSON", Named("scene JSON"),
            {"json"}, write);
}

void SetupPositionsExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf&) {
  auto write = [&settings](const std::string& path, const std::string&, std::string& reason) {
    return WritePositionsCsv(path, settings, reason);
  };
  AddExport(command, exports, "--positions", "Write every instance's world position at every frame as CSV",
            Named("positions"), {"csv"}, write);
}

void SetupGalleryCardExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings,
                            SharedGltf& gltf) {
  auto base = std::make_shared<std::string>();
  command.add_option("--gallery-card", *base)->group("");
  const CLI::App* owner = &command;
  exports.push_back({base,
                     [base, owner, &settings, &gltf] {
                       const std::string named = SourceFile(owner);
                       const std::string source = named.empty() ? *base : named;
                       GalleryCardFiles files;
                       files.svg = RenderSvgPreview(source, settings);
                       files.figures = {SceneFigures(source, settings)};
                       files.writePlayer = [&](const std::string& path, std::string& error) {
                         return WriteHtmlPlayer(path, source, gltf, settings, error);
                       };
                       return WriteGalleryCardFiles(*base, files);
                     },
                     Named("gallery card")});
}

}  // namespace varnex
