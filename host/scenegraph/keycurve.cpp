// Keyframe curves over plain key lists: interpolation, the lossless
// optimisation and the error-bounded reduction. Owns no state; the scene
// code hands in a channel's keys and stores what comes back.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "varnex/keyframes.h"

namespace vxhost {

// -- Interpolation

namespace {

double Chord(const Key& a, const Key& b) {
  return (double(b.value) - double(a.value)) / (double(b.time) - double(a.time));
}

double InterpolateSegment(const Key& a, const Key& b, double ticks) {
  const double h = double(b.time) - double(a.time);
  const double s = (ticks - double(a.time)) / h;
  const double v0 = a.value, v1 = b.value;
  if (!a.hasSlopes && !b.hasSlopes) return v0 + (v1 - v0) * s;
  const double chord = (v1 - v0) / h;
  const double m0 = a.hasSlopes ? double(a.outSlope) : chord;
  const double m1 = b.hasSlopes ? double(b.inSlope) : chord;
  const double s2 = s * s, s3 = s2 * s;
  // Written around v0 so that a flat segment gives its value exactly.
  return v0 + (v1 - v0) * (3 * s2 - 2 * s3) + h * ((s3 - 2 * s2 + s) * m0 + (s3 - s2) * m1);
}

}  // namespace

double InterpolateKeys(const std::vector<Key>& keys, double ticks) {
  if (keys.empty()) return 0.0;
  if (ticks <= keys.front().time) return keys.front().value;
  if (ticks >= keys.back().time) return keys.back().value;
  auto after = std::upper_bound(keys.begin(), keys.end(), ticks,
                                [](double t, const Key& k) { return t < double(k.time); });
  const Key& b = *after;
  const Key& a = *(after - 1);
  if (ticks == double(a.time)) return a.value;
  return InterpolateSegment(a, b, ticks);
}

double InterpolateKeys(const KeyList& keys, double ticks) {
  if (keys.empty()) return 0.0;
  if (ticks <= keys.TimeAt(0)) return keys.ValueAt(0);
  const size_t last = keys.size() - 1;
  if (ticks >= keys.TimeAt(last)) return keys.ValueAt(last);
  // The first key after the time; the one before it starts the segment.
  size_t low = 0, high = last;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (ticks < double(keys.TimeAt(middle))) high = middle;
    else low = middle + 1;
  }
  if (ticks == double(keys.TimeAt(low - 1))) return keys.ValueAt(low - 1);
  if (!keys.HasSlopeRecords())
    return InterpolateSegment(Key{keys.TimeAt(low - 1), keys.ValueAt(low - 1)}, Key{keys.TimeAt(low), keys.ValueAt(low)},
                              ticks);
  return InterpolateSegment(keys[low - 1], keys[low], ticks);
}

KeyCursor::KeyCursor(const KeyList& keys) : keys_(keys) {
  if (keys.empty()) return;
  last_ = keys.size() - 1;
  firstTime_ = keys.TimeAt(0);
  lastTime_ = keys.TimeAt(last_);
  if (last_ > 0) {
    segmentStart_ = firstTime_;
    segmentEnd_ = keys.TimeAt(1);
  }
}

// Finds the segment of a time strictly between the first and last keys'
// (or NaN) that lies before the current one, as InterpolateKeys searches.
void KeyCursor::Seek(double ticks) {
  size_t low = 0, high = last_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (ticks < double(keys_.TimeAt(middle))) high = middle;
    else low = middle + 1;
  }
  next_ = low;
  segmentStart_ = keys_.TimeAt(next_ - 1);
  segmentEnd_ = keys_.TimeAt(next_);
}

double KeyCursor::At(double ticks) {
  if (keys_.empty()) return 0.0;
  if (ticks <= firstTime_) return keys_.ValueAt(0);
  if (ticks >= lastTime_ || last_ == 0) return keys_.ValueAt(last_);
  if (!(ticks >= segmentStart_)) Seek(ticks);
  // The walk never passes the last key, which lies after any time here.
  while (next_ < last_ && !(ticks < segmentEnd_)) {
    ++next_;
    segmentStart_ = segmentEnd_;
    segmentEnd_ = keys_.TimeAt(next_);
  }
  const size_t a = next_ - 1;
  if (ticks == segmentStart_) return keys_.ValueAt(a);
  if (!keys_.HasSlopeRecords())
    return InterpolateSegment(Key{keys_.TimeAt(a), keys_.ValueAt(a)}, Key{keys_.TimeAt(next_), keys_.ValueAt(next_)},
                              ticks);
  return InterpolateSegment(keys_[a], keys_[next_], ticks);
}

