// Chooses the kept samples of each track of a take. The bound on world
// positions is shared out along every chain of moving tracks: a track's
// share becomes a distance for translations and, over the longest reach of
// the node's descendants, an angle for rotations.
#include "compact_animation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnex {

namespace {

// Room left for the single-precision values and times a file stores.
constexpr double kFitShare = 0.9;

double MaxAbs(const glm::dvec3& v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

// Largest stretch a node's scale track gives, at any sample.
double LargestScale(const TakeNode& node) {
  if (node.scale.empty()) return MaxAbs(node.rest.scale);
  double largest = 0.0;
  for (const glm::dvec3& s : node.scale) largest = std::max(largest, MaxAbs(s));
  return largest;
}

double LongestOffset(const TakeNode& node) {
  if (node.translation.empty()) return glm::length(node.rest.translation);
  double longest = 0.0;
  for (const glm::dvec3& t : node.translation) longest = std::max(longest, glm::length(t));
  return longest;
}

// Whether a track moves at all: more than one sample.
template <typename T>
bool Moves(const std::vector<T>& values) {
  return values.size() > 1;
}

// Interpolation error checks: whether every sample strictly between keys a
// and b stays within tolerance of the straight (or great-circle) line.
struct Vec3Line {
  const std::vector<glm::dvec3>& values;
  const std::vector<double>& times;
  double tolerance;
  bool Holds(size_t a, size_t b) const {
    const double span = times[b] - times[a];
    const glm::dvec3 from = values[a], step = values[b] - values[a];
    for (size_t k = a + 1; k < b; ++k) {
      const glm::dvec3 d = from + step * ((times[k] - times[a]) / span) - values[k];
      if (!(glm::dot(d, d) <= tolerance * tolerance)) return false;
    }
    return true;
  }
  bool Near(size_t k, const glm::dvec3& v) const {
    const glm::dvec3 d = values[k] - v;
    return glm::dot(d, d) <= tolerance * tolerance;
  }
};

struct QuatArc {
  const std::vector<glm::dquat>& values;
  const std::vector<double>& times;
  double minCos;  // cos(tolerance / 2): q·q' of quaternions at most the tolerance apart
  bool Holds(size_t a, size_t b) const {
    const glm::dquat qa = values[a], qb = values[b];
    const double cosOmega = std::min(1.0, glm::dot(qa, qb));
    const double omega = std::acos(cosOmega);
    const double sinOmega = std::sin(omega);
    const double span = times[b] - times[a];
    for (size_t k = a + 1; k < b; ++k) {
      const double u = (times[k] - times[a]) / span;
      glm::dquat q;
      if (sinOmega < 1e-9) {
        q = glm::normalize(qa * (1.0 - u) + qb * u);
      } else {
        q = qa * (std::sin((1.0 - u) * omega) / sinOmega) + qb * (std::sin(u * omega) / sinOmega);
      }
      if (!(std::fabs(glm::dot(q, values[k])) >= minCos)) return false;
    }
    return true;
  }
  bool Near(size_t k, const glm::dquat& q) const { return std::fabs(glm::dot(values[k], q)) >= minCos; }
};

// Greedy forward fit: from each kept sample, the farthest next one whose
// line holds, found by doubling the reach and then halving back.
template <typename Line>
std::vector<uint32_t> FitLines(const Line& line, size_t count) {
  std::vector<uint32_t> kept = {0};
  size_t a = 0;
  while (a + 1 < count) {
    size_t good = a + 1, bad = count;
    for (size_t step = 2; a + step < count; step *= 2) {
      if (!line.Holds(a, a + step)) {
        bad = a + step;
        break;
      }
      good = a + step;
    }
    if (bad == count) {
      if (line.Holds(a, count - 1)) good = count - 1;
      else bad = count - 1;
    }
    while (bad - good > 1) {
      const size_t mid = good + (bad - good) / 2;
      if (line.Holds(a, mid)) good = mid;
      else bad = mid;
    }
    kept.push_back(uint32_t(good));
    a = good;
  }
  return kept;
}

template <typename Line, typename T>
std::optional<KeptSamples> Compact(const Line& line, const std::vector<T>& values, const T& rest, bool exact) {
  if (values.empty()) return std::nullopt;
  const size_t count = values.size();
  auto allNear = [&](const T& v) {
    for (size_t k = 0; k < count; ++k)
      if (!line.Near(k, v)) return false;
    return true;
  };
  if (exact) {
    if (count == 1 && values[0] == rest) return std::nullopt;
    KeptSamples kept;
    kept.samples.resize(count);
    for (size_t k = 0; k < count; ++k) kept.samples[k] = uint32_t(k);
    return kept;
  }
  if (allNear(rest)) return std::nullopt;
  if (allNear(values[0])) return KeptSamples{{0}};
  return KeptSamples{FitLines(line, count)};
}

}  // namespace

std::vector<CompactNode> CompactTake(const Take& take, bool exact) {
  const size_t n = take.nodes.size();
  std::vector<double> times(take.ticks.begin(), take.ticks.end());
  std::vector<CompactNode> out(n);

  // Stretch of each node's frame in world units (its scale times its
  // parents'), the reach of its descendants, and the most moving tracks
  // met on a way from the top down through it.
  std::vector<double> stretch(n, 1.0), reach(n, 0.0);
  std::vector<int> chain(n, 0), below(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    const double parentStretch = node.parent < 0 ? 1.0 : stretch[size_t(node.parent)];
    stretch[i] = parentStretch * LargestScale(node);
    chain[i] = (node.parent < 0 ? 0 : chain[size_t(node.parent)]) + Moves(node.translation) + Moves(node.rotation);
  }
  for (size_t i = n; i-- > 0;) {
    const TakeNode& node = take.nodes[i];
    if (node.parent < 0) continue;
    const size_t p = size_t(node.parent);
    reach[p] = std::max(reach[p], stretch[p] * LongestOffset(node) + reach[i]);
    below[p] = std::max(below[p], below[i] + int(Moves(node.translation) + Moves(node.rotation)));
  }

  const double bound = kCompactionBound * RestSize(take) * kFitShare;
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    const double parentStretch = node.parent < 0 ? 1.0 : stretch[size_t(node.parent)];
    // Every moving track on the longest chain through this node gets an equal share.
    const int tracks = std::max(1, chain[i] + below[i]);
    const double share = bound / tracks;
    const double distance = parentStretch > 0.0 && std::isfinite(parentStretch) ? share / parentStretch : 0.0;
    const double angle = reach[i] > 0.0 && std::isfinite(reach[i]) ? share / reach[i] : std::numbers::pi;
    const Vec3Line translation{node.translation, times, exact ? 0.0 : distance};
    const QuatArc rotation{node.rotation, times, exact ? 1.0 : std::cos(0.5 * std::min(angle, std::numbers::pi))};
    // Scale stays exact: a stretch error would reach every descendant unbounded.
    const Vec3Line scale{node.scale, times, 0.0};
    out[i].translation = Compact(translation, node.translation, node.rest.translation, exact);
    out[i].rotation = Compact(rotation, node.rotation, node.rest.rotation, exact);
    out[i].scale = Compact(scale, node.scale, node.rest.scale, true);
  }
  return out;
}

}  // namespace varnex
