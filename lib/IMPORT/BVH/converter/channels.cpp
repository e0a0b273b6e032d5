// The channel writer shared by both motion importers: one Bezier key per
// call, and the host's key reduction on request. Reads the import options'
// thresholds; owns nothing beyond a scratch status slot.
#include "channels.h"

#include <cmath>

#include "frame.h"

namespace {

// The host may write a status here; nobody reads it.
intptr_t channelStatus;

SgToken Token(const char* word) { return Sg_Inquire_Token(word); }

}  // namespace

void AddChannelKeyframe(void* channel, int32_t time, float value) {
  int64_t keyframeId = 0;
  Sg_AnimController(&channelStatus, Token("ctrlrid"), channel, Token("type"), Token("kfbezier"), kSgOne,
                    Token("keyframe"), &keyframeId, Token("time"), &time, Token("add"), kSgOne, kSgEnd);
  // A key the host refused gets no value, and nobody is told.
  if (keyframeId == 0) return;
  Sg_AnimController(&channelStatus, Token("ctrlrid"), channel, Token("keyframe"), &keyframeId, Token("kfid"),
                    reinterpret_cast<void*>(static_cast<intptr_t>(keyframeId)), Token("value"), &value, kSgOne,
                    kSgEnd);
}

void SetChannelKeyReduction(int16_t angular, void* channel) {
  if (channel == nullptr) return;
  // The host gets copies, so it can never write back into the options.
  float distance = importOptions.distanceThreshold;
  float angle = importOptions.angularThreshold;
  Sg_AnimController(&channelStatus, Token("ctrlrid"), channel, Token("reducekeys"), Token("distance"), &distance,
                    Token("angle"), &angle, Token("keysareeulerangles"), Token("enabled"),
                    Token(angular != 0 ? "on" : "off"), Token("angularkeysareindegrees"), Token("enabled"),
                    Token("off"), kSgEnd);
}

int32_t FrameKeyTime(int64_t frame, int32_t frameRate) {
  float quotient = static_cast<float>(frame * 4800) / static_cast<float>(frameRate);
  if (std::isnan(quotient)) return 0;
  if (quotient < 2147483648.0f && quotient > -2147483648.0f) return static_cast<int32_t>(quotient);
  if (!importState.keyTimeClamped) {
    importState.keyTimeClamped = 1;
    Import_IO_printf("Warning: From frame %lld on, key times lie beyond 2^31 ticks; they are held at %ld.\n",
                     static_cast<long long>(frame), quotient > 0 ? 2147483647L : -2147483647L - 1);
  }
  return quotient > 0 ? INT32_MAX : INT32_MIN;
}
