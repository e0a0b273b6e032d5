// Reads the scene through the reference host's query API; one line per
// instance, indented two blanks per level below "world" (up to a limit).
#include "commands/scene_print.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <varnex/host.h>

#include "scene/scene_sampling.h"

namespace varnex {

namespace {

// The letters of an instance's Euler order, "?" for a code that names none.
std::string OrderOf(const vxhost::Instance& instance) {
  const char* letters = vxhost::EulerOrderLetters(instance.eulerOrder);
  return letters ? letters : "?";
}

// Translation axes first, then the rotation axes as the rotation product
// writes them (the last to turn first), which is how a BVH file lists its
// channels: order YXZ shows "rz rx ry".
std::string DescribeAxes(const vxhost::Instance& instance) {
  std::string free;
  for (int axis = 0; axis < 3; ++axis) {
    if (!instance.locked[0][axis]) free += std::string(" t") + static_cast<char>('x' + axis);
  }
  std::string order = OrderOf(instance);
  if (order.size() != 3) order = "XYZ";
  for (auto letter = order.rbegin(); letter != order.rend(); ++letter) {
    int axis = *letter - 'X';
    if (!instance.locked[1][axis]) free += std::string(" r") + static_cast<char>('x' + axis);
  }
  return free.empty() ? "locked" : "free:" + free;
}

std::string DescribeKeys(const vxhost::Instance& instance) {
  static const char* const kChannelNames[] = {"tx", "ty", "tz", "sx", "sy", "sz", "rx", "ry", "rz"};
  std::string keys;
  for (int entry = vxhost::kTranslateX; entry <= vxhost::kRotateZ; ++entry) {
    const vxhost::Channel* channel = instance.channels[entry];
    if (channel == nullptr || channel->keys.empty()) continue;
    keys += " ";
    keys += kChannelNames[entry - vxhost::kTranslateX];
    keys += " " + std::to_string(channel->keys.size());
  }
  return keys.empty() ? "" : "keys:" + keys;
}

std::string DescribeInstance(const vxhost::Instance& instance) {
  std::vector<std::string> parts;
  if (instance.jointNode) parts.push_back("joint");
  if (instance.endEffector) parts.push_back("end effector");
  parts.push_back(DescribeAxes(instance));
  parts.push_back("order " + OrderOf(instance));
  if (std::string keys = DescribeKeys(instance); !keys.empty()) parts.push_back(keys);
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

// Indentation stops growing here; deeper lines say their level instead, so
// that a chain thousands deep prints in linear space.
constexpr size_t kIndentLevels = 32;

void PrintInstance(std::FILE* out, const vxhost::Instance& instance, size_t depth) {
  const int indent = int(std::min(depth, kIndentLevels) * 2);
  if (depth > kIndentLevels)
    std::fprintf(out, "%*s[%zu] %s (%s)\n", indent, "", depth, instance.name.c_str(),
                 DescribeInstance(instance).c_str());
  else
    std::fprintf(out, "%*s%s (%s)\n", indent, "", instance.name.c_str(), DescribeInstance(instance).c_str());
}

std::string Counted(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

void PrintSceneTree(std::FILE* out) {
  // Depth first, children in order, without recursion.
  std::vector<std::pair<const vxhost::Instance*, size_t>> pending;
  const auto& tops = vxhost::World()->children;
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) pending.push_back({*it, 0});
  // A stream that failed (its reader gone, a stop cut it) takes no more lines.
  while (!pending.empty() && !std::ferror(out)) {
    const auto [instance, depth] = pending.back();
    pending.pop_back();
    PrintInstance(out, *instance, depth);
    for (auto it = instance->children.rbegin(); it != instance->children.rend(); ++it)
      pending.push_back({*it, depth + 1});
  }
}

void PrintSceneSummary(std::FILE* out) {
  std::fprintf(out, "%s, %s, %s, %d fps\n", Counted(vxhost::AllInstances().size(), "instance").c_str(),
               Counted(SampleTicks().size(), "frame").c_str(), Counted(vxhost::KeyCount(), "key").c_str(),
               static_cast<int>(vxhost::FrameRate()));
  // Reduced channels: what they held before the first request and now.
  size_t channels = 0, before = 0, after = 0;
  for (const vxhost::Instance* instance : vxhost::AllInstances())
    for (const vxhost::Channel* channel : instance->channels)
      if (channel && channel->reductionRequests > 0) {
        ++channels;
        before += channel->keysBeforeReduction;
        after += channel->keys.size();
      }
  if (channels > 0)
    std::fprintf(out, "keyframe reduction: %s reduced, %zu keys before, %zu after\n",
                 Counted(channels, "channel").c_str(), before, after);
}

}  // namespace varnex
