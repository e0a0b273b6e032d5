// Small valid files shared by tests and fuzz targets: the fixed halves of the
// fuzz targets, probes after an interrupted import, and plain inputs.
#pragma once

namespace vxtest {

// ROOT Hips with six channels, JOINT Chest with three, an End Site; two frames.
extern const char kWalkBvh[];
// A two-bone arm, "upper" (rx ry rz, axis turned 10 degrees about z, limits)
// under the root and "lower" (rx) under it, and three frames of its motion.
extern const char kArmAsf[];
extern const char kArmAmc[];

}  // namespace vxtest
