// Fuzz target: the input is an .amc file read into a fixed, valid skeleton.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string skeleton = fuzzharness::Scratch().Write("motion.asf", vxtest::kArmAsf);
  fuzzharness::WriteInput("motion.amc", data, size);
  vxtest::Import(skeleton);
  fuzzharness::CheckHostAndReset("fuzz_amc");
  return 0;
}
