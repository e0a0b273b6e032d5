// One moving translation or rotation of a node while the compaction fits
// it: the keys that keep it within a tolerance per sample, refitted where
// the tolerance shrinks, and its playback as a viewer reads those keys.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "export/compact_animation.h"
#include "export/line_region.h"
#include "scene/take.h"

namespace varnex {

// How far a rotation moves when stored as shorts: half a step on each of
// four components is 1/32767 in all, twice that as an angle.
constexpr double kShortAngle = 2.0 / 32767.0;

// A stretch of samples, first to last.
using SampleRange = std::pair<size_t, size_t>;

enum class TrackShape { kRest, kHeld, kKeys };

// Where a grown segment's region of one component lies among its run's
// corners (FitRoom::corners).
struct CornerRange {
  size_t first = 0, count = 0;
};

// A segment of a track while it is fitted: its first sample, the chart its
// values are read in (a rotation's offsets from the rotation at its start),
// and per component the lines that keep every sample on the way within
// tolerance, once it is grown.
struct Piece {
  size_t from = 0;
  glm::dquat centre{1.0, 0.0, 0.0, 0.0};
  std::array<CornerRange, 3> region;

  // A rotation as a point of the chart: its rotation vector from the centre.
  glm::dvec3 Offset(const glm::dquat& q) const;
};

// Room for fitting, shared by the tracks of a take, one at a time.
struct FitRoom {
  std::vector<Piece> pieces;
  // The regions of the run's grown segments one after another, written
  // once and read back as the run ends: a run of thousands of segments
  // then allocates nothing of its own. The segment being grown clips its
  // regions in growing, with trial and scratch.
  std::vector<glm::dvec2> corners;
  std::array<LineRegion, 3> growing, trial;
  LineRegion scratch;
  std::vector<size_t> endKeys;
  std::vector<glm::dvec3> endVectors;
  std::vector<glm::dquat> endRotations;

  Corners Region(const Piece& piece, int c) const { return {corners.data() + piece.region[c].first, piece.region[c].count}; }
  // Keeps the regions the segment grew in as the piece's.
  void Keep(Piece& piece);
};

struct CompactTrack;

struct Track {
  const TakeNode* node = nullptr;
  bool rotation = false;
  size_t count = 0;              // samples of the take's track: every tick, or one value
  std::vector<float> tolerance;  // per sample: a distance, or an angle
  bool quantized = false;        // rotations as shorts
  RotationPacker packer = nullptr;  // shorts packed by it at bits, else as QuantizeRotation
  int bits = 16;
  VectorPacker vectorPacker = nullptr;  // translations of every sample packed by it
  bool dense = false;            // every sample kept
  bool filtered = false;         // every sample kept, packed by a filter, each block at the bits it needs
  double packShare = 1.0;          // the share of its tolerance a filtered sample's packing may take
  std::vector<uint8_t> needBits;   // per sample when filtered: the fewest bits within that share
  std::vector<uint8_t> blockBits;  // per block of samples when filtered: the bits it is packed at
  TrackShape shape = TrackShape::kRest;
  bool fitted = false;
  bool gaveUp = false;                // the fit stopped as too dense
  std::vector<SampleRange> changed;  // where the tolerance shrank since the last fit

  std::vector<uint32_t> keys;
  std::vector<glm::dvec3> vectors;  // decoded keys: as the viewer reads them
  std::vector<glm::dquat> rotations;  // none where the shorts decode alone (DecodesShorts)
  std::vector<float> floats;  // stored keys
  std::vector<int16_t> shorts;
  std::vector<uint32_t> packed;  // filtered translations: x y z as the filter stores them
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
  glm::dquat arcFrom{1.0, 0.0, 0.0, 0.0}, arcTo{1.0, 0.0, 0.0, 0.0};

  // Fits the track anew where its tolerance shrank (all of it the first
  // time) and adds to replays the samples whose playback may have changed.
  void Refit(const std::vector<double>& times, const glm::dvec3& restVector, const glm::dquat& restRotation,
             std::vector<SampleRange>& replays);
  // Shrinks the tolerance of the segment that holds sample k by factor,
  // once a pass.
  void Tighten(size_t k, uint32_t pass, double factor);
  // The values the viewer shows at sample k; samples are played in order
  // from cursor 0.
  glm::dvec3 PlayVector(size_t k, const std::vector<double>& times, const glm::dvec3& rest);
  glm::dquat PlayRotation(size_t k, const std::vector<double>& times, const glm::dquat& rest);
  void Rewind() { cursor = 0, arcOf = SIZE_MAX; }
  // The keys as the file stores them.
  CompactTrack Stored();

 private:
  // -- The take's values and the stored keys
  glm::dvec3 Vector(size_t k) const;
  glm::dquat Rotation(size_t k) const;
  double Margin(size_t k) const;
  size_t Width() const { return rotation ? 4 : 3; }
  // Shorts stored as QuantizeRotation does decode alone, so their decoded
  // rotations are not kept: a long take's would be most of the memory the
  // compaction touches.
  bool DecodesShorts() const { return quantized && !packer; }
  glm::dquat KeyRotation(size_t i) const;
  glm::dquat OldKeyRotation(size_t i) const;
  void Clear();
  void Reserve(size_t n);
  void KeepVector(uint32_t k, const glm::dvec3& v);
  void KeepRotation(uint32_t k, const glm::dquat& q);
  void KeepSample(size_t k);
  void KeepOld(size_t first, size_t last);
  void DropAfter(size_t n);
  void KeepEverySample(std::vector<SampleRange>& replays);
  bool Filterable() const;
  void Unfilter();
  int NeedBits(size_t k) const;
  bool RepackChanged(std::vector<SampleRange>& replays);
  void PackBlock(size_t from, size_t to, int b);
  static void AddReplay(std::vector<SampleRange>& replays, size_t first, size_t last);

  // -- Fitting
  bool FitStill(const glm::dvec3& restVector, const glm::dquat& restRotation);
  void RefitChangedStretches(const std::vector<double>& times, std::vector<SampleRange>& replays);
  size_t FitSegments(const std::vector<double>& times, size_t syncAfter, size_t give = 0);
  enum class Growth { kEnded, kSynced };
  Growth GrowSegment(Piece& piece, size_t a, const glm::dvec3& low, const glm::dvec3& high,
                     const std::vector<double>& times, size_t& old, size_t& b, glm::dvec3& last);
  void NextWindow(const Piece& piece, double dt, const glm::dvec3& last, glm::dvec3& low, glm::dvec3& high) const;
  bool DenserThanEverySample(size_t a, size_t b, size_t give) const;
  glm::dvec3 Choose(size_t piece, size_t b, const std::vector<double>& times) const;
  void EndRun(const std::vector<double>& times, size_t b, glm::dvec3 end, bool keepEnd);
  static glm::dquat Value(const Piece& p, const glm::dvec3& x);

  // -- Playback
  bool Advance(size_t& k);
};

}  // namespace varnex
