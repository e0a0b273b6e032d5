// Fits the keys of one track of a take (compact_track.h): a held value
// where one serves, else greedy runs of straight segments (great-circle
// arcs for rotations) whose end values are left open within their window
// and chosen backwards once a run ends, or every sample where that is
// cheaper; refitted stretch by stretch as the tolerance shrinks, and
// played back as a viewer interpolates the stored keys.
#include "export/compact_track.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "export/compact_animation.h"
#include "export/compact_values.h"

namespace varnex {

namespace {

// A tolerance bounds a distance (or an angle); the fit bounds each of the
// three components by this share of it, so that the distance holds too.
const double kComponentShare = 1.0 / std::sqrt(3.0);
// How far a rotation moves when stored as floats: half a float step on
// each component of a unit quaternion (2^-25) is 1.2e-7 in all, twice
// that as an angle, and a little room.
constexpr double kFloatAngle = 3e-7;
// How far a translation moves when stored as floats, over its largest
// component: half a float step (2^-24 of it) on each of three components
// is 1e-7 in all, and a little room.
constexpr double kFloatShift = 2.5e-7;
// A packed rotation's precision: the share of its track's least tolerance
// that packing may take.
constexpr double kPackedShare = 0.3;
// Bytes a stored key costs beside its value: its float time.
constexpr size_t kTimeBytes = 4;
// A compressed key with a time of its own costs about this many times a
// packed rotation that keeps every sample: sparse keys change more from
// one to the next, and their irregular float times pack poorly, where
// every sample shares one input with all such tracks (measured on the
// real takes: sparse keys about 3 bytes and their times about 2, a packed
// sample of a dense track about 2 bytes).
constexpr double kCompressedKeyCost = 3.0;
// A packed rotation that keeps every sample stores each block of this
// many samples at the fewest bits that keep all of them within their
// tolerance: a sample whose tolerance was tightened raises the bits of its
// block alone, and the compressed stream rescales only between blocks.
constexpr size_t kBitsBlock = 64;
// The bits a packed sample needs are searched upwards from those whose
// worst case is this many times its tolerance: real samples err far less
// than the worst case, seldom by a sixteenth of it.
constexpr double kWorstOverNeed = 8.0;
// The bits the filters take: 4 to 16 for a rotation's components, 1 to 24
// for a vector's mantissa.
constexpr int kLeastRotationBits = 4, kMostRotationBits = 16, kMostVectorBits = 24;
// A vector packs only where its float does not overflow.
constexpr double kLargestPacked = 1e38;
// Segments fitted together at most, their values chosen once they end: a
// bound on the fitting room, far above the runs real takes make (a run
// ends wherever two samples share a time or a stretch is refitted).
constexpr size_t kLongestRun = 4096;
// A fit of a take of at least kEarlySamples samples stops as soon as, over
// its first kEarlyPart-th, it keeps more keys than keeping every sample
// would cost there (kEarlyExcess of the key budget): such a track rarely
// thins out later (the hips and spine of a walk jitter by about the bound
// from frame to frame), and fitting it whole costs more than it saves.
constexpr size_t kEarlySamples = 1024;
constexpr size_t kEarlyPart = 8;
constexpr size_t kEarlyExcessOver = 9, kEarlyExcessUnder = 8;  // 9/8

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

// sin, by its series where the argument is small, as it is between keys.
double Sine(double x) {
  if (std::fabs(x) > 0.5) return std::sin(x);
  const double x2 = x * x;
  return x * (1.0 - x2 / 6 * (1.0 - x2 / 20 * (1.0 - x2 / 42 * (1.0 - x2 / 72 * (1.0 - x2 / 110)))));
}

}  // namespace

void FitRoom::Keep(Piece& piece) {
  for (int c = 0; c < 3; ++c) {
    piece.region[c] = {corners.size(), growing[c].size()};
    corners.insert(corners.end(), growing[c].begin(), growing[c].end());
  }
}

glm::dvec3 Piece::Offset(const glm::dquat& q) const {
  glm::dquat r = glm::conjugate(centre) * q;
  if (r.w < 0.0) r = -r;
  return RotationVector(r);
}

// -- The take's values and the stored keys

glm::dvec3 Track::Vector(size_t k) const { return Clean(node->translation[k]); }

glm::dquat Track::Rotation(size_t k) const {
  const glm::dquat& q = node->rotation[k];
  return std::isfinite(q.w + q.x + q.y + q.z) && glm::dot(q, q) > 0.25 ? q : glm::dquat(1.0, 0.0, 0.0, 0.0);
}

double Track::Margin(size_t k) const {
  if (rotation) return quantized ? (packer ? PackedAngle(bits) : kShortAngle) : kFloatAngle;
  return kFloatShift * MaxAbs(Vector(k));
}

namespace {

glm::dquat DecodeAt(const std::vector<int16_t>& shorts, size_t i) {
  return DecodeRotation({shorts[4 * i], shorts[4 * i + 1], shorts[4 * i + 2], shorts[4 * i + 3]});
}

}  // namespace

glm::dquat Track::KeyRotation(size_t i) const { return DecodesShorts() ? DecodeAt(shorts, i) : rotations[i]; }

glm::dquat Track::OldKeyRotation(size_t i) const { return DecodesShorts() ? DecodeAt(oldShorts, i) : oldRotations[i]; }

void Track::Clear() { keys.clear(), vectors.clear(), rotations.clear(), floats.clear(), shorts.clear(), packed.clear(); }

// Room for n keys, so that a refill of a long track does not grow its
// arrays step by step.
void Track::Reserve(size_t n) {
  keys.reserve(n);
  if (!rotation) vectors.reserve(n);
  else if (!DecodesShorts()) rotations.reserve(n);
  if (quantized) shorts.reserve(4 * n);
  else floats.reserve(Width() * n);
}

void Track::KeepVector(uint32_t k, const glm::dvec3& v) {
  const glm::dvec3 stored = AsStored(v);
  keys.push_back(k);
  vectors.push_back(stored);
  floats.insert(floats.end(), {float(stored.x), float(stored.y), float(stored.z)});
}

void Track::KeepRotation(uint32_t k, const glm::dquat& q) {
  keys.push_back(k);
  if (quantized && packer) {
    std::array<int16_t, 4> stored;
    rotations.push_back(packer(Unit(q), bits, stored));
    shorts.insert(shorts.end(), stored.begin(), stored.end());
  } else if (quantized) {
    const std::array<int16_t, 4> stored = QuantizeRotation(q);
    shorts.insert(shorts.end(), stored.begin(), stored.end());
  } else {
    const glm::dquat stored = FloatRounded(Unit(q));
    rotations.push_back(stored);
    floats.insert(floats.end(), {float(stored.x), float(stored.y), float(stored.z), float(stored.w)});
  }
}

void Track::KeepSample(size_t k) {
  if (rotation) KeepRotation(uint32_t(k), Rotation(k));
  else KeepVector(uint32_t(k), Vector(k));
}

// Appends the old keys [first, last).
void Track::KeepOld(size_t first, size_t last) {
  keys.insert(keys.end(), oldKeys.begin() + long(first), oldKeys.begin() + long(last));
  if (!rotation) vectors.insert(vectors.end(), oldVectors.begin() + long(first), oldVectors.begin() + long(last));
  else if (!DecodesShorts())
    rotations.insert(rotations.end(), oldRotations.begin() + long(first), oldRotations.begin() + long(last));
  if (quantized) shorts.insert(shorts.end(), oldShorts.begin() + long(4 * first), oldShorts.begin() + long(4 * last));
  else floats.insert(floats.end(), oldFloats.begin() + long(Width() * first), oldFloats.begin() + long(Width() * last));
}

void Track::DropAfter(size_t n) {
  keys.resize(n);
  if (!rotation) vectors.resize(n);
  else if (!DecodesShorts()) rotations.resize(n);
  if (quantized) shorts.resize(4 * n);
  else floats.resize(Width() * n);
}

bool Track::Filterable() const { return rotation ? quantized && packer : vectorPacker != nullptr; }

void Track::KeepEverySample(std::vector<SampleRange>& replays) {
  Clear();
  if (Filterable()) {
    // Packed block by block, each at the bits its samples need.
    keys.resize(count);
    for (size_t k = 0; k < count; ++k) keys[k] = uint32_t(k);
    if (rotation) rotations.resize(count), shorts.resize(4 * count);
    else vectors.resize(count), packed.resize(3 * count);
    needBits.assign(count, 0);
    blockBits.assign((count + kBitsBlock - 1) / kBitsBlock, 0);
    dense = filtered = true;
    changed.assign(1, {0, count - 1});
    if (RepackChanged(replays)) return;
    Unfilter();
  }
  Reserve(count);
  for (size_t k = 0; k < count; ++k) KeepSample(k);
  dense = true;
  replays.push_back({0, count - 1});
}

// Adds samples first to last to the replays, joined to the last stretch
// where they overlap or follow it.
void Track::AddReplay(std::vector<SampleRange>& replays, size_t first, size_t last) {
  if (!replays.empty() && replays.back().first <= first && first <= replays.back().second + 1)
    replays.back().second = std::max(replays.back().second, last);
  else replays.push_back({first, last});
}

// The filter no longer serves (a sample needs more bits than it has): the
// track stores floats from now on.
void Track::Unfilter() {
  if (rotation) quantized = false;
  else vectorPacker = nullptr;
  filtered = false;
  needBits.clear(), blockBits.clear();
  Clear();
}

// The fewest bits at which sample k, packed, stays within its share of its
// tolerance, searched upwards from a guess below it; 0 when none does.
int Track::NeedBits(size_t k) const {
  const double allowed = packShare * double(tolerance[k]);
  int b = needBits[k];
  if (rotation) {
    const glm::dquat q = Unit(Rotation(k));
    std::array<int16_t, 4> stored;
    if (b == 0)
      for (b = kMostRotationBits; b > kLeastRotationBits && PackedAngle(b - 1) <= allowed * kWorstOverNeed;) --b;
    for (; b <= kMostRotationBits; ++b)
      if (AngleBetween(glm::normalize(packer(q, b, stored)), q) <= allowed) return b;
  } else {
    const glm::dvec3 v = Vector(k);
    // Beyond single precision the floats' own check speaks.
    if (!(MaxAbs(v) < kLargestPacked)) return 0;
    std::array<uint32_t, 3> stored;
    if (b == 0) {
      // A mantissa of b bits errs by about the largest component over 2^b.
      const double guess = std::log2(MaxAbs(v) / allowed) - 2.0;
      b = std::isfinite(guess) ? int(std::clamp(guess, 1.0, double(kMostVectorBits))) : 1;
    }
    for (; b <= kMostVectorBits; ++b)
      if (glm::length(vectorPacker(v, b, stored) - v) <= allowed) return b;
  }
  return 0;
}

// Raises the bits each changed sample of a dense filtered track needs to
// stay within its tolerance, and packs again the blocks that hold them;
// false when a sample needs more bits than the filter has.
bool Track::RepackChanged(std::vector<SampleRange>& replays) {
  for (const auto& [first, last] : changed) {
    for (size_t k = first; k <= last; ++k) {
      const int b = NeedBits(k);
      if (b == 0) return false;
      needBits[k] = uint8_t(b);
    }
  }
  // Changed stretches may share blocks: each block is packed once, after
  // every need in it is known. A block that keeps its bits keeps its
  // values, and only its changed samples are played again (so that other
  // tracks take the tightening); a block packed again is played whole.
  size_t decided = SIZE_MAX;  // the last block looked at, and whether it was packed again
  bool repacked = false;
  for (const auto& [first, last] : changed) {
    for (size_t block = first / kBitsBlock; block <= last / kBitsBlock; ++block) {
      const size_t from = block * kBitsBlock, to = std::min(count, from + kBitsBlock);
      if (block != decided) {
        decided = block;
        const int b = *std::max_element(needBits.begin() + long(from), needBits.begin() + long(to));
        repacked = blockBits[block] != b;
        if (repacked) PackBlock(from, to, b), AddReplay(replays, from, to - 1);
      }
      if (!repacked) AddReplay(replays, std::max(from, first), std::min(to - 1, last));
    }
  }
  changed.clear();
  return true;
}

// Packs samples [from, to), one block, at b bits.
void Track::PackBlock(size_t from, size_t to, int b) {
  blockBits[from / kBitsBlock] = uint8_t(b);
  bits = std::max(bits, b);
  for (size_t k = from; k < to; ++k) {
    if (rotation) {
      std::array<int16_t, 4> stored;
      rotations[k] = packer(Unit(Rotation(k)), b, stored);
      std::copy(stored.begin(), stored.end(), shorts.begin() + long(4 * k));
    } else {
      std::array<uint32_t, 3> stored;
      vectors[k] = vectorPacker(Vector(k), b, stored);
      std::copy(stored.begin(), stored.end(), packed.begin() + long(3 * k));
    }
  }
}

CompactTrack Track::Stored() {
  return CompactTrack{std::move(keys), std::move(floats), std::move(shorts), rotation && quantized && packer ? bits : 0,
                      std::move(packed)};
}

// -- Fitting

void Track::Refit(const std::vector<double>& times, const glm::dvec3& restVector, const glm::dquat& restRotation,
                  std::vector<SampleRange>& replays) {
  std::sort(changed.begin(), changed.end());
  if (filtered) {
    // Every sample kept, packed: only the changed blocks change.
    if (!RepackChanged(replays)) {
      Unfilter();
      KeepEverySample(replays);
    }
    changed.clear();
    return;
  }
  const bool wasQuantized = quantized;
  const int wasBits = bits;
  if (quantized && packer) {
    // The fewest bits whose packing takes its share of the least tolerance;
    // they only grow, as tolerances only shrink.
    const double least = double(*std::min_element(tolerance.begin(), tolerance.end()));
    while (bits < 16 && PackedAngle(bits) > kPackedShare * least) ++bits;
    quantized = PackedAngle(bits) <= least;
  } else if (quantized) {
    for (float t : tolerance)
      if (double(t) < kShortAngle) {
        quantized = false;
        break;
      }
  }
  // Every sample, on the input all such tracks share, costs no times of
  // its own and has no error but the stored values'.
  const size_t bytes = rotation ? (quantized ? 8 : 16) : 12;
  const bool sameStore = quantized == wasQuantized && bits == wasBits;
  if (fitted && sameStore && dense) {
    // A track with every sample changes only by its values' precision; its
    // samples are played again, so that other tracks take the tightening.
    for (const SampleRange& range : changed) replays.push_back(range);
  } else if (fitted && sameStore && shape == TrackShape::kKeys) {
    RefitChangedStretches(times, replays);
  } else {
    Clear();
    if (!FitStill(restVector, restRotation)) {
      shape = TrackShape::kKeys;
      // The fit keeps no more keys than it may give before giving up: room
      // for them all at once touches only the memory the keys fill, where
      // growing step by step would copy them and touch twice as much.
      const size_t give = count * bytes / (bytes + kTimeBytes);
      Reserve(give + 1);
      KeepSample(0);
      FitSegments(times, SIZE_MAX, give);
    }
    replays.push_back({0, count - 1});
  }
  changed.clear();
  const double keyCost = Filterable() ? kCompressedKeyCost * double(bytes) : double(bytes + kTimeBytes);
  if (shape == TrackShape::kKeys && !dense && (gaveUp || double(count * bytes) < double(keys.size()) * keyCost))
    KeepEverySample(replays);
  stamps.assign(keys.size(), 0);
  fitted = true;
}

// Each changed stretch again from the last key before it, up to an old key
// that the new segments can end on.
void Track::RefitChangedStretches(const std::vector<double>& times, std::vector<SampleRange>& replays) {
  std::swap(keys, oldKeys), std::swap(vectors, oldVectors), std::swap(rotations, oldRotations);
  std::swap(floats, oldFloats), std::swap(shorts, oldShorts);
  Clear();
  Reserve(oldKeys.size());
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
    replays.push_back({restart, next < oldKeys.size() ? oldKeys[next] : count - 1});
  }
  KeepOld(next, oldKeys.size());
}

