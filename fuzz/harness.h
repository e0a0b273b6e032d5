// Shared by every fuzz target: a scratch folder for the process, and the
// check that the host saw no malformed call. The same code backs the
// regression replays under ctest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/plugin_calls.h"
#include "support/samples.h"
#include "support/scratch.h"

namespace fuzzharness {

// Made on first use, removed with its contents when the process ends.
const vxtest::ScratchDir& Scratch();

inline std::string WriteInput(std::string_view name, const uint8_t* data, size_t size) {
  return Scratch().Write(name, std::string_view(reinterpret_cast<const char*>(data), size));
}

// Aborts the process, printing every host error, when the host found a
// malformed call; then gives back a fresh host for the next input.
void CheckHostAndReset(std::string_view what);

}  // namespace fuzzharness
