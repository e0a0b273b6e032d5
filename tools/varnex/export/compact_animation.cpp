// Chooses the keys of each track of a take. Every track is first fitted
// loosely (compact_track.h), the tolerance being the whole bound over how
// far the track moves its descendants, and for a rotation never more than
// the angle bound. The fit is then played back as a viewer decodes it and
// every node's world position and orientation compared with the full-rate
// take's at every sample; wherever one strays beyond its bound, the track
// that moved it most gets a tighter tolerance over the segment that holds
// that sample and is fitted again from there, and the samples it changes
// are played back again, until no node strays.
#include "export/compact_animation.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "export/compact_track.h"
#include "export/compact_values.h"

namespace varnex {

namespace {

// Room left for a viewer's own rounding of floats and its matrices of
// stored rotations that are not quite unit length: far below this.
constexpr double kVerifyShare = 0.98;
// A translation's error reaches every node below it whole, so it starts
// with this share of the bound and leaves the rest to the rotations below.
constexpr double kTranslationShare = 0.4;
// Passes of fitting and playing back before giving up on compaction; real
// takes settle within ten.
constexpr uint32_t kMaxPasses = 40;
// A stray node tightens, of its own track and those of its nearest moving
// ancestors (at most kWalk of them), the one that adds the largest part of
// its error (and any within kShareOfMost of it), by kMaxFactor or more: by
// as much as brings that error to kAimShare of the bound were it the only
// one. Tightening one track a little at a time keeps the fewest keys; each
// round costs a playback of the samples it changed.
constexpr int kWalk = 24;
constexpr double kShareOfMost = 0.99;
constexpr double kMaxFactor = 0.7;
constexpr double kAimShare = 0.9;
// The fewest bits a packed rotation track starts with.
constexpr int kLeastPackedBits = 6;
// The share of its tolerance that the packing of each sample of a track
// that keeps every sample may take. Near the whole of it keeps the fewest
// bits, but the errors of many such tracks along a long chain then add up
// past the bound again and again as the rounds raise one track's bits at a
// time; where the rounds do not settle, the compaction starts over with
// the cautious share. On the real takes 0.7 keeps the fewest bytes.
constexpr double kPackShare = 0.7, kCautiousPackShare = 0.3;
// Playback goes node by node over a block of samples at a time, so that
// each node's values are read in order while the block's world transforms
// (about kBlockTransforms of them, at most kLongestBlock samples) stay in
// the cache.
constexpr size_t kBlockTransforms = 2048;
constexpr size_t kLongestBlock = 64;

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

struct Affine {
  glm::dmat3 m{1.0};
  glm::dvec3 p{0.0};
};

// A node's world transform from its parent's and its local parts; the
// rotation's matrix assumes unit length, as viewers' does.
Affine Compose(const Affine& parent, const glm::dvec3& t, const glm::dquat& q, const glm::dvec3& s = glm::dvec3(1.0)) {
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

// Whether TurnTrace is at least least, told without its square roots where
// the turn is well within: (3 - x) / 2 lies below 1 / sqrt(x) for every
// x > 0 (the tangent at 1 of a convex curve), so with each shown axis on
// the wanted side this sum is at most the trace, and both are far more
// exact than the room left over for rounding.
bool ClearlyWithin(const glm::dmat3& shown, const glm::dmat3& wanted, double least) {
  double below = 0.0;
  for (int c = 0; c < 3; ++c) {
    const double along = glm::dot(shown[c], wanted[c]);
    if (!(along >= 0.0)) return false;
    below += along * (3.0 - glm::dot(shown[c], shown[c]) * glm::dot(wanted[c], wanted[c])) * 0.5;
  }
  return below >= least + 1e-12;
}

// Every sample of every track that holds values, as floats: scale always
// (a stretch error would reach every descendant unbounded), translations
// and rotations when exact.
std::vector<CompactNode> KeepEveryValue(const Take& take, bool exact) {
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
  std::vector<CompactNode> out(take.nodes.size());
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    out[i].scale = keepAll(node.scale, node.rest.scale, 1.0f);
    if (exact) {
      out[i].translation = keepAll(node.translation, node.rest.translation, 0.0f);
      out[i].rotation = keepAll(node.rotation, node.rest.rotation, 0.0f);
    }
  }
  return out;
}

// The compaction of one take's translations and rotations.
class Compaction {
 public:
  Compaction(const Take& take, const Packers& packers, double packShare);
  Compaction(const Compaction&) = delete;
  Compaction& operator=(const Compaction&) = delete;

