// Fuzz target: the input is an .amc file read into a fixed, valid skeleton.
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzzharness::WriteScratchFile("motion.asf", fuzzharness::kFixedAsf);
  fuzzharness::WriteScratchFile("motion.amc", data, size);
  fuzzharness::ImportFile(path);
  fuzzharness::CheckHostAndReset("fuzz_amc");
  return 0;
}
