// Keyframe reduction of one channel, as an import requests it through
// Sg_AnimController "reducekeys". The request is recorded in the channel by
// the caller; this hook thins the keys (docs/keyframes.md).
#include "scene.h"
#include "varnex/keyframes.h"

namespace vxhost {

void ReduceChannelKeys(Channel& channel, const ReductionRequest& request) {
  ReduceKeys(channel.keys, ReductionTolerance(request));
}

}  // namespace vxhost
