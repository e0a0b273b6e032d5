// Where the plug-in and its settings are: what a host tells varnex before
// any import (--plugin, --settings).
#pragma once

#include <string>

namespace varnex {

struct HostOptions {
  std::string pluginPath;             // empty: imp_bvh.so beside the program
  std::string settingsDirectory;      // empty: the user's configuration folder
};

}  // namespace varnex
