// Fuzz target: the input is a whole .bvh file, imported through the entry point.
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzzharness::WriteScratchFile("input.bvh", "");
  fuzzharness::WriteScratchFile("input.bvh", data, size);
  fuzzharness::ImportFile(path);
  fuzzharness::CheckHostAndReset("fuzz_bvh");
  return 0;
}
