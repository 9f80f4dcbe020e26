#include <gtest/gtest.h>

#include <cmath>

#include "builders/chain_fixture.hpp"
#include "builders/sd_opt.hpp"

namespace vorb {
namespace {

using test::atom_of;
using test::make_chain;

Vec3 unit(Vec3 v) { return v / norm(v); }
Vec3 at(const ModelState& s, int r, const char* name) { return pos(s, atom_of(s, r, name)); }

// A point at distances r1, r2, r3 from p1, p2, p3, on the side of the plane that `side` picks.
Vec3 trilaterate(Vec3 p1, double r1, Vec3 p2, double r2, Vec3 p3, double r3, int side) {
  const Vec3 ex = unit(p2 - p1);
  const double i = dot(ex, p3 - p1);
  const Vec3 ey = unit(p3 - p1 - float(i) * ex);
  const Vec3 ez = cross(ex, ey);
  const double d = dist(p2, p1), j = dot(ey, p3 - p1);
  const double x = (r1 * r1 - r2 * r2 + d * d) / (2 * d);
  const double y = (r1 * r1 - r3 * r3 + i * i + j * j) / (2 * j) - i / j * x;
  const double z = side * std::sqrt(r1 * r1 - x * x - y * y);
  return p1 + float(x) * ex + float(y) * ey + float(z) * ez;
}

// Serine in the middle of a strand, OG placed at `og` and CB put at bond length from it
// perpendicular to `perp` (so that moving OG along perp changes the bond only to second
// order). The angle record of OG is removed: only the bond is regularised.
struct Ser {
  std::unique_ptr<ModelState> s;
  int og = 0, cb = 0;
  Vec3 n, ca, c, o;
  explicit Ser(float chi1 = -60.0f) {
    test::ChainOptions opt;
    opt.chi[0] = chi1;
    s = make_chain("GSG", opt);
    og = atom_of(*s, 2, " OG ");
    cb = atom_of(*s, 2, " CB ");
    n = at(*s, 2, " N  "), ca = at(*s, 2, " CA "), c = at(*s, 2, " C  "), o = at(*s, 2, " O  ");
    for (int m = 46; m <= 90; ++m)
      if (s->anga(m, 3) == og) s->anga(m, 1) = 0;
  }
  void put(Vec3 x, Vec3 perp, float bond) {
    set_pos(*s, og, x);
    Vec3 side = cross(perp, ca - x);
    side = unit(cross(side, perp));  // in the plane of perp and CA, perpendicular to perp
    set_pos(*s, cb, x + bond * side);
  }
  float to(Vec3 p) const { return dist(pos(*s, og), p); }
};

TEST(SdOpt, RebuildsSideChainsFromTheBackboneAlone) {
  test::ChainOptions o;
  o.hydrogens = true;
  auto a = make_chain("GKFTG", o);
  auto b = make_chain("GKFTG", o);
  // a keeps (perturbed) side chains and carries hydrogens; b has none of either.
  for (int i = 1; i <= a->natom; ++i) {
    const Name4& n = a->atomty(i);
    const bool backbone = n == " N  " || n == " CA " || n == " C  " || n == " O  ";
    if (a->aty(i) == 'H') set_pos(*a, i, pos(*a, a->bonda(i, 1)) + Vec3{1, 0, 0});
    if (!backbone) set_pos(*a, i, pos(*a, i) + Vec3{0.7f, -0.3f, 0.2f});
    if (!backbone) b->xx(i) = 999.0f;
  }
  const Vec3 ca3 = at(*a, 3, " CA ");
  sd_opt(*a);
  sd_opt(*b);
  for (int i = 1; i <= a->natom; ++i) {
    if (a->aty(i) == 'H') {
      EXPECT_TRUE(a->missing(i)) << i;
      continue;
    }
    ASSERT_TRUE(a->placed(i)) << a->atomty(i).str() << " " << a->ress(i);
    EXPECT_EQ(pos(*a, i).x, pos(*b, i).x) << i;
    EXPECT_EQ(pos(*a, i).y, pos(*b, i).y) << i;
    EXPECT_EQ(pos(*a, i).z, pos(*b, i).z) << i;
  }
  EXPECT_EQ(at(*a, 3, " CA ").x, ca3.x);
  EXPECT_TRUE(a->placed(atom_of(*a, 5, " OXT")));
}

TEST(SdOpt1, LeavesIdealSideChainsAlone) {
  // Left out: CYS (its longer bond to SG puts SG outside the distance classes) and GLU, GLN,
  // ARG (their CG-OE1 / NE-NH1 1-3 distances lie just below 2.4 A and are opened).
  for (float chi1 : {-60.0f, 180.0f}) {
    for (char c : std::string("SVTIMDNLKHFYW")) {
      test::ChainOptions o;
      o.chi[0] = chi1;
      auto s = make_chain(std::string("G") + c + "G", o);
      auto ref = make_chain(std::string("G") + c + "G", o);
      sd_opt1(*s);
      for (int i = 1; i <= s->natom; ++i)
        EXPECT_LT(dist(pos(*s, i), pos(*ref, i)), 1e-5f) << c << " " << chi1 << " " << s->atomty(i).str();
    }
  }
}

TEST(SdOpt1, TerminalGroupsKeepTheirShape) {
  // The pairs around OE1 and NH1 are bonded atoms and are not opened.
  auto s = make_chain("GERG");
  auto ref = make_chain("GERG");
  auto span = [](const ModelState& m, int r, const char* a, const char* b) {
    return pos(m, atom_of(m, r, b)) - pos(m, atom_of(m, r, a));
  };
  set_pos(*s, atom_of(*s, 3, " CZ "), at(*s, 3, " CZ ") + Vec3{0.05f, 0.0f, 0.0f});
  sd_opt1(*s);
  EXPECT_LT(norm(span(*s, 2, " OE1", " OE2") - span(*ref, 2, " OE1", " OE2")), 1e-5f);
  EXPECT_LT(norm(span(*s, 3, " NH1", " NH2") - span(*ref, 3, " NH1", " NH2")), 1e-5f);
  EXPECT_NEAR(dist(at(*s, 3, " NE "), at(*s, 3, " NH1")), 2.4f, 1e-4f);
}

TEST(SdOpt1, GammaAtomMovesIntoTheNearestDistanceClass) {
  // OG 2.5 A from C and 2.9 from N: class 1, only the C distance is out of band.
  Ser k;
  const Vec3 x = trilaterate(k.c, 2.5, k.n, 2.9, k.ca, 2.45, 1);
  const Vec3 g = x - k.c;
  k.put(x, g, 1.417f);
  ASSERT_GT(k.to(k.o), 2.4f);
  sd_opt1(*k.s);
  const Vec3 want = x + (2.96f - 2.5f) * g / 2.5f;
  EXPECT_LT(dist(pos(*k.s, k.og), want), 1e-5f);
  EXPECT_NEAR(k.to(k.c), 2.96f, 1e-4f);

  // 4.5 A from C: class 3, the 0.67 A correction is capped at 0.5 A.
  Ser f;
  const Vec3 y = trilaterate(f.c, 4.5, f.n, 2.9, f.ca, 3.0, 1);
  f.put(y, y - f.c, 1.417f);
  ASSERT_GT(f.to(f.o), 2.4f);
  sd_opt1(*f.s);
  EXPECT_LT(dist(pos(*f.s, f.og), y + 0.5f * unit(f.c - y)), 1e-5f);
}

TEST(SdOpt1, SideChainIsPushedClearOfItsBackbone) {
  // OG 2.0 A from O is pushed straight out to 2.4 A, where the other rules are content.
  Ser k;
  const Vec3 target = trilaterate(k.c, 3.0, k.n, 3.0, k.o, 2.4, 1);
  const Vec3 x = k.o + 2.0f * unit(target - k.o);
  k.put(x, target - k.o, 1.417f);
  for (Vec3 q : {k.n, k.ca, k.c}) ASSERT_GT(k.to(q), 2.4f);
  const Vec3 cb = pos(*k.s, k.cb);
  sd_opt1(*k.s);
  EXPECT_LT(dist(pos(*k.s, k.og), target), 1e-4f);
  EXPECT_EQ(pos(*k.s, k.cb).x, cb.x);  // CB never moves
}

TEST(SdOpt1, LysineChainIsPushedClearOfItsOxygenAsAWhole) {
  // CG 2.0 A from O, with CD, CE and NZ built on it all-trans at their topology bonds and
  // angles, from a CB at bond length. Pushed 0.4 A straight away from O, the whole chain
  // lands where every other rule is content: CG 2.4 from O, 3.0 from N and C.
  auto s = make_chain("GKG");
  const Vec3 n = at(*s, 2, " N  "), ca = at(*s, 2, " CA "), c = at(*s, 2, " C  "),
             o = at(*s, 2, " O  ");
  const int cb = atom_of(*s, 2, " CB "), cg = atom_of(*s, 2, " CG ");
  for (int m = 46; m <= 90; ++m)
    if (s->anga(m, 3) == cg) s->anga(m, 1) = 0;  // no CA-CB-CG angle: CB sits where it suits
  const Vec3 t = trilaterate(c, 3.0, n, 3.0, o, 2.4, 1);
  const Vec3 u = unit(t - o);
  const Vec3 cbp = t + 1.52f * unit(cross(cross(u, ca - t), u));
  set_pos(*s, cb, cbp);
  const Vec3 cd = test::nerf(ca, cbp, t, 1.52f, 111.5f, 180.0f);
  const Vec3 ce = test::nerf(cbp, t, cd, 1.52f, 111.5f, 180.0f);
  const Vec3 nz = test::nerf(t, cd, ce, 1.49f, 111.7f, 180.0f);
  const std::pair<const char*, Vec3> chain[] = {{" CG ", t}, {" CD ", cd}, {" CE ", ce}, {" NZ ", nz}};
  for (auto [name, x] : chain) {
    set_pos(*s, atom_of(*s, 2, name), x - 0.4f * u);
    for (Vec3 q : {n, ca, c}) ASSERT_GT(dist(x - 0.4f * u, q), 2.4f) << name;
    if (x.x != t.x) {
      ASSERT_GT(dist(x, o), 2.4f) << name;
    }
  }
  ASSERT_NEAR(dist(at(*s, 2, " CG "), o), 2.0f, 1e-4f);
  sd_opt1(*s);
  for (auto [name, x] : chain) EXPECT_LT(dist(at(*s, 2, name), x), 1e-4f) << name;
  EXPECT_EQ(pos(*s, cb).x, cbp.x);
  EXPECT_EQ(pos(*s, cb).z, cbp.z);
}

TEST(SdOpt1, ProlineGetsOnlyTheClearanceAndStretchedBondSteps) {
  // CG on the CA -> CB line 1.15 times its bond from CB, CD beyond it: clear of the backbone,
  // not stretched past 1.2, but CG is out of the distance classes and its bond off by more
  // than 10 %, which steps 4 and 5 would correct in any other residue.
  auto s = make_chain("GPG");
  const Vec3 n = at(*s, 2, " N  "), ca = at(*s, 2, " CA "), c = at(*s, 2, " C  "),
             o = at(*s, 2, " O  "), cb = at(*s, 2, " CB ");
  const int cg = atom_of(*s, 2, " CG "), cd = atom_of(*s, 2, " CD ");
  const Vec3 u = unit(cb - ca);
  auto put = [&](float bond) {
    set_pos(*s, cg, cb + bond * u);
    set_pos(*s, cd, cb + (bond + 1.51f) * u);
    for (int j : {cg, cd})
      for (Vec3 q : {n, ca, c, o}) ASSERT_GT(dist(pos(*s, j), q), 2.4f);
  };
  put(1.15f * 1.50f);
  const float d1 = dist(pos(*s, cg), c);
  ASSERT_TRUE(d1 > 3.97f || (d1 > 3.28f && d1 < 3.58f)) << d1;
  const Vec3 x = pos(*s, cg), y = pos(*s, cd);
  sd_opt1(*s);
  EXPECT_EQ(pos(*s, cg).x, x.x);
  EXPECT_EQ(pos(*s, cg).y, x.y);
  EXPECT_EQ(pos(*s, cd).z, y.z);

  // Stretched to 1.27 times: pulled back to the bond length, CD carried along.
  put(1.9f);
  sd_opt1(*s);
  EXPECT_LT(dist(pos(*s, cg), cb + 1.50f * u), 1e-4f);
  EXPECT_LT(dist(pos(*s, cd), cb + 3.01f * u), 1e-4f);
}

TEST(SdOpt1, StretchedBondIsPulledBack) {
  Ser k(180.0f);
  const Vec3 end = pos(*k.s, k.og), cb = pos(*k.s, k.cb);
  set_pos(*k.s, k.og, cb + 1.3f * (end - cb));  // 1.3 times the bond
  for (Vec3 q : {k.n, k.ca, k.c, k.o}) ASSERT_GT(k.to(q), 2.4f);
  sd_opt1(*k.s);
  EXPECT_LT(dist(pos(*k.s, k.og), end), 1e-4f);
}

TEST(SdOpt1, BondAngleIsRegularisedOnlyWithItsRecord) {
  for (bool record : {true, false}) {
    auto s = make_chain("GKG");
    const int cg = atom_of(*s, 2, " CG "), cd = atom_of(*s, 2, " CD "),
              ce = atom_of(*s, 2, " CE "), nz = atom_of(*s, 2, " NZ ");
    // Open CG-CD-CE to 150 degrees, carrying NZ along.
    const Vec3 old = pos(*s, ce);
    const Vec3 cdp = pos(*s, cd);
    const Vec3 wide = test::nerf(at(*s, 2, " CB "), pos(*s, cg), cdp, 1.52f, 150.0f, 180.0f);
    set_pos(*s, nz, pos(*s, nz) + (wide - old));
    set_pos(*s, ce, wide);
    if (!record)
      for (int m = 46; m <= 90; ++m)
        if (s->anga(m, 3) == ce) s->anga(m, 1) = 0;
    sd_opt1(*s);
    const float d1 = dist(pos(*s, ce), pos(*s, cd)), d2 = dist(pos(*s, ce), pos(*s, cg));
    EXPECT_NEAR(d1, 1.52f, 0.152f);
    if (record) {
      const float t13 = std::sqrt(d1 * d1 + 1.52f * 1.52f - 2 * d1 * 1.52f * std::cos(111.5f * 0.0174533f));
      EXPECT_LE(std::fabs(d2 - t13), 0.1f * t13);
    } else {
      EXPECT_EQ(pos(*s, ce).x, wide.x);
    }
    EXPECT_NEAR(dist(pos(*s, nz), pos(*s, ce)), 1.49f, 0.149f);
  }
}

TEST(SdOpt, ProlineRingStaysClosed) {
  // The ring template puts CD 1.2 A from N and CG 1.9 A from CA; the tidy-up clears CG and CD
  // of CA but leaves the N-CD bond a bond.
  auto s = make_chain("GPG");
  sd_opt(*s);
  const Vec3 n = at(*s, 2, " N  "), ca = at(*s, 2, " CA ");
  EXPECT_NEAR(dist(at(*s, 2, " CD "), n), 1.47f, 0.1f);
  EXPECT_NEAR(dist(at(*s, 2, " CG "), ca), 2.24f, 1e-3f);
  EXPECT_NEAR(dist(at(*s, 2, " CD "), ca), 2.24f, 1e-3f);
  EXPECT_NEAR(dist(at(*s, 2, " CG "), at(*s, 2, " CD ")), 1.51f, 0.1f);
}

TEST(SdOpt1, GlycineAndMissingAtomsAreNeverMoved) {
  auto s = make_chain("GKG");
  const int nz = atom_of(*s, 2, " NZ ");
  set_missing(*s, nz);
  // A CG on top of the backbone N makes every rule fire.
  set_pos(*s, atom_of(*s, 2, " CG "), at(*s, 2, " N  ") + Vec3{0.3f, 0, 0});
  auto ref = make_chain("GKG");
  sd_opt1(*s);
  EXPECT_EQ(s->xx(nz), 999.0f);
  EXPECT_EQ(s->yy(nz), 999.0f);
  for (int i = 1; i <= s->natom; ++i) {
    if (s->ress(i) == 2) continue;
    EXPECT_EQ(s->xx(i), ref->xx(i)) << i;
  }
  EXPECT_GT(dist(at(*s, 2, " CG "), at(*s, 2, " N  ")), 1.0f);
}

}  // namespace
}  // namespace vorb
