// FNV-1a over every field of the host's scene model and its messages.
#include "support/scene_digest.h"

#include <string_view>

#include "varnex/host.h"

namespace vxtest {
namespace {

class Digest {
 public:
  void Bytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash_ = (hash_ ^ bytes[i]) * 1099511628211ull;
  }
  template <class... T>
  void Values(const T&... values) {
    (Bytes(&values, sizeof values), ...);
  }
  void Text(std::string_view text) {
    Values(text.size());
    Bytes(text.data(), text.size());
  }
  uint64_t hash() const { return hash_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
};

void AddConstraint(Digest& digest, const vxhost::Constraint& c) {
  digest.Values(c.set, c.minValue, c.maxValue, c.minEnabled, c.maxEnabled, c.worldSpace);
}

void AddChannel(Digest& digest, const vxhost::Channel& channel) {
  digest.Values(channel.entry, channel.keys.size());
  for (const vxhost::Key& key : channel.keys)
    digest.Values(key.time, key.value, key.inSlope, key.outSlope, key.hasSlopes, key.id);
  const auto& reduction = channel.lastReduction;
  digest.Values(channel.reductionRequests, reduction.distance, reduction.angle, reduction.eulerAngles,
                reduction.anglesInDegrees, channel.keysBeforeReduction);
}

void AddInstance(Digest& digest, const vxhost::Instance& instance) {
  digest.Text(instance.name);
  digest.Text(instance.parent ? instance.parent->name : std::string());
  digest.Values(instance.children.size(), instance.skeletonSet, instance.endEffector, instance.jointNode,
                instance.ikSet, instance.ikAnchor, instance.notAffectedByIkOfDescendants, instance.locked);
  AddConstraint(digest, instance.position);
  AddConstraint(digest, instance.rotation);
  digest.Values(instance.replaceChannels, instance.eulerOrder);
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) digest.Values(instance.staticTransform[column][row]);
  digest.Values(instance.hasDefaultChannels);
  for (const vxhost::Channel* channel : instance.channels) {
    digest.Values(channel != nullptr);
    if (channel) AddChannel(digest, *channel);
  }
}

}  // namespace

uint64_t SceneDigest(bool withMessages) {
  Digest digest;
  digest.Values(vxhost::FrameRate());
  for (const vxhost::Instance* instance : vxhost::AllInstances()) AddInstance(digest, *instance);
  if (withMessages)
    for (const vxhost::Message& message : vxhost::Messages()) {
      digest.Values(message.kind);
      digest.Text(message.text);
    }
  return digest.hash();
}

}  // namespace vxtest
