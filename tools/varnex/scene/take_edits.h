// What the user keeps of a captured take and how it is timed: a range of
// frames, a new frame rate, the root held in place. Applied to the take as
// captured, after its meaning's units and axes, so that every export and
// every front end writes the same edited take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/export_settings.h"
#include "scene/take.h"

namespace varnex {

// Reads "A:B", "A:" or ":B" into edits; false with the reason for text that
// is no range, or one that keeps no frame whatever the take's length.
bool ParseFrameRange(const std::string& text, TakeEdits& edits, std::string& error);
// The range as ParseFrameRange reads it back; empty when none is set.
std::string FrameRangeText(const TakeEdits& edits);

// The first and end sample the range keeps of a take of `frames` samples;
// empty (first == end) when it keeps none.
struct FrameSpan {
  size_t first = 0, end = 0;
};
FrameSpan KeptFrames(const TakeEdits& edits, size_t frames);

// Why the edits cannot apply to a take of `frames` samples ("--frames 10:-5
// keeps no frame of the 12 frames"); empty when they can.
std::string TakeEditsProblem(const TakeEdits& edits, size_t frames);

// The sample times of the edited take, from the take's own: the kept ones,
// starting at 0, then at the new rate over the same span.
std::vector<int32_t> EditedTicks(const std::vector<int32_t>& ticks, const TakeEdits& edits);

// The edits, in that order: frames, rate, in place. A range that keeps no
// frame (see TakeEditsProblem) leaves a take without samples.
void ApplyTakeEdits(Take& take, const TakeEdits& edits);

// The pieces on their own.
void KeepFrames(Take& take, FrameSpan span);
// Samples the take at `fps` over its span: rotations by slerp, translations
// and scales linearly; a frame within a tick of a sample is that sample.
void ResampleTake(Take& take, int32_t fps);
// Holds every motion root (a moving node with no moving ancestor) at its
// first horizontal position (X and Z: takes are Y-up), keeping its height.
void HoldRootsInPlace(Take& take);

}  // namespace varnex
