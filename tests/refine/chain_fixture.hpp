// Small hand-built chains for the refinement tests.
//
// A chain of GLY, ALA and PRO residues with ideal backbone geometry from given phi/psi, laid out
// as the topology does: N, CA, C, O and the side-chain heavy atoms of the residue, OXT on the
// last residue, then the amide H (none on PRO). Coordinates lie well inside the lattice.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "geometry/vec3.hpp"
#include "model/coords.hpp"
#include "model/model_state.hpp"
#include "model/residues.hpp"

namespace vorb::test {

// Places D bonded to C with |CD| = len, angle B-C-D = ang and dihedral A-B-C-D = tor (degrees).
inline Vec3 place(Vec3 a, Vec3 b, Vec3 c, float len, float ang, float tor) {
  const float k = 0.0174533f;
  const Vec3 bc = (c - b) / norm(c - b);
  Vec3 n = cross(b - a, bc);
  n = n / norm(n);
  const Vec3 m = cross(n, bc);
  const float th = ang * k, ph = tor * k;
  const Vec3 d2{-len * std::cos(th), len * std::sin(th) * std::cos(ph),
                len * std::sin(th) * std::sin(ph)};
  return c + bc * d2.x + m * d2.y + n * d2.z;
}

struct ChainShape {
  std::string seq;            // one-letter codes of G, A, P
  float phi = -57.0f, psi = -47.0f;  // helix by default
};

inline void add_atom(ModelState& s, const char* name, int res, Vec3 p) {
  const int i = ++s.natom;
  s.atomty(i) = Name4::from(name);
  s.atom(i, 1) = s.atomty(i);
  s.resd(i) = Name3::from(afn[std::size_t(s.ityp(res))]);
  s.ress(i) = res;
  s.aty(i) = name[1];
  set_pos(s, i, p);
}

// Fills the atom and residue tables of s with the chain; returns nothing, s.natom and s.nres set.
inline void build_chain(ModelState& s, const ChainShape& shape) {
  s.natom = 0;
  s.nres = int(shape.seq.size());
  for (int i = 0; i <= kMaxAtoms; ++i) set_pos(s, i, {kMissing, kMissing, kMissing});
  std::vector<Vec3> n(shape.seq.size() + 1), ca(n.size()), c(n.size());
  n[1] = {100.0f, 100.0f, 100.0f};
  // Bond lengths and angles of the ideal distances the local relaxation holds.
  ca[1] = {101.43f, 100.0f, 100.0f};
  c[1] = place({100.0f, 101.0f, 100.0f}, n[1], ca[1], 1.49f, 107.0f, -60.0f);
  for (int r = 2; r <= s.nres; ++r) {
    n[r] = place(n[r - 1], ca[r - 1], c[r - 1], 1.345f, 116.5f, shape.psi);
    ca[r] = place(ca[r - 1], c[r - 1], n[r], 1.43f, 119.9f, 180.0f);
    c[r] = place(c[r - 1], n[r], ca[r], 1.49f, 107.0f, shape.phi);
  }
  for (int r = 1; r <= s.nres; ++r) {
    s.ityp(r) = residue_type_1(shape.seq[std::size_t(r - 1)]);
    add_atom(s, " N  ", r, n[r]);
    add_atom(s, " CA ", r, ca[r]);
    s.ica(r) = s.natom;
    add_atom(s, " C  ", r, c[r]);
    const Vec3 o = r < s.nres ? place(n[r + 1], ca[r], c[r], 1.23f, 121.0f, 0.0f)
                              : place(n[r], ca[r], c[r], 1.23f, 121.0f, shape.psi + 180.0f);
    add_atom(s, " O  ", r, o);
    const int t = s.ityp(r);
    if (t != kGly) {
      const Vec3 cb = place(c[r], n[r], ca[r], 1.53f, 110.0f, -122.0f);
      add_atom(s, " CB ", r, cb);
      if (t == kPro) {
        const Vec3 cg = place(n[r], ca[r], cb, 1.5f, 104.0f, 30.0f);
        add_atom(s, " CG ", r, cg);
        add_atom(s, " CD ", r, place(ca[r], cb, cg, 1.5f, 105.0f, -35.0f));
      }
    }
    if (r == s.nres) add_atom(s, " OXT", r, place(n[r], ca[r], c[r], 1.23f, 118.0f, shape.psi));
    if (t != kPro) {
      const Vec3 h = r > 1 ? place(c[r - 1], ca[r], n[r], 1.0f, 119.0f, 180.0f)
                           : place(c[r], ca[r], n[r], 1.0f, 109.0f, 60.0f);
      add_atom(s, " H  ", r, h);
    }
  }
}

// The coordinates of atoms 1..natom, for before/after comparisons.
inline std::vector<Vec3> snapshot(const ModelState& s) {
  std::vector<Vec3> v(std::size_t(s.natom) + 1);
  for (int i = 1; i <= s.natom; ++i) v[std::size_t(i)] = pos(s, i);
  return v;
}

inline bool same(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace vorb::test
