// Frames kept, rate and in place, as transforms of a captured take. Every
// node's arrays hold one value per sample, one when it holds still, or none;
// each edit keeps that so and works on the samples alone, never the host.
#include "scene/take_edits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <glm/gtc/matrix_inverse.hpp>

#include "scene/scene_sampling.h"

namespace varnex {

namespace {

bool ParseFrame(const std::string& text, std::optional<int64_t>& frame) {
  if (text.empty()) return true;
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, problem] = std::from_chars(text.data() + (text[0] == '+' ? 1 : 0), end, value);
  if (problem != std::errc() || at != end) return false;
  frame = value;
  return true;
}

// The samples of a node's array that a new sample list keeps, in place.
template <typename T>
void KeepSamples(std::vector<T>& values, FrameSpan span) {
  if (values.size() <= 1) return;
  values.erase(values.begin() + std::ptrdiff_t(span.end), values.end());
  values.erase(values.begin(), values.begin() + std::ptrdiff_t(span.first));
}

template <typename T>
void KeepOneWhenStill(std::vector<T>& values) {
  if (!values.empty() && std::all_of(values.begin(), values.end(), [&](const T& v) { return v == values[0]; }))
    values.erase(values.begin() + 1, values.end());
}

// Where a frame of the new rate falls among the old samples: the sample
// before it and the way to the next, 0 when it is that sample.
struct Between {
  size_t sample = 0;
  double fraction = 0.0;
};

std::vector<Between> Placements(const std::vector<int32_t>& ticks, int32_t fps, size_t frames) {
  std::vector<Between> placements(frames);
  size_t i = 0;
  for (size_t k = 0; k < frames; ++k) {
    const double at = double(ticks.front()) + double(k) * double(vxhost::kTicksPerSecond) / double(fps);
    while (i + 1 < ticks.size() && double(ticks[i + 1]) <= at) ++i;
    Between& place = placements[k];
    place.sample = i;
    if (i + 1 >= ticks.size()) continue;
    // Within a tick of a sample is that sample: frames are truncated to ticks.
    const double gap = double(ticks[i + 1] - ticks[i]);
    const double past = at - double(ticks[i]);
    if (past < 1.0 && past <= gap - past) continue;
    if (gap - past < 1.0) {
      place.sample = i + 1;
      continue;
    }
    place.fraction = std::clamp(past / gap, 0.0, 1.0);
  }
  return placements;
}

template <typename T, typename Blend>
void Resample(std::vector<T>& values, const std::vector<Between>& placements, Blend blend) {
  if (values.size() <= 1) return;
  std::vector<T> out;
  out.reserve(placements.size());
  for (const Between& place : placements)
    out.push_back(place.fraction == 0.0 ? values[place.sample]
                                        : blend(values[place.sample], values[place.sample + 1], place.fraction));
  values = std::move(out);
}

size_t FramesAtRate(const std::vector<int32_t>& ticks, int32_t fps) {
  if (ticks.empty()) return 0;
  size_t frames = 0;
  while (FrameTick(int64_t(frames), fps) <= ticks.back() - ticks.front()) ++frames;
  return frames;
}

std::vector<int32_t> TicksAtRate(const std::vector<int32_t>& ticks, int32_t fps) {
  std::vector<int32_t> out(FramesAtRate(ticks, fps));
  for (size_t k = 0; k < out.size(); ++k) out[k] = ticks.front() + FrameTick(int64_t(k), fps);
  return out;
}

std::vector<int32_t> KeptTicks(const std::vector<int32_t>& ticks, FrameSpan span) {
  std::vector<int32_t> out(ticks.begin() + std::ptrdiff_t(span.first), ticks.begin() + std::ptrdiff_t(span.end));
  for (int32_t& t : out) t -= ticks[span.first];
  return out;
}

bool HasRange(const TakeEdits& edits) { return edits.firstFrame || edits.endFrame; }

}  // namespace

bool ParseFrameRange(const std::string& text, TakeEdits& edits, std::string& error) {
  const size_t colon = text.find(':');
  TakeEdits parsed;
  if (colon == std::string::npos || !ParseFrame(text.substr(0, colon), parsed.firstFrame) ||
      !ParseFrame(text.substr(colon + 1), parsed.endFrame) || !HasRange(parsed)) {
    error = "must be A:B, A: or :B with whole frame numbers (negative ones count from the end), not " + text;
    return false;
  }
  // Numbers of one sign compare alike in every take.
  const std::optional<int64_t>& a = parsed.firstFrame;
  const std::optional<int64_t>& b = parsed.endFrame;
  if (a && b && (*a < 0) == (*b < 0) && *a >= *b) {
    error = text + " keeps no frame: frames A to B-1 are kept, and " + std::to_string(*a) + " is not before " +
            std::to_string(*b);
    return false;
  }
  if (b && *b == 0) {
    error = text + " keeps no frame: frames A to B-1 are kept, and none is before 0";
    return false;
  }
  edits.firstFrame = a;
  edits.endFrame = b;
  return true;
}

