#include "restraints/rest_energy.hpp"

#include <cmath>

namespace vorb {
namespace {

// C-alpha distance of residues i and j, single precision.
float ca_dist(const ModelState& s, int i, int j) {
  int a = s.ica(i), b = s.ica(j);
  float dx = s.xx(a) - s.xx(b);
  float dy = s.yy(a) - s.yy(b);
  float dz = s.zz(a) - s.zz(b);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

void rest_zephal(ModelState& s) {
  // Contacts: minus the summed weights of the pairs within 6 A.
  s.ecomb = 0.0f;
  for (int n = 1; n <= s.ncomb; ++n)
    if (ca_dist(s, s.combsca(n, 1), s.combsca(n, 2)) <= 6.0f) s.ecomb = s.ecomb - s.pcombca(n);

  // Distances with tolerance: minus the number strictly inside their tolerance.
  s.edist = 0.0f;
  for (int n = 1; n <= s.ndist; ++n) {
    float d = ca_dist(s, s.rsd(n, 1), s.rsd(n, 2));
    if (std::fabs(d - s.drsd(n, 1)) < s.drsd(n, 2)) s.edist = s.edist - 1.0f;
  }

  // Long-range distances: -1/x with x the deviation, at least 1 A.
  s.edistl = 0.0f;
  for (int n = 1; n <= s.ndistl; ++n) {
    float x = std::fabs(ca_dist(s, s.rsdl(n, 1), s.rsdl(n, 2)) - s.drsdl(n));
    if (x < 1.0f) x = 1.0f;
    s.edistl = s.edistl + -1.0f / x;
  }
}

}  // namespace vorb