// The held value, or none where the rest pose holds the track within its
// tolerance at every sample.
bool Track::FitStill(const glm::dvec3& restVector, const glm::dquat& restRotation) {
  auto within = [&](auto distance) {
    for (size_t k = 0; k < count; ++k)
      if (!(distance(k) <= double(tolerance[k]) - Margin(k))) return false;
    return true;
  };
  if (rotation) {
    if (within([&](size_t k) { return AngleBetween(Rotation(k), restRotation); })) return shape = TrackShape::kRest, true;
    const glm::dquat first = Rotation(0);
    if (!within([&](size_t k) { return AngleBetween(Rotation(k), first); })) return false;
  } else {
    if (within([&](size_t k) { return glm::length(Vector(k) - restVector); })) return shape = TrackShape::kRest, true;
    const glm::dvec3 first = Vector(0);
    if (!within([&](size_t k) { return glm::length(Vector(k) - first); })) return false;
  }
  KeepSample(0);
  shape = TrackShape::kHeld;
  return true;
}

// Greedy segments on from the last key, each as long as some straight line
// keeps every sample on the way within tolerance. A segment's end value is
// left open, within the window of values that allow its line, and the next
// segment may start anywhere in that window; the values are chosen
// backwards once the run of segments ends. After sample syncAfter, a run
// that can end on an old key, with its value, does so and the fit stops
// there; returns the old key's index (the count of old keys when none was
// met). A fit of more than give keys (when not 0) stops early.
size_t Track::FitSegments(const std::vector<double>& times, size_t syncAfter, size_t give) {
  std::vector<Piece>& pieces = room->pieces;
  size_t a = keys.back();
  size_t old = syncAfter == SIZE_MAX
                   ? oldKeys.size()
                   : size_t(std::upper_bound(oldKeys.begin(), oldKeys.end(), uint32_t(std::max(a, syncAfter))) - oldKeys.begin());
  glm::dvec3 low(0.0), high(0.0);  // the window of the next segment's start
  auto startRun = [&] {
    used = 0, room->corners.clear();
    low = high = rotation ? glm::dvec3(0.0) : vectors.back();
  };
  startRun();
  while (a + 1 < count) {
    if (pieces.size() == used) pieces.emplace_back();
    Piece& piece = pieces[used++];
    piece.from = a;
    piece.centre = rotation ? (used == 1 ? glm::normalize(KeyRotation(keys.size() - 1)) : Rotation(a)) : glm::dquat();
    size_t b = a;
    glm::dvec3 last(0.0);
    if (GrowSegment(piece, a, low, high, times, old, b, last) == Growth::kSynced) return old;
    if (give && keys.size() + used > give) {
      gaveUp = true;
      return oldKeys.size();
    }
    if (b == a || used == kLongestRun) {
      // Two samples at one time: the run ends before them and the next is
      // kept as it is. A run too long for the room also ends.
      if (b == a) {
        --used;
        if (used > 0) EndRun(times, a, Choose(used - 1, a, times), true);
        KeepSample(++b);
      } else {
        EndRun(times, b, Choose(used - 1, b, times), true);
      }
      startRun();
    } else {
      NextWindow(piece, times[b] - times[a], last, low, high);
    }
    if (give && DenserThanEverySample(a, b, give)) {
      gaveUp = true;
      return oldKeys.size();
    }
    a = b;
    while (old < oldKeys.size() && oldKeys[old] <= a) ++old;
  }
  if (used > 0) EndRun(times, a, Choose(used - 1, a, times), true);
  return oldKeys.size();
}

