// --dump-json: the whole imported scene as one JSON document for tools.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "scene/export_settings.h"

namespace varnex {

// The document as written, instance by instance, its head naming the
// settings the other exports of the take apply.
std::string SceneJsonText(const std::string& sourceFile, const ExportSettings& settings);
bool WriteSceneJson(const std::string& path, const std::string& sourceFile, const ExportSettings& settings,
                    std::string& error);

}  // namespace varnex
