// Decides what a take means from the host scene: reads the first frame for
// the joint position channels and a few hundred frames for the floor, and
// answers the export settings with a line that says why.
#include "scene/take_meaning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <varnex/host.h>

#include "scene/scene_sampling.h"

namespace varnex {

namespace {

// Frames the floor is looked for in: enough to see a take's steps, few
// enough that a long take costs no more than a short one.
constexpr size_t kFloorFrames = 240;
// A lowest point this close to the floor's level, as a share of the
// figure's size, stands on it; a foot lifted for a step does not.
constexpr double kFloorTolerance = 0.05;
// One axis shows a floor when its lowest points stand on one level in this
// larger share of frames than the other's do.
constexpr double kFloorMargin = 0.25;
// Without a floor, z is up only for a figure this much taller along z than
// along y: a person standing along z is three times so or more, while a
// quadruped, or a T-pose's arm span, along z is at most about as long as tall.
constexpr double kTallerAlongZ = 2.0;
// Joint position channels that repeat their offset within this share of the
// skeleton's size hold the whole translation; all but one in ten must.
constexpr double kOffsetTolerance = 1e-4;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Percent(double share) { return Format("%.0f%%", 100.0 * share); }

// A still top node with children only groups the skeleton; the floor and
// the height leave it out, since it stands at the origin whatever the figure does.
std::vector<bool> FigureNodes(const Take& take) {
  std::vector<bool> figure(take.nodes.size(), true);
  for (const TakeNode& node : take.nodes) {
    if (node.parent < 0) continue;
    const TakeNode& top = take.nodes[size_t(node.parent)];
    if (top.parent < 0 && top.translation.empty() && top.rotation.empty() && top.scale.empty())
      figure[size_t(node.parent)] = false;
  }
  return figure;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The share of values within tolerance of their median.
double ShareAtMedian(const std::vector<double>& values, double tolerance) {
  if (values.empty()) return 0.0;
  const double level = Median(values);
  const auto near = std::count_if(values.begin(), values.end(),
                                  [&](double v) { return std::abs(v - level) <= tolerance; });
  return double(near) / double(values.size());
}

// Up to kFloorFrames of the take's sample times, evenly spread, first and last kept.
std::vector<int32_t> FloorTicks(const std::vector<int32_t>& all) {
  if (all.size() <= kFloorFrames) return all;
  std::vector<int32_t> chosen;
  for (size_t i = 0; i < kFloorFrames; ++i) chosen.push_back(all[i * (all.size() - 1) / (kFloorFrames - 1)]);
  return chosen;
}

// The first frame's joints below the root that have position channels, and
// how many of them hold their offset there as the file's value.
struct OffsetEvidence {
  size_t joints = 0, holdingOffset = 0;
};

// The take's sample times, listed when a decision first reads them: the
// joint positions and the up axis both do.
class LazyTicks {
 public:
  const std::vector<int32_t>& Get() {
    if (!ticks_) ticks_ = SampleTicks();
    return *ticks_;
  }

 private:
  std::optional<std::vector<int32_t>> ticks_;
};

OffsetEvidence PositionChannelsAtFirstFrame(double size, const std::vector<int32_t>& ticks) {
  OffsetEvidence evidence;
  if (ticks.empty()) return evidence;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) {
    const bool root = !instance->parent || !vxhost::IsAnimated(*instance->parent);
    if (root || !vxhost::IsAnimated(*instance)) continue;
    bool channels = false, holds = true;
    for (int axis = 0; axis < 3; ++axis) {
      const vxhost::Channel* channel = instance->channels[vxhost::kTranslateX + axis];
      if (instance->locked[0][axis] || !channel || channel->keys.empty()) continue;
      channels = true;
      // The importers key the file's value plus the offset.
      const double offset = instance->staticTransform[3][axis];
      const double value = vxhost::EvaluateChannel(*channel, ticks.front()) - offset;
      holds = holds && std::abs(value - offset) <= kOffsetTolerance * size;
    }
    evidence.joints += channels ? 1 : 0;
    evidence.holdingOffset += channels && holds ? 1 : 0;
  }
  return evidence;
}

void DecideJointPositions(const MeaningOptions& options, LazyTicks& ticks, Meaning& meaning) {
  if (options.jointPositions == "add") return;
  if (options.jointPositions == "replace") {
    meaning.settings.replaceJointPositions = true;
    meaning.notes.push_back({"joint positions replace OFFSET", ""});
    return;
  }
  const OffsetEvidence evidence = PositionChannelsAtFirstFrame(RestSize(CaptureTakeAt("", {}, {})), ticks.Get());
  if (evidence.joints == 0 || (evidence.joints - evidence.holdingOffset) * 10 > evidence.joints) return;
  meaning.settings.replaceJointPositions = true;
  meaning.notes.push_back({"joint positions replace OFFSET",
                           "at the first frame " + std::to_string(evidence.holdingOffset) + " of " +
                               std::to_string(evidence.joints) +
                               " joints with position channels hold their OFFSET"});
}

void DecideUp(const MeaningOptions& options, LazyTicks& ticks, Meaning& meaning) {
  if (options.up == "y" || options.up == "z") {
    meaning.settings.up = options.up[0];
    meaning.notes.push_back({"up " + options.up, "", options.up == "z"});
    return;
  }
  // The frames as the take will be exported, in the scene's own axes.
  ExportSettings source = meaning.settings;
  source.scale = 1.0;
  source.up = 'y';
  std::string why;
  meaning.settings.up = DetectUpAxis(CaptureTakeAt("", FloorTicks(ticks.Get()), source), why);
  meaning.notes.push_back({std::string("up ") + meaning.settings.up, why, meaning.settings.up == 'z'});
}

void DecideSize(const MeaningOptions& options, Meaning& meaning) {
  ExportSettings upright = meaning.settings;
  upright.scale = 1.0;
  const double rest = RestExtent(CaptureTakeAt("", {}, upright), 1);
  meaning.settings.scale = options.scale;
  if (options.scale != 1.0) meaning.settings.scaleAsked = "--scale " + Format("%g", options.scale);
  if (options.height > 0.0) {
    if (rest > 0.0) {
      meaning.settings.scale = options.height / rest;
      meaning.settings.scaleAsked = "--height " + Format("%g", options.height);
      meaning.notes.push_back({"height " + Format("%g", options.height),
                               "the rest pose stands " + Format("%g", rest) + " tall: lengths \u00d7 " +
                                   Format("%.6g", meaning.settings.scale)});
    } else {
      meaning.notes.push_back({"height not set", "the rest pose has no extent along up", false});
    }
  } else if (options.scale != 1.0) {
    meaning.notes.push_back({"lengths \u00d7 " + Format("%g", options.scale), ""});
  }
  meaning.height = rest * meaning.settings.scale;
}

}  // namespace

CLI::Validator PositiveNumberCheck() {
  return CLI::Validator(
      [](std::string& text) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        const bool usable = end != text.c_str() && *end == '\0' && std::isfinite(value) && value > 0.0;
        return usable ? std::string() : "must be a number greater than 0, not " + text;
      },
      "F > 0");
}