// Extends the segment from sample a while some line of its region (which
// starts in the window low to high) keeps each next sample within
// tolerance: b becomes its last sample and last that sample's value in the
// chart. Where it passes the old key at old and can end there, the run ends
// on that key's value.
Track::Growth Track::GrowSegment(Piece& piece, size_t a, const glm::dvec3& low, const glm::dvec3& high,
                                 const std::vector<double>& times, size_t& old, size_t& b, glm::dvec3& last) {
  for (size_t k = a + 1; k < count; ++k) {
    const double dt = times[k] - times[a];
    if (!(dt > 0.0)) break;
    const glm::dvec3 d = rotation ? piece.Offset(Rotation(k)) : Vector(k);
    const double e = std::max(0.0, double(tolerance[k]) * kComponentShare - Margin(k));
    bool empty = false;
    bool clipped[3];
    for (int c = 0; c < 3 && !empty; ++c) {
      LineRegion& region = room->trial[c];
      if (k == a + 1) {
        region.resize(4);
        region[0] = {low[c], (d[c] - e - low[c]) / dt}, region[1] = {high[c], (d[c] - e - high[c]) / dt};
        region[2] = {high[c], (d[c] + e - high[c]) / dt}, region[3] = {low[c], (d[c] + e - low[c]) / dt};
        clipped[c] = true;
      } else {
        clipped[c] = ClipSlab(room->growing[c], room->scratch, region, dt, d[c] - e, d[c] + e);
      }
      empty = clipped[c] && region.empty();
    }
    if (empty) break;
    for (int c = 0; c < 3; ++c)
      if (clipped[c]) room->growing[c].swap(room->trial[c]);
    b = k, last = d;
    if (old < oldKeys.size() && oldKeys[old] == k) {
      const glm::dvec3 end = rotation ? piece.Offset(OldKeyRotation(old)) : oldVectors[old];
      bool reachable = true;
      for (int c = 0; c < 3; ++c) {
        const glm::dvec2 range = Reach(room->growing[c], dt);
        reachable = reachable && range.x <= end[c] && end[c] <= range.y;
      }
      if (reachable) {
        room->Keep(piece);
        EndRun(times, k, end, false);
        return Growth::kSynced;
      }
      ++old;
    }
  }
  if (b > a) room->Keep(piece);
  return Growth::kEnded;
}