  // Fits, plays back and tightens until no node strays; false when that
  // did not settle.
  bool Settle();
  // The tracks' keys into out, whose scale is kept already.
  void Collect(std::vector<CompactNode>& out);

 private:
  // A track's part in a stray node's error.
  struct Share {
    size_t track;
    double error;
  };

  void MeasureReach();
  void MakeTracks();
  void FindMovingAncestors();
  bool RefitChanged();
  void PlayBack(uint32_t pass);
  void FindMovedNodes(size_t k0, size_t k1, bool all);
  void PlayNode(size_t i, size_t k, size_t k0);
  void CheckTurn(size_t i, size_t k, size_t k0, uint32_t pass);
  void CheckPosition(size_t i, size_t k, size_t k0, uint32_t pass);
  void TightenMost(size_t k, uint32_t pass, double limit, double error);
  double ParentStretch(const TakeNode& node) const { return node.parent < 0 ? 1.0 : stretch[size_t(node.parent)]; }

  const Take& take;
  const Packers packers;
  const size_t n, samples;
  std::vector<double> times;  // as a viewer reads them: float seconds
  const double bound;         // world position, less the viewer's room
  const double nearBound;     // a squared distance surely within it
  const double angle;         // world orientation, less the viewer's room
  // A world orientation within the angle has axes whose dot products with
  // the wanted axes sum to at least this (the trace of the turn between).
  const double leastTrace;
  // Stretch of each node's frame in world units (its scale times its
  // parents'), and the reach of its descendants.
  std::vector<double> stretch, reach;
  // What the file holds where no track moves: the rest pose as stored.
  std::vector<glm::dvec3> restVector;
  std::vector<glm::dquat> restRotation;

  FitRoom room;
  std::vector<Track> tracks;
  std::vector<std::array<int, 2>> trackOf;  // per node: its translation's and rotation's track, or -1
  std::vector<int> movingAbove;             // the nearest ancestor with a track of its own

  // Playback, a block of samples at a time: per node and sample of the
  // block, what the viewer shows and what the take holds.
  const size_t block;
  // Without scale the take's world transforms are turns and shifts, and its
  // unit rotations compose as quaternions.
  const bool rigid;
  std::vector<Affine> shown, wanted;
  std::vector<glm::dvec3> wantedP, shownT;
  std::vector<glm::dquat> wantedR, shownR;
  std::vector<uint8_t> replay, strayed;  // per sample
  std::vector<SampleRange> replays;
  bool unsettled = false;  // a node strayed with no track to tighten
  // Per track, the samples its last refit may have changed (by first
  // sample), and how far playback has passed them.
  std::vector<std::vector<SampleRange>> moved;
  std::vector<size_t> movedCursor;
  // Per node, over the block being played: whether a track of its own or
  // of an ancestor moved there, and whether its world transform is needed
  // (it moved, or a node below it did).
  std::vector<uint8_t> nodeMoved, nodeNeeded;
  std::vector<Share> shares;
};

Compaction::Compaction(const Take& take, const Packers& packers, double packShare)
    : take(take),
      packers(packers),
      n(take.nodes.size()),
      samples(take.ticks.size()),
      times(samples),
      bound(kCompactionBound * RestSize(take) * kVerifyShare),
      nearBound(bound * bound * (1.0 - 1e-9)),
      angle(kCompactionAngle * kVerifyShare),
      leastTrace(1.0 + 2.0 * std::cos(angle)),
      block(std::clamp<size_t>(kBlockTransforms / std::max<size_t>(n, 1), 1, kLongestBlock)),
      rigid(std::all_of(take.nodes.begin(), take.nodes.end(), [](const TakeNode& node) {
        // A node keyed at no stretch still has a scale track of ones.
        auto unit = [](const glm::dvec3& s) { return s == glm::dvec3(1.0); };
        return unit(node.rest.scale) && std::all_of(node.scale.begin(), node.scale.end(), unit);
      })) {
  for (size_t k = 0; k < samples; ++k) times[k] = AsStored(double(take.ticks[k]) / take.ticksPerSecond);
  MeasureReach();
  MakeTracks();
  for (Track& track : tracks) track.packShare = packShare;
  FindMovingAncestors();
  shown.resize(n * block), wanted.resize(rigid ? 0 : n * block);
  wantedP.resize(n * block), shownT.resize(n * block);
  wantedR.resize(rigid ? n * block : 0), shownR.resize(n * block);
  replay.assign(samples, 0), strayed.assign(samples, 0);
  moved.resize(tracks.size()), movedCursor.assign(tracks.size(), 0);
  nodeMoved.assign(n, 0), nodeNeeded.assign(n, 0);
}

void Compaction::MeasureReach() {
  stretch.assign(n, 1.0), reach.assign(n, 0.0);
  for (size_t i = 0; i < n; ++i) stretch[i] = ParentStretch(take.nodes[i]) * LargestScale(take.nodes[i]);
  for (size_t i = n; i-- > 0;) {
    const TakeNode& node = take.nodes[i];
    if (node.parent < 0) continue;
    const size_t p = size_t(node.parent);
    reach[p] = std::max(reach[p], stretch[p] * LongestOffset(node) + reach[i]);
  }
}

// A track for every moving translation and rotation, with its starting
// tolerance: a rotation's is the bound over the reach of the node's
// descendants, at most the angle; a translation's a share of the bound.
void Compaction::MakeTracks() {
  restVector.resize(n), restRotation.resize(n), trackOf.assign(n, {-1, -1});
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    restVector[i] = AsStored(Clean(node.rest.translation));
    restRotation[i] = FloatRounded(Unit(node.rest.rotation));
    const double parentStretch = ParentStretch(node);
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
      track.packer = packers.rotation;
      track.vectorPacker = packers.vector;
      track.bits = packers.rotation ? kLeastPackedBits : 16;
      track.tolerance.assign(count, float(tolerance));
      trackOf[i][rotation] = int(tracks.size());
      tracks.push_back(std::move(track));
    }
  }
}

