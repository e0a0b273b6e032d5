// Import_IO_OptimizeTransformationChannels: tidies an instance's channels
// once all its keys are written, before any reduction request. Only keys
// whose removal leaves the curve unchanged go (docs/keyframes.md).
#include "scene.h"
#include "varnex/keyframes.h"

namespace vxhost {

void OptimizeTransformationChannels(Instance& instance) {
  for (Channel* channel : instance.channels)
    if (channel) OptimizeKeys(channel->keys);
}

}  // namespace vxhost
