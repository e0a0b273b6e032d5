// Shared by every fuzz target: a per-process scratch folder, whole imports
// through the plug-in's entry point, and the check that the host saw no
// malformed call. The same code backs the regression replays under ctest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzzharness {

// Writes the bytes to a file of that name in the scratch folder (made once
// per process, removed at exit) and returns its full path.
std::string WriteScratchFile(std::string_view name, const uint8_t* data, size_t size);
std::string WriteScratchFile(std::string_view name, std::string_view text);
void RemoveScratchFile(std::string_view name);
std::string ScratchDir();  // with a trailing slash

// One execute_geometry_converter call for the path; answers the result.
int32_t ImportFile(const std::string& path);
// One initialize call with the scratch folder as the settings directory.
void InitializeWithScratchSettings();

// Aborts the process, printing every host error, when the host found a
// malformed call; then gives back a fresh host for the next input.
void CheckHostAndReset(std::string_view what);

// A small skeleton and its motion, both valid, used as the fixed half of
// the Acclaim targets.
extern const char kFixedAsf[];
extern const char kFixedAmc[];
extern const char kFixedBvh[];

}  // namespace fuzzharness
