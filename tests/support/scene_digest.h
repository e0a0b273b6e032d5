// A digest of everything an import leaves in the reference host: instances
// with their places, marks, locks, constraints, Euler order, transforms and
// every key, plus the frame rate and (when asked) the messages. Two imports
// that leave the same digest built the same scene.
#pragma once

#include <cstdint>

namespace vxtest {

uint64_t SceneDigest(bool withMessages = true);

}  // namespace vxtest
