#include "geometry/place.hpp"

#include "geometry/rotate.hpp"

namespace vorb {

Vec3 rotated_copy(Vec3 q, Vec3 p, Vec3& axis, float angle) {
  rotate_matrix2(q.x, q.y, q.z, p.x, p.y, p.z, axis.x, axis.y, axis.z, angle);
  return q;
}

bool place_by_rotation(Vec3 q, Vec3 p, Vec3& axis, float angle, float b, float lo, float hi,
                       Vec3& x) {
  const Vec3 r = rotated_copy(q, p, axis, angle);
  const float len = dist(r, p);
  if (!(len >= lo && len <= hi)) return false;
  x = at_bond_length(p, r, b, len);
  return true;
}

bool place_by_extension(Vec3 p, Vec3 d, float b, float lower, Vec3& x) {
  const float len = norm(d);
  if (!(len > lower)) return false;
  x = {p.x + b * d.x / len, p.y + b * d.y / len, p.z + b * d.z / len};
  return true;
}

}  // namespace vorb
