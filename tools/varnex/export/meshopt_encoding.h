// EXT_meshopt_compression's attribute encoding of a glTF buffer view, through
// libmeshoptimizer when varnex is built with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <glm/gtc/quaternion.hpp>

namespace varnex {

// Whether this varnex can write compressed views (--compress).
bool CompressionAvailable();

// count elements of stride bytes each (a multiple of 4, at most 256) in the
// extension's ATTRIBUTES mode, the only format version every decoder reads;
// empty when unavailable.
std::string EncodeAttributes(const void* data, size_t count, size_t stride);

// A unit rotation in the extension's QUATERNION filter at a precision of
// bits (4 to 16), and what its decoder gives back, read as normalized
// shorts; a RotationPacker of the compact animation. Unavailable, it stores
// the rotation as QuantizeRotation does.
glm::dquat PackRotation(const glm::dquat& unit, int bits, std::array<int16_t, 4>& stored);

// A vector in the extension's EXPONENTIAL filter, one exponent and a
// mantissa of bits (1 to 24) for its three floats, and what its decoder
// gives back; a VectorPacker of the compact animation. Unavailable, it
// stores the floats themselves.
glm::dvec3 PackVector(const glm::dvec3& v, int bits, std::array<uint32_t, 3>& stored);

// The most bytes EncodeAttributes can give for count elements of stride bytes.
size_t EncodedAttributesBound(size_t count, size_t stride);

}  // namespace varnex
