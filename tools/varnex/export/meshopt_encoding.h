// EXT_meshopt_compression's attribute encoding of a glTF buffer view, through
// libmeshoptimizer when varnex is built with it.
#pragma once

#include <cstddef>
#include <string>

namespace varnex {

// Whether this varnex can write compressed views (--compress).
bool CompressionAvailable();

// count elements of stride bytes each (a multiple of 4, at most 256) in the
// extension's ATTRIBUTES mode, the only format version every decoder reads;
// empty when unavailable.
std::string EncodeAttributes(const void* data, size_t count, size_t stride);

// The most bytes EncodeAttributes can give for count elements of stride bytes.
size_t EncodedAttributesBound(size_t count, size_t stride);

}  // namespace varnex
