// Clips and reads the regions of lines that a compacted track's segments
// may take (line_region.h).
#include "export/line_region.h"

#include <algorithm>
#include <cmath>

namespace varnex {

namespace {

// The part of a convex polygon of m corners on the side of the line
// x + y dt = limit that sign points away from, written at to; returns the
// end of what it wrote, at most two corners for each one given.
glm::dvec2* ClipHalf(const glm::dvec2* from, size_t m, glm::dvec2* to, double dt, double sign, double limit) {
  // Each corner's side is worked out once, carried from one edge to the next.
  auto side = [&](const glm::dvec2& p) { return sign * (p.x + p.y * dt - limit); };
  auto edge = [&](const glm::dvec2& p, double fp, const glm::dvec2& q, double fq) {
    if (fp <= 0.0) *to++ = p;
    if ((fp < 0.0 && fq > 0.0) || (fp > 0.0 && fq < 0.0)) *to++ = p + (q - p) * (fp / (fp - fq));
  };
  const double first = side(from[0]);
  double fp = first;
  for (size_t i = 0; i + 1 < m; ++i) {
    const double fq = side(from[i + 1]);
    edge(from[i], fp, from[i + 1], fq);
    fp = fq;
  }
  edge(from[m - 1], fp, from[0], first);
  return to;
}

}  // namespace

bool ClipSlab(const LineRegion& region, LineRegion& half, LineRegion& out, double dt, double lo, double hi) {
  bool inside = true;
  for (const glm::dvec2& p : region) inside = inside && lo <= p.x + p.y * dt && p.x + p.y * dt <= hi;
  if (inside) return false;
  // Each clip writes at most two corners for each it is given.
  const size_t m = region.size();
  glm::dvec2* const upper = half.Room(2 * m);
  const size_t kept = size_t(ClipHalf(region.begin(), m, upper, dt, 1.0, hi) - upper);
  glm::dvec2* const lower = out.Room(2 * kept);
  out.resize(kept == 0 ? 0 : size_t(ClipHalf(upper, kept, lower, dt, -1.0, lo) - lower));
  return true;
}

glm::dvec2 Reach(Corners region, double dt) {
  glm::dvec2 range(INFINITY, -INFINITY);
  for (const glm::dvec2& p : region) {
    const double v = p.x + p.y * dt;
    range = {std::min(range.x, v), std::max(range.y, v)};
  }
  return range;
}

glm::dvec2 Slice(Corners region, double dt, double end) {
  glm::dvec2 range(INFINITY, -INFINITY);
  const size_t m = region.size();
  double nearest = INFINITY, nearestStart = region.empty() ? 0.0 : region[0].x;
  auto side = [&](const glm::dvec2& p) { return p.x + p.y * dt - end; };
  const double first = m == 0 ? 0.0 : side(region[0]);
  double fp = first;
  for (size_t i = 0; i < m; ++i) {
    const glm::dvec2& p = region[i];
    const glm::dvec2& q = region[i + 1 == m ? 0 : i + 1];
    const double fq = i + 1 == m ? first : side(q);
    if (fp == 0.0) range = {std::min(range.x, p.x), std::max(range.y, p.x)};
    if ((fp < 0.0 && fq > 0.0) || (fp > 0.0 && fq < 0.0)) {
      const double x = p.x + (q.x - p.x) * (fp / (fp - fq));
      range = {std::min(range.x, x), std::max(range.y, x)};
    }
    if (std::fabs(fp) < nearest) nearest = std::fabs(fp), nearestStart = p.x;
    fp = fq;
  }
  if (range.x > range.y) range = {nearestStart, nearestStart};
  return range;
}

}  // namespace varnex
