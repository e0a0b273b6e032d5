// Finds and creates the settings directory; a directory that cannot be
// created is still handed over (the plug-in then finds no options file).
#include "session/settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace varnex {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::optional<std::string> ChooseSettingsDirectory(const HostOptions& options) {
  if (!options.settingsDirectory.empty()) return options.settingsDirectory;
#ifdef _WIN32
  if (std::string appData = Environment("APPDATA"); !appData.empty()) return appData + "/varnex/";
#endif
  if (std::string config = Environment("XDG_CONFIG_HOME"); !config.empty()) return config + "/varnex/";
  if (std::string home = Environment("HOME"); !home.empty()) return home + "/.config/varnex/";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SettingsDirectory(const HostOptions& options) {
  std::optional<std::string> directory = ChooseSettingsDirectory(options);
  if (directory && directory->back() != '/') directory->push_back('/');
  return directory;
}

std::optional<std::string> PrepareSettingsDirectory(const HostOptions& options) {
  std::optional<std::string> directory = SettingsDirectory(options);
  if (!directory) return std::nullopt;
  std::error_code error;
  std::filesystem::create_directories(*directory, error);
  if (error) {
    std::fprintf(stderr, "varnex: cannot create the settings directory %s: %s\n", directory->c_str(),
                 error.message().c_str());
  }
  return directory;
}

}  // namespace varnex
