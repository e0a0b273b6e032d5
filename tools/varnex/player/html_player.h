// The one-file HTML player (--preview OUT.html): the page bundled at build
// time, filled with the imported take's figures and its glb.
#pragma once

#include <string>

#include "export_settings.h"

namespace varnex {

// Whether this build holds the player's page.
bool PlayerBuilt();

// The glb inside is the one -o writes with the same settings.
std::string RenderHtmlPlayer(const std::string& fileName, const ExportSettings& settings);
bool WriteHtmlPlayer(const std::string& path, const std::string& fileName, const ExportSettings& settings,
                     std::string& error);

// Whether a path names an HTML file, whatever the case of its extension.
bool IsHtmlPath(const std::string& path);

// Text safe inside HTML elements and quoted attributes.
std::string HtmlEscaped(const std::string& text);

}  // namespace varnex