// The window of the next segment's start: the values that the lines of
// this one reach at its end, dt on; for a rotation moved into the chart of
// the next segment, centred on the end sample, whose value was last.
void Track::NextWindow(const Piece& piece, double dt, const glm::dvec3& last, glm::dvec3& low, glm::dvec3& high) const {
  for (int c = 0; c < 3; ++c) {
    const glm::dvec2 range = Reach(room->Region(piece, c), dt);
    low[c] = range.x, high[c] = range.y;
  }
  if (!rotation) return;
  const double bend = 0.5 * glm::length(last) * std::max(MaxAbs(low - last), MaxAbs(high - last));
  low = low - last + bend, high = high - last - bend;
  for (int c = 0; c < 3; ++c)
    if (low[c] > high[c]) low[c] = high[c] = 0.5 * (low[c] + high[c]);
}

// Whether a fit that reached sample b, from a, crossed the end of the
// take's first part keeping more keys than its budget allows there.
bool Track::DenserThanEverySample(size_t a, size_t b, size_t give) const {
  return count >= kEarlySamples && a < count / kEarlyPart && b >= count / kEarlyPart &&
         kEarlyExcessUnder * (keys.size() + used) > kEarlyExcessOver * (give * b / count);
}

// The end value of the run's last segment nearest the sample at b.
glm::dvec3 Track::Choose(size_t piece, size_t b, const std::vector<double>& times) const {
  const Piece& p = room->pieces[piece];
  const glm::dvec3 d = rotation ? p.Offset(Rotation(b)) : Vector(b);
  const double dt = times[b] - times[p.from];
  glm::dvec3 out;
  for (int c = 0; c < 3; ++c) {
    const glm::dvec2 range = Reach(room->Region(p, c), dt);
    out[c] = std::clamp(d[c], range.x, range.y);
  }
  return out;
}

