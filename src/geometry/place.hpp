// The two ways the atom builders put a new atom X at bond length b from its parent P.
// Each builder states its own window and its own fallback; these helpers only compute the
// position and say whether the window was met, leaving x untouched when it was not.
#pragma once

#include "geometry/vec3.hpp"

namespace vorb {

// Placement by rotation: a copy R of the reference point q is turned about the axis through p
// along `axis` by `angle` (rotate_matrix2, which normalises `axis` in place, so a caller that
// reuses the same axis variable gets the same axis as rotate_matrix2 would). When
// lo <= |R - p| <= hi, x = p + b (R - p) / |R - p| and the result is true.
bool place_by_rotation(Vec3 q, Vec3 p, Vec3& axis, float angle, float b, float lo, float hi,
                       Vec3& x);

// The rotated copy R alone (no rescaling), for rules that take it as it is.
Vec3 rotated_copy(Vec3 q, Vec3 p, Vec3& axis, float angle);

// Placement by extension: when |d| > lower, x = p + b d / |d| and the result is true.
bool place_by_extension(Vec3 p, Vec3 d, float b, float lower, Vec3& x);

// p + b (r - p) / len, the common last step of both, with len = |r - p| given by the caller.
inline Vec3 at_bond_length(Vec3 p, Vec3 r, float b, float len) {
  return {p.x + b * (r.x - p.x) / len, p.y + b * (r.y - p.y) / len, p.z + b * (r.z - p.z) / len};
}

}  // namespace vorb
