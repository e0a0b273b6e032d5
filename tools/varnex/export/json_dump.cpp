// Turns the host scene into JSON: every instance with its marks, inverse-
// kinematics flags, locks, constraints, Euler order and channels with keys.
// Keys are [time, value] or, once they carry tangents, [time, value, in, out].
// Every length, axis and order is given as the other exports read the scene
// (export_settings.h), which the head's "export" names: a Z-up scene stands
// up, lengths take the scale, the root the Acclaim unit length, and joint
// positions that hold the whole translation give back the offset. With no
// adjustment (--as-built) they are the values the plug-in wrote.
#include "export/json_dump.h"

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/export_axes.h"
#include "scene/scene_sampling.h"

namespace varnex {

using nlohmann::json;

namespace {

const char* ChannelName(int entry) {
  static const char* names[] = {"tx", "ty", "tz", "sx", "sy", "sz", "rx", "ry", "rz"};
  return names[entry - vxhost::kTranslateX];
}

// How one instance reads in the export: the turn to Y-up, and each axis's
// translation as factor × value − offset before the length scale.
struct Reading {
  AxisTurn turn;
  double scale = 1.0;
  TranslationReading translation;

  // The value of output axis `axis` in a group (0 translation, 1 scale,
  // 2 rotation) from the scene's value on the axis it comes from.
  double Value(int group, int axis, double value) const {
    const int from = turn.from[size_t(axis)];
    if (group == 1) return value;
    if (group == 2) return turn.sign[size_t(axis)] * value;
    return turn.sign[size_t(axis)] * scale * (value * translation.factor - translation.offset[from]);
  }
  // A slope, or the width of a range: no offset.
  double Rate(int group, int axis, double rate) const {
    if (group == 1) return rate;
    const double sign = turn.sign[size_t(axis)];
    return group == 2 ? sign * rate : sign * scale * translation.factor * rate;
  }
};

template <typename T>
json Axes(const Reading& reading, const T (&values)[3]) {
  const auto& from = reading.turn.from;
  return {values[from[0]], values[from[1]], values[from[2]]};
}

// A range per axis; where the turn flips an axis, its minimum is the
// scene's maximum, negated.
json ConstraintToJson(const vxhost::Constraint& c, const Reading& reading, int group) {
  if (!c.set) return nullptr;
  json min = json::array(), max = json::array(), minEnabled = json::array(), maxEnabled = json::array();
  for (int axis = 0; axis < 3; ++axis) {
    const size_t from = size_t(reading.turn.from[size_t(axis)]);
    const bool flips = reading.turn.sign[size_t(axis)] < 0.0;
    min.push_back(float(reading.Value(group, axis, flips ? c.maxValue[from] : c.minValue[from])));
    max.push_back(float(reading.Value(group, axis, flips ? c.minValue[from] : c.maxValue[from])));
    minEnabled.push_back(flips ? c.maxEnabled[from] : c.minEnabled[from]);
    maxEnabled.push_back(flips ? c.minEnabled[from] : c.maxEnabled[from]);
  }
  return {{"min", min}, {"max", max}, {"minEnabled", minEnabled}, {"maxEnabled", maxEnabled},
          {"worldSpace", c.worldSpace}};
}

// The channel of output entry `entry`, read from the scene's channel on the
// axis it comes from.
json ChannelToJson(const vxhost::Channel& channel, int entry, const Reading& reading) {
  const int group = (entry - vxhost::kTranslateX) / 3, axis = (entry - vxhost::kTranslateX) % 3;
  json keys = json::array();
  for (const vxhost::Key& k : channel.keys) {
    const float value = float(reading.Value(group, axis, k.value));
    if (k.hasSlopes)
      keys.push_back({k.time, value, float(reading.Rate(group, axis, k.inSlope)),
                      float(reading.Rate(group, axis, k.outSlope))});
    else
      keys.push_back({k.time, value});
  }
  json out = {{"name", ChannelName(entry)}, {"entry", entry}, {"keys", keys}};
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

// The static transform turned as the scene is (P·M·Pᵀ), its translation
// read as the rest's.
json StaticTransformToJson(const glm::dmat4& m, const Reading& reading) {
  glm::dmat4 turned(1.0);
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) {
      const size_t fc = size_t(reading.turn.from[size_t(c)]), fr = size_t(reading.turn.from[size_t(r)]);
      turned[c][r] = reading.turn.sign[size_t(c)] * reading.turn.sign[size_t(r)] * m[int(fc)][int(fr)];
    }
  const glm::dvec3 rest = reading.scale * TurnVector(reading.turn, glm::dvec3(m[3]) * reading.translation.restFactor);
  turned[3] = glm::dvec4(rest, 1.0);
  json matrix = json::array();
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) matrix.push_back(turned[c][r]);
  return matrix;
}

json InstanceToJson(const vxhost::Instance& instance, const std::string& path, const ExportSettings& settings) {
  Reading reading{ExportAxisTurn(settings.up), settings.scale, {}};
  if (vxhost::IsAnimated(instance)) reading.translation = ReadTranslation(instance, settings);
  json children = json::array();
  for (const vxhost::Instance* child : instance.children) children.push_back(child->name);
  json channels = json::array();
  for (int entry = vxhost::kTranslateX; entry <= vxhost::kRotateZ; ++entry) {
    const int base = entry - (entry - vxhost::kTranslateX) % 3;
    const vxhost::Channel* channel = instance.channels[base + reading.turn.from[size_t(entry - base)]];
    if (channel) channels.push_back(ChannelToJson(*channel, entry, reading));
  }
  const int32_t order = TurnEulerOrder(reading.turn, instance.eulerOrder);
  const char* letters = vxhost::EulerOrderLetters(order);
  return {
      {"name", instance.name},
      {"path", path},
      {"parent", instance.parent ? json(instance.parent->name) : json(nullptr)},
      {"children", children},
      {"skeleton", {{"set", instance.skeletonSet}, {"endEffector", instance.endEffector},
                    {"jointNode", instance.jointNode}}},
      {"ik", {{"set", instance.ikSet}, {"anchor", instance.ikAnchor},
              {"notAffectedByIkOfDescendants", instance.notAffectedByIkOfDescendants}}},
      {"locked", {{"translate", Axes(reading, instance.locked[0])}, {"rotate", Axes(reading, instance.locked[1])}}},
      {"constraints", {{"position", ConstraintToJson(instance.position, reading, 0)},
                       {"rotation", ConstraintToJson(instance.rotation, reading, 2)}}},
      {"replaceChannels", instance.replaceChannels},
      {"eulerOrder", letters ? letters : "unknown"},
      {"eulerOrderCode", order},
      {"staticTransform", StaticTransformToJson(instance.staticTransform, reading)},
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
    std::string instance = text(InstanceToJson(*all[i], paths[i], settings), 1);
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
