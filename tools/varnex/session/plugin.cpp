// Opens imp_bvh.so with dlopen (imp_bvh.dll with LoadLibrary on Windows),
// resolves Varnex_Plugin_EntryPoint and sends the calls a host makes once
// after loading a plug-in.
#include "session/plugin.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <filesystem>

#include "session/settings.h"

namespace varnex {

namespace {

#ifdef _WIN32
constexpr const char* kPluginFileName = "imp_bvh.dll";

std::filesystem::path ProgramPath(std::error_code& error) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    error = std::make_error_code(std::errc::filename_too_long);
    return {};
  }
  return path;
}

void* OpenLibrary(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
std::string LoadError() { return "error " + std::to_string(GetLastError()); }
#else
constexpr const char* kPluginFileName = "imp_bvh.so";

std::filesystem::path ProgramPath(std::error_code& error) {
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
std::string LoadError() { return dlerror(); }
#endif

}  // namespace

void PrintHostMessage(const vxhost::Message& message) {
  std::fputs(message.text.c_str(), stderr);
  if (message.text.empty() || message.text.back() != '\n') std::fputc('\n', stderr);
}

std::string DefaultPluginPath() {
  std::error_code error;
  std::filesystem::path program = ProgramPath(error);
  if (error) return kPluginFileName;
  return (program.parent_path() / kPluginFileName).string();
}

std::optional<Plugin> Plugin::Start(const HostOptions& options, std::string& problem) {
  std::string path = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
  // The library stays loaded until the program ends, as in a host application.
  void* library = OpenLibrary(path);
  if (library == nullptr) {
    problem = "cannot load the plug-in " + path + ": " + LoadError();
    return std::nullopt;
  }
  auto entry = reinterpret_cast<PluginEntryPoint>(FindSymbol(library, "Varnex_Plugin_EntryPoint"));
  if (entry == nullptr) {
    problem = path + " has no entry point Varnex_Plugin_EntryPoint";
    return std::nullopt;
  }

  Plugin plugin(entry);
  std::optional<std::string> settings = PrepareSettingsDirectory(options);
  plugin.Call({{"parent_hWnd", nullptr},
               {"initialize", settings ? StringValue(settings->c_str()) : nullptr}});
  return plugin;
}

std::optional<Plugin> Plugin::Start(const HostOptions& options) {
  vxhost::SetMessageSink(PrintHostMessage);
  std::string problem;
  std::optional<Plugin> plugin = Start(options, problem);
  if (!plugin) std::fprintf(stderr, "varnex: %s\n", problem.c_str());
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
