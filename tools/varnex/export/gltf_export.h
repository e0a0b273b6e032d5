// glTF 2.0 export of takes (see take.h): one node per instance in its
// hierarchy, one named animation per take, bone geometry skinned to the
// joints so that any viewer shows the motion.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scene/export_settings.h"
#include "scene/take.h"

namespace varnex {

struct GltfDocument {
  nlohmann::json json;
  std::string bin;      // the one buffer, padded to four bytes
  std::string problem;  // why it must not be written (a value beyond single precision); empty when fine
};

// Builds the document: the nodes, rest pose and skin of the first take, and
// an animation per take. The takes must share one hierarchy.
GltfDocument BuildGltf(const std::vector<Take>& takes, const std::string& sceneName, const ExportSettings& settings);

// Binary glTF (.glb): header, JSON chunk, BIN chunk.
std::string EncodeGlb(const GltfDocument& document);
// Text glTF: the buffer embedded as a base64 data URI, so one file says it all.
std::string EncodeGltfText(const GltfDocument& document);

// Writes the takes, one animation each, as text glTF when the path ends in
// .gltf (any case), else as binary; false with a message for the user when
// the takes differ in hierarchy or the file cannot be written. The scene is
// named as GltfSceneName says.
bool WriteGltfTakes(const std::string& path, const std::vector<Take>& takes, const ExportSettings& settings,
                    std::string& error);

// The scene's name in a file of takes: the take's, or the file's stem when there are several.
std::string GltfSceneName(const std::string& path, const std::vector<Take>& takes);

// Renames the document's one scene: a document built once for several files
// takes each file's name in turn.
void NameScene(GltfDocument& document, const std::string& sceneName);

// Writes a built document, as WriteGltfTakes writes it; refuses one with a problem.
bool WriteGltfDocument(const std::string& path, const GltfDocument& document, std::string& error);

// The one document of an import, for every export that holds it (-o, the
// player page, a gallery card's player): the first to ask builds it, the
// others take it as it stands, since the build with its animation
// compaction is most of what each of them costs. An import asks with the
// same takes and settings every time.
class SharedGltf {
 public:
  // The document of captured takes.
  GltfDocument& Of(const std::vector<Take>& takes, const ExportSettings& settings);
  // The document of the host scene as one take named takeName, its scene named so too.
  GltfDocument& OfScene(const std::string& takeName, const ExportSettings& settings);

 private:
  std::optional<GltfDocument> document_;
};

}  // namespace varnex
