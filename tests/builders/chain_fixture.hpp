// Hand-built chains for the builder tests: the topology (atom order N, CA, C, O, side chain,
// OXT on the last residue, then the amide H), partner lists with the parent first, bond
// lengths, one angle record per side-chain atom in its residue's block of 45, and ideal
// coordinates built from internal geometry.
#pragma once

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/vec3.hpp"
#include "model/coords.hpp"
#include "model/model_state.hpp"
#include "model/residues.hpp"

namespace vorb::test {

// One side-chain atom: parent p, the atoms q and a that fix its angle q-p-X and torsion a-q-p-X,
// and the torsion as chi[k] + tor (k >= 0) or tor alone (k < 0). ring names an extra partner.
struct SideAtom {
  const char* name;
  const char* p;
  const char* q;
  const char* a;
  float len, ang;
  int chi;
  float tor;
  const char* ring = nullptr;
};

inline const std::vector<SideAtom>& side_atoms(int type) {
  static const std::array<std::vector<SideAtom>, 21> t = [] {
    std::array<std::vector<SideAtom>, 21> r;
    const SideAtom cb{" CB ", " CA ", " N  ", " C  ", 1.53f, 110.5f, -1, -122.2f};
    auto with_cb = [&](std::vector<SideAtom> rest) {
      rest.insert(rest.begin(), cb);
      return rest;
    };
    r[kAla] = with_cb({});
    r[kSer] = with_cb({{" OG ", " CB ", " CA ", " N  ", 1.417f, 111.0f, 0, 0}});
    r[kCys] = with_cb({{" SG ", " CB ", " CA ", " N  ", 1.81f, 114.0f, 0, 0}});
    r[kVal] = with_cb({{" CG1", " CB ", " CA ", " N  ", 1.527f, 110.7f, 0, 0},
                       {" CG2", " CB ", " CA ", " N  ", 1.527f, 110.4f, 0, 123.0f}});
    r[kThr] = with_cb({{" OG1", " CB ", " CA ", " N  ", 1.43f, 109.6f, 0, 0},
                       {" CG2", " CB ", " CA ", " N  ", 1.52f, 110.5f, 0, -121.0f}});
    r[kIle] = with_cb({{" CG1", " CB ", " CA ", " N  ", 1.53f, 110.4f, 0, 0},
                       {" CG2", " CB ", " CA ", " N  ", 1.53f, 110.5f, 0, -123.5f},
                       {" CD1", " CG1", " CB ", " CA ", 1.52f, 113.9f, 1, 0}});
    r[kPro] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.50f, 104.5f, 0, 0},
                       {" CD ", " CG ", " CB ", " CA ", 1.51f, 105.5f, 1, 0, " N  "}});
    r[kMet] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 114.0f, 0, 0},
                       {" SD ", " CG ", " CB ", " CA ", 1.81f, 112.7f, 1, 0},
                       {" CE ", " SD ", " CG ", " CB ", 1.79f, 100.5f, 2, 0}});
    r[kAsp] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 113.0f, 0, 0},
                       {" OD1", " CG ", " CB ", " CA ", 1.25f, 118.5f, 1, 0},
                       {" OD2", " CG ", " CB ", " CA ", 1.25f, 118.5f, 1, 180.0f}});
    r[kAsn] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 112.6f, 0, 0},
                       {" OD1", " CG ", " CB ", " CA ", 1.23f, 120.8f, 1, 0},
                       {" ND2", " CG ", " CB ", " CA ", 1.33f, 116.4f, 1, 180.0f}});
    r[kLeu] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.53f, 116.0f, 0, 0},
                       {" CD1", " CG ", " CB ", " CA ", 1.52f, 110.5f, 1, 0},
                       {" CD2", " CG ", " CB ", " CA ", 1.52f, 110.5f, 1, 122.0f}});
    r[kLys] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 114.0f, 0, 0},
                       {" CD ", " CG ", " CB ", " CA ", 1.52f, 111.5f, 1, 0},
                       {" CE ", " CD ", " CG ", " CB ", 1.52f, 111.5f, 2, 0},
                       {" NZ ", " CE ", " CD ", " CG ", 1.49f, 111.7f, 3, 0}});
    r[kGlu] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 114.0f, 0, 0},
                       {" CD ", " CG ", " CB ", " CA ", 1.52f, 113.0f, 1, 0},
                       {" OE1", " CD ", " CG ", " CB ", 1.25f, 118.5f, 2, 0},
                       {" OE2", " CD ", " CG ", " CB ", 1.25f, 118.5f, 2, 180.0f}});
    r[kGln] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 114.0f, 0, 0},
                       {" CD ", " CG ", " CB ", " CA ", 1.52f, 112.6f, 1, 0},
                       {" OE1", " CD ", " CG ", " CB ", 1.23f, 120.8f, 2, 0},
                       {" NE2", " CD ", " CG ", " CB ", 1.33f, 116.4f, 2, 180.0f}});
    r[kArg] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.52f, 114.0f, 0, 0},
                       {" CD ", " CG ", " CB ", " CA ", 1.52f, 111.5f, 1, 0},
                       {" NE ", " CD ", " CG ", " CB ", 1.46f, 112.0f, 2, 0},
                       {" CZ ", " NE ", " CD ", " CG ", 1.33f, 124.5f, 3, 0},
                       {" NH1", " CZ ", " NE ", " CD ", 1.33f, 120.0f, -1, 0},
                       {" NH2", " CZ ", " NE ", " CD ", 1.33f, 120.0f, -1, 180.0f}});
    r[kHis] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.50f, 113.7f, 0, 0},
                       {" ND1", " CG ", " CB ", " CA ", 1.38f, 122.7f, 1, 0},
                       {" CD2", " CG ", " CB ", " CA ", 1.36f, 131.0f, 1, 180.0f},
                       {" CE1", " ND1", " CG ", " CB ", 1.32f, 109.0f, -1, 180.0f},
                       {" NE2", " CD2", " CG ", " CB ", 1.37f, 107.0f, -1, 180.0f, " CE1"}});
    std::vector<SideAtom> phe = {{" CG ", " CB ", " CA ", " N  ", 1.50f, 113.9f, 0, 0},
                                 {" CD1", " CG ", " CB ", " CA ", 1.39f, 120.8f, 1, 0},
                                 {" CD2", " CG ", " CB ", " CA ", 1.39f, 120.8f, 1, 180.0f},
                                 {" CE1", " CD1", " CG ", " CB ", 1.39f, 120.0f, -1, 180.0f},
                                 {" CE2", " CD2", " CG ", " CB ", 1.39f, 120.0f, -1, 180.0f},
                                 {" CZ ", " CE1", " CD1", " CG ", 1.39f, 120.0f, -1, 0, " CE2"}};
    r[kPhe] = with_cb(phe);
    phe.push_back({" OH ", " CZ ", " CE1", " CD1", 1.38f, 120.0f, -1, 180.0f});
    r[kTyr] = with_cb(phe);
    r[kTrp] = with_cb({{" CG ", " CB ", " CA ", " N  ", 1.50f, 114.0f, 0, 0},
                       {" CD1", " CG ", " CB ", " CA ", 1.37f, 127.0f, 1, 0},
                       {" CD2", " CG ", " CB ", " CA ", 1.43f, 126.6f, 1, 180.0f},
                       {" NE1", " CD1", " CG ", " CB ", 1.38f, 110.0f, -1, 180.0f},
                       {" CE2", " CD2", " CG ", " CB ", 1.41f, 107.3f, -1, 180.0f, " NE1"},
                       {" CE3", " CD2", " CG ", " CB ", 1.40f, 133.9f, -1, 0},
                       {" CZ2", " CE2", " CD2", " CG ", 1.40f, 122.3f, -1, 180.0f},
                       {" CZ3", " CE3", " CD2", " CG ", 1.39f, 118.8f, -1, 180.0f},
                       {" CH2", " CZ2", " CE2", " CD2", 1.37f, 117.5f, -1, 0, " CZ3"}});
    return r;
  }();
  return t[std::size_t(type)];
}

