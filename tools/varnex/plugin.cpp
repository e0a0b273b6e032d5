// Opens imp_bvh.so with dlopen, resolves Varnex_Plugin_EntryPoint and sends
// the calls a host makes once after loading a plug-in.
#include "plugin.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

#include "settings.h"

namespace varnex {

std::string DefaultPluginPath() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "imp_bvh.so";
  return (program.parent_path() / "imp_bvh.so").string();
}

std::optional<Plugin> Plugin::Start(const HostOptions& options) {
  std::string path = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
  // The library stays loaded until the program ends, as in a host application.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "varnex: cannot load the plug-in %s: %s\n", path.c_str(), dlerror());
    return std::nullopt;
  }
  auto entry = reinterpret_cast<PluginEntryPoint>(dlsym(library, "Varnex_Plugin_EntryPoint"));
  if (entry == nullptr) {
    std::fprintf(stderr, "varnex: %s has no entry point Varnex_Plugin_EntryPoint\n", path.c_str());
    return std::nullopt;
  }

  Plugin plugin(entry);
  std::optional<std::string> settings = PrepareSettingsDirectory(options);
  plugin.Call({{"parent_hWnd", nullptr},
               {"initialize", settings ? StringValue(settings->c_str()) : nullptr}});
  return plugin;
}

int32_t Plugin::Call(const std::vector<KeywordValue>& list) const {
  std::vector<const char*> keywords;
  std::vector<void*> values;
  for (const KeywordValue& item : list) {
    keywords.push_back(item.keyword);
    values.push_back(item.value);
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  int32_t result = 0;
  entry_(keywords.data(), values.data(), &result, nullptr);
  return result;
}

}  // namespace varnex
