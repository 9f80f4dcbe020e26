#include "geometry/torsion.hpp"

#include <cmath>

#include "model/coords.hpp"

namespace vorb {

float dihedral(Vec3 p1, Vec3 p2, Vec3 p3, Vec3 p4) {
  Vec3 b1 = p2 - p1, b2 = p3 - p2, b3 = p4 - p3;
  const float l1 = norm(b1), l2 = norm(b2), l3 = norm(b3);
  if (l1 * l2 * l3 < 0.001f) return 0.0f;
  b1 = b1 / l1;
  b2 = b2 / l2;
  b3 = b3 / l3;
  const float c = dot(b1, b2) * dot(b2, b3) - dot(b1, b3);
  const float s = dot(b1, cross(b2, b3));
  const float h = std::sqrt(s * s + c * c);
  if (!(h > 0.0f)) return 0.0f;  // three collinear points: the angle is undefined
  float q = c / h;
  if (q > 1.0f) q = 1.0f;
  if (q < -1.0f) q = -1.0f;
  float angle = std::acos(q);
  if (s < 0.0f) angle = -angle;
  return angle;
}

float torsion_angle(const ModelState& s, int i1, int i2, int i3, int i4) {
  if (s.xx(i1) > kMissingTest || s.xx(i2) > kMissingTest || s.xx(i3) > kMissingTest ||
      s.xx(i4) > kMissingTest)
    return 10.0f;
  return dihedral(pos(s, i1), pos(s, i2), pos(s, i3), pos(s, i4));
}

}  // namespace vorb
