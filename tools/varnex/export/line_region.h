// The lines a segment of a compacted track may take, one component at a
// time: the region of (start value, slope) pairs whose line x + y dt keeps
// every sample on the way within tolerance, a convex polygon that each
// sample clips to its slab.
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include <glm/vec2.hpp>

namespace varnex {

// A region's corners, in order round it, as read once it no longer changes.
using Corners = std::span<const glm::dvec2>;

// A region's corners, in order round it, while it is clipped. Its room only grows, so that
// clipping regions again and again neither allocates nor clears.
class LineRegion {
 public:
  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  const glm::dvec2* begin() const { return room.data(); }
  const glm::dvec2* end() const { return room.data() + count; }
  const glm::dvec2& operator[](size_t i) const { return room[i]; }
  glm::dvec2& operator[](size_t i) { return room[i]; }
  // Room for n corners, to be written before resize(n) or fewer.
  glm::dvec2* Room(size_t n) {
    if (room.size() < n) room.resize(n);
    return room.data();
  }
  void resize(size_t n) { Room(n), count = n; }
  void swap(LineRegion& other) { room.swap(other.room), std::swap(count, other.count); }
  operator Corners() const { return {room.data(), count}; }

 private:
  std::vector<glm::dvec2> room;
  size_t count = 0;
};

// The part of a region whose lines lie within [lo, hi] after dt, into out
// (half is scratch); false, leaving out as it was, when all of it does.
bool ClipSlab(const LineRegion& region, LineRegion& half, LineRegion& out, double dt, double lo, double hi);

// The values that the lines of a region reach after dt: lowest, highest.
glm::dvec2 Reach(Corners region, double dt);

// The start values of the lines of a region that reach end after dt; the
// nearest start when rounding left none.
glm::dvec2 Slice(Corners region, double dt, double end);

}  // namespace varnex
