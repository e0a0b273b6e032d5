// Fuzz target: the input is an .asf file; a fixed, valid .amc sits beside it,
// so whatever skeleton the input makes also gets motion read into it.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string motion = fuzzharness::Scratch().Write("pair.amc", vxtest::kArmAmc);
  vxtest::Import(fuzzharness::WriteInput("pair.asf", data, size));
  fuzzharness::CheckHostAndReset("fuzz_asf_amc");
  return 0;
}
