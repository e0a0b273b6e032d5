// --preview: a picture of the imported skeleton at a few frames across the
// take, seen from the front and from the side.
#pragma once

#include <string>

namespace varnex {

std::string RenderSvgPreview(const std::string& fileName);
bool WriteSvgPreview(const std::string& path, const std::string& fileName, std::string& error);

}  // namespace varnex
