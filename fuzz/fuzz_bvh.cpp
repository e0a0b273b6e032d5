// Fuzz target: the input is a whole .bvh file, imported through the entry point.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxtest::Import(fuzzharness::WriteInput("input.bvh", data, size));
  fuzzharness::CheckHostAndReset("fuzz_bvh");
  return 0;
}