CLI::Validator UpAxisCheck() { return CLI::IsMember({"auto", "y", "z"}); }
CLI::Validator JointPositionsCheck() { return CLI::IsMember({"auto", "add", "replace"}); }

double RestExtent(const Take& take, int axis) {
  const std::vector<bool> figure = FigureNodes(take);
  std::vector<glm::dmat4> world(take.nodes.size());
  double lo = INFINITY, hi = -INFINITY;
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    world[i] = node.parent < 0 ? Matrix(node.rest) : world[size_t(node.parent)] * Matrix(node.rest);
    const double at = world[i][3][axis];
    if (!figure[i] || !std::isfinite(at)) continue;
    lo = std::min(lo, at);
    hi = std::max(hi, at);
  }
  return hi > lo ? hi - lo : 0.0;
}

char DetectUpAxis(const Take& take, std::string& why) {
  const std::vector<bool> figure = FigureNodes(take);
  const size_t frames = std::max<size_t>(1, take.ticks.size());
  // Per frame and axis (y, z): the lowest point and the figure's extent.
  std::vector<double> lowest[2], extent[2], size;
  std::vector<glm::dmat4> world;
  for (size_t frame = 0; frame < frames; ++frame) {
    WorldTransforms(take, frame, world);
    glm::dvec3 lo(INFINITY), hi(-INFINITY);
    for (size_t i = 0; i < world.size(); ++i) {
      const glm::dvec3 p(world[i][3]);
      if (!figure[i] || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
      lo = glm::min(lo, p);
      hi = glm::max(hi, p);
    }
    if (!(hi.x >= lo.x)) continue;
    for (int a = 0; a < 2; ++a) {
      lowest[a].push_back(lo[a + 1]);
      extent[a].push_back(hi[a + 1] - lo[a + 1]);
    }
    size.push_back(std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}));
  }
  const double tolerance = kFloorTolerance * Median(size);
  const double floorY = ShareAtMedian(lowest[0], tolerance), floorZ = ShareAtMedian(lowest[1], tolerance);
  const std::string floors = "one level in " + Percent(floorY) + " of frames along y, " + Percent(floorZ) + " along z";
  if (floorZ >= floorY + kFloorMargin || floorY >= floorZ + kFloorMargin) {
    why = "its lowest joints come back to " + floors;
    return floorZ > floorY ? 'z' : 'y';
  }
  const double tallY = Median(extent[0]), tallZ = Median(extent[1]);
  const bool z = tallZ > kTallerAlongZ * tallY;
  why = "no floor tells y from z (" + floors + "), and the figure is " + (z ? "" : "not ") +
        Format("%g", kTallerAlongZ) + " times as tall along z as along y (" +
        Format("%.2g", tallY > 0.0 ? tallZ / tallY : INFINITY) + ")";
  return z ? 'z' : 'y';
}

