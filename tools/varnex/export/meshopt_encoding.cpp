// Encodes buffer views for EXT_meshopt_compression with libmeshoptimizer;
// without the library every call says there is nothing to encode with.
#include "export/meshopt_encoding.h"

#include <cstring>

#include "export/compact_animation.h"

#if VARNEX_MESHOPT
#include <meshoptimizer.h>
#endif

namespace varnex {

#if VARNEX_MESHOPT

bool CompressionAvailable() { return true; }

std::string EncodeAttributes(const void* data, size_t count, size_t stride) {
  // Version 0 is the one the extension defines; later library versions
  // default to a newer one.
  meshopt_encodeVertexVersion(0);
  std::string out(meshopt_encodeVertexBufferBound(count, stride), '\0');
  out.resize(meshopt_encodeVertexBuffer(reinterpret_cast<unsigned char*>(out.data()), out.size(), data, count, stride));
  return out;
}

size_t EncodedAttributesBound(size_t count, size_t stride) { return meshopt_encodeVertexBufferBound(count, stride); }

glm::dquat PackRotation(const glm::dquat& unit, int bits, std::array<int16_t, 4>& stored) {
  const float q[4] = {float(unit.x), float(unit.y), float(unit.z), float(unit.w)};
  meshopt_encodeFilterQuat(stored.data(), 1, sizeof stored, bits, q);
  std::array<int16_t, 4> decoded = stored;
  meshopt_decodeFilterQuat(decoded.data(), 1, sizeof decoded);
  return DecodeRotation(decoded);
}

glm::dvec3 PackVector(const glm::dvec3& v, int bits, std::array<uint32_t, 3>& stored) {
  const float f[3] = {float(v.x), float(v.y), float(v.z)};
  meshopt_encodeFilterExp(stored.data(), 1, sizeof stored, bits, f);
  std::array<uint32_t, 3> decoded = stored;
  meshopt_decodeFilterExp(decoded.data(), 1, sizeof decoded);
  float out[3];
  std::memcpy(out, decoded.data(), sizeof out);
  return {out[0], out[1], out[2]};
}

#else

bool CompressionAvailable() { return false; }
std::string EncodeAttributes(const void*, size_t, size_t) { return {}; }
size_t EncodedAttributesBound(size_t count, size_t stride) { return count * stride; }

glm::dquat PackRotation(const glm::dquat& unit, int, std::array<int16_t, 4>& stored) {
  stored = QuantizeRotation(unit);
  return DecodeRotation(stored);
}

glm::dvec3 PackVector(const glm::dvec3& v, int, std::array<uint32_t, 3>& stored) {
  const float f[3] = {float(v.x), float(v.y), float(v.z)};
  std::memcpy(stored.data(), f, sizeof f);
  return {f[0], f[1], f[2]};
}

#endif

}  // namespace varnex
