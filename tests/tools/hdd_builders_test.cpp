// The side-chain and hydrogen builders on a topology written by `vorb-tools hdd`: the partner
// and angle conventions of the generated file must give the geometry the builders promise.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "builders/hydrogens.hpp"
#include "builders/sidechain.hpp"
#include "geometry/torsion.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "model/coords.hpp"
#include "model/residues.hpp"
#include "support/pdb_lines.hpp"
#include "support/test_support.hpp"
#include "tools/ideal_chain.hpp"

namespace vorb {
namespace {

constexpr float kToDeg = 57.29578f;

// All twenty types inside the chain, glycine at both ends.
const std::string kSequence = "GARNDCQEGHILKMFPSTWYVG";

struct Built {
  std::unique_ptr<ModelState> s = test::make_state();

  // The atom of residue r named `name`; 0 when the residue has none.
  int atom(int r, const char* name) const {
    for (int i = 1; i <= s->natom; ++i)
      if (s->ress(i) == r && s->atomty(i) == name) return i;
    return 0;
  }
  Vec3 at(int i) const { return pos(*s, i); }
  float dih(int a, int b, int c, int d) const {
    return dihedral(at(a), at(b), at(c), at(d)) * kToDeg;
  }
  float angle(int a, int c, int b) const {
    const Vec3 u = at(a) - at(c), v = at(b) - at(c);
    return std::acos(dot(u, v) / norm(u) / norm(v)) * kToDeg;
  }
};

// Difference of two dihedrals in degrees, folded into -180..180.
float ddiff(float a, float b) { return std::fmod(a - b + 540.0f, 360.0f) - 180.0f; }

// Generates the topology of kSequence, reads it and an ideal extended backbone (N, CA, C, O)
// the way the program does, and runs cb_add, heavy_add and hadd on everything else.
Built build_all(const test::TempDir& dir) {
  test::RunResult r = test::run_tools(dir.path(), "hdd --sequence " + kSequence + " -o Hdd");
  EXPECT_EQ(r.status, 0) << r.err;
  Built b;
  ModelState& s = *b.s;
  read_topology(s, dir.file("Hdd"));
  // An extended chain; the proline ring closes only near its own phi.
  std::vector<test::PhiPsi> t(kSequence.size(), test::PhiPsi{-120.0f, 130.0f});
  t[kSequence.find('P')] = {-65.0f, 140.0f};
  tools::Chain bb = test::ideal_chain(t);
  std::string pdb;
  int serial = 0;
  for (std::size_t k = 0; k < bb.res.size(); ++k) {
    const std::string res(afn[std::size_t(residue_type_1(kSequence[k]))]);
    for (const auto& [name, x] : bb.res[k].atoms)
      pdb += test::atom_line(++serial, name.c_str(), res.c_str(), int(k) + 1, x.x, x.y, x.z) + "\n";
  }
  std::istringstream in(pdb);
  s.pdbfile = "backbone.pdb";
  read_structure_stream(s, in);
  build_atom_table(s);
  cb_add(s);
  heavy_add(s);
  hadd(s);
  return b;
}

// The first heavy partner of K other than P: the atom the staggering of a group on P is
// measured from.
int first_heavy_other(const ModelState& s, int k, int p) {
  for (int c = 1; c <= s.bonda(k, 5); ++c) {
    const int q = s.bonda(k, c);
    if (q != p && s.aty(q) != 'H') return q;
  }
  return 0;
}

// Heavy and hydrogen partners of atom p.
struct Partners {
  std::vector<int> heavy, h;
};
Partners partners(const ModelState& s, int p) {
  Partners r;
  for (int c = 1; c <= s.bonda(p, 5); ++c)
    (s.aty(s.bonda(p, c)) == 'H' ? r.h : r.heavy).push_back(s.bonda(p, c));
  return r;
}

std::string label(const ModelState& s, int i) {
  return std::to_string(s.ress(i)) + " " + s.resd(i).str() + " " + s.atomty(i).str();
}

TEST(GeneratedTopology, BuildersPlaceEveryAtomByRuleAtItsBondLength) {
  test::TempDir dir;
  Built b = build_all(dir);
  const ModelState& s = *b.s;
  ASSERT_EQ(s.nres, int(kSequence.size()));
  for (int r = 1; r <= s.nres; ++r)
    EXPECT_EQ(s.ityp(r), residue_type_1(kSequence[std::size_t(r - 1)])) << r;
  for (int i = 1; i <= s.natom; ++i) {
    SCOPED_TRACE(label(s, i));
    ASSERT_TRUE(s.placed(i));
    EXPECT_NE(s.assrd(i), 2);  // no fallback position
    for (int k = 1; k <= s.bonda(i, 5); ++k) {
      const int j = s.bonda(i, k);
      const float d = dist(b.at(i), b.at(j)), want = s.bond(i, 2 * k);
      if (s.aty(i) == 'H' || s.aty(j) == 'H') {
        // Hydrogens at the bond length or shortened: by 5 % on a carbon, more where a
        // methylene pair is the average of two placements.
        EXPECT_LE(d, want + 1e-3f) << s.atomty(j).str();
        EXPECT_GE(d, 0.85f * want) << s.atomty(j).str();
      } else {
        // Rings come from fixed templates, chains from the topology's lengths.
        EXPECT_NEAR(d, want, 0.35f) << s.atomty(j).str();
      }
    }
  }
}

TEST(GeneratedTopology, MethylAndChainConventions) {
  test::TempDir dir;
  Built b = build_all(dir);
  const ModelState& s = *b.s;
  auto dih = [&](int r, const char* a1, const char* a2, const char* a3, const char* a4) {
    const int i = b.atom(r, a1), j = b.atom(r, a2), k = b.atom(r, a3), l = b.atom(r, a4);
    EXPECT_TRUE(i && j && k && l) << r << a1 << a2 << a3 << a4;
    return i && j && k && l ? b.dih(i, j, k, l) : 0.0f;
  };
  // Alanine: the methyl hydrogens at -60, +60 and 180 from N about CA-CB, 0.95 of the C-H
  // length, at the topology's angle from CA.
  const int ala = 2;
  EXPECT_NEAR(ddiff(dih(ala, " N  ", " CA ", " CB ", "1HB "), -60.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(ala, " N  ", " CA ", " CB ", "2HB "), 60.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(ala, " N  ", " CA ", " CB ", "3HB "), 180.0f), 0.0f, 0.1f);
  const int cb = b.atom(ala, " CB ");
  for (const char* h : {"1HB ", "2HB ", "3HB "}) {
    const int hi = b.atom(ala, h);
    EXPECT_NEAR(dist(b.at(cb), b.at(hi)), 0.95f * s.bond(hi, 2), 1e-4f) << h;
    EXPECT_NEAR(b.angle(b.atom(ala, " CA "), cb, hi), 109.5f, 0.05f) << h;
  }
  // Lysine: the side chain all-trans from CG (anti to C about CA-CB) to NZ, its ammonium
  // staggered from CD.
  const int lys = 13;
  EXPECT_NEAR(ddiff(dih(lys, " C  ", " CA ", " CB ", " CG "), 180.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(lys, " CA ", " CB ", " CG ", " CD "), 180.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(lys, " CB ", " CG ", " CD ", " CE "), 180.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(lys, " CG ", " CD ", " CE ", " NZ "), 180.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(lys, " CD ", " CE ", " NZ ", "1HZ "), -60.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(lys, " CD ", " CE ", " NZ ", "3HZ "), 180.0f), 0.0f, 0.1f);
  // The amino-terminal ammonium staggered from C about CA-N.
  EXPECT_NEAR(ddiff(dih(1, " C  ", " CA ", " N  ", "1H  "), -60.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(1, " C  ", " CA ", " N  ", "2H  "), 60.0f), 0.0f, 0.1f);
  EXPECT_NEAR(ddiff(dih(1, " C  ", " CA ", " N  ", "3H  "), 180.0f), 0.0f, 0.1f);
  // Every methyl or ammonium group ("3H" and the two before it) is staggered from the first
  // heavy partner L of its parent's first partner K: 3H anti, 2H at +60, 1H at -60.
  int groups = 0;
  for (int i = 3; i <= s.natom; ++i) {
    if (!s.atomty(i).starts_with("3H")) continue;
    SCOPED_TRACE(label(s, i));
    const int p = s.bonda(i, 1), k = s.bonda(p, 1), l = first_heavy_other(s, k, p);
    ASSERT_TRUE(l != 0 && s.aty(k) != 'H');
    EXPECT_NEAR(ddiff(b.dih(l, k, p, i), 180.0f), 0.0f, 0.1f);
    EXPECT_NEAR(ddiff(b.dih(l, k, p, i - 1), 60.0f), 0.0f, 0.1f);
    EXPECT_NEAR(ddiff(b.dih(l, k, p, i - 2), -60.0f), 0.0f, 0.1f);
    ++groups;
  }
  // N terminus; ALA, THR, VAL x2, LEU x2, ILE x2, MET methyls; LYS ammonium.
  EXPECT_EQ(groups, 11);
}

TEST(GeneratedTopology, PlanarAndTetrahedralHydrogens) {
  test::TempDir dir;
  Built b = build_all(dir);
  const ModelState& s = *b.s;
  int planar = 0, amide_pairs = 0, methylenes = 0;
  for (int p = 1; p <= s.natom; ++p) {
    if (s.aty(p) == 'H') continue;
    const Partners q = partners(s, p);
    SCOPED_TRACE(label(s, p));
    if (q.heavy.size() == 2 && q.h.size() == 1) {
      // Amide N-H, ring C-H and N-H, arginine NE-H: in the plane of the two heavy partners,
      // pointing away from their midpoint.
      const Vec3 x = b.at(p), u = b.at(q.heavy[0]) - x, v = b.at(q.heavy[1]) - x;
      const Vec3 n = cross(u, v) / norm(cross(u, v)), h = b.at(q.h[0]) - x;
      EXPECT_LT(std::fabs(dot(h, n)), 0.01f);
      const Vec3 away = Vec3{} - (u + v);
      EXPECT_NEAR(dot(h, away) / norm(h) / norm(away), 1.0f, 1e-5f);
      ++planar;
    } else if (q.heavy.size() == 1 && q.h.size() == 2 && s.aty(p) == 'N') {
      // Amide and guanidinium NH2: in the plane of the parent's partner K and L, K's first
      // heavy partner other than the parent that is not a carbon (OD1, OE1; NE of arginine),
      // "1H" cis and "2H" trans to L.
      const int k = q.heavy[0];
      int l = 0;
      for (int c = 1; c <= s.bonda(k, 5) && l == 0; ++c) {
        const int a = s.bonda(k, c);
        if (a != p && s.aty(a) != 'H' && s.aty(a) != 'C') l = a;
      }
      ASSERT_NE(l, 0);
      EXPECT_NEAR(ddiff(b.dih(l, k, p, q.h[0]), 0.0f), 0.0f, 0.1f) << s.atomty(q.h[0]).str();
      EXPECT_NEAR(ddiff(b.dih(l, k, p, q.h[1]), 180.0f), 0.0f, 0.1f) << s.atomty(q.h[1]).str();
      ++amide_pairs;
    } else if (q.heavy.size() == 2 && q.h.size() == 2) {
      // Methylene: one hydrogen on either side of the heavy plane, mirror images.
      const Vec3 x = b.at(p), u = b.at(q.heavy[0]) - x, v = b.at(q.heavy[1]) - x;
      const Vec3 n = cross(u, v) / norm(cross(u, v));
      const float h1 = dot(b.at(q.h[0]) - x, n), h2 = dot(b.at(q.h[1]) - x, n);
      EXPECT_GT(std::fabs(h1), 0.5f);
      EXPECT_NEAR(h1 + h2, 0.0f, 0.02f);
      const float hh = b.angle(q.h[0], p, q.h[1]);
      EXPECT_GT(hh, 100.0f);
      EXPECT_LT(hh, 140.0f);  // the proline ring template pinches CB
      ++methylenes;
    } else if (q.heavy.size() == 3 && q.h.size() == 1) {
      // A single hydrogen on a tetrahedral centre points away from its three partners.
      for (int a : q.heavy) EXPECT_GT(b.angle(a, p, q.h[0]), 100.0f) << s.atomty(a).str();
    }
  }
  // 20 amide H (none on residue 1 or the proline); ring H of PHE 5, TYR 4, TRP 6, HIS 3;
  // ARG NE.
  EXPECT_EQ(planar, 20 + 18 + 1);
  EXPECT_EQ(amide_pairs, 4);  // ASN ND2, GLN NE2, ARG NH1 and NH2
  EXPECT_EQ(methylenes, 29);
}

}  // namespace
}  // namespace vorb
