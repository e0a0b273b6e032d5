// glTF 2.0 export of the imported scene: one node per instance in its
// hierarchy, one animation sampled at the scene's frames, bone geometry
// skinned to the joints so that any viewer shows the motion.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace varnex {

struct GltfDocument {
  nlohmann::json json;
  std::string bin;  // the one buffer, padded to four bytes
};

// Builds the document from the host scene as it stands.
GltfDocument BuildGltf(const std::string& sceneName);

// Binary glTF (.glb): header, JSON chunk, BIN chunk.
std::string EncodeGlb(const GltfDocument& document);
// Text glTF: the buffer embedded as a base64 data URI, so one file says it all.
std::string EncodeGltfText(const GltfDocument& document);

// Writes .glb or .gltf by the path's extension (binary for any other
// extension); false with a message for the user when it cannot.
bool WriteGltf(const std::string& path, const std::string& sceneName, std::string& error);

}  // namespace varnex
