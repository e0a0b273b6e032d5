// Encodes buffer views for EXT_meshopt_compression with libmeshoptimizer;
// without the library every call says there is nothing to encode with.
#include "export/meshopt_encoding.h"

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

#else

bool CompressionAvailable() { return false; }
std::string EncodeAttributes(const void*, size_t, size_t) { return {}; }
size_t EncodedAttributesBound(size_t count, size_t stride) { return count * stride; }

glm::dquat PackRotation(const glm::dquat& unit, int, std::array<int16_t, 4>& stored) {
  stored = QuantizeRotation(unit);
  return DecodeRotation(stored);
}

#endif

}  // namespace varnex
