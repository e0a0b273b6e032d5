// Turns the host scene into JSON: every instance with its marks, inverse-
// kinematics flags, locks, constraints, Euler order and channels with keys.
// Keys are [time, value] or, once they carry tangents, [time, value, in, out].
// The keys stay as the plug-in wrote them; the head's "export" says how the
// other exports read them (export_settings.h), so a tool can read them alike.
#include "export/json_dump.h"

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/scene_sampling.h"

namespace varnex {

using nlohmann::json;

namespace {

const char* ChannelName(int entry) {
  static const char* names[] = {"tx", "ty", "tz", "sx", "sy", "sz", "rx", "ry", "rz"};
  return names[entry - vxhost::kTranslateX];
}

json Axes(const bool (&flags)[3]) { return {flags[0], flags[1], flags[2]}; }
json Axes(const float (&values)[3]) { return {values[0], values[1], values[2]}; }

json ConstraintToJson(const vxhost::Constraint& c) {
  if (!c.set) return nullptr;
  return {{"min", Axes(c.minValue)},
          {"max", Axes(c.maxValue)},
          {"minEnabled", Axes(c.minEnabled)},
          {"maxEnabled", Axes(c.maxEnabled)},
          {"worldSpace", c.worldSpace}};
}

json ChannelToJson(const vxhost::Channel& channel) {
  json keys = json::array();
  for (const vxhost::Key& k : channel.keys) {
    if (k.hasSlopes) keys.push_back({k.time, k.value, k.inSlope, k.outSlope});
    else keys.push_back({k.time, k.value});
  }
  json out = {{"name", ChannelName(channel.entry)}, {"entry", channel.entry}, {"keys", keys}};
  if (channel.reductionRequests > 0) {
    const vxhost::ReductionRequest& r = channel.lastReduction;
    out["reductionRequests"] = channel.reductionRequests;
    out["keysBeforeReduction"] = channel.keysBeforeReduction;
    out["lastReduction"] = {{"distance", r.distance},
                            {"angle", r.angle},
                            {"keysAreEulerAngles", r.eulerAngles},
                            {"anglesInDegrees", r.anglesInDegrees}};
  }
  return out;
}

json InstanceToJson(const vxhost::Instance& instance, const std::string& path) {
  json children = json::array();
  for (const vxhost::Instance* child : instance.children) children.push_back(child->name);
  json channels = json::array();
  for (int entry = vxhost::kTranslateX; entry <= vxhost::kRotateZ; ++entry)
    if (instance.channels[entry]) channels.push_back(ChannelToJson(*instance.channels[entry]));
  json matrix = json::array();
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) matrix.push_back(instance.staticTransform[c][r]);
  return {
      {"name", instance.name},
      {"path", path},
      {"parent", instance.parent ? json(instance.parent->name) : json(nullptr)},
      {"children", children},
      {"skeleton", {{"set", instance.skeletonSet}, {"endEffector", instance.endEffector},
                    {"jointNode", instance.jointNode}}},
      {"ik", {{"set", instance.ikSet}, {"anchor", instance.ikAnchor},
              {"notAffectedByIkOfDescendants", instance.notAffectedByIkOfDescendants}}},
      {"locked", {{"translate", Axes(instance.locked[0])}, {"rotate", Axes(instance.locked[1])}}},
      {"constraints", {{"position", ConstraintToJson(instance.position)},
                       {"rotation", ConstraintToJson(instance.rotation)}}},
      {"replaceChannels", instance.replaceChannels},
      {"eulerOrder", vxhost::EulerOrderLetters(instance.eulerOrder) ? vxhost::EulerOrderLetters(instance.eulerOrder) : "unknown"},
      {"eulerOrderCode", instance.eulerOrder},
      {"staticTransform", matrix},
      {"hasDefaultChannels", instance.hasDefaultChannels},
      {"channels", channels},
  };
}

}  // namespace

std::string SceneJsonText(const std::string& sourceFile, const ExportSettings& settings) {
  // Names are the file's bytes; any that are not UTF-8 are replaced, not refused.
  auto text = [](const json& value, int indent) { return value.dump(indent, ' ', false, json::error_handler_t::replace); };
  const json head = {{"file", sourceFile},
                     {"frameRate", vxhost::FrameRate()},
                     {"ticksPerSecond", vxhost::kTicksPerSecond},
                     {"keyCount", vxhost::KeyCount()},
                     {"export", {{"up", std::string(1, settings.up)},
                                 {"scale", settings.scale},
                                 {"rootMotionScale", settings.rootMotionScale},
                                 {"jointPositions", settings.replaceJointPositions ? "replace" : "add"}}}};
  // The head, then the instances one at a time: a scene of many instances
  // never stands as a whole document in memory.
  std::string out = text(head, 1);
  out.resize(out.size() - 2);  // reopen the object: drop "\n}"
  out += ",\n \"instances\": [";
  const std::vector<const vxhost::Instance*> all = vxhost::AllInstances();
  const std::vector<std::string> paths = ScenePaths();
  for (size_t i = 0; i < all.size(); ++i) {
    std::string instance = text(InstanceToJson(*all[i], paths[i]), 1);
    out += i ? ",\n  " : "\n  ";
    for (char c : instance) {
      out += c;
      if (c == '\n') out += "  ";
    }
  }
  out += all.empty() ? "]\n}\n" : "\n ]\n}\n";
  return out;
}

bool WriteSceneJson(const std::string& path, const std::string& sourceFile, const ExportSettings& settings,
                    std::string& error) {
  return WriteFileAtomically(path, SceneJsonText(sourceFile, settings), error);
}

}  // namespace varnex
