// A captured take (take.h) as flat arrays of doubles, frame-major, for
// numpy: every node at every frame, its still parts repeated. A take without
// motion has one frame, its pose, as the positions CSV writes it.
#pragma once

#include <cstddef>

#include "scene/take.h"

namespace varnex {

size_t FrameCount(const Take& take);

// Each fills OUT, which holds FrameCount × nodes × the width (or nodes × 3
// for offsets, FrameCount for times).
void FillTimes(const Take& take, double* out);                  // seconds
void FillOffsets(const Take& take, double* out);                // rest translation, x y z
void FillLocalTranslations(const Take& take, double* out);      // x y z
void FillLocalRotations(const Take& take, double* out);         // quaternions x y z w
void FillWorldPositions(const Take& take, double* out);         // x y z

}  // namespace varnex
