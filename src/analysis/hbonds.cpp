#include "analysis/hbonds.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "geometry/torsion.hpp"
#include "io/ffmt.hpp"

namespace vorb {
namespace {

constexpr float kRad = 0.0174533f;  // degrees to radians

struct Geometry {
  float dha = 0.0f, angdha = 0.0f, anghaab = 0.0f, e = 0.0f;
};

float dist_atoms(const ModelState& s, int a, int b) {
  const float dx = s.xx(a) - s.xx(b), dy = s.yy(a) - s.yy(b), dz = s.zz(a) - s.zz(b);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Angle in degrees opposite side c of a triangle with sides a, b adjacent to it; 0 when the
// adjacent sides are degenerate. The cosine is clamped so that a straight angle stays 180.
float angle_deg(float a, float b, float c) {
  if (!(a * b > 1.0e-6f)) return 0.0f;
  float q = 0.5f * (a * a + b * b - c * c) / a / b;
  q = std::clamp(q, -1.0f, 1.0f);
  return std::acos(q) / kRad;
}

// Log-probability term of one statistics column; rows the table does not supply add nothing.
float pot_term(const ModelState& s, int row, int col, float weight) {
  if (row < 1 || row > kMaxPot) return 0.0f;
  const float p = s.hbpot(row, col);
  return p > 0.0f ? weight * std::log(1.0f - p) : 0.0f;
}

// Applies the acceptance tests to acceptor a of hydrogen h on donor d; fills g when accepted.
bool accept(const ModelState& s, int h, int d, float ddh, int a, Geometry& g) {
  if (s.atmhb(a) <= 0) return false;
  if (s.atomty(d) == " N  " && s.atomty(a) == " O  " && std::abs(s.ress(d) - s.ress(a)) < 2)
    return false;
  const int ab = s.bonda(a, 1);
  if (ab < 1 || ab > s.natom) return false;  // an acceptor without a bonded heavy atom
  const float dda = dist_atoms(s, d, a);
  if (!(dda <= 3.9f)) return false;
  const float dha = dist_atoms(s, a, h);
  if (!(dha >= 1.65f && dha <= 2.6f)) return false;
  const float daab = dist_atoms(s, ab, a);
  const float dhab = dist_atoms(s, ab, h);
  const float angdha = angle_deg(ddh, dha, dda);
  if (!(angdha >= 90.0f)) return false;
  const float anghaab = angle_deg(dha, daab, dhab);
  if (!(anghaab >= 90.0f)) return false;
  if (s.bonda(ab, 5) <= 2) {
    // The hydrogen must lie near the plane of a low-valence acceptor partner.
    int x = 0;
    const int x1 = s.bonda(ab, 1), x2 = s.bonda(ab, 2);
    if (x1 != a && x1 >= 1 && x1 <= s.natom)
      x = x1;
    else if (x2 != a && x2 >= 1 && x2 <= s.natom)
      x = x2;
    if (x != 0) {
      const float tor = torsion_angle(s, x, ab, a, h) / kRad;
      if (!(std::fabs(tor) <= 20.0f)) return false;
    }
  }
  const int bin_r = static_cast<int>((dha - 1.4f) / 0.02f);
  const int bin_1 = static_cast<int>((angdha - 20.0f) / 2.0f);
  const int bin_2 = static_cast<int>((anghaab - 20.0f) / 2.0f);
  g.dha = dha;
  g.angdha = angdha;
  g.anghaab = anghaab;
  g.e = pot_term(s, bin_r, 1, 0.82f) + pot_term(s, bin_1, 2, 0.35f) + pot_term(s, bin_2, 3, 0.82f);
  return true;
}

void check_listed_bonds(ModelState& s) {
  s.nhbmatch = 0;
  for (int m = 1; m <= s.npredhb; ++m) {
    const int a = s.reshbn(m, 1), b = s.reshbn(m, 2);
    if (a < 1 || a > s.natom || b < 1 || b > s.natom) continue;
    const int ra = s.ress(a), rb = s.ress(b);
    bool found = false;
    for (int k = 1; k <= s.nhb; ++k) {
      if (s.hbpair(k, 1) == a && s.hbpair(k, 2) == b) {
        found = true;
        break;
      }
    }
    if (found) {
      ++s.nhbmatch;
      if (ra > 1) s.resfix(ra - 1) = 2;
      s.resfix(rb) = 2;
    } else if (s.itempl != 1) {
      if (ra > 1) s.resfix(ra - 1) = 0;
      s.resfix(rb) = 0;
    }
  }
}

}  // namespace

void hbonds(ModelState& s, int flag) {
  int k = 1;
  s.ehb = 0.0f;
  const bool backbone = flag == 2;
  for (int h = 1; h <= s.natom; ++h) {
    if (!(float(s.atmhb(h)) <= -0.5f)) continue;
    if (backbone && !(s.atomty(h) == " H  ")) continue;
    const int d = s.bonda(h, 1);
    if (d < 1 || d > s.natom) continue;  // a hydrogen without a donor atom
    const float ddh = s.bond(h, 2);
    const int cx = int(std::lroundf(0.5f * s.xx(h)));
    const int cy = int(std::lroundf(0.5f * s.yy(h)));
    const int cz = int(std::lroundf(0.5f * s.zz(h)));
    int ncand = 0, best = 0;
    Geometry bestg;
    for (int x = std::max(1, cx - s.nrange); x <= std::min(kLat, cx + s.nrange); ++x) {
      for (int y = std::max(1, cy - s.nrange); y <= std::min(kLat, cy + s.nrange); ++y) {
        for (int z = std::max(1, cz - s.nrange); z <= std::min(kLat, cz + s.nrange); ++z) {
          const int head = s.site(x, y, z);
          if (head <= 0 || head > s.natom) continue;
          for (int c = 0; c <= kSittCols; ++c) {
            const int a = c == 0 ? head : s.sitt(head, c);
            if (a <= 0) break;
            Geometry g;
            if (!accept(s, h, d, ddh, a, g)) continue;
            ++ncand;
            if (ncand == 1 || g.e < bestg.e) {
              best = a;
              bestg = g;
            }
          }
        }
      }
    }
    if (ncand == 0) continue;
    if (backbone && !(s.atomty(d) == " N  " && s.atomty(best) == " O  ")) continue;
    if (k > kMaxHb) {
      std::cout << (ffmt::ListWriter() << "WARNING!!! more than" << kMaxHb
                                       << "hydrogen bonds, the rest are not recorded")
                       .str()
                << '\n';
      break;
    }
    s.htbon(k, 1) = bestg.dha;
    s.htbon(k, 2) = bestg.angdha;
    s.htbon(k, 3) = bestg.anghaab;
    s.htbon(k, 4) = bestg.e;
    s.ehb += bestg.e;
    s.hbpair(k, 1) = d;
    s.hbpair(k, 2) = best;
    ++k;
  }
  s.nhb = k - 1;
  if (backbone) check_listed_bonds(s);
}

}  // namespace vorb
