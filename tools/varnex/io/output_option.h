// The check each export's output option carries: the extensions the export
// writes, matched regardless of case, "-" for standard output, and any FIFO
// or character device. Anything else is refused before the import, with exit 2.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace varnex {

// EXTENSIONS in lower case without the dot, e.g. {"glb", "gltf"}.
CLI::Validator OutputPathCheck(std::vector<std::string> extensions, bool standardOutput = true);

// Whether PATH ends in "." EXTENSION (lower case), in any case.
bool HasExtension(const std::string& path, const std::string& extension);

}  // namespace varnex