void SampleKeys(const KeyList& keys, std::span<const int32_t> ticks, std::span<float> values) {
  const size_t n = std::min(ticks.size(), values.size());
  if (keys.empty() || keys.HasSlopeRecords() || !std::is_sorted(ticks.begin(), ticks.begin() + ptrdiff_t(n))) {
    KeyCursor cursor(keys);
    for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>(cursor.At(ticks[i]));
    return;
  }
  size_t i = 0;
  int32_t beforeTime = 0;  // the key before the current one, once there is one
  float beforeValue = 0.0f;
  bool any = false;
  keys.ForEachTimeAndValue([&](int32_t time, float value) {
    for (; i < n && ticks[i] < time; ++i)
      values[i] = any ? static_cast<float>(InterpolateSegment(Key{beforeTime, beforeValue}, Key{time, value}, ticks[i]))
                      : value;
    for (; i < n && ticks[i] == time; ++i) values[i] = value;
    beforeTime = time;
    beforeValue = value;
    any = true;
  });
  for (; i < n; ++i) values[i] = beforeValue;  // after the last key
}

// -- Optimisation

namespace {

// A tangent that, next to an equal neighbour, leaves the segment flat.
bool FlatOut(const Key& k) { return !k.hasSlopes || k.outSlope == 0.0f; }
bool FlatIn(const Key& k) { return !k.hasSlopes || k.inSlope == 0.0f; }

}  // namespace

size_t OptimizeKeys(std::vector<Key>& keys) {
  const size_t before = keys.size();
  std::vector<Key> kept;
  kept.reserve(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const Key& k = keys[i];
    // Both segments around k are flat lines at k's value, and so is the
    // one that replaces them: nothing between the neighbours changes.
    const bool insideFlatRun = !kept.empty() && i + 1 < keys.size() &&
                               kept.back().value == k.value && keys[i + 1].value == k.value &&
                               FlatOut(kept.back()) && FlatIn(k) && FlatOut(k) &&
                               FlatIn(keys[i + 1]);
    if (!insideFlatRun) kept.push_back(k);
  }
  // Outside its keys a curve holds the end values, so one key says it all.
  if (kept.size() == 2 && kept[0].value == kept[1].value && FlatOut(kept[0]) && FlatIn(kept[1]))
    kept.pop_back();
  keys.swap(kept);
  return before - keys.size();
}

// Nothing to drop is the usual outcome: a channel is looked at in place and
// copied out only when some key goes.
size_t OptimizeKeys(KeyList& keys) {
  const size_t n = keys.size();
  if (n < 2) return 0;
  bool any = false;
  if (keys.HasSlopeRecords()) {
    any = true;  // rare after an import; the list's own walk decides
  } else if (n == 2) {
    any = keys.ValueAt(0) == keys.ValueAt(1);
  } else {
    for (size_t i = 1; i + 1 < n && !any; ++i)
      any = keys.ValueAt(i) == keys.ValueAt(i - 1) && keys.ValueAt(i + 1) == keys.ValueAt(i);
  }
  if (!any) return 0;
  if (const int64_t dropped = keys.DropInsideFlatRuns(); dropped >= 0) return static_cast<size_t>(dropped);
  std::vector<Key> list = keys.ToVector();
  const size_t dropped = OptimizeKeys(list);
  if (dropped > 0) keys.Assign(list);
  return dropped;
}

// -- Reduction

double ReductionTolerance(const ReductionRequest& request) {
  if (!request.eulerAngles) return request.distance;
  if (request.anglesInDegrees) return request.angle;
  return double(request.angle) * std::numbers::pi / 180.0;
}