void Compaction::FindMovingAncestors() {
  movingAbove.assign(n, -1);
  for (size_t i = 0; i < n; ++i) {
    const int p = take.nodes[i].parent;
    if (p >= 0) movingAbove[i] = trackOf[size_t(p)][0] >= 0 || trackOf[size_t(p)][1] >= 0 ? p : movingAbove[size_t(p)];
  }
}

bool Compaction::Settle() {
  for (uint32_t pass = 1; pass <= kMaxPasses; ++pass) {
    if (!RefitChanged() || samples == 0) break;
    PlayBack(pass);
  }
  return !unsettled && std::find(strayed.begin(), strayed.end(), 1) == strayed.end();
}

// Fits every track whose tolerance shrank (every track at first) and marks
// the samples whose playback may have changed; false when none did.
bool Compaction::RefitChanged() {
  bool changed = false;
  for (size_t t = 0; t < tracks.size(); ++t) {
    Track& track = tracks[t];
    moved[t].clear(), movedCursor[t] = 0;
    if (track.fitted && track.changed.empty()) continue;
    const size_t i = size_t(track.node - take.nodes.data());
    replays.clear();
    track.Refit(times, restVector[i], restRotation[i], replays);
    for (auto [from, to] : replays) {
      if (track.count == 1) from = 0, to = samples - 1;
      std::fill(replay.begin() + long(from), replay.begin() + long(std::min(to + 1, samples)), uint8_t(1));
      moved[t].push_back({from, to});
      changed = true;
    }
    std::sort(moved[t].begin(), moved[t].end());
  }
  return changed;
}

// Plays the marked samples back, block by block, and tightens tracks
// wherever a node strays. Only nodes below a track that moved in the block
// are checked: any other node shows what it showed when last checked, and
// was within the bounds then, or a track above it would have tightened and
// moved.
void Compaction::PlayBack(uint32_t pass) {
  for (Track& track : tracks) track.Rewind();
  for (size_t k0 = 0; k0 < samples; k0 += block) {
    const size_t k1 = std::min(samples, k0 + block);
    if (std::find(replay.begin() + long(k0), replay.begin() + long(k1), uint8_t(1)) == replay.begin() + long(k1)) continue;
    for (size_t k = k0; k < k1; ++k) strayed[k] = 0;
    FindMovedNodes(k0, k1, pass == 1);
    for (size_t i = 0; i < n; ++i) {
      if (!nodeNeeded[i]) continue;
      for (size_t k = k0; k < k1; ++k) {
        if (!replay[k]) continue;
        PlayNode(i, k, k0);
        if (!nodeMoved[i]) continue;
        // A node without a rotation of its own is turned as its parent.
        if (trackOf[i][1] >= 0) CheckTurn(i, k, k0, pass);
        CheckPosition(i, k, k0, pass);
      }
    }
    std::fill(replay.begin() + long(k0), replay.begin() + long(k1), uint8_t(0));
  }
}

