// Fills the bundled player page with one take: its file name and figures as
// JSON, and its glb as base64, so that the page needs nothing beside it.
#include "html_player.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "atomic_file.h"
#include "gltf_export.h"
#include "player_page.h"
#include "scene_sampling.h"
#include "varnex/host.h"

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

// The figures the page shows; the glb has no frame rate of its own.
nlohmann::json TakeFigures(const std::string& fileName) {
  const std::vector<int32_t> ticks = SampleTicks();
  size_t joints = 0;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) joints += instance->jointNode ? 1 : 0;
  return {{"file", std::filesystem::path(fileName).filename().string()},
          {"frameRate", vxhost::FrameRate()},
          {"frames", ticks.size()},
          {"start", ticks.empty() ? 0.0 : double(ticks.front()) / vxhost::kTicksPerSecond},
          {"joints", joints}};
}

void ReplaceOnce(std::string& text, const std::string& placeholder, const std::string& value) {
  const size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

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

std::string RenderHtmlPlayer(const std::string& fileName, const ExportSettings& settings) {
  std::string take = TakeFigures(fileName).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  // "</" would end the script element that holds the JSON.
  for (size_t at = take.find("</"); at != std::string::npos; at = take.find("</", at + 3)) take.insert(at + 1, "\\");
  const std::string stem = std::filesystem::path(fileName).stem().string();
  std::string page = kPlayerPage;
  // Last placeholder first: what is filled in never meets a later search.
  ReplaceOnce(page, "{{glb}}", Base64(EncodeGlb(BuildGltf({CaptureTake(stem, settings)}, stem, settings))));
  ReplaceOnce(page, "{{take}}", take);
  ReplaceOnce(page, "{{title}}", HtmlEscaped(std::filesystem::path(fileName).filename().string()) + " · varnex");
  return page;
}

bool WriteHtmlPlayer(const std::string& path, const std::string& fileName, const ExportSettings& settings,
                     std::string& error) {
  if (!PlayerBuilt()) {
    error = "this varnex was built without the HTML player (scripts/setup.sh installs the npm packages it is "
            "made from; then build again)";
    return false;
  }
  return WriteFileAtomically(path, RenderHtmlPlayer(fileName, settings), error);
}

}  // namespace varnex
