// The SHA-256 digest of a file's bytes: what tells convert that a file holds
// what it held when an output was made from it, wherever it lies and
// whatever its times say.
#pragma once

#include <filesystem>
#include <string>

namespace varnex {

// Lower-case hex; empty when the file cannot be read.
std::string FileDigest(const std::filesystem::path& path);
// The same of bytes in memory.
std::string BytesDigest(const std::string& bytes);

}  // namespace varnex
