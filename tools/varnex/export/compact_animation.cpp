// Chooses the keys of each track of a take. Every track is first fitted
// loosely: straight segments (great-circle arcs for rotations) whose end
// values may lie anywhere within a tolerance of the take, the tolerance
// being the whole bound over how far the track moves its descendants, and
// for a rotation never more than the angle bound. The fit is then played
// back as a viewer decodes it and every node's world position and
// orientation compared with the full-rate take's at every sample; wherever
// one strays beyond its bound, the track that moved it most gets a tighter
// tolerance over the segment that holds that sample and is fitted again
// from there, and the samples it changes are played back again, until no
// node strays.
#include "export/compact_animation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <type_traits>

namespace varnex {

namespace {

// Room left for a viewer's own rounding (of floats, far below this).
constexpr double kVerifyShare = 0.98;
// A tolerance bounds a distance (or an angle); the fit bounds each of the
// three components by this share of it, so that the distance holds too.
const double kComponentShare = 1.0 / std::sqrt(3.0);
// A translation's error reaches every node below it whole, so it starts
// with this share of the bound and leaves the rest to the rotations below.
constexpr double kTranslationShare = 0.4;
// How far a rotation moves when stored as shorts: half a step on each of
// four components is 1/32767 in all, twice that as an angle.
constexpr double kShortAngle = 2.0 / 32767.0;
// How far a rotation moves when stored as floats.
constexpr double kFloatAngle = 3e-7;
// Segments fitted together at most, their values chosen once they end.
constexpr size_t kLongestRun = 4096;
// Passes of fitting and playing back before giving up on compaction.
constexpr uint32_t kMaxPasses = 40;
// A stray node tightens, of its own track and those of its nearest moving
// ancestors (at most kWalk of them), the one that adds the largest part of
// its error (and any within kShareOfMost of it), by kMaxFactor or more.
// Tightening one track a little at a time keeps the fewest keys; each round
// costs a playback of the samples it changed.
constexpr int kWalk = 24;
constexpr double kShareOfMost = 0.99;
constexpr double kMaxFactor = 0.7;

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

bool Finite(const glm::dvec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

glm::dvec3 Clean(const glm::dvec3& v) {
  return {std::isfinite(v.x) ? v.x : 0.0, std::isfinite(v.y) ? v.y : 0.0, std::isfinite(v.z) ? v.z : 0.0};
}

glm::dquat Unit(const glm::dquat& q) {
  const double len = glm::length(q);
  if (!std::isfinite(len) || len < 1e-12) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  return q / len;
}

// A value as a float stores it. The float goes through memory that the
// optimizer may not skip: GCC 12's vectorizer drops the rounding of two
// doubles to float and back when it does them together.
double AsStored(double x) {
  const volatile float stored = float(x);
  return stored;
}

glm::dvec3 AsStored(const glm::dvec3& v) { return {AsStored(v.x), AsStored(v.y), AsStored(v.z)}; }

glm::dquat FloatRounded(const glm::dquat& q) { return glm::dquat(AsStored(q.w), AsStored(q.x), AsStored(q.y), AsStored(q.z)); }

// The rotation vector (angle times axis) of a rotation with w >= 0.
glm::dvec3 RotationVector(const glm::dquat& r) {
  const glm::dvec3 v(r.x, r.y, r.z);
  const double s2 = glm::dot(v, v);
  if (s2 < 0.01 * r.w * r.w) {
    // 2 atan(s / w) / s as a series in (s / w)^2, which stays below 0.01.
    const double z = s2 / (r.w * r.w);
    const double f = 1.0 - z * (1.0 / 3 - z * (1.0 / 5 - z * (1.0 / 7 - z * (1.0 / 9 - z / 11))));
    return v * (2.0 / r.w * f);
  }
  const double s = std::sqrt(s2);
  return s > 0.0 ? v * (2.0 * std::atan2(s, r.w) / s) : glm::dvec3(0.0);
}

glm::dquat FromRotationVector(const glm::dvec3& w) {
  const double h2 = 0.25 * glm::dot(w, w);  // the half angle, squared
  if (h2 < 0.01) {
    // cos h and sin(h) / h by their series.
    const double c = 1.0 - h2 / 2 * (1.0 - h2 / 12 * (1.0 - h2 / 30 * (1.0 - h2 / 56)));
    const double s = 0.5 * (1.0 - h2 / 6 * (1.0 - h2 / 20 * (1.0 - h2 / 42 * (1.0 - h2 / 72))));
    return glm::dquat(c, w.x * s, w.y * s, w.z * s);
  }
  const double half = std::sqrt(h2);
  const glm::dvec3 v = w * (0.5 * std::sin(half) / half);
  return glm::dquat(std::cos(half), v.x, v.y, v.z);
}

double AngleBetween(const glm::dquat& a, const glm::dquat& b) {
  return 2.0 * std::acos(std::min(1.0, std::fabs(glm::dot(a, b))));
}

// sin, by its series where the argument is small, as it is between keys.
double Sine(double x) {
  if (std::fabs(x) > 0.5) return std::sin(x);
  const double x2 = x * x;
  return x * (1.0 - x2 / 6 * (1.0 - x2 / 20 * (1.0 - x2 / 42 * (1.0 - x2 / 72 * (1.0 - x2 / 110)))));
}

struct Affine {
  glm::dmat3 m{1.0};
  glm::dvec3 p{0.0};
};

// A node's world transform from its parent's and its local parts; the
// rotation's matrix assumes unit length, as viewers' does.
Affine Compose(const Affine& parent, const glm::dvec3& t, const glm::dquat& q, const glm::dvec3& s) {
  glm::dmat3 local = glm::mat3_cast(q);
  if (s != glm::dvec3(1.0)) local[0] *= s.x, local[1] *= s.y, local[2] *= s.z;
  return {parent.m * local, parent.p + parent.m * t};
}

// The trace of the turn from a wanted world frame to a shown one, each
// read from its axes made unit length (a viewer's matrix of a stored
// rotation that is not quite unit length is not quite a turn): 1 + 2 cos
// of the angle between them.
double TurnTrace(const glm::dmat3& shown, const glm::dmat3& wanted) {
  double trace = 0.0;
  for (int c = 0; c < 3; ++c)
    trace += glm::dot(shown[c], wanted[c]) / std::sqrt(glm::dot(shown[c], shown[c]) * glm::dot(wanted[c], wanted[c]));
  return trace;
}

enum class Shape { kRest, kHeld, kKeys };

// A segment of a track while it is fitted: its first sample, the chart its
// values are read in (a rotation's offsets from the rotation at its start),
// and per component the region of (start value, slope) pairs whose line
// keeps every sample on the way within tolerance: a convex polygon.
struct Piece {
  size_t from = 0;
  glm::dquat centre{1.0, 0.0, 0.0, 0.0};
  std::array<std::vector<glm::dvec2>, 3> region;

  glm::dvec3 Offset(const glm::dquat& q) const {
    glm::dquat r = glm::conjugate(centre) * q;
    if (r.w < 0.0) r = -r;
    return RotationVector(r);
  }
};

// Room for fitting, shared by the tracks of a take, one at a time.
struct FitRoom {
  std::vector<Piece> pieces;
  std::array<std::vector<glm::dvec2>, 3> trial;
  std::vector<glm::dvec2> scratch;
  std::vector<size_t> endKeys;
  std::vector<glm::dvec3> endVectors;
  std::vector<glm::dquat> endRotations;
};

// The part of a convex polygon whose lines x + y dt lie within [lo, hi],
// into out; false, leaving out as it was, when all of it does.
bool ClipSlab(const std::vector<glm::dvec2>& polygon, std::vector<glm::dvec2>& half, std::vector<glm::dvec2>& out,
              double dt, double lo, double hi) {
  bool inside = true;
  for (const glm::dvec2& p : polygon) inside = inside && lo <= p.x + p.y * dt && p.x + p.y * dt <= hi;
  if (inside) return false;
  auto clip = [dt](const std::vector<glm::dvec2>& from, std::vector<glm::dvec2>& to, double sign, double limit) {
    to.clear();
    const size_t m = from.size();
    for (size_t i = 0; i < m; ++i) {
      const glm::dvec2& p = from[i];
      const glm::dvec2& q = from[(i + 1) % m];
      const double fp = sign * (p.x + p.y * dt - limit), fq = sign * (q.x + q.y * dt - limit);
      if (fp <= 0.0) to.push_back(p);
      if ((fp < 0.0 && fq > 0.0) || (fp > 0.0 && fq < 0.0)) to.push_back(p + (q - p) * (fp / (fp - fq)));
    }
  };
  clip(polygon, half, 1.0, hi);
  clip(half, out, -1.0, lo);
  return true;
}

// The values that the lines of a region reach after dt: lowest, highest.
glm::dvec2 Reach(const std::vector<glm::dvec2>& region, double dt) {
  glm::dvec2 range(INFINITY, -INFINITY);
  for (const glm::dvec2& p : region) {
    const double v = p.x + p.y * dt;
    range = {std::min(range.x, v), std::max(range.y, v)};
  }
  return range;
}

// The start values of the lines of a region that reach end after dt; the
// nearest start when rounding left none.
glm::dvec2 Slice(const std::vector<glm::dvec2>& region, double dt, double end) {
  glm::dvec2 range(INFINITY, -INFINITY);
  const size_t m = region.size();
  double nearest = INFINITY, nearestStart = region.empty() ? 0.0 : region[0].x;
  for (size_t i = 0; i < m; ++i) {
    const glm::dvec2& p = region[i];
    const glm::dvec2& q = region[(i + 1) % m];
    const double fp = p.x + p.y * dt - end, fq = q.x + q.y * dt - end;
    if (fp == 0.0) range = {std::min(range.x, p.x), std::max(range.y, p.x)};
    if ((fp < 0.0 && fq > 0.0) || (fp > 0.0 && fq < 0.0)) {
      const double x = p.x + (q.x - p.x) * (fp / (fp - fq));
      range = {std::min(range.x, x), std::max(range.y, x)};
    }
    if (std::fabs(fp) < nearest) nearest = std::fabs(fp), nearestStart = p.x;
  }
  if (range.x > range.y) range = {nearestStart, nearestStart};
  return range;
}

// One moving translation or rotation of a node while it is fitted.
struct Track {
  const TakeNode* node = nullptr;
  bool rotation = false;
  size_t count = 0;              // samples of the take's track: every tick, or one value
  std::vector<float> tolerance;  // per sample: a distance, or an angle
  bool quantized = false;        // rotations as shorts
  bool dense = false;            // every sample kept
  Shape shape = Shape::kRest;
  bool fitted = false;
  bool gaveUp = false;  // the fit stopped as too dense
  std::vector<std::pair<size_t, size_t>> changed;  // sample ranges whose tolerance shrank since the last fit

  std::vector<uint32_t> keys;
  std::vector<glm::dvec3> vectors;  // decoded keys: as the viewer reads them
  std::vector<glm::dquat> rotations;
  std::vector<float> floats;  // stored keys
  std::vector<int16_t> shorts;
  std::vector<uint32_t> stamps;  // per key: the last pass that tightened the segment from it
  uint32_t stillStamp = 0;
  // The fit before the current refit, for the part after the change.
  std::vector<uint32_t> oldKeys;
  std::vector<glm::dvec3> oldVectors;
  std::vector<glm::dquat> oldRotations;
  std::vector<float> oldFloats;
  std::vector<int16_t> oldShorts;

  // The segments of the run being fitted (pieces[0, used)), in room that
  // all tracks share.
  FitRoom* room = nullptr;
  size_t used = 0;

  // Playback: the segment of the sample being played, and its arc.
  size_t cursor = 0, arcOf = SIZE_MAX;
  double arcDir = 1.0, arcSine = 0.0, arcAngle = 0.0;
  bool arcLerp = true;

  glm::dvec3 Vector(size_t k) const { return Clean(node->translation[k]); }
  glm::dquat Rotation(size_t k) const {
    const glm::dquat& q = node->rotation[k];
    return std::isfinite(q.w + q.x + q.y + q.z) && glm::dot(q, q) > 0.25 ? q : glm::dquat(1.0, 0.0, 0.0, 0.0);
  }
  double Margin(size_t k) const {
    if (rotation) return quantized ? kShortAngle : kFloatAngle;
    return 2.5e-7 * MaxAbs(Vector(k));
  }
  size_t Width() const { return rotation ? 4 : 3; }

  void Clear() { keys.clear(), vectors.clear(), rotations.clear(), floats.clear(), shorts.clear(); }

  void KeepVector(uint32_t k, const glm::dvec3& v) {
    const glm::dvec3 stored = AsStored(v);
    keys.push_back(k);
    vectors.push_back(stored);
    floats.insert(floats.end(), {float(stored.x), float(stored.y), float(stored.z)});
  }
  void KeepRotation(uint32_t k, const glm::dquat& q) {
    keys.push_back(k);
    if (quantized) {
      const std::array<int16_t, 4> stored = QuantizeRotation(q);
      rotations.push_back(DecodeRotation(stored));
      shorts.insert(shorts.end(), stored.begin(), stored.end());
    } else {
      const glm::dquat stored = FloatRounded(Unit(q));
      rotations.push_back(stored);
      floats.insert(floats.end(), {float(stored.x), float(stored.y), float(stored.z), float(stored.w)});
    }
  }
  void KeepSample(size_t k) {
    if (rotation) KeepRotation(uint32_t(k), Rotation(k));
    else KeepVector(uint32_t(k), Vector(k));
  }

  // The held value, or none where the rest pose holds the track within
  // its tolerance at every sample.
  bool FitStill(const glm::dvec3& restVector, const glm::dquat& restRotation) {
    auto within = [&](auto distance) {
      for (size_t k = 0; k < count; ++k)
        if (!(distance(k) <= double(tolerance[k]) - Margin(k))) return false;
      return true;
    };
    if (rotation) {
      if (within([&](size_t k) { return AngleBetween(Rotation(k), restRotation); })) return shape = Shape::kRest, true;
      const glm::dquat first = Rotation(0);
      if (!within([&](size_t k) { return AngleBetween(Rotation(k), first); })) return false;
    } else {
      if (within([&](size_t k) { return glm::length(Vector(k) - restVector); })) return shape = Shape::kRest, true;
      const glm::dvec3 first = Vector(0);
      if (!within([&](size_t k) { return glm::length(Vector(k) - first); })) return false;
    }
    KeepSample(0);
    shape = Shape::kHeld;
    return true;
  }

  // Greedy segments on from the last key, each as long as some straight
  // line keeps every sample on the way within tolerance. A segment's end
  // value is left open, within the window of values that allow its line,
  // and the next segment may start anywhere in that window; the values are
  // chosen backwards once the run of segments ends. After sample syncAfter,
  // a run that can end on an old key, with its value, does so and the fit
  // stops there; returns the old key's index (the count of old keys when
  // none was met). A fit of more than give keys (when not 0) stops early.
  size_t FitSegments(const std::vector<double>& times, size_t syncAfter, size_t give = 0) {
    std::vector<Piece>& pieces = room->pieces;
    size_t a = keys.back();
    size_t old = syncAfter == SIZE_MAX ? oldKeys.size()
                                       : size_t(std::upper_bound(oldKeys.begin(), oldKeys.end(), uint32_t(std::max(a, syncAfter))) -
                                                oldKeys.begin());
    used = 0;
    glm::dvec3 low(0.0), high(0.0);  // the window of the next segment's start
    auto startRun = [&] {
      used = 0;
      low = high = rotation ? glm::dvec3(0.0) : vectors.back();
    };
    startRun();
    while (a + 1 < count) {
      if (pieces.size() == used) pieces.emplace_back();
      Piece& piece = pieces[used++];
      piece.from = a;
      piece.centre = rotation ? (used == 1 ? glm::normalize(rotations.back()) : Rotation(a)) : glm::dquat();
      size_t b = a;
      glm::dvec3 last(0.0);
      for (size_t k = a + 1; k < count; ++k) {
        const double dt = times[k] - times[a];
        if (!(dt > 0.0)) break;
        const glm::dvec3 d = rotation ? piece.Offset(Rotation(k)) : Vector(k);
        const double e = std::max(0.0, double(tolerance[k]) * kComponentShare - Margin(k));
        bool empty = false;
        bool clipped[3];
        for (int c = 0; c < 3 && !empty; ++c) {
          std::vector<glm::dvec2>& region = room->trial[c];
          if (k == a + 1) {
            region.assign({{low[c], (d[c] - e - low[c]) / dt}, {high[c], (d[c] - e - high[c]) / dt},
                           {high[c], (d[c] + e - high[c]) / dt}, {low[c], (d[c] + e - low[c]) / dt}});
            clipped[c] = true;
          } else {
            clipped[c] = ClipSlab(piece.region[c], room->scratch, region, dt, d[c] - e, d[c] + e);
          }
          empty = clipped[c] && region.empty();
        }
        if (empty) break;
        for (int c = 0; c < 3; ++c)
          if (clipped[c]) piece.region[c].swap(room->trial[c]);
        b = k, last = d;
        if (old < oldKeys.size() && oldKeys[old] == k) {
          const glm::dvec3 end = rotation ? piece.Offset(oldRotations[old]) : oldVectors[old];
          bool reachable = true;
          for (int c = 0; c < 3; ++c) {
            const glm::dvec2 range = Reach(piece.region[c], dt);
            reachable = reachable && range.x <= end[c] && end[c] <= range.y;
          }
          if (reachable) {
            EndRun(times, k, end, false);
            return old;
          }
          ++old;
        }
      }
      if (give && keys.size() + used > give) {
        gaveUp = true;
        return oldKeys.size();
      }
      if (b == a || used == kLongestRun) {
        // Two samples at one time: the run ends before them and the next
        // is kept as it is. A run too long for the room also ends.
        if (b == a) {
          --used;
          if (used > 0) EndRun(times, a, Choose(used - 1, a, times), true);
          KeepSample(++b);
        } else {
          EndRun(times, b, Choose(used - 1, b, times), true);
        }
        startRun();
      } else {
        const double dt = times[b] - times[a];
        for (int c = 0; c < 3; ++c) {
          const glm::dvec2 range = Reach(piece.region[c], dt);
          low[c] = range.x, high[c] = range.y;
        }
        if (rotation) {
          // Into the chart of the next segment, centred on sample b.
          const double bend = 0.5 * glm::length(last) * std::max(MaxAbs(low - last), MaxAbs(high - last));
          low = low - last + bend, high = high - last - bend;
          for (int c = 0; c < 3; ++c)
            if (low[c] > high[c]) low[c] = high[c] = 0.5 * (low[c] + high[c]);
        }
      }
      // A fit as dense as every sample over the first eighth is given up.
      if (give && count >= 1024 && a < count / 8 && b >= count / 8 && 8 * (keys.size() + used) > 9 * (give * b / count)) {
        gaveUp = true;
        return oldKeys.size();
      }
      a = b;
      while (old < oldKeys.size() && oldKeys[old] <= a) ++old;
    }
    if (used > 0) EndRun(times, a, Choose(used - 1, a, times), true);
    return oldKeys.size();
  }

  // The end value of the run's last segment nearest the sample at b.
  glm::dvec3 Choose(size_t piece, size_t b, const std::vector<double>& times) const {
    const Piece& p = room->pieces[piece];
    const glm::dvec3 d = rotation ? p.Offset(Rotation(b)) : Vector(b);
    const double dt = times[b] - times[p.from];
    glm::dvec3 out;
    for (int c = 0; c < 3; ++c) {
      const glm::dvec2 range = Reach(p.region[c], dt);
      out[c] = std::clamp(d[c], range.x, range.y);
    }
    return out;
  }

  // Chooses the run's values backwards from its end value (in the chart of
  // its last segment) at sample b, and keeps them: every segment's start
  // but the run's first, which is kept already, and the end when keepEnd.
  void EndRun(const std::vector<double>& times, size_t b, glm::dvec3 end, bool keepEnd) {
    const std::vector<Piece>& pieces = room->pieces;
    std::vector<size_t>& endKeys = room->endKeys;
    std::vector<glm::dvec3>& endVectors = room->endVectors;
    std::vector<glm::dquat>& endRotations = room->endRotations;
    endKeys.clear(), endVectors.clear(), endRotations.clear();
    auto keep = [&](size_t k, const Piece& p, const glm::dvec3& x) {
      endKeys.push_back(k);
      if (rotation) endRotations.push_back(Value(p, x));
      else endVectors.push_back(x);
    };
    size_t to = b;
    for (size_t j = used; j-- > 0;) {
      const Piece& p = pieces[j];
      if (j + 1 == used && keepEnd) keep(to, p, end);
      if (j == 0) break;  // the run's first start is kept already
      const double dt = times[to] - times[p.from];
      glm::dvec3 start;
      for (int c = 0; c < 3; ++c) {
        const glm::dvec2 range = Slice(p.region[c], dt, end[c]);
        start[c] = std::clamp(rotation ? 0.0 : Vector(p.from)[c], range.x, range.y);
      }
      keep(p.from, p, start);
      // The segment before reads this start, in its own chart, as its end.
      end = rotation ? pieces[j - 1].Offset(endRotations.back()) : start;
      to = p.from;
    }
    for (size_t i = endKeys.size(); i-- > 0;) {
      if (rotation) KeepRotation(uint32_t(endKeys[i]), endRotations[i]);
      else KeepVector(uint32_t(endKeys[i]), endVectors[i]);
    }
    used = 0;
  }
  static glm::dquat Value(const Piece& p, const glm::dvec3& x) { return p.centre * FromRotationVector(x); }

  // Appends the old keys [first, last).
  void KeepOld(size_t first, size_t last) {
    keys.insert(keys.end(), oldKeys.begin() + long(first), oldKeys.begin() + long(last));
    if (rotation) rotations.insert(rotations.end(), oldRotations.begin() + long(first), oldRotations.begin() + long(last));
    else vectors.insert(vectors.end(), oldVectors.begin() + long(first), oldVectors.begin() + long(last));
    if (quantized) shorts.insert(shorts.end(), oldShorts.begin() + long(4 * first), oldShorts.begin() + long(4 * last));
    else floats.insert(floats.end(), oldFloats.begin() + long(Width() * first), oldFloats.begin() + long(Width() * last));
  }
  void DropAfter(size_t n) {
    keys.resize(n);
    if (rotation) rotations.resize(n);
    else vectors.resize(n);
    if (quantized) shorts.resize(4 * n);
    else floats.resize(Width() * n);
  }

  // Fits the track anew where its tolerance shrank; replay(first, last)
  // is called for the samples whose playback may have changed.
  template <typename Replay>
  void Refit(const std::vector<double>& times, const glm::dvec3& restVector, const glm::dquat& restRotation,
             Replay&& replay) {
    const bool wasQuantized = quantized;
    if (quantized)
      for (float t : tolerance)
        if (double(t) < kShortAngle) {
          quantized = false;
          break;
        }
    std::sort(changed.begin(), changed.end());
    // Every sample, on the input all such tracks share, costs no times of
    // its own and has no error but the stored values'.
    const size_t bytes = rotation ? (quantized ? 8 : 16) : 12;
    if (fitted && quantized == wasQuantized && (dense || shape == Shape::kKeys)) {
      if (dense) {
        // A track with every sample changes only by its values' precision;
        // its samples are played again, so that other tracks take the
        // tightening.
        for (const auto& [first, last] : changed) replay(first, last);
      } else {
        // Each changed stretch again from the last key before it, up to an
        // old key that the new segments can end on.
        std::swap(keys, oldKeys), std::swap(vectors, oldVectors), std::swap(rotations, oldRotations);
        std::swap(floats, oldFloats), std::swap(shorts, oldShorts);
        Clear();
        size_t next = 0;  // the first old key not yet kept
        for (const auto& [first, last] : changed) {
          if (!keys.empty() && keys.back() > last) continue;
          size_t until = next;
          while (until < oldKeys.size() && oldKeys[until] < first) ++until;
          if (keys.empty()) until = std::max<size_t>(until, 1);  // the first key stays as it is
          KeepOld(next, until);
          size_t kept = size_t(std::lower_bound(keys.begin(), keys.end(), uint32_t(first)) - keys.begin());
          DropAfter(std::max<size_t>(kept, 1));
          const size_t restart = keys.back();
          next = FitSegments(times, last);
          replay(restart, next < oldKeys.size() ? oldKeys[next] : count - 1);
        }
        KeepOld(next, oldKeys.size());
      }
    } else {
      Clear();
      if (!FitStill(restVector, restRotation)) {
        shape = Shape::kKeys;
        KeepSample(0);
        FitSegments(times, SIZE_MAX, count * bytes / (bytes + 4));
      }
      replay(0, count - 1);
    }
    changed.clear();
    if (shape == Shape::kKeys && !dense && (gaveUp || count * bytes < keys.size() * (bytes + 4))) {
      Clear();
      for (size_t k = 0; k < count; ++k) KeepSample(k);
      dense = true;
      replay(0, count - 1);
    }
    stamps.assign(keys.size(), 0);
    fitted = true;
  }

  // Shrinks the tolerance of the segment that holds sample k, once a pass.
  void Tighten(size_t k, uint32_t pass, double factor) {
    k = std::min(k, count - 1);
    const size_t c = keys.size() < 2 ? 0 : size_t(std::upper_bound(keys.begin(), keys.end(), uint32_t(k)) - keys.begin()) - 1;
    uint32_t& stamp = keys.size() < 2 ? stillStamp : stamps[c];
    if (stamp == pass) return;
    stamp = pass;
    size_t first = 0, last = count - 1;
    if (keys.size() >= 2) {
      first = keys[keys[c] == k && c > 0 ? c - 1 : c];
      last = keys[std::min(c + 1, keys.size() - 1)];
    }
    for (size_t j = first; j <= last; ++j) tolerance[j] = float(tolerance[j] * factor);
    changed.push_back({first, last});
  }

  // The values the viewer shows at sample k; samples are played in order.
  bool Advance(size_t& k) {
    k = std::min(k, count - 1);
    while (cursor + 1 < keys.size() && keys[cursor + 1] <= k) ++cursor;
    return keys[cursor] == k || cursor + 1 == keys.size();
  }
  glm::dvec3 PlayVector(size_t k, const std::vector<double>& times, const glm::dvec3& rest) {
    if (keys.size() < 2) return keys.empty() ? rest : vectors[0];
    if (Advance(k)) return vectors[cursor];
    const double u = (times[k] - times[keys[cursor]]) / (times[keys[cursor + 1]] - times[keys[cursor]]);
    return vectors[cursor] + u * (vectors[cursor + 1] - vectors[cursor]);
  }
  // Slerp as viewers do it on the stored values, which need not be unit
  // length: the short way, a normalized lerp where the two nearly coincide.
  glm::dquat PlayRotation(size_t k, const std::vector<double>& times, const glm::dquat& rest) {
    if (keys.size() < 2) return keys.empty() ? rest : rotations[0];
    if (Advance(k)) return rotations[cursor];
    const glm::dquat &a = rotations[cursor], &b = rotations[cursor + 1];
    if (arcOf != cursor) {
      arcOf = cursor;
      const double cosine = glm::dot(a, b);
      arcDir = cosine >= 0.0 ? 1.0 : -1.0;
      const double sqrSin = 1.0 - cosine * cosine;
      arcLerp = !(sqrSin > DBL_EPSILON);
      arcSine = arcLerp ? 0.0 : std::sqrt(sqrSin);
      arcAngle = arcLerp ? 0.0 : std::atan2(arcSine, cosine * arcDir);
    }
    const double u = (times[k] - times[keys[cursor]]) / (times[keys[cursor + 1]] - times[keys[cursor]]);
    if (arcLerp) {
      const glm::dquat q = a * (1.0 - u) + b * (u * arcDir);
      return q / glm::length(q);
    }
    return a * (Sine((1.0 - u) * arcAngle) / arcSine) + b * (Sine(u * arcAngle) / arcSine * arcDir);
  }
};

}  // namespace

std::array<int16_t, 4> QuantizeRotation(const glm::dquat& unit) {
  std::array<int16_t, 4> out;
  const double c[4] = {unit.x, unit.y, unit.z, unit.w};
  for (size_t i = 0; i < 4; ++i) {
    const double v = std::isfinite(c[i]) ? std::clamp(c[i], -1.0, 1.0) : 0.0;
    out[i] = int16_t(std::floor(v * 32767.0 + 0.5));
  }
  return out;
}

glm::dquat DecodeRotation(const std::array<int16_t, 4>& stored) {
  auto unit = [](int16_t c) { return std::max(double(c) / 32767.0, -1.0); };
  return glm::dquat(unit(stored[3]), unit(stored[0]), unit(stored[1]), unit(stored[2]));
}

std::vector<CompactNode> CompactTake(const Take& take, bool exact) {
  const size_t n = take.nodes.size(), samples = take.ticks.size();
  std::vector<CompactNode> out(n);

  // Scale stays exact: a stretch error would reach every descendant
  // unbounded. With exact, so do translations and rotations.
  auto keepAll = [&](const auto& values, const auto& rest, float fallback) -> std::optional<CompactTrack> {
    if (values.empty() || (values.size() == 1 && values[0] == rest)) return std::nullopt;
    CompactTrack track;
    for (size_t k = 0; k < values.size(); ++k) {
      track.samples.push_back(uint32_t(k));
      if constexpr (std::is_same_v<std::decay_t<decltype(rest)>, glm::dquat>) {
        const glm::dquat q = Unit(values[k]);
        track.values.insert(track.values.end(), {float(q.x), float(q.y), float(q.z), float(q.w)});
      } else {
        for (int i = 0; i < 3; ++i) track.values.push_back(std::isfinite(values[k][i]) ? float(values[k][i]) : fallback);
      }
    }
    return track;
  };
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    out[i].scale = keepAll(node.scale, node.rest.scale, 1.0f);
    if (exact) {
      out[i].translation = keepAll(node.translation, node.rest.translation, 0.0f);
      out[i].rotation = keepAll(node.rotation, node.rest.rotation, 0.0f);
    }
  }
  if (exact) return out;

