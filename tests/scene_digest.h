// A digest of everything an import leaves in the reference host: instances
// with their places, marks, locks, constraints, Euler order, transforms and
// every key, plus the frame rate and the messages. Two imports that leave
// the same digest built the same scene.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "varnex/host.h"

namespace scenedigest {

// FNV-1a over the bytes fed in; the key count travels along for messages.
class Digest {
 public:
  void Bytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash_ = (hash_ ^ bytes[i]) * 1099511628211ull;
  }
  template <class T>
  void Value(const T& value) {
    Bytes(&value, sizeof value);
  }
  void Text(std::string_view text) {
    Value(text.size());
    Bytes(text.data(), text.size());
  }
  uint64_t hash() const { return hash_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
};

inline void AddConstraint(Digest& digest, const vxhost::Constraint& constraint) {
  digest.Value(constraint.set);
  digest.Bytes(constraint.minValue, sizeof constraint.minValue);
  digest.Bytes(constraint.maxValue, sizeof constraint.maxValue);
  digest.Bytes(constraint.minEnabled, sizeof constraint.minEnabled);
  digest.Bytes(constraint.maxEnabled, sizeof constraint.maxEnabled);
  digest.Value(constraint.worldSpace);
}

inline void AddChannel(Digest& digest, const vxhost::Channel& channel) {
  digest.Value(channel.entry);
  digest.Value(channel.keys.size());
  for (const vxhost::Key& key : channel.keys) {
    digest.Value(key.time);
    digest.Value(key.value);
    digest.Value(key.inSlope);
    digest.Value(key.outSlope);
    digest.Value(key.hasSlopes);
    digest.Value(key.id);
  }
  digest.Value(channel.reductionRequests);
  digest.Value(channel.lastReduction.distance);
  digest.Value(channel.lastReduction.angle);
  digest.Value(channel.lastReduction.eulerAngles);
  digest.Value(channel.lastReduction.anglesInDegrees);
  digest.Value(channel.keysBeforeReduction);
}

inline void AddInstance(Digest& digest, const vxhost::Instance& instance) {
  digest.Text(instance.name);
  digest.Text(instance.parent ? instance.parent->name : std::string());
  digest.Value(instance.children.size());
  digest.Value(instance.skeletonSet);
  digest.Value(instance.endEffector);
  digest.Value(instance.jointNode);
  digest.Value(instance.ikSet);
  digest.Value(instance.ikAnchor);
  digest.Value(instance.notAffectedByIkOfDescendants);
  digest.Bytes(instance.locked, sizeof instance.locked);
  AddConstraint(digest, instance.position);
  AddConstraint(digest, instance.rotation);
  digest.Value(instance.replaceChannels);
  digest.Value(instance.eulerOrder);
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) digest.Value(instance.staticTransform[column][row]);
  digest.Value(instance.hasDefaultChannels);
  for (const vxhost::Channel* channel : instance.channels) {
    digest.Value(channel != nullptr);
    if (channel) AddChannel(digest, *channel);
  }
}

// The digest of the host's scene and messages as they stand.
inline uint64_t SceneDigest() {
  Digest digest;
  digest.Value(vxhost::FrameRate());
  for (const vxhost::Instance* instance : vxhost::AllInstances()) AddInstance(digest, *instance);
  for (const vxhost::Message& message : vxhost::Messages()) {
    digest.Value(message.kind);
    digest.Text(message.text);
  }
  return digest.hash();
}

}  // namespace scenedigest