namespace {

// Greedy forward fit. From the last kept key (the anchor) the line to a
// later key j passes within tolerance of every key in between exactly when
// its slope lies inside the intersection of the slope intervals that each
// of those keys allows; that window only narrows as j moves on, so each key
// is looked at a bounded number of times.
void MarkGreedyFit(const std::vector<Key>& keys, double tolerance, std::vector<char>& keep) {
  const size_t n = keys.size();
  keep.assign(n, 0);
  keep[0] = 1;
  keep[n - 1] = 1;
  size_t anchor = 0;
  while (anchor + 1 < n) {
    const double ta = keys[anchor].time, va = keys[anchor].value;
    const bool anchorFinite = std::isfinite(va);
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
    size_t end = anchor + 1;
    for (size_t j = anchor + 1; j < n; ++j) {
      const double dt = double(keys[j].time) - ta;
      const double vj = keys[j].value;
      const double slope = (vj - va) / dt;
      if (j > anchor + 1 && !(slope >= lo && slope <= hi)) break;
      end = j;
      if (!anchorFinite || !std::isfinite(vj)) break;
      lo = std::max(lo, (vj - tolerance - va) / dt);
      hi = std::min(hi, (vj + tolerance - va) / dt);
    }
    keep[end] = 1;
    anchor = end;
  }
}

std::vector<Key> BuildReduced(const std::vector<Key>& keys, const std::vector<char>& keep) {
  std::vector<Key> reduced;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keep[i]) reduced.push_back(keys[i]);
  if (reduced.size() < 2) return reduced;
  // Tangents along the chords: each segment stays the straight line the
  // fit was checked against, and a key may break its tangent.
  for (size_t i = 0; i < reduced.size(); ++i) {
    const float in = float(Chord(reduced[i == 0 ? 0 : i - 1], reduced[i == 0 ? 1 : i]));
    const float out = float(Chord(reduced[i + 1 == reduced.size() ? i - 1 : i],
                                  reduced[i + 1 == reduced.size() ? i : i + 1]));
    reduced[i].inSlope = in;
    reduced[i].outSlope = out;
    reduced[i].hasSlopes = std::isfinite(in) && std::isfinite(out);
  }
  return reduced;
}

// Evaluates like the scene does (single precision at the end) and marks
// every original key that strays; the fit leaves a margin, so this only
// catches rounding at the edge. Returns whether any key was marked.
bool KeepStrayKeys(const std::vector<Key>& keys, const std::vector<Key>& reduced, double tolerance,
                   std::vector<char>& keep) {
  bool marked = false;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keep[i]) continue;
    const float got = float(InterpolateKeys(reduced, keys[i].time));
    if (!(std::fabs(double(got) - double(keys[i].value)) <= tolerance)) {
      keep[i] = 1;
      marked = true;
    }
  }
  return marked;
}

}  // namespace

size_t ReduceKeys(std::vector<Key>& keys, double tolerance) {
  const size_t before = keys.size();
  if (before < 2) return 0;
  if (!(tolerance >= 0.0)) tolerance = 0.0;
  // A little under the asked tolerance, so that the single-precision
  // evaluation rarely lands beyond it.
  const double fitTolerance = tolerance * (1.0 - 1e-4);
  std::vector<char> keep;
  MarkGreedyFit(keys, fitTolerance, keep);
  std::vector<Key> reduced = BuildReduced(keys, keep);
  while (KeepStrayKeys(keys, reduced, tolerance, keep)) reduced = BuildReduced(keys, keep);
  keys.swap(reduced);
  return before - keys.size();
}

size_t ReduceKeys(KeyList& keys, double tolerance) {
  if (keys.size() < 2) return 0;
  std::vector<Key> list = keys.ToVector();
  const size_t dropped = ReduceKeys(list, tolerance);
  keys.Assign(list);
  return dropped;
}

double MaxReductionError(const std::vector<Key>& original, const std::vector<Key>& reduced) {
  double worst = 0.0;
  for (const Key& k : original) {
    const float got = float(InterpolateKeys(reduced, k.time));
    worst = std::max(worst, std::fabs(double(got) - double(k.value)));
  }
  return worst;
}

}  // namespace vxhost
