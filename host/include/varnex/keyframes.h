// The host's keyframe curve machinery over plain key lists: how a channel's
// keys interpolate, the lossless optimisation, and the error-bounded
// reduction behind "reducekeys". The scene code applies these to a
// Channel's keys; tests and benchmarks call them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "varnex/host.h"

namespace vxhost {

// Value of a key list at a time in ticks. Before the first key and after
// the last the curve holds the end value; between two keys it is a cubic
// Hermite segment whose end tangents are the keys' slopes, where a key
// without slopes contributes the straight chord's slope (so two keys
// without slopes give a straight line). At a key time the key's value is
// returned exactly. An empty list gives 0.
double InterpolateKeys(const std::vector<Key>& keys, double ticks);
double InterpolateKeys(const KeyList& keys, double ticks);

// Reads a key list at times that mostly go forward, as an exporter samples a
// take: it remembers the segment of the last time and walks on from there,
// so n ascending times cost O(n + keys) instead of a search each. Each value
// is exactly InterpolateKeys's at that time; a time before the last one
// searches afresh. The list must not change while the cursor reads it.
class KeyCursor {
 public:
  explicit KeyCursor(const KeyList& keys);
  double At(double ticks);

 private:
  void Seek(double ticks);

  const KeyList& keys_;
  size_t last_ = 0;             // index of the last key
  double firstTime_ = 0.0, lastTime_ = 0.0;
  // The segment of the last time asked: keys next_ - 1 and next_, and their times.
  size_t next_ = 1;
  double segmentStart_ = 0.0, segmentEnd_ = 0.0;
};

// InterpolateKeys at every time of a list, into values (as many as times).
// Ascending times, the way a take is sampled, cost one walk over the keys:
// a time on a key takes its value, one between two keys their segment.
// Other times, and keys with tangents, are read with a KeyCursor.
void SampleKeys(const KeyList& keys, std::span<const int32_t> ticks, std::span<float> values);

// Drops keys whose removal cannot change the curve anywhere: the inside of
// a run of exactly equal values whose tangents are flat. A list holding one
// value throughout keeps its first key only. Returns the number dropped.
size_t OptimizeKeys(std::vector<Key>& keys);
size_t OptimizeKeys(KeyList& keys);

// The tolerance a reduction request asks for: the angular threshold for
// Euler-angle channels (turned from degrees into radians unless the keys
// themselves are in degrees), the distance threshold otherwise.
double ReductionTolerance(const ReductionRequest& request);

// Keeps the fewest keys a greedy forward fit of straight segments needs so
// that the reduced curve, evaluated at every original key time, stays
// within tolerance of the original value. The first and last keys stay;
// every kept key gets slopes along its two segments. O(n) per call.
// Returns the number of keys dropped.
size_t ReduceKeys(std::vector<Key>& keys, double tolerance);
size_t ReduceKeys(KeyList& keys, double tolerance);

// Largest |reduced - original| over the original key times; for reports and tests.
double MaxReductionError(const std::vector<Key>& original, const std::vector<Key>& reduced);

}  // namespace vxhost
