// Reads a written glb or glTF file's JSON: each sampler's input accessor
// counts its channel's keys. Nothing else of the file is decoded.
#include "commands/output_figures.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "io/text_case.h"

namespace varnex {

namespace {

uint32_t LittleEndian32(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// The JSON of a glb (its first chunk) or of a text glTF file; discarded when unreadable.
nlohmann::json GltfJson(const std::filesystem::path& output, bool binary) {
  std::ifstream in(output, std::ios::binary);
  if (!binary) return nlohmann::json::parse(in, nullptr, false);
  unsigned char header[20];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || LittleEndian32(header) != 0x46546C67u ||
      LittleEndian32(header + 16) != 0x4E4F534Au)
    return nlohmann::json::value_t::discarded;
  std::string text(LittleEndian32(header + 12), '\0');
  if (!in.read(text.data(), std::streamsize(text.size()))) return nlohmann::json::value_t::discarded;
  return nlohmann::json::parse(text, nullptr, false);
}

long long AnimationKeys(const nlohmann::json& gltf) {
  if (!gltf.is_object() || !gltf.contains("accessors")) return -1;
  const nlohmann::json& accessors = gltf["accessors"];
  long long keys = 0;
  for (const nlohmann::json& animation : gltf.value("animations", nlohmann::json::array())) {
    for (const nlohmann::json& sampler : animation.value("samplers", nlohmann::json::array())) {
      const size_t input = sampler.value("input", size_t(-1));
      if (!accessors.is_array() || input >= accessors.size()) return -1;
      keys += accessors[input].value("count", 0LL);
    }
  }
  return keys;
}

}  // namespace

OutputFigures ReadOutputFigures(const std::filesystem::path& output) {
  OutputFigures figures;
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(output, ec);
  if (ec) return figures;
  figures.bytes = static_cast<long long>(size);
  const std::string extension = LowerCase(output.extension().string());
  if (extension == ".glb" || extension == ".gltf") figures.keys = AnimationKeys(GltfJson(output, extension == ".glb"));
  return figures;
}

}  // namespace varnex