// Which nodes a track moved in samples k0 to k1 (not included) reaches,
// and the nodes above them, whose transforms theirs are composed from;
// every node when all.
void Compaction::FindMovedNodes(size_t k0, size_t k1, bool all) {
  auto movedHere = [&](int t) {
    if (t < 0) return false;
    const std::vector<SampleRange>& ranges = moved[size_t(t)];
    size_t& c = movedCursor[size_t(t)];
    while (c < ranges.size() && ranges[c].second < k0) ++c;
    return c < ranges.size() && ranges[c].first < k1;
  };
  for (size_t i = 0; i < n; ++i) {
    const int p = take.nodes[i].parent;
    nodeMoved[i] = all || (p >= 0 && nodeMoved[size_t(p)]) || movedHere(trackOf[i][0]) || movedHere(trackOf[i][1]);
    nodeNeeded[i] = nodeMoved[i];
  }
  for (size_t i = n; i-- > 0;) {
    const int p = take.nodes[i].parent;
    if (p >= 0 && nodeNeeded[i]) nodeNeeded[size_t(p)] = 1;
  }
}

// Node i's world transform at sample k, as shown and as wanted.
void Compaction::PlayNode(size_t i, size_t k, size_t k0) {
  static const Affine kWorld;
  const TakeNode& node = take.nodes[i];
  const int ti = trackOf[i][0], ri = trackOf[i][1];
  const size_t here = i * block + (k - k0);
  const size_t above = node.parent < 0 ? SIZE_MAX : size_t(node.parent) * block + (k - k0);
  shownT[here] = ti < 0 ? restVector[i] : tracks[size_t(ti)].PlayVector(k, times, restVector[i]);
  shownR[here] = ri < 0 ? restRotation[i] : tracks[size_t(ri)].PlayRotation(k, times, restRotation[i]);
  if (!rigid) {
    const Transform want = LocalAt(node, k);
    shown[here] = Compose(above == SIZE_MAX ? kWorld : shown[above], shownT[here], shownR[here], want.scale);
    wanted[here] = Compose(above == SIZE_MAX ? kWorld : wanted[above], want.translation, want.rotation, want.scale);
    wantedP[here] = wanted[here].p;
    return;
  }
  shown[here] = Compose(above == SIZE_MAX ? kWorld : shown[above], shownT[here], shownR[here]);
  // A rigid take's local parts are read in place, as LocalAt would give them.
  const glm::dvec3& t = node.translation.empty() ? node.rest.translation : node.translation[std::min(k, node.translation.size() - 1)];
  const glm::dquat& r = node.rotation.empty() ? node.rest.rotation : node.rotation[std::min(k, node.rotation.size() - 1)];
  if (above == SIZE_MAX) {
    wantedR[here] = r, wantedP[here] = t;
  } else {
    wantedR[here] = wantedR[above] * r, wantedP[here] = wantedP[above] + wantedR[above] * t;
  }
}

// Where node i turns beyond the angle at sample k, the rotations above it
// (the nearest ones) each share its turn by their own angle.
void Compaction::CheckTurn(size_t i, size_t k, size_t k0, uint32_t pass) {
  const size_t here = i * block + (k - k0);
  const glm::dmat3 frame = rigid ? glm::mat3_cast(wantedR[here]) : wanted[here].m;
  if (ClearlyWithin(shown[here].m, frame, leastTrace)) return;
  const double turn = TurnTrace(shown[here].m, frame);
  if (!(turn < leastTrace && std::isfinite(turn))) return;
  strayed[k] = 1;
  if (pass == kMaxPasses) return;
  shares.clear();
  shares.push_back({size_t(trackOf[i][1]), AngleBetween(glm::normalize(shownR[here]), Unit(LocalAt(take.nodes[i], k).rotation))});
  int depth = 0;
  for (int p = movingAbove[i]; p >= 0 && depth < kWalk; p = movingAbove[size_t(p)], ++depth) {
    if (const int index = trackOf[size_t(p)][1]; index >= 0)
      shares.push_back({size_t(index), AngleBetween(glm::normalize(shownR[size_t(p) * block + (k - k0)]),
                                                    LocalAt(take.nodes[size_t(p)], k).rotation)});
  }
  TightenMost(k, pass, angle, std::acos(std::clamp(0.5 * (turn - 1.0), -1.0, 1.0)));
}

