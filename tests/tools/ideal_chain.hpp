// Hand-built backbones for the tool tests: chains from phi/psi with ideal bond geometry.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "geometry/vec3.hpp"
#include "structure.hpp"

namespace vorb::test {

// Atom D at bond length len from C, angle B-C-D (degrees) and dihedral A-B-C-D (degrees).
inline Vec3 place_atom(Vec3 a, Vec3 b, Vec3 c, float len, float angle_deg, float torsion_deg) {
  const float k = 3.14159265f / 180.0f;
  Vec3 bc = c - b;
  bc = bc / norm(bc);
  Vec3 n = cross(b - a, bc);
  n = n / norm(n);
  Vec3 m = cross(n, bc);
  float th = angle_deg * k, ph = torsion_deg * k;
  float dx = -len * std::cos(th), dy = len * std::sin(th) * std::cos(ph),
        dz = len * std::sin(th) * std::sin(ph);
  return c + bc * dx + m * dy + n * dz;
}

struct PhiPsi {
  float phi, psi;
};

// A backbone (N, CA, C, O) of residues named `name` with the given torsions (phi of the first
// and psi of the last residue only orient the ends), numbered from 1.
inline tools::Chain ideal_chain(const std::vector<PhiPsi>& t, const std::string& name = "ALA",
                                int type = 2) {
  tools::Chain c;
  std::size_t n = t.size();
  std::vector<Vec3> N(n), CA(n), C(n);
  N[0] = {0.0f, 0.0f, 0.0f};
  CA[0] = {1.458f, 0.0f, 0.0f};
  C[0] = place_atom({0.0f, 1.0f, 0.0f}, N[0], CA[0], 1.525f, 111.2f, -60.0f);
  for (std::size_t i = 1; i < n; ++i) {
    N[i] = place_atom(N[i - 1], CA[i - 1], C[i - 1], 1.329f, 116.2f, t[i - 1].psi);
    CA[i] = place_atom(CA[i - 1], C[i - 1], N[i], 1.458f, 121.7f, 180.0f);
    C[i] = place_atom(C[i - 1], N[i], CA[i], 1.525f, 111.2f, t[i].phi);
  }
  for (std::size_t i = 0; i < n; ++i) {
    Vec3 o = i + 1 < n ? place_atom(N[i + 1], CA[i], C[i], 1.231f, 120.5f, 180.0f)
                       : place_atom(N[i], CA[i], C[i], 1.231f, 120.5f, t[i].psi + 180.0f);
    tools::Residue r;
    r.name = name;
    r.num = int(i) + 1;
    r.type = type;
    r.atoms = {{" N  ", N[i]}, {" CA ", CA[i]}, {" C  ", C[i]}, {" O  ", o}};
    c.res.push_back(r);
  }
  return c;
}

inline tools::Chain uniform_chain(std::size_t n, float phi, float psi) {
  return ideal_chain(std::vector<PhiPsi>(n, PhiPsi{phi, psi}));
}

// Moves every atom of residues from..end by d.
inline void shift_residues(tools::Chain& c, std::size_t from, Vec3 d) {
  for (std::size_t i = from; i < c.res.size(); ++i)
    for (auto& a : c.res[i].atoms) a.second = a.second + d;
}

}  // namespace vorb::test