std::string FrameRangeText(const TakeEdits& edits) {
  if (!HasRange(edits)) return "";
  return (edits.firstFrame ? std::to_string(*edits.firstFrame) : "") + ":" +
         (edits.endFrame ? std::to_string(*edits.endFrame) : "");
}

FrameSpan KeptFrames(const TakeEdits& edits, size_t frames) {
  const int64_t n = int64_t(frames);
  auto resolve = [n](std::optional<int64_t> frame, int64_t otherwise) {
    const int64_t value = !frame ? otherwise : *frame < 0 ? n + *frame : *frame;
    return size_t(std::clamp<int64_t>(value, 0, n));
  };
  const FrameSpan span{resolve(edits.firstFrame, 0), resolve(edits.endFrame, n)};
  return span.first < span.end ? span : FrameSpan{};
}

std::string TakeEditsProblem(const TakeEdits& edits, size_t frames) {
  if (!HasRange(edits)) return "";
  const FrameSpan span = KeptFrames(edits, frames);
  if (span.first < span.end) return "";
  return "--frames " + FrameRangeText(edits) + " keeps no frame of the take's " + std::to_string(frames) +
         (frames == 1 ? " frame" : " frames");
}

std::vector<int32_t> EditedTicks(const std::vector<int32_t>& ticks, const TakeEdits& edits) {
  std::vector<int32_t> out = HasRange(edits) ? KeptTicks(ticks, KeptFrames(edits, ticks.size())) : ticks;
  return edits.fps > 0 ? TicksAtRate(out, edits.fps) : out;
}

void ApplyTakeEdits(Take& take, const TakeEdits& edits) {
  if (HasRange(edits)) KeepFrames(take, KeptFrames(edits, take.ticks.size()));
  if (edits.fps > 0) ResampleTake(take, edits.fps);
  if (edits.inPlace) HoldRootsInPlace(take);
}

void KeepFrames(Take& take, FrameSpan span) {
  for (TakeNode& node : take.nodes) {
    KeepSamples(node.translation, span);
    KeepSamples(node.rotation, span);
    KeepSamples(node.scale, span);
    KeepOneWhenStill(node.translation);
    KeepOneWhenStill(node.rotation);
    KeepOneWhenStill(node.scale);
  }
  take.ticks = KeptTicks(take.ticks, span);
}

void ResampleTake(Take& take, int32_t fps) {
  if (take.ticks.empty() || fps <= 0) return;
  const std::vector<Between> placements = Placements(take.ticks, fps, FramesAtRate(take.ticks, fps));
  auto lerp = [](const glm::dvec3& a, const glm::dvec3& b, double f) { return a + f * (b - a); };
  auto slerp = [](const glm::dquat& a, const glm::dquat& b, double f) { return glm::normalize(glm::slerp(a, b, f)); };
  for (TakeNode& node : take.nodes) {
    Resample(node.translation, placements, lerp);
    Resample(node.rotation, placements, slerp);
    Resample(node.scale, placements, lerp);
  }
  take.ticks = TicksAtRate(take.ticks, fps);
  take.frameRate = fps;
}

void HoldRootsInPlace(Take& take) {
  if (take.ticks.empty()) return;
  std::vector<glm::dmat4> world;
  WorldTransforms(take, 0, world);
  std::vector<bool> moves(take.nodes.size(), false);  // the node or an ancestor moves
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    TakeNode& node = take.nodes[i];
    const bool own = !node.translation.empty() || !node.rotation.empty() || !node.scale.empty();
    const bool ancestor = node.parent >= 0 && moves[size_t(node.parent)];
    moves[i] = own || ancestor;
    if (!own || ancestor || node.translation.size() <= 1) continue;
    // The parents hold still: the parent's frame is the same at every sample.
    const glm::dmat4 parent = node.parent < 0 ? glm::dmat4(1.0) : world[size_t(node.parent)];
    const glm::dmat4 back = glm::inverse(parent);
    const glm::dvec3 first(parent * glm::dvec4(node.translation[0], 1.0));
    for (glm::dvec3& v : node.translation) {
      glm::dvec3 p(parent * glm::dvec4(v, 1.0));
      p.x = first.x;
      p.z = first.z;
      v = glm::dvec3(back * glm::dvec4(p, 1.0));
    }
    KeepOneWhenStill(node.translation);
  }
}

}  // namespace varnex