// Places d with |d - c| = len, angle b-c-d = ang and dihedral a-b-c-d = tor (degrees).
inline Vec3 nerf(Vec3 a, Vec3 b, Vec3 c, float len, float ang, float tor) {
  const double deg = M_PI / 180.0;
  const double bx = c.x - b.x, by = c.y - b.y, bz = c.z - b.z;
  const double lb = std::sqrt(bx * bx + by * by + bz * bz);
  const double ux = bx / lb, uy = by / lb, uz = bz / lb;
  const double ax = b.x - a.x, ay = b.y - a.y, az = b.z - a.z;
  double nx = ay * uz - az * uy, ny = az * ux - ax * uz, nz = ax * uy - ay * ux;
  const double ln = std::sqrt(nx * nx + ny * ny + nz * nz);
  nx /= ln, ny /= ln, nz /= ln;
  const double mx = ny * uz - nz * uy, my = nz * ux - nx * uz, mz = nx * uy - ny * ux;
  const double d0 = -len * std::cos(ang * deg);
  const double d1 = len * std::sin(ang * deg) * std::cos(tor * deg);
  const double d2 = len * std::sin(ang * deg) * std::sin(tor * deg);
  return {float(c.x + d0 * ux + d1 * mx + d2 * nx), float(c.y + d0 * uy + d1 * my + d2 * ny),
          float(c.z + d0 * uz + d1 * mz + d2 * nz)};
}

