// Fills the bundled player page with its takes: their file names and figures
// as JSON, and their glb as base64, so that the page needs nothing beside it.
#include "player/html_player.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "export/gltf_export.h"
#include "player/player_page.h"
#include "scene/scene_sampling.h"
#include "scene/take_edits.h"

namespace varnex {

namespace {

std::string Base64(const std::string& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    if (left > 1) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (left > 2) n |= uint32_t(uint8_t(bytes[i + 2]));
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += left > 1 ? digits[(n >> 6) & 63] : '=';
    out += left > 2 ? digits[n & 63] : '=';
  }
  return out;
}

void ReplaceOnce(std::string& text, const std::string& placeholder, const std::string& value) {
  const size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), value);
}

// The index of each take's animation in the glb, -1 for a take that moves
// nothing and so has none; the glb lists the others in the takes' order.
std::vector<int> AnimationIndices(const std::vector<std::string>& takeNames, const nlohmann::json& gltf) {
  std::vector<int> indices;
  const nlohmann::json none = nlohmann::json::array();
  const nlohmann::json& animations = gltf.contains("animations") ? gltf["animations"] : none;
  size_t next = 0;
  for (const std::string& name : takeNames) {
    const bool has = next < animations.size() && animations[next].value("name", std::string()) == name;
    indices.push_back(has ? int(next++) : -1);
  }
  return indices;
}

}  // namespace

TakeFigures SceneFigures(const std::string& fileName, const ExportSettings& settings) {
  const std::vector<int32_t> ticks = EditedTicks(SampleTicks(), settings.edits);
  TakeFigures figures;
  figures.file = std::filesystem::path(fileName).filename().string();
  figures.frameRate = settings.edits.fps > 0 ? settings.edits.fps : vxhost::FrameRate();
  figures.frames = ticks.size();
  if (!ticks.empty()) {
    figures.start = double(ticks.front()) / vxhost::kTicksPerSecond;
    figures.seconds = double(ticks.back() - ticks.front()) / vxhost::kTicksPerSecond;
  }
  for (const vxhost::Instance* instance : vxhost::AllInstances()) figures.joints += instance->jointNode ? 1 : 0;
  return figures;
}

nlohmann::json FiguresJson(const std::vector<TakeFigures>& figures) {
  nlohmann::json takes = nlohmann::json::array();
  for (const TakeFigures& take : figures)
    takes.push_back({{"file", take.file},
                     {"frameRate", take.frameRate},
                     {"frames", take.frames},
                     {"start", take.start},
                     {"seconds", take.seconds},
                     {"joints", take.joints}});
  return {{"takes", std::move(takes)}};
}

bool PlayerBuilt() { return kPlayerPage[0] != '\0'; }

bool IsHtmlPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".html" || extension == ".htm";
}

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

std::string RenderHtmlPlayer(const GltfDocument& document, const std::vector<std::string>& takeNames,
                             const std::vector<TakeFigures>& figures, const std::string& heading) {
  nlohmann::json content = FiguresJson(figures);
  content["heading"] = heading;
  const std::vector<int> animations = AnimationIndices(takeNames, document.json);
  for (size_t i = 0; i < animations.size() && i < content["takes"].size(); ++i)
    content["takes"][i]["animation"] = animations[i];
  std::string json = content.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  // "</" would end the script element that holds the JSON.
  for (size_t at = json.find("</"); at != std::string::npos; at = json.find("</", at + 3)) json.insert(at + 1, "\\");
  std::string page = kPlayerPage;
  // Last placeholder first: what is filled in never meets a later search.
  ReplaceOnce(page, "{{glb}}", Base64(EncodeGlb(document)));
  ReplaceOnce(page, "{{take}}", json);
  const std::string count = takeNames.size() > 1 ? " · " + std::to_string(takeNames.size()) + " takes" : "";
  ReplaceOnce(page, "{{title}}", HtmlEscaped(heading) + count + " · varnex");
  return page;
}

namespace {

bool WritePage(const std::string& path, const std::function<std::string()>& render, std::string& error) {
  if (!PlayerBuilt()) {
    error = "this varnex was built without the HTML player (scripts/setup.sh installs the npm packages it is "
            "made from; then build again)";
    return false;
  }
  return WriteFileAtomically(path, render(), error);
}

}  // namespace

bool WriteHtmlPlayer(const std::string& path, const std::string& fileName, SharedGltf& gltf,
                     const ExportSettings& settings, std::string& error) {
  const std::string stem = std::filesystem::path(fileName).stem().string();
  const GltfDocument& document = gltf.OfScene(stem, settings);
  if (!document.problem.empty()) {  // the page plays the glTF it holds: none beyond single precision
    error = document.problem;
    return false;
  }
  return WritePage(path, [&] {
    return RenderHtmlPlayer(document, {stem}, {SceneFigures(fileName, settings)},
                            std::filesystem::path(fileName).filename().string());
  }, error);
}

bool WriteHtmlPlayer(const std::string& path, const std::vector<Take>& takes, const std::vector<TakeFigures>& figures,
                     const std::string& heading, SharedGltf& gltf, const ExportSettings& settings,
                     std::string& error) {
  GltfDocument& document = gltf.Of(takes, settings);
  if (!document.problem.empty()) {
    error = document.problem;
    return false;
  }
  return WritePage(path, [&] {
    NameScene(document, std::filesystem::path(path).stem().string());
    std::vector<std::string> takeNames;
    for (const Take& take : takes) takeNames.push_back(take.name);
    return RenderHtmlPlayer(document, takeNames, figures, heading);
  }, error);
}

}  // namespace varnex