Meaning DecideMeaning(const MeaningOptions& options, double unitLength) {
  Meaning meaning;
  meaning.settings.exact = options.exact;
  meaning.settings.edits = options.edits;
  meaning.settings.compress = options.compress;
  if (options.asBuilt) {
    meaning.settings.scale = options.scale;
    if (options.scale != 1.0) meaning.settings.scaleAsked = "--scale " + Format("%g", options.scale);
    meaning.height = RestExtent(CaptureTakeAt("", {}, meaning.settings), 1);
    return meaning;
  }
  if (options.acclaimRootScale && unitLength != 1.0 && std::isfinite(unitLength) && unitLength > 0.0) {
    meaning.settings.rootMotionScale = unitLength;
    meaning.notes.push_back({"root motion \u00d7 " + Format("%g", unitLength), "the skeleton's unit length"});
  }
  LazyTicks ticks;
  DecideJointPositions(options, ticks, meaning);
  DecideUp(options, ticks, meaning);
  DecideSize(options, meaning);
  return meaning;
}

std::string MeaningLine(const std::string& takeName, const Meaning& meaning) {
  if (meaning.notes.empty()) return "";
  std::string line = "varnex: " + takeName + ":";
  bool said = false;
  for (const MeaningNote& note : meaning.notes) {
    if (!note.adjusts && note.why.empty()) continue;  // asked for, and nothing to do
    line += (said ? "; " : " ") + note.what + (note.why.empty() ? "" : " (" + note.why + ")");
    said = true;
  }
  return said ? line : "";
}

std::string MeaningSummary(const Meaning& meaning) {
  std::string summary;
  for (const MeaningNote& note : meaning.notes)
    if (note.adjusts) summary += (summary.empty() ? "" : ", ") + note.what;
  return summary.empty() ? "-" : summary;
}

}  // namespace varnex
