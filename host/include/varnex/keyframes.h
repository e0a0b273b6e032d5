// The host's keyframe curve machinery over plain key lists: how a channel's
// keys interpolate, the lossless optimisation, and the error-bounded
// reduction behind "reducekeys". The scene code applies these to a
// Channel's keys; tests and benchmarks call them directly.
#pragma once

#include <cstddef>
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
