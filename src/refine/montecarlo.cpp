#include "refine/montecarlo.hpp"

#include <cmath>

#include "geometry/random.hpp"
#include "geometry/rotate.hpp"
#include "geometry/torsion.hpp"
#include "model/residues.hpp"
#include "refine/coord_sets.hpp"
#include "refine/energy.hpp"
#include "refine/moves.hpp"

namespace vorb {
namespace {

constexpr int kMaxProposals = 500;

// Rotates atom i about the line through p along (u, v, w).
void turn(ModelState& s, int i, float px, float py, float pz, float& u, float& v, float& w,
          float theta) {
  rotate_matrix2(s.xx(i), s.yy(i), s.zz(i), px, py, pz, u, v, w, theta);
}

void plane_rotation(ModelState& s) {
  for (int m = 1; m <= s.npredhb; ++m) {
    const int ra = s.ress(s.reshbn(m, 1)), rb = s.ress(s.reshbn(m, 2));
    if (ra > 1 && s.resfix(ra - 1) < 2) {
      const int ca = s.ica(ra), cap = s.ica(ra - 1);
      const float theta = torsion_angle(s, ca - 1, ca, cap, s.ica(rb));
      if (std::fabs(theta) > 0.001f) {
        const float px = s.xx(ca), py = s.yy(ca), pz = s.zz(ca);
        float u = s.xx(cap) - px, v = s.yy(cap) - py, w = s.zz(cap) - pz;
        turn(s, cap + 1, px, py, pz, u, v, w, theta);
        turn(s, cap + 2, px, py, pz, u, v, w, theta);
        turn(s, ca - 1, px, py, pz, u, v, w, theta);
        if (s.ityp(ra) != kPro && s.ityp(ra) != 0)
          turn(s, amide_h(s, ra), px, py, pz, u, v, w, theta);
      }
    }
    if (rb < s.nres && s.resfix(rb) < 2) {
      const int ca = s.ica(rb), can = s.ica(rb + 1);
      const float theta = torsion_angle(s, ca + 1, ca, can, s.ica(ra));
      if (std::fabs(theta) > 0.001f) {
        const float px = s.xx(ca), py = s.yy(ca), pz = s.zz(ca);
        float u = s.xx(can) - px, v = s.yy(can) - py, w = s.zz(can) - pz;
        turn(s, ca + 1, px, py, pz, u, v, w, theta);
        turn(s, ca + 2, px, py, pz, u, v, w, theta);
        turn(s, can - 1, px, py, pz, u, v, w, theta);
        if (s.ityp(rb + 1) != kPro && s.ityp(rb + 1) != 0)
          turn(s, amide_h(s, rb + 1), px, py, pz, u, v, w, theta);
      }
    }
  }
}

}  // namespace

void monte_carlo_step(ModelState& s, void (*energy)(ModelState&)) {
  copy_coords(s.xx, s.yy, s.zz, s.xx0, s.yy0, s.zz0, s.natom);
  energy(s);
  s.ecur = s.etot;
  bool first_global = true;
  int n = 0;
  for (;;) {
    const int kind = move_kind(s.icycle, n);
    if (kind == 1) {
      relax_lmprot(s);
      if (s.lmfail == 1) {
        ++n;  // nothing to score
        continue;
      }
    } else if (kind == 2) {
      cacarot(s);
    } else {
      glo_move(s, first_global ? 0 : 1);
      first_global = false;
    }

    s.nmove(kind, 2) += 1;
    energy(s);
    s.enew = s.etot;
    ++n;
    const float de = s.enew - s.ecur;
    if (metropolis_accept(s, de)) {
      s.nmove(kind, 3) += 1;
      s.ecur = s.enew;
      s.rmsdbest = s.rmsd;
      s.nhbbest = s.nhb;
      s.nmatchbest = s.nhbmatch;
      s.ebest = s.ecur;
      copy_coords(s.xx, s.yy, s.zz, s.bkxx, s.bkyy, s.bkzz, s.natom);
      if (s.itempl != 0 && s.mode_is("4")) {
        for (int r = 1; r <= s.nres; ++r) {
          s.dca2start(r) = s.dca2(r);
          // Residues the template lacks have no deviation to be close in.
          s.resfix(r) = s.dca2(r) < 0.01f && s.tmplres(r) != 0 ? 1 : 0;
        }
      }
      return;
    }
    copy_coords(s.xx0, s.yy0, s.zz0, s.xx, s.yy, s.zz, s.natom);
    if (n >= kMaxProposals) return;
  }
}

int move_kind(int icycle, int n) {
  const int k = (icycle + n) % 12;
  return k <= 1 ? 1 : k <= 5 ? 2 : 3;
}

bool metropolis_accept(ModelState& s, float dE) {
  if (dE <= 0.0f) return true;
  if (dE >= 10.0f) return false;
  return std::exp(-dE) > rand(s);
}

int amide_h(const ModelState& s, int r) {
  const int h = s.ica(r) + hra[std::size_t(s.ityp(r))] - 1;
  return r == s.nres ? h + 1 : h;
}

void hbrotate(ModelState& s, int flag) {
  if (flag == 1)
    monte_carlo_step(s, energy_cal);
  else if (flag == 2)
    plane_rotation(s);
}

}  // namespace vorb
