// --dump-json: the whole imported scene as one JSON document for tools.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace varnex {

nlohmann::json SceneToJson(const std::string& sourceFile);
bool WriteSceneJson(const std::string& path, const std::string& sourceFile, std::string& error);

}  // namespace varnex
