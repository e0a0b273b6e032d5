// The settings directory varnex hands to the plug-in with initialize.
#pragma once

#include <optional>
#include <string>

#include "session/host_options.h"

namespace varnex {

// --settings DIR, else $XDG_CONFIG_HOME/varnex/, else $HOME/.config/varnex/;
// created when absent and always ending in "/". Nothing when no directory
// can be named at all: the plug-in then works without its options file.
std::optional<std::string> PrepareSettingsDirectory(const HostOptions& options);
// The same directory, neither created nor reported.
std::optional<std::string> SettingsDirectory(const HostOptions& options);

}  // namespace varnex
