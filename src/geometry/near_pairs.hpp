// The close pairs of a chain of points, as the C-alpha clash scans need them.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/vec3.hpp"

namespace vorb {

// Calls f(i, j, v) with v = p[i] - p[j] for the pairs 1 <= i < j <= n of the 1-based points p, in
// the order i ascending, then j ascending: every neighbouring pair (j = i + 1), and every other
// pair whose difference is at most reach along each axis (the others cannot be closer than
// reach). The points are grouped in runs of consecutive indices; a run whose bounding box lies
// beyond reach of p[i] along one axis is passed over as a whole, which spares most of the
// quadratic scan on a compact chain. A run holding a coordinate that is not a number is never
// passed over, so such pairs reach f as they would without the runs.
template <class F>
void near_pairs(const std::vector<Vec3>& p, int n, float reach, F&& f) {
  constexpr int kRun = 8;  // run k holds the points k * kRun .. k * kRun + kRun - 1 of 1..n
  struct Box {
    Vec3 lo, hi;
    bool usable = true;
  };
  std::vector<Box> box(std::size_t(std::max(n, 0) / kRun + 1));
  for (int j = 1; j <= n; ++j) {
    Box& b = box[std::size_t(j / kRun)];
    const Vec3 q = p[std::size_t(j)];
    if (!(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z))) b.usable = false;
    if (j == 1 || j % kRun == 0) {
      b.lo = b.hi = q;
    } else {
      b.lo = {std::min(b.lo.x, q.x), std::min(b.lo.y, q.y), std::min(b.lo.z, q.z)};
      b.hi = {std::max(b.hi.x, q.x), std::max(b.hi.y, q.y), std::max(b.hi.z, q.z)};
    }
  }
  // Whether every point of the box is further than reach from a along one axis. The float
  // differences are monotone in the coordinates, so this holds for each point's own difference.
  auto beyond = [reach](Vec3 a, const Box& b) {
    return b.usable && (a.x - b.hi.x > reach || b.lo.x - a.x > reach || a.y - b.hi.y > reach ||
                        b.lo.y - a.y > reach || a.z - b.hi.z > reach || b.lo.z - a.z > reach);
  };

  for (int i = 1; i < n; ++i) {
    const Vec3 a = p[std::size_t(i)];
    f(i, i + 1, a - p[std::size_t(i + 1)]);
    for (int j = i + 2; j <= n;) {
      const int k = j / kRun;
      const int end = std::min(n, k * kRun + kRun - 1);
      if (beyond(a, box[std::size_t(k)])) {
        j = end + 1;
        continue;
      }
      for (; j <= end; ++j) {
        const Vec3 v = a - p[std::size_t(j)];
        if (std::fabs(v.x) > reach || std::fabs(v.y) > reach || std::fabs(v.z) > reach) continue;
        f(i, j, v);
      }
    }
  }
}

}  // namespace vorb
