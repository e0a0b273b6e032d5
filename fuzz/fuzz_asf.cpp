// Fuzz target: the input is an .asf file with no motion file beside it.
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzzharness::WriteScratchFile("alone.asf", "");
  fuzzharness::WriteScratchFile("alone.asf", data, size);
  fuzzharness::ImportFile(path);
  fuzzharness::CheckHostAndReset("fuzz_asf");
  return 0;
}