struct ChainOptions {
  float phi = -120.0f, psi = 130.0f;     // backbone torsions of every residue
  std::array<float, 5> chi = {-60.0f, 180.0f, 180.0f, 180.0f, 180.0f};
  bool hydrogens = false;                // amide H of residues 2..n except PRO
};

// Index of the atom named name4 in residue r, 0 when absent.
inline int atom_of(const ModelState& s, int r, const char* name4) {
  for (int i = 1; i <= s.natom; ++i)
    if (s.ress(i) == r && s.atomty(i) == name4) return i;
  return 0;
}

// A chain of one-letter sequence seq with ideal coordinates for every atom (hydrogens
// missing). Proline rings use chi1 = 30, chi2 = -35 whatever the options say.
inline std::unique_ptr<ModelState> make_chain(const std::string& seq, ChainOptions o = {}) {
  auto sp = std::make_unique<ModelState>();
  ModelState& s = *sp;
  s.pdbfile = "model.pdb";
  const int n = int(seq.size());
  s.nres = n;
  // Atoms.
  int i = 0;
  auto add = [&](int r, const char* name, const char* res) {
    ++i;
    s.atomty(i) = Name4::from(name);
    s.atom(i, 1) = s.atomty(i);
    s.resd(i) = Name3::from(res);
    s.resd2(i) = s.resd(i);
    s.ress(i) = r;
    s.ress2(i) = r;
    s.aty(i) = name[1];
    return i;
  };
  for (int r = 1; r <= n; ++r) {
    const int t = residue_type_1(seq[std::size_t(r - 1)]);
    const char* res = afn[std::size_t(t)].data();
    s.ityp(r) = t;
    add(r, " N  ", res);
    s.ica(r) = add(r, " CA ", res);
    add(r, " C  ", res);
    add(r, " O  ", res);
    for (const SideAtom& a : side_atoms(t)) add(r, a.name, res);
    if (r == n) add(r, " OXT", res);
    if (o.hydrogens && r > 1 && t != kPro) add(r, " H  ", res);
  }
  s.natom = i;
  // Bonds: parent first, then children, then ring closures.
  auto bond = [&](int a, int b, float len) {
    const int k = ++s.bonda(a, 5);
    s.bonda(a, k) = b;
    s.bond(a, 2 * k - 1) = 1.0f;
    s.bond(a, 2 * k) = len;
    if (s.aty(b) != 'H') ++s.bonda(a, 6);
  };
  auto link = [&](int a, int b, float len) {
    bond(a, b, len);
    bond(b, a, len);
  };
  for (int r = 1; r <= n; ++r) {
    const int ca = s.ica(r), nn = ca - 1, c = ca + 1;
    if (r > 1) bond(nn, s.ica(r - 1) + 1, 1.329f);
    link(nn, ca, 1.458f);
    link(ca, c, 1.525f);
    link(c, ca + 2, 1.231f);
    if (r < n) bond(c, s.ica(r + 1) - 1, 1.329f);
    for (const SideAtom& a : side_atoms(s.ityp(r))) link(atom_of(s, r, a.p), atom_of(s, r, a.name), a.len);
    for (const SideAtom& a : side_atoms(s.ityp(r)))
      if (a.ring) link(atom_of(s, r, a.ring), atom_of(s, r, a.name), a.len);
    if (r == n) link(c, atom_of(s, r, " OXT"), 1.231f);
    if (int h = atom_of(s, r, " H  ")) link(nn, h, 1.01f);
  }
  // One angle record q-p-X per side-chain atom, in the residue's block of 45.
  s.nang = 45 * n;
  for (int r = 1; r <= n; ++r) {
    int m = (r - 1) * 45;
    for (const SideAtom& a : side_atoms(s.ityp(r))) {
      ++m;
      s.anga(m, 1) = atom_of(s, r, a.q);
      s.anga(m, 2) = atom_of(s, r, a.p);
      s.anga(m, 3) = atom_of(s, r, a.name);
      s.ang(m, 2) = a.ang;
    }
  }
  // Coordinates.
  for (int k = 0; k <= s.natom + 3; ++k) set_missing(s, k);
  Vec3 pn{0, 0, 0}, pca{1.458f, 0, 0};
  Vec3 pc = nerf({0, 1, 0}, pn, pca, 1.525f, 111.2f, 0.0f);
  for (int r = 1; r <= n; ++r) {
    const int ca = s.ica(r);
    set_pos(s, ca - 1, pn);
    set_pos(s, ca, pca);
    set_pos(s, ca + 1, pc);
    set_pos(s, ca + 2, nerf(pn, pca, pc, 1.231f, 120.5f, o.psi + 180.0f));
    const int t = s.ityp(r);
    std::array<float, 5> chi = o.chi;
    if (t == kPro) chi[0] = 30.0f, chi[1] = -35.0f;
    for (const SideAtom& a : side_atoms(t)) {
      const float tor = a.chi >= 0 ? chi[std::size_t(a.chi)] + a.tor : a.tor;
      set_pos(s, atom_of(s, r, a.name),
              nerf(pos(s, atom_of(s, r, a.a)), pos(s, atom_of(s, r, a.q)),
                   pos(s, atom_of(s, r, a.p)), a.len, a.ang, tor));
    }
    if (r == n) {
      set_pos(s, atom_of(s, r, " OXT"), nerf(pn, pca, pc, 1.231f, 120.5f, o.psi));
      break;
    }
    const Vec3 nn = nerf(pn, pca, pc, 1.329f, 116.2f, o.psi);
    const Vec3 nca = nerf(pca, pc, nn, 1.458f, 121.7f, 180.0f);
    const Vec3 nc = nerf(pc, nn, nca, 1.525f, 111.2f, o.phi);
    pn = nn, pca = nca, pc = nc;
  }
  s.iseed = s.natom;
  return sp;
}

}  // namespace vorb::test
