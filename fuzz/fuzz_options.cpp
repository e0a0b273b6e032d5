// Fuzz target: the input is the options file imp_bvh.ini, read at initialize;
// a small BVH import then runs with whatever options it left, so odd
// thresholds and switches reach the keyframe reduction too.
#include "harness.h"

namespace {

constexpr char kDefaultOptions[] =
    "[Preferences]\n"
    "distance_threshold2 = 0.01\n"
    "angular_threshold2 = 0.01\n"
    "ena_trans_kf_reduction = 0\n"
    "ena_rot_kf_reduction = 0\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vxtest::ScratchDir& scratch = fuzzharness::Scratch();
  static const std::string bvh = scratch.Write("options.bvh", vxtest::kWalkBvh);
  // Every input starts from the defaults, so a run does not depend on the one before.
  scratch.Write("imp_bvh.ini", kDefaultOptions);
  vxtest::Initialize(scratch.Dir());
  fuzzharness::WriteInput("imp_bvh.ini", data, size);
  vxtest::Initialize(scratch.Dir());
  vxtest::Import(bvh);
  fuzzharness::CheckHostAndReset("fuzz_options");
  return 0;
}
