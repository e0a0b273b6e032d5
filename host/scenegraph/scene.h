// The scene the host keeps: instances by name under "world", the channels
// they own, and the scene's frame rate. Shared by both host libraries.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "varnex/host.h"

namespace vxhost {

constexpr int32_t kDefaultFrameRate = 30;
constexpr int32_t kMinFrameRate = 1;
// The highest rate at which every frame still lands on a tick of its own.
constexpr int32_t kMaxFrameRate = kTicksPerSecond;
// Rates that truncating a rounded frame time lands one below (1/0.0416667 = 23.99...).
constexpr int32_t kUsualFrameRates[] = {12, 15, 24, 30, 48, 60, 120, 240};

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// An instance's default channels live in one block, in entry order.
constexpr int kChannelsPerInstance = kRotateZ - kTranslateX + 1;

struct Scene {
  TextMap<std::unique_ptr<Instance>> instances;
  Instance* world = nullptr;
  // In the order they were made. A block costs one allocation and one entry
  // of the handle check where a channel of its own would cost nine of each.
  std::vector<std::unique_ptr<Channel[]>> channelBlocks;
  std::set<uintptr_t> channelBlockStarts;
  // Handles found among the blocks lately: an import cycles over a few
  // hundred channels, so most checks end here.
  const void* handleCache[1024] = {};
  TextMap<uint64_t> suffixHints;       // per wanted name: every smaller suffix is taken
  int32_t frameRate = kDefaultFrameRate;
  // The span of every key ever added, which optimisation and reduction
  // leave as it was: the take's length even when its keys thin out.
  bool anyKeyAdded = false;
  int32_t firstKeyAdded = 0, lastKeyAdded = 0;
};
extern Scene theScene;
inline Scene& TheScene() { return theScene; }

template <class Visit>
void ForEachChannel(Visit&& visit) {
  for (const auto& block : theScene.channelBlocks)
    for (int k = 0; k < kChannelsPerInstance; ++k) visit(block[k]);
}

Instance* FindMutableInstance(std::string_view name);
Instance& CreateInstance(std::string_view name);
void CreateDefaultChannels(Instance& instance);
// The channel an item is, or null when it is none of this scene's.
Channel* FindChannelHandleSlowly(const void* item);
inline Channel* FindChannelHandle(const void* item) {
  const auto bits = reinterpret_cast<uintptr_t>(item);
  if (item != nullptr && theScene.handleCache[((bits >> 4) ^ (bits >> 14)) & 1023] == item)
    return static_cast<Channel*>(const_cast<void*>(item));
  return FindChannelHandleSlowly(item);
}
const char* ChannelShortName(int entry);     // "tx" .. "rz"
std::string ChannelLogName(const Channel& channel);  // "<Hips.rx>"
std::string MakeUniqueName(std::string_view wanted);

// Keys: adding at a time that already has a key gives that key back.
uint64_t AddKeyInOrder(Channel& channel, int32_t time);
inline uint64_t AddKey(Channel& channel, int32_t time) {
  Scene& scene = theScene;
  KeyList& keys = channel.keys;
  // The usual key: after its channel's last, within the take or past its end.
  if (scene.anyKeyAdded && !keys.empty() && time > keys.BackTime() && time >= scene.firstKeyAdded) [[likely]] {
    if (time > scene.lastKeyAdded) scene.lastKeyAdded = time;
    keys.Insert(keys.size(), time, channel.nextKeyId);
    return channel.nextKeyId++;
  }
  return AddKeyInOrder(channel, time);
}

// Hooks kept in files of their own.
void ReduceChannelKeys(Channel& channel, const ReductionRequest& request);
void OptimizeTransformationChannels(Instance& instance);

}  // namespace vxhost
