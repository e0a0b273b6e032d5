// The channel writer shared by both motion importers.
#include "channels.h"

#include "frame.h"

void AddChannelKeyframe(void* channel, int32_t time, float value) {
  (void)channel;
  (void)time;
  (void)value;
}
void SetChannelKeyReduction(int16_t angular, void* channel) {
  (void)angular;
  (void)channel;
}
