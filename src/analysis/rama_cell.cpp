#include <cmath>

#include "analysis/torsions.hpp"

namespace vorb {

int rama_cell(float phi_deg, float psi_deg) {
  // Cell k along an axis covers [-180 + 10 k, -170 + 10 k); an angle of exactly +180 lands in
  // the last cell, 36. Out-of-range or undefined angles are clamped into the grid.
  auto axis = [](float a) {
    float q = (a + 180.0f) / 10.0f;
    if (!(q > 0.0f)) return 0;
    if (q >= 36.0f) return 36;
    return static_cast<int>(q);
  };
  return 37 * axis(phi_deg) + axis(psi_deg) + 1;
}

}  // namespace vorb
