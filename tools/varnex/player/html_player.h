// The one-file HTML player (--preview OUT.html): the page bundled at build
// time, filled with the imported takes' figures and their glb.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scene/export_settings.h"
#include "export/gltf_export.h"
#include "scene/take.h"

namespace varnex {

// What the page's header and the gallery's card say of one take. The glb
// holds neither the frame rate nor the frame count, so they are read from
// the host scene right after the take's import, as the settings' edits
// leave the take.
struct TakeFigures {
  std::string file;  // the take's file, without its folder
  double frameRate = 0.0;
  size_t frames = 0;
  double start = 0.0, seconds = 0.0;  // first frame and length, in seconds
  size_t joints = 0;
};
TakeFigures SceneFigures(const std::string& fileName, const ExportSettings& settings);

// {"takes": [...]}, an object per take, as the page and the gallery read it.
nlohmann::json FiguresJson(const std::vector<TakeFigures>& figures);

// Whether this build holds the player's page.
bool PlayerBuilt();

// A page of takes of one skeleton, with their figures, played from their
// glTF document as a glb, under a heading: the take's file, or what the
// takes share. takeNames are the takes' animation names, in order.
std::string RenderHtmlPlayer(const GltfDocument& document, const std::vector<std::string>& takeNames,
                             const std::vector<TakeFigures>& figures, const std::string& heading);

// A page of the host scene as it stands, played from the import's document:
// the glb inside is the one -o writes.
bool WriteHtmlPlayer(const std::string& path, const std::string& fileName, SharedGltf& gltf,
                     const ExportSettings& settings, std::string& error);

// A page of captured takes, played from the glb that -o writes of them, its
// scene named after the page.
bool WriteHtmlPlayer(const std::string& path, const std::vector<Take>& takes, const std::vector<TakeFigures>& figures,
                     const std::string& heading, SharedGltf& gltf, const ExportSettings& settings,
                     std::string& error);

// Whether a path names an HTML file, whatever the case of its extension.
bool IsHtmlPath(const std::string& path);

// Text safe inside HTML elements and quoted attributes.
std::string HtmlEscaped(const std::string& text);

}  // namespace varnex
