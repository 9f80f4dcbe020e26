#include "analysis/hbonds.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "analysis/lattice.hpp"
#include "geometry/torsion.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"

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

// A donor hydrogen h on heavy atom d, with what the tests of every acceptor read of them.
struct Donor {
  int h = 0, d = 0;
  float ddh = 0.0f;      // length of the bond d-h
  bool amide = false;    // d is a backbone N
  int res = 0;           // residue of d
};

// Applies the acceptance tests to acceptor a of the donor; fills g when accepted.
bool accept(const ModelState& s, const Donor& dn, int a, Geometry& g) {
  const int h = dn.h, d = dn.d;
  if (s.atmhb(a) <= 0) return false;
  if (dn.amide && std::abs(dn.res - s.ress(a)) < 2 && s.atomty(a) == " O  ") return false;
  const int ab = s.bonda(a, 1);
  if (ab < 1 || ab > s.natom) return false;  // an acceptor without a bonded heavy atom
  const float dda = dist_atoms(s, d, a);
  if (!(dda <= 3.9f)) return false;
  const float dha = dist_atoms(s, a, h);
  if (!(dha >= 1.65f && dha <= 2.6f)) return false;
  const float daab = dist_atoms(s, ab, a);
  const float dhab = dist_atoms(s, ab, h);
  const float angdha = angle_deg(dn.ddh, dha, dda);
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

// The cells along one axis, at most nrange from the hydrogen's cell c, that can hold an
// acceptor the tests could accept. An atom in cell k lies within 1 A of 2k along each axis
// (k is its coordinate halved and rounded), and no acceptor further than 2.6 A from the
// hydrogen is accepted (0.01 A more covers rounding), so only the cells whose span comes within
// that reach of the hydrogen's coordinate v are visited: 3 or 4 of the 5.
void cell_window(float v, int c, int nrange, int& lo, int& hi) {
  lo = c - nrange;
  hi = c + nrange;
  const float d = v - float(2 * c);  // -1..1 for a coordinate in the lattice
  if (std::fabs(d) <= 1.0f) {
    constexpr float kReach = 1.0f + 2.6f + 0.01f;
    lo = std::max(lo, c + int(std::ceil(0.5f * (d - kReach))));
    hi = std::min(hi, c + int(std::floor(0.5f * (d + kReach))));
  }
  lo = std::max(lo, 1);
  hi = std::min(hi, kLat);
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
    const Donor dn{h, d, s.bond(h, 2), s.atomty(d) == " N  ", s.ress(d)};
    const int cx = lattice_cell(s.xx(h));
    const int cy = lattice_cell(s.yy(h));
    const int cz = lattice_cell(s.zz(h));
    int x0, x1, y0, y1, z0, z1;
    cell_window(s.xx(h), cx, s.nrange, x0, x1);
    cell_window(s.yy(h), cy, s.nrange, y0, y1);
    cell_window(s.zz(h), cz, s.nrange, z0, z1);
    int ncand = 0, best = 0;
    Geometry bestg;
    for (int x = x0; x <= x1; ++x) {
      for (int y = y0; y <= y1; ++y) {
        const int* line = s.site.row(x, y);
        for (int z = z0; z <= z1; ++z) {
          const int head = line[z - 1];
          if (head <= 0 || head > s.natom) continue;
          const int* more = s.sitt.row(head);
          for (int c = 0; c <= kSittCols; ++c) {
            const int a = c == 0 ? head : more[c - 1];
            if (a <= 0) break;
            Geometry g;
            if (!accept(s, dn, a, g)) continue;
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
    if (backbone && !(dn.amide && s.atomty(best) == " O  ")) continue;
    if (k > kMaxHb) {
      message_stream() << (ffmt::ListWriter() << "WARNING!!! more than" << kMaxHb
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
