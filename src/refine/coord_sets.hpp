// Copies between the coordinate sets of a run (current, start of step, accepted, best).
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Copies atoms 1..n of one coordinate set into another.
inline void copy_coords(const Coord& fx, const Coord& fy, const Coord& fz, Coord& tx, Coord& ty,
                        Coord& tz, int n) {
  for (int i = 1; i <= n; ++i) {
    tx(i) = fx(i);
    ty(i) = fy(i);
    tz(i) = fz(i);
  }
}

}  // namespace vorb
