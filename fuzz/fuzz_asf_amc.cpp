// Fuzz target: the input is an .asf file; a fixed, valid .amc sits beside it,
// so whatever skeleton the input makes also gets motion read into it.
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzzharness::WriteScratchFile("pair.asf", "");
  static const bool motionWritten = (fuzzharness::WriteScratchFile("pair.amc", fuzzharness::kFixedAmc), true);
  (void)motionWritten;
  fuzzharness::WriteScratchFile("pair.asf", data, size);
  fuzzharness::ImportFile(path);
  fuzzharness::CheckHostAndReset("fuzz_asf_amc");
  return 0;
}
