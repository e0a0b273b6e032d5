// Scene storage and the query API over it: instances, their channels and
// names, and the reset that gives tests a fresh host.
#include "scene.h"

#include <algorithm>
#include <iterator>

#include "hostcall.h"

namespace vxhost {

namespace {
void PlantWorld(Scene& fresh) {
  auto world = std::make_unique<Instance>();
  world->name = "world";
  fresh.world = world.get();
  fresh.instances.emplace("world", std::move(world));
}
}  // namespace

Scene theScene = [] {
  Scene fresh;
  PlantWorld(fresh);
  return fresh;
}();

Instance* FindMutableInstance(std::string_view name) {
  Scene& scene = TheScene();
  auto found = scene.instances.find(name);
  return found == scene.instances.end() ? nullptr : found->second.get();
}

Instance& CreateInstance(std::string_view name) {
  auto instance = std::make_unique<Instance>();
  instance->name = name;
  Instance& made = *instance;
  TheScene().instances.emplace(std::string(name), std::move(instance));
  return made;
}

void CreateDefaultChannels(Instance& instance) {
  Scene& scene = TheScene();
  if (!instance.channels[kTranslateX]) {
    // Grown first: once the block is made, nothing can fail and leave it half listed.
    if (scene.channelBlocks.size() == scene.channelBlocks.capacity())
      scene.channelBlocks.reserve(std::max<size_t>(16, 2 * scene.channelBlocks.capacity()));
    std::unique_ptr<Channel[]> block(new Channel[kChannelsPerInstance]);
    scene.channelBlockStarts.insert(reinterpret_cast<uintptr_t>(block.get()));
    for (int k = 0; k < kChannelsPerInstance; ++k) {
      block[k].entry = kTranslateX + k;
      block[k].owner = &instance;
      instance.channels[kTranslateX + k] = &block[k];
    }
    scene.channelBlocks.push_back(std::move(block));
  }
  instance.hasDefaultChannels = true;
}

Channel* FindChannelHandleSlowly(const void* item) {
  if (item == nullptr) return nullptr;
  const auto bits = reinterpret_cast<uintptr_t>(item);
  const void*& cached = theScene.handleCache[((bits >> 4) ^ (bits >> 14)) & 1023];
  if (cached != item) {
    // A channel is an element of the block that starts at or below it.
    const auto& starts = theScene.channelBlockStarts;
    auto block = starts.upper_bound(bits);
    if (block == starts.begin()) return nullptr;
    const uintptr_t offset = bits - *--block;
    if (offset >= kChannelsPerInstance * sizeof(Channel) || offset % sizeof(Channel) != 0) return nullptr;
    cached = item;
  }
  return static_cast<Channel*>(const_cast<void*>(item));
}

const char* ChannelShortName(int entry) {
  static const char* const names[] = {"tx", "ty", "tz", "sx", "sy", "sz", "rx", "ry", "rz"};
  return entry >= kTranslateX && entry <= kRotateZ ? names[entry - kTranslateX] : "?";
}

std::string ChannelLogName(const Channel& channel) {
  return "<" + channel.owner->name + "." + ChannelShortName(channel.entry) + ">";
}

// Names are never given back, so every suffix below the hint stays taken.
std::string MakeUniqueName(std::string_view wanted) {
  Scene& scene = TheScene();
  if (!scene.instances.contains(wanted)) return std::string(wanted);
  auto hint = scene.suffixHints.find(wanted);
  if (hint == scene.suffixHints.end()) hint = scene.suffixHints.emplace(std::string(wanted), 1).first;
  std::string name;
  for (uint64_t suffix = hint->second;; ++suffix) {
    name.assign(wanted).append("_").append(std::to_string(suffix));
    if (!scene.instances.contains(name)) {
      hint->second = suffix;
      return name;
    }
  }
}

uint64_t AddKeyInOrder(Channel& channel, int32_t time) {
  Scene& scene = TheScene();
  if (!scene.anyKeyAdded || time < scene.firstKeyAdded) scene.firstKeyAdded = time;
  if (!scene.anyKeyAdded || time > scene.lastKeyAdded) scene.lastKeyAdded = time;
  scene.anyKeyAdded = true;
  KeyList& keys = channel.keys;
  size_t at = keys.size();
  if (!keys.empty() && time <= keys.BackTime()) {
    at = keys.LowerBound(time);
    if (keys.TimeAt(at) == time) return keys.Recall(at);
  }
  keys.Insert(at, time, channel.nextKeyId);
  return channel.nextKeyId++;
}

// -- Query API

const Instance* World() { return TheScene().world; }

const Instance* FindInstance(std::string_view name) { return FindMutableInstance(name); }

std::vector<const Instance*> AllInstances() {
  std::vector<const Instance*> all;
  std::vector<const Instance*> pending(World()->children.rbegin(), World()->children.rend());
  while (!pending.empty()) {
    const Instance* instance = pending.back();
    pending.pop_back();
    all.push_back(instance);
    pending.insert(pending.end(), instance->children.rbegin(), instance->children.rend());
  }
  return all;
}

std::string InstancePath(const Instance& instance) {
  std::string path = instance.name;
  for (const Instance* up = instance.parent; up && up != World(); up = up->parent) path = up->name + "/" + path;
  return path;
}

int32_t FrameRate() { return TheScene().frameRate; }

bool SetFrameRate(int32_t rate) {
  if (rate < kMinFrameRate || rate > kMaxFrameRate) return false;
  TheScene().frameRate = rate;
  return true;
}

namespace {

// Whether every key time of a list is among times (ascending, distinct).
// A key at the next time of the list costs a comparison; past a gap it
// gallops from the last match, so a sparse list costs a short search a key.
bool TimesAmong(const KeyList& keys, const std::vector<int32_t>& times) {
  auto at = times.begin();
  const auto end = times.end();
  bool among = true;
  keys.ForEachTimeAndValue([&](int32_t t, float) {
    if (!among) return;
    if (at != end && *at == t) {
      ++at;
      return;
    }
    auto below = at;  // every time before it is earlier than t
    size_t step = 1;
    while (step <= size_t(end - below) && below[step - 1] < t) {
      below += step;
      step *= 2;
    }
    at = std::lower_bound(below, below + std::min(step, size_t(end - below)), t);
    among = at != end && *at == t;
    if (among) ++at;
  });
  return among;
}

// Unions of ascending distinct lists, two at a time, into the first.
void MergeAll(std::vector<std::vector<int32_t>>& lists) {
  while (lists.size() > 1) {
    std::vector<std::vector<int32_t>> next;
    for (size_t i = 0; i + 1 < lists.size(); i += 2) {
      std::vector<int32_t> both;
      both.reserve(lists[i].size() + lists[i + 1].size());
      std::set_union(lists[i].begin(), lists[i].end(), lists[i + 1].begin(), lists[i + 1].end(),
                     std::back_inserter(both));
      next.push_back(std::move(both));
    }
    if (lists.size() % 2) next.push_back(std::move(lists.back()));
    lists.swap(next);
  }
}

}  // namespace

// Channels mostly share their key times, so a channel whose times are
// already in the union costs one walk. Others wait, and merge into the
// union once they hold as many times as it: n keys in k differing lists
// cost O(n log k), and the usual scene no sort at all.
std::vector<int32_t> KeyTimes() {
  std::vector<std::vector<int32_t>> lists(1);  // the union first, then lists waiting
  size_t waiting = 0;
  ForEachChannel([&](const Channel& channel) {
    const KeyList& keys = channel.keys;
    if (keys.empty() || TimesAmong(keys, lists[0])) return;
    std::vector<int32_t>& times = lists.emplace_back();
    times.reserve(keys.size());
    keys.ForEachTimeAndValue([&](int32_t t, float) { times.push_back(t); });
    waiting += times.size();
    if (waiting >= lists[0].size()) {
      MergeAll(lists);
      waiting = 0;
    }
  });
  MergeAll(lists);
  return std::move(lists[0]);
}

bool TakeRange(int32_t* first, int32_t* last) {
  const Scene& scene = TheScene();
  *first = scene.firstKeyAdded;
  *last = scene.lastKeyAdded;
  return scene.anyKeyAdded;
}

size_t KeyCount() {
  size_t count = 0;
  ForEachChannel([&](const Channel& channel) { count += channel.keys.size(); });
  return count;
}

void ResetHost() {
  Scene& scene = TheScene();
  scene.instances.clear();
  scene.channelBlocks.clear();
  scene.channelBlockStarts.clear();
  std::fill(std::begin(scene.handleCache), std::end(scene.handleCache), nullptr);
  scene.suffixHints.clear();
  scene.frameRate = kDefaultFrameRate;
  scene.anyKeyAdded = false;
  scene.firstKeyAdded = scene.lastKeyAdded = 0;
  PlantWorld(scene);
  ResetCore();
}

}  // namespace vxhost
