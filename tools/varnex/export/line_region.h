// The lines a segment of a compacted track may take, one component at a
// time: the region of (start value, slope) pairs whose line x + y dt keeps
// every sample on the way within tolerance, a convex polygon that each
// sample clips to its slab.
#pragma once

#include <vector>

#include <glm/vec2.hpp>

namespace varnex {

using LineRegion = std::vector<glm::dvec2>;

// The part of a region whose lines lie within [lo, hi] after dt, into out
// (half is scratch); false, leaving out as it was, when all of it does.
bool ClipSlab(const LineRegion& region, LineRegion& half, LineRegion& out, double dt, double lo, double hi);

// The values that the lines of a region reach after dt: lowest, highest.
glm::dvec2 Reach(const LineRegion& region, double dt);

// The start values of the lines of a region that reach end after dt; the
// nearest start when rounding left none.
glm::dvec2 Slice(const LineRegion& region, double dt, double end);

}  // namespace varnex
