// Compact animation: the keys of a take's tracks that an animation keeps so
// that, played as glTF viewers play it (float times, the stored values, lerp
// for vectors and slerp for rotations), every node's world position and
// orientation stay within bounds of the full-rate take at every sample time.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "scene/take.h"

namespace varnex {

// The default bound on the world position of every node, as a fraction of
// the rest pose's size (RestSize).
constexpr double kCompactionBound = 1e-3;
// The default bound on the world orientation of every node, in radians:
// one degree.
constexpr double kCompactionAngle = 3.14159265358979323846 / 180.0;

// A rotation stored as normalized signed shorts (x y z w): a viewer reads
// each as c / 32767, not less than -1, and does not normalize the result.
std::array<int16_t, 4> QuantizeRotation(const glm::dquat& unit);
glm::dquat DecodeRotation(const std::array<int16_t, 4>& stored);

// A format that packs rotations into four shorts more tightly than
// QuantizeRotation: the shorts it stores for a unit rotation at a precision
// of bits (4 to 16), and the rotation a viewer decodes from them, which
// turns at most PackedAngle(bits) from the one given.
using RotationPacker = glm::dquat (*)(const glm::dquat& unit, int bits, std::array<int16_t, 4>& stored);
double PackedAngle(int bits);

// A format that stores a vector's three floats as one exponent and a
// mantissa of bits (1 to 24) each: the values it stores for v, and the
// vector a viewer decodes from them.
using VectorPacker = glm::dvec3 (*)(const glm::dvec3& v, int bits, std::array<uint32_t, 3>& stored);

// How a compressed file packs what the compaction keeps: rotations, and the
// translations of tracks that keep every sample.
struct Packers {
  RotationPacker rotation = nullptr;
  VectorPacker vector = nullptr;
};

// The keys of one track. Times are indices into the take's ticks,
// ascending; one key for a track that holds still. Values are what the file
// stores, per key: x y z (translation, scale) or x y z w (rotation) as
// floats, or a rotation's x y z w as normalized shorts (then no floats),
// packed at a precision of up to bits when a packer was given (0: as
// QuantizeRotation stores them), or a vector's x y z as its packer stores
// them (then no floats).
struct CompactTrack {
  std::vector<uint32_t> samples;
  std::vector<float> values;
  std::vector<int16_t> shorts;
  int bits = 0;
  std::vector<uint32_t> packed;
};

struct CompactNode {
  std::optional<CompactTrack> translation, rotation, scale;  // nullopt: the rest pose holds it
};

// For each node of the take, what its animation channels keep. Exact keeps
// every sample of every moving track as floats and drops only what holds
// exactly still. Scale is always kept exact.
// With packers, rotations are packed, each track at the fewest bits its
// tolerance allows (a track that keeps every sample block by block), so
// are the translations of tracks that keep every sample, and the playback
// reads them as decoded.
std::vector<CompactNode> CompactTake(const Take& take, bool exact, const Packers& packers = {});

}  // namespace varnex
