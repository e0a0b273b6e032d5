// Loading the plug-in as a host application does: open the library by path,
// find its one entry point, and call it with keyword and value lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <varnex/host.h>

#include "session/host_options.h"

namespace varnex {

using PluginEntryPoint = void (*)(const char** keywords, void** values, int32_t* result, void* extra);

// One keyword of a call with its value: a string, a handle or a small integer.
struct KeywordValue {
  const char* keyword;
  void* value;
};

inline void* StringValue(const char* text) { return const_cast<char*>(text); }
inline void* IntegerValue(intptr_t number) { return reinterpret_cast<void*>(number); }

class Plugin {
 public:
  // Loads the library, sends parent_hWnd and initialize. On failure prints
  // the reason to stderr and answers nothing. From here on every host
  // message goes to stderr as it is sent (PrintHostMessage).
  static std::optional<Plugin> Start(const HostOptions& options);
  // The same for a front end with a message sink of its own: the reason of
  // a failure goes into `problem`, and the host's sink is left as it is.
  static std::optional<Plugin> Start(const HostOptions& options, std::string& problem);

  // One call of the entry point; answers the result cell.
  int32_t Call(const std::vector<KeywordValue>& list) const;

 private:
  explicit Plugin(PluginEntryPoint entry) : entry_(entry) {}
  PluginEntryPoint entry_;
};

// One host message on stderr, ended with a line feed when it has none.
void PrintHostMessage(const vxhost::Message& message);

// imp_bvh.so in the directory of the running program.
std::string DefaultPluginPath();

}  // namespace varnex
