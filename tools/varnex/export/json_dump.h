// --dump-json: the whole imported scene as one JSON document for tools.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace varnex {

// The document as written, instance by instance.
std::string SceneJsonText(const std::string& sourceFile);
bool WriteSceneJson(const std::string& path, const std::string& sourceFile, std::string& error);

}  // namespace varnex