  // Stretch of each node's frame in world units (its scale times its
  // parents'), and the reach of its descendants.
  std::vector<double> stretch(n, 1.0), reach(n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    stretch[i] = (node.parent < 0 ? 1.0 : stretch[size_t(node.parent)]) * LargestScale(node);
  }
  for (size_t i = n; i-- > 0;) {
    const TakeNode& node = take.nodes[i];
    if (node.parent < 0) continue;
    const size_t p = size_t(node.parent);
    reach[p] = std::max(reach[p], stretch[p] * LongestOffset(node) + reach[i]);
  }

  std::vector<double> times(samples);
  for (size_t k = 0; k < samples; ++k) times[k] = AsStored(double(take.ticks[k]) / take.ticksPerSecond);
  const double bound = kCompactionBound * RestSize(take) * kVerifyShare;
  const double angle = kCompactionAngle * kVerifyShare;
  // A world orientation within the angle has axes whose dot products with
  // the wanted axes sum to at least this (the trace of the turn between).
  const double leastTrace = 1.0 + 2.0 * std::cos(angle);

  // What the file holds where no track moves: the rest pose as stored.
  std::vector<glm::dvec3> restVector(n);
  std::vector<glm::dquat> restRotation(n);
  std::vector<Track> tracks;
  FitRoom room;
  std::vector<std::array<int, 2>> trackOf(n, {-1, -1});
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    restVector[i] = AsStored(Clean(node.rest.translation));
    restRotation[i] = FloatRounded(Unit(node.rest.rotation));
    const double parentStretch = node.parent < 0 ? 1.0 : stretch[size_t(node.parent)];
    for (const bool rotation : {false, true}) {
      const size_t count = rotation ? node.rotation.size() : node.translation.size();
      if (count == 0 || (count > 1 && count != samples)) continue;
      double tolerance = 0.0;
      if (rotation) tolerance = reach[i] > 0.0 && std::isfinite(reach[i]) ? std::min(bound / reach[i], angle) : angle;
      else if (parentStretch > 0.0 && std::isfinite(parentStretch)) tolerance = kTranslationShare * bound / parentStretch;
      Track track;
      track.node = &node;
      track.room = &room;
      track.rotation = rotation;
      track.count = count;
      track.quantized = rotation;
      track.tolerance.assign(count, float(tolerance));
      trackOf[i][rotation] = int(tracks.size());
      tracks.push_back(std::move(track));
    }
  }
  // The nearest ancestor with a track of its own.
  std::vector<int> movingAbove(n, -1);
  for (size_t i = 0; i < n; ++i) {
    const int p = take.nodes[i].parent;
    if (p >= 0) movingAbove[i] = trackOf[size_t(p)][0] >= 0 || trackOf[size_t(p)][1] >= 0 ? p : movingAbove[size_t(p)];
  }

