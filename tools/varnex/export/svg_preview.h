// --preview: a picture of the imported skeleton at a few frames across the
// take, seen from the front and from the side.
#pragma once

#include <string>

#include "scene/export_settings.h"

namespace varnex {

// The picture of the take in the host scene as the settings export it.
std::string RenderSvgPreview(const std::string& fileName, const ExportSettings& settings);
bool WriteSvgPreview(const std::string& path, const std::string& fileName, const ExportSettings& settings,
                     std::string& error);

}  // namespace varnex
