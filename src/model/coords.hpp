// Reading and writing one atom's coordinates as a vector.
#pragma once

#include "geometry/vec3.hpp"
#include "model/model_state.hpp"

namespace vorb {

inline Vec3 pos(const ModelState& s, int i) { return {s.xx(i), s.yy(i), s.zz(i)}; }
inline void set_pos(ModelState& s, int i, Vec3 p) {
  s.xx(i) = p.x;
  s.yy(i) = p.y;
  s.zz(i) = p.z;
}
inline void set_missing(ModelState& s, int i) { set_pos(s, i, {kMissing, kMissing, kMissing}); }

}  // namespace vorb
