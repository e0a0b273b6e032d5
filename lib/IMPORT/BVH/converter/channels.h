// The channel writer: the only way the importers put keys on a channel and
// ask the host to reduce them.
#pragma once

#include <cstdint>

void AddChannelKeyframe(void* channel, int32_t time, float value);
void SetChannelKeyReduction(int16_t angular, void* channel);
// The key time of a frame: trunc(frame x 4800 / rate) in single precision,
// computed without overflow. A time beyond the 32-bit tick range is held at
// its end, with one warning per import; a rate of 0 at frame 0 gives 0.
int32_t FrameKeyTime(int64_t frame, int32_t frameRate);
