// The channel writer: the only way the importers put keys on a channel and
// ask the host to reduce them.
#pragma once

#include <cstdint>

void AddChannelKeyframe(void* channel, int32_t time, float value);
void SetChannelKeyReduction(int16_t angular, void* channel);
