#include "geometry/torsion.hpp"

#include <stdexcept>

namespace vorb {

float dihedral(Vec3 p1, Vec3 p2, Vec3 p3, Vec3 p4) { (void)p1; (void)p2; (void)p3; (void)p4; throw std::logic_error("not built yet"); }
float torsion_angle(const ModelState& s, int i1, int i2, int i3, int i4) {
  (void)s; (void)i1; (void)i2; (void)i3; (void)i4;
  throw std::logic_error("not built yet");
}

}  // namespace vorb
