// Fuzz target: the input is an .asf file with no motion file beside it.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxtest::Import(fuzzharness::WriteInput("alone.asf", data, size));
  fuzzharness::CheckHostAndReset("fuzz_asf");
  return 0;
}
