// --dump-json: the whole imported scene as one JSON document for tools.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "scene/export_settings.h"

namespace varnex {

// The document as written, instance by instance: every length, axis and
// order read as the other exports of the take read it, the head naming how.
std::string SceneJsonText(const std::string& sourceFile, const ExportSettings& settings);
bool WriteSceneJson(const std::string& path, const std::string& sourceFile, const ExportSettings& settings,
                    std::string& error);

}  // namespace varnex