// Chooses the run's values backwards from its end value (in the chart of
// its last segment) at sample b, and keeps them: every segment's start but
// the run's first, which is kept already, and the end when keepEnd.
void Track::EndRun(const std::vector<double>& times, size_t b, glm::dvec3 end, bool keepEnd) {
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
      const glm::dvec2 range = Slice(room->Region(p, c), dt, end[c]);
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
  used = 0, room->corners.clear();
}

glm::dquat Track::Value(const Piece& p, const glm::dvec3& x) { return p.centre * FromRotationVector(x); }

void Track::Tighten(size_t k, uint32_t pass, double factor) {
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

// -- Playback

// Moves the cursor to the segment that holds sample k; true when the
// viewer shows the cursor's key itself there.
bool Track::Advance(size_t& k) {
  k = std::min(k, count - 1);
  while (cursor + 1 < keys.size() && keys[cursor + 1] <= k) ++cursor;
  return keys[cursor] == k || cursor + 1 == keys.size();
}

glm::dvec3 Track::PlayVector(size_t k, const std::vector<double>& times, const glm::dvec3& rest) {
  if (keys.size() < 2) return keys.empty() ? rest : vectors[0];
  if (Advance(k)) return vectors[cursor];
  const double u = (times[k] - times[keys[cursor]]) / (times[keys[cursor + 1]] - times[keys[cursor]]);
  return vectors[cursor] + u * (vectors[cursor + 1] - vectors[cursor]);
}

// Slerp as viewers do it on the stored values, which need not be unit
// length: the short way, a normalized lerp where the two nearly coincide.
glm::dquat Track::PlayRotation(size_t k, const std::vector<double>& times, const glm::dquat& rest) {
  if (keys.size() < 2) return keys.empty() ? rest : KeyRotation(0);
  if (Advance(k)) return KeyRotation(cursor);
  if (arcOf != cursor) {
    arcOf = cursor;
    arcFrom = KeyRotation(cursor), arcTo = KeyRotation(cursor + 1);
    const double cosine = glm::dot(arcFrom, arcTo);
    arcDir = cosine >= 0.0 ? 1.0 : -1.0;
    const double sqrSin = 1.0 - cosine * cosine;
    arcLerp = !(sqrSin > DBL_EPSILON);
    arcSine = arcLerp ? 0.0 : std::sqrt(sqrSin);
    arcAngle = arcLerp ? 0.0 : std::atan2(arcSine, cosine * arcDir);
  }
  const glm::dquat &a = arcFrom, &b = arcTo;
  const double u = (times[k] - times[keys[cursor]]) / (times[keys[cursor + 1]] - times[keys[cursor]]);
  if (arcLerp) {
    const glm::dquat q = a * (1.0 - u) + b * (u * arcDir);
    return q / glm::length(q);
  }
  return a * (Sine((1.0 - u) * arcAngle) / arcSine) + b * (Sine(u * arcAngle) / arcSine * arcDir);
}

}  // namespace varnex
