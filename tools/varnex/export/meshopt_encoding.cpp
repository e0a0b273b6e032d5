// Encodes buffer views for EXT_meshopt_compression with libmeshoptimizer;
// without the library every call says there is nothing to encode with.
#include "export/meshopt_encoding.h"

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

#else

bool CompressionAvailable() { return false; }
std::string EncodeAttributes(const void*, size_t, size_t) { return {}; }
size_t EncodedAttributesBound(size_t count, size_t stride) { return count * stride; }

#endif

}  // namespace varnex
