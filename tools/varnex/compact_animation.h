// Compact animation: which samples of a take's tracks an animation keeps so
// that, interpolated linearly (slerp for rotations) as glTF viewers do, every
// node's world position stays within a bound of the full-rate take.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "take.h"

namespace varnex {

// The default bound on the world position of every node, as a fraction of
// the rest pose's size (RestSize).
constexpr double kCompactionBound = 1e-3;

// Kept samples of one track: indices into the take's ticks, ascending; one
// index for a track that holds still (all values within tolerance of it).
struct KeptSamples {
  std::vector<uint32_t> samples;
};

struct CompactNode {
  std::optional<KeptSamples> translation, rotation, scale;  // nullopt: the rest pose holds it
};

// For each node of the take, what its animation channels keep. Exact keeps
// every sample of every moving track and drops only what holds exactly still.
std::vector<CompactNode> CompactTake(const Take& take, bool exact);

}  // namespace varnex
