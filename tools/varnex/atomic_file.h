// Writing an output file whole or not at all: the bytes go to a temporary
// file beside the target, which is renamed over it only once complete.
#pragma once

#include <string>
#include <string_view>

namespace varnex {

// Answers false with the reason (as strerror words it) when the file cannot be written.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace varnex
