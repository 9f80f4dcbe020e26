// Local C-alpha frame and library key of one residue, shared by backbone completion and the
// library builder so that both bin the same geometry the same way.
#pragma once

#include "geometry/vec3.hpp"

namespace vorb {

struct BBKey {
  bool ok = false;     // false when the frame is undefined (coincident or parallel vectors)
  Vec3 a, b, c;        // orthonormal frame: a along the chain, b the bisector, c = a x b
  int b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0;  // key bins
};

// Frame and key of residue i from the C-alpha atoms P0 = CA(i-1), P1 = CA(i), P2 = CA(i+1),
// P3 = CA(i+2) (virtual atoms at the chain ends). Bins: b1 |P3-P0| from 4.45 by 0.25 (cap 25);
// b2 |P2-P0|, b3 |P3-P1| from 4.85 by 0.25 (cap 10); b4, b5 the C-alpha step along a (from 3.15
// by 0.15, cap 4) and b (from -2.1 by 0.2, cap 10); every bin floored at 0.
BBKey bb_key(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3);

}  // namespace vorb