// Where node i stands beyond the bound at sample k, the tracks above it
// (the nearest ones) each share its error: a translation by its own error,
// a rotation by its angle over the distance to the node.
void Compaction::CheckPosition(size_t i, size_t k, size_t k0, uint32_t pass) {
  const size_t here = i * block + (k - k0);
  if (!Finite(wantedP[here])) return;
  // Well within the bound, the square of the distance tells it.
  const glm::dvec3 off = shown[here].p - wantedP[here];
  if (glm::dot(off, off) <= nearBound) return;
  const double error = glm::length(off);
  if (error <= bound || !std::isfinite(error)) return;
  strayed[k] = 1;
  if (pass == kMaxPasses) return;
  const TakeNode& node = take.nodes[i];
  shares.clear();
  if (const int ti = trackOf[i][0]; ti >= 0)
    shares.push_back({size_t(ti), glm::length(shownT[here] - LocalAt(node, k).translation) * ParentStretch(node)});
  int depth = 0;
  for (int p = movingAbove[i]; p >= 0 && depth < kWalk; p = movingAbove[size_t(p)], ++depth) {
    const TakeNode& ancestor = take.nodes[size_t(p)];
    const Transform local = LocalAt(ancestor, k);
    const size_t there = size_t(p) * block + (k - k0);
    if (const int index = trackOf[size_t(p)][0]; index >= 0)
      shares.push_back({size_t(index), glm::length(shownT[there] - local.translation) * ParentStretch(ancestor)});
    if (const int index = trackOf[size_t(p)][1]; index >= 0)
      shares.push_back({size_t(index), AngleBetween(glm::normalize(shownR[there]), local.rotation) *
                                           glm::length(wantedP[here] - wantedP[there])});
  }
  TightenMost(k, pass, bound, error);
}

// Tightens the tracks that add the most of the shares, by more the further
// the node strayed beyond its limit.
void Compaction::TightenMost(size_t k, uint32_t pass, double limit, double error) {
  // Nothing moves such a node, so it is not played again.
  if (shares.empty()) unsettled = true;
  double most = 0.0;
  for (const Share& share : shares) most = std::max(most, share.error);
  const double factor = std::min(kMaxFactor, kAimShare * limit / error);
  for (const Share& share : shares)
    if (share.error >= kShareOfMost * most) tracks[share.track].Tighten(k, pass, factor);
}

void Compaction::Collect(std::vector<CompactNode>& out) {
  for (size_t i = 0; i < n; ++i) {
    for (const bool rotation : {false, true}) {
      const int index = trackOf[i][rotation];
      if (index < 0 || tracks[size_t(index)].shape == TrackShape::kRest) continue;
      (rotation ? out[i].rotation : out[i].translation) = tracks[size_t(index)].Stored();
    }
  }
}

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

double PackedAngle(int bits) {
  // Three components rounded to half a step of 1 / (sqrt 2 (2^(bits-1) - 1))
  // each, and the fourth rebuilt from them, move a unit rotation by at most
  // 3.5 such half steps, which turns it by twice that; the shorts it is
  // decoded to round as QuantizeRotation's do.
  return 2.0 * 3.5 * 0.5 / (std::sqrt(2.0) * double((1 << (bits - 1)) - 1)) + kShortAngle;
}

std::vector<CompactNode> CompactTake(const Take& take, bool exact, const Packers& packers) {
  std::vector<CompactNode> out = KeepEveryValue(take, exact);
  if (exact) return out;
  const bool packed = packers.rotation || packers.vector;
  for (const double share : {kPackShare, kCautiousPackShare}) {
    Compaction compaction(take, packers, share);
    if (compaction.Settle()) {
      compaction.Collect(out);
      return out;
    }
    if (!packed) break;
  }
  // Tightening did not bring every node within the bounds: keep every
  // sample instead.
  return KeepEveryValue(take, true);
}

}  // namespace varnex