  // Fit, play back the samples that changed, and where a node strays,
  // tighten the track that moved it most; again until none strays.
  // Playback goes node by node over a block of samples at a time, so that
  // each node's values are read in order.
  const size_t block = std::clamp<size_t>(2048 / std::max<size_t>(n, 1), 1, 64);
  // Without scale the take's world transforms are turns and shifts, and its
  // unit rotations compose as quaternions.
  const bool rigid = std::all_of(take.nodes.begin(), take.nodes.end(),
                                 [](const TakeNode& node) { return node.scale.empty() && node.rest.scale == glm::dvec3(1.0); });
  std::vector<Affine> shown(n * block), wanted(rigid ? 0 : n * block);
  std::vector<glm::dvec3> wantedP(n * block), shownT(n * block);
  std::vector<glm::dquat> wantedR(rigid ? n * block : 0), shownR(n * block);
  std::vector<uint8_t> replay(samples, 0), strayed(samples, 0);
  struct Share {
    size_t track;
    double error;
  };
  std::vector<Share> shares;
  // Tightens the tracks that add the most of the shares, by more the
  // further the node strayed beyond its limit.
  auto tightenMost = [&](size_t k, uint32_t pass, double limit, double error) {
    double most = 0.0;
    for (const Share& share : shares) most = std::max(most, share.error);
    const double factor = std::min(kMaxFactor, 0.9 * limit / error);
    for (const Share& share : shares)
      if (share.error >= kShareOfMost * most) tracks[share.track].Tighten(k, pass, factor);
  };
  static const Affine kWorld;
  for (uint32_t pass = 1; pass <= kMaxPasses; ++pass) {
    bool changed = false;
    for (Track& track : tracks) {
      if (track.fitted && track.changed.empty()) continue;
      const size_t i = size_t(track.node - take.nodes.data());
      track.Refit(times, restVector[i], restRotation[i], [&](size_t from, size_t to) {
        if (track.count == 1) from = 0, to = samples - 1;
        std::fill(replay.begin() + long(from), replay.begin() + long(std::min(to + 1, samples)), uint8_t(1));
        changed = true;
      });
    }
    if (!changed || samples == 0) break;
    for (Track& track : tracks) track.cursor = 0, track.arcOf = SIZE_MAX;
    for (size_t k0 = 0; k0 < samples; k0 += block) {
      const size_t k1 = std::min(samples, k0 + block);
      if (std::find(replay.begin() + long(k0), replay.begin() + long(k1), uint8_t(1)) == replay.begin() + long(k1)) continue;
      for (size_t k = k0; k < k1; ++k) strayed[k] = 0;
      for (size_t i = 0; i < n; ++i) {
        const TakeNode& node = take.nodes[i];
        const int ti = trackOf[i][0], ri = trackOf[i][1];
        const size_t at = i * block, up = node.parent < 0 ? SIZE_MAX : size_t(node.parent) * block;
        for (size_t k = k0; k < k1; ++k) {
          if (!replay[k]) continue;
          const size_t here = at + (k - k0), above = up + (k - k0);
          const glm::dvec3& wantT =
              node.translation.empty() ? node.rest.translation : node.translation[std::min(k, node.translation.size() - 1)];
          const glm::dquat& wantR =
              node.rotation.empty() ? node.rest.rotation : node.rotation[std::min(k, node.rotation.size() - 1)];
          const glm::dvec3& scale = node.scale.empty() ? node.rest.scale : node.scale[std::min(k, node.scale.size() - 1)];
          shownT[here] = ti < 0 ? restVector[i] : tracks[size_t(ti)].PlayVector(k, times, restVector[i]);
          shownR[here] = ri < 0 ? restRotation[i] : tracks[size_t(ri)].PlayRotation(k, times, restRotation[i]);
          shown[here] = Compose(up == SIZE_MAX ? kWorld : shown[above], shownT[here], shownR[here], scale);
          if (!rigid) {
            wanted[here] = Compose(up == SIZE_MAX ? kWorld : wanted[above], wantT, wantR, scale);
            wantedP[here] = wanted[here].p;
          } else if (up == SIZE_MAX) {
            wantedR[here] = wantR, wantedP[here] = wantT;
          } else {
            wantedR[here] = wantedR[above] * wantR, wantedP[here] = wantedP[above] + wantedR[above] * wantT;
          }
          // A node without a rotation of its own is turned as its parent.
          if (ri >= 0) {
            const double turn = TurnTrace(shown[here].m, rigid ? glm::mat3_cast(wantedR[here]) : wanted[here].m);
            if (turn < leastTrace && std::isfinite(turn)) {
              strayed[k] = 1;
              if (pass < kMaxPasses) {
                // What each rotation above the node (the nearest ones)
                // adds to its turn: its own angle.
                shares.clear();
                shares.push_back({size_t(ri), AngleBetween(glm::normalize(shownR[here]), Unit(wantR))});
                int depth = 0;
                for (int p = movingAbove[i]; p >= 0 && depth < kWalk; p = movingAbove[size_t(p)], ++depth) {
                  if (const int index = trackOf[size_t(p)][1]; index >= 0)
                    shares.push_back({size_t(index), AngleBetween(glm::normalize(shownR[size_t(p) * block + (k - k0)]),
                                                                  LocalAt(take.nodes[size_t(p)], k).rotation)});
                }
                tightenMost(k, pass, angle, std::acos(std::clamp(0.5 * (turn - 1.0), -1.0, 1.0)));
              }
            }
          }
          if (!Finite(wantedP[here])) continue;
          const double error = glm::length(shown[here].p - wantedP[here]);
          if (error <= bound || !std::isfinite(error)) continue;
          strayed[k] = 1;
          if (pass == kMaxPasses) continue;
          // What each track above the node (the nearest ones) adds to its
          // error: a translation its own error, a rotation its angle over
          // the distance to the node.
          shares.clear();
          if (ti >= 0)
            shares.push_back({size_t(ti), glm::length(shownT[here] - wantT) * (node.parent < 0 ? 1.0 : stretch[size_t(node.parent)])});
          int depth = 0;
          for (int p = movingAbove[i]; p >= 0 && depth < kWalk; p = movingAbove[size_t(p)], ++depth) {
            const TakeNode& ancestor = take.nodes[size_t(p)];
            const Transform local = LocalAt(ancestor, k);
            const size_t there = size_t(p) * block + (k - k0);
            if (const int index = trackOf[size_t(p)][0]; index >= 0)
              shares.push_back({size_t(index), glm::length(shownT[there] - local.translation) *
                                                   (ancestor.parent < 0 ? 1.0 : stretch[size_t(ancestor.parent)])});
            if (const int index = trackOf[size_t(p)][1]; index >= 0)
              shares.push_back({size_t(index), AngleBetween(glm::normalize(shownR[there]), local.rotation) *
                                                   glm::length(wantedP[here] - wantedP[there])});
          }
          tightenMost(k, pass, bound, error);
        }
      }
      std::fill(replay.begin() + long(k0), replay.begin() + long(k1), uint8_t(0));
    }
  }
  // Tightening did not bring every node within the bound: keep every
  // sample instead.
  if (std::find(strayed.begin(), strayed.end(), 1) != strayed.end()) return CompactTake(take, true);

  for (size_t i = 0; i < n; ++i) {
    for (const bool rotation : {false, true}) {
      const int index = trackOf[i][rotation];
      if (index < 0) continue;
      Track& track = tracks[size_t(index)];
      if (track.shape == Shape::kRest) continue;
      (rotation ? out[i].rotation : out[i].translation) =
          CompactTrack{std::move(track.keys), std::move(track.floats), std::move(track.shorts)};
    }
  }
  return out;
}

}  // namespace varnex
