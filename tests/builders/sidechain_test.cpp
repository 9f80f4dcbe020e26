#include <gtest/gtest.h>

#include <cmath>

#include "builders/chain_fixture.hpp"
#include "builders/sidechain.hpp"
#include "geometry/torsion.hpp"

namespace vorb {
namespace {

using test::atom_of;
using test::make_chain;

Vec3 unit(Vec3 v) { return v / norm(v); }
Vec3 at(const ModelState& s, int r, const char* name) { return pos(s, atom_of(s, r, name)); }
float deg(float rad) { return rad / 0.0174533f; }

// Marks every atom of residue r after CB (or from CB on) missing.
void strip(ModelState& s, int r, bool with_cb) {
  const int from = s.ica(r) + (with_cb ? 3 : 4);
  for (int i = from; i <= s.natom && s.ress(i) == r; ++i) set_missing(s, i);
}

// v is along w: same direction, length len.
void expect_along(Vec3 v, Vec3 w, float len, const char* what) {
  EXPECT_NEAR(norm(v), len, 1e-4f) << what;
  EXPECT_NEAR(dot(unit(v), unit(w)), 1.0f, 1e-6f) << what;
}

// A three-residue alanine chain with C-alpha atoms 3.8 A apart at a virtual angle of deg
// degrees at residue 2, and the CB of residue 2 that cb_add should place with offsets (a, c, d).
struct CbCase {
  std::unique_ptr<ModelState> s;
  Vec3 want1, want2;
};

CbCase cb_case(double angle_deg) {
  CbCase k{make_chain("AAA"), {}, {}};
  ModelState& s = *k.s;
  const double g = angle_deg * M_PI / 180.0;
  const Vec3 a{3.8f, 0, 0}, b{0, 0, 0};
  const Vec3 c{float(3.8 * std::cos(g)), float(3.8 * std::sin(g)), 0};
  set_pos(s, s.ica(1), a);
  set_pos(s, s.ica(2), b);
  set_pos(s, s.ica(3), c);
  set_missing(s, s.ica(2) + 3);
  // Frame: along the chain, normal to the plane, outward bisector.
  const Vec3 u1 = unit(b - a), u2 = unit(c - b);
  const Vec3 ah = unit(u1 + u2), dh = unit(u1 - u2), ch = unit(cross(dh, ah));
  k.want1 = b + 0.249f * ah + -1.118f * ch + 0.976f * dh;
  k.want2 = b + 0.113f * ah + -0.736f * ch + 1.294f * dh;
  return k;
}

TEST(CbAdd, OffsetSetFollowsTheVirtualAngle) {
  for (double angle : {90.0, 104.0, 104.99}) {
    CbCase k = cb_case(angle);
    cb_add(*k.s);
    EXPECT_LT(dist(pos(*k.s, k.s->ica(2) + 3), k.want1), 1e-5f) << angle;
  }
  // Exactly 105 degrees lies within single-precision rounding of the threshold.
  for (double angle : {105.001, 106.0, 150.0}) {
    CbCase k = cb_case(angle);
    cb_add(*k.s);
    EXPECT_LT(dist(pos(*k.s, k.s->ica(2) + 3), k.want2), 1e-5f) << angle;
  }
}

TEST(CbAdd, LandsNearTheIdealCbInHelixAndStrand) {
  for (auto [phi, psi] : {std::pair{-57.0f, -47.0f}, std::pair{-120.0f, 130.0f}}) {
    test::ChainOptions o;
    o.phi = phi, o.psi = psi;
    auto s = make_chain("AAAAA", o);
    for (int r = 2; r <= 4; ++r) {
      const Vec3 ideal = at(*s, r, " CB ");
      set_missing(*s, s->ica(r) + 3);
      cb_add(*s);
      EXPECT_LT(dist(at(*s, r, " CB "), ideal), 0.35f) << phi << " " << r;
    }
  }
}

TEST(CbAdd, TouchesOnlyInnerNonGlycineResiduesWithTheirNeighbours) {
  auto s = make_chain("AAGAAAA");
  for (int r : {1, 2, 4, 5, 7}) set_missing(*s, s->ica(r) + 3);
  const Vec3 kept{1.0f, 2.0f, 3.0f};
  set_pos(*s, s->ica(6) + 3, kept);
  set_missing(*s, s->ica(6));  // residue 5 loses its right-hand C-alpha
  const Vec3 o3 = pos(*s, s->ica(3) + 2);
  cb_add(*s);
  EXPECT_TRUE(s->missing(s->ica(1) + 3));
  EXPECT_TRUE(s->missing(s->ica(7) + 3));
  EXPECT_TRUE(s->placed(s->ica(2) + 3));
  EXPECT_TRUE(s->placed(s->ica(4) + 3));
  EXPECT_TRUE(s->missing(s->ica(5) + 3));
  EXPECT_EQ(pos(*s, s->ica(6) + 3).x, kept.x);
  EXPECT_EQ(pos(*s, s->ica(3) + 2).x, o3.x);  // glycine: ica + 3 is the next residue's N
  EXPECT_EQ(s->assrd(s->ica(2) + 3), 0);
}

TEST(HeavyAdd, LysineComesOutAllTransAtTopologyLengths) {
  auto s = make_chain("GKG");
  strip(*s, 2, false);
  heavy_add(*s);
  auto v = [&](const char* a, const char* b) { return at(*s, 2, b) - at(*s, 2, a); };
  expect_along(v(" CB ", " CG "), v(" C  ", " CA "), 1.52f, "CG");
  expect_along(v(" CG ", " CD "), v(" CA ", " CB "), 1.52f, "CD");
  expect_along(v(" CD ", " CE "), v(" CB ", " CG "), 1.52f, "CE");
  expect_along(v(" CE ", " NZ "), v(" CG ", " CD "), 1.49f, "NZ");
  for (const char* n : {" CG ", " CD ", " CE ", " NZ "}) EXPECT_EQ(s->assrd(atom_of(*s, 2, n)), 1);
}

TEST(HeavyAdd, IsoleucineCd1AndMethionineCeExtendTheChainAllTrans) {
  auto s = make_chain("GIMG");
  strip(*s, 2, false);
  strip(*s, 3, false);
  heavy_add(*s);
  expect_along(at(*s, 2, " CD1") - at(*s, 2, " CG1"), at(*s, 2, " CB ") - at(*s, 2, " CA "),
               1.52f, "ILE CD1");
  expect_along(at(*s, 3, " CE ") - at(*s, 3, " SD "), at(*s, 3, " CG ") - at(*s, 3, " CB "),
               1.79f, "MET CE");
  // A terminal gamma atom of the CB follows C -> CA; an inner one (ILE CG1) N -> CA.
  expect_along(at(*s, 2, " CG1") - at(*s, 2, " CB "), at(*s, 2, " CA ") - at(*s, 2, " N  "),
               1.53f, "ILE CG1");
}

TEST(HeavyAdd, TrigonalAtomsPointAwayFromTheirCentre) {
  auto s = make_chain("GDR");
  const int od2 = atom_of(*s, 2, " OD2"), nh2 = atom_of(*s, 3, " NH2"), oxt = atom_of(*s, 3, " OXT");
  for (int i : {od2, nh2, oxt}) set_missing(*s, i);
  heavy_add(*s);
  // OD2 in the plane of CB, CG, OD1, on the bisector pointing away from CB and OD1.
  const Vec3 cb = at(*s, 2, " CB "), cg = at(*s, 2, " CG "), od1 = at(*s, 2, " OD1");
  const Vec3 x = pos(*s, od2);
  EXPECT_NEAR(dot(unit(cross(cb - cg, od1 - cg)), x - cg), 0.0f, 1e-5f);
  expect_along(x - cg, cg - (cb + od1) / 2.0f, 1.25f, "OD2");
  // NH2 from NE and NH1, OXT from CA and O.
  const Vec3 cz = at(*s, 3, " CZ ");
  expect_along(pos(*s, nh2) - cz, cz - (at(*s, 3, " NE ") + at(*s, 3, " NH1")) / 2.0f, 1.33f, "NH2");
  const Vec3 c = at(*s, 3, " C  ");
  expect_along(pos(*s, oxt) - c, c - (at(*s, 3, " CA ") + at(*s, 3, " O  ")) / 2.0f, 1.231f, "OXT");
  EXPECT_EQ(s->assrd(od2), 1);
}

TEST(HeavyAdd, BranchAtomsTurn125DegreesWithTheNaturalChirality) {
  auto s = make_chain("GVTILG");
  for (int r = 2; r <= 5; ++r) set_missing(*s, atom_of(*s, r, r == 5 ? " CD2" : " CG2"));
  heavy_add(*s);
  // VAL: CG2 is CG1 turned 125 degrees about CA -> CB, at the CB-CG1 distance.
  const Vec3 cb = at(*s, 2, " CB "), cg1 = at(*s, 2, " CG1"), cg2 = at(*s, 2, " CG2");
  EXPECT_NEAR(dist(cg2, cb), dist(cg1, cb), 1e-4f);
  EXPECT_NEAR(dot(cg2 - cb, unit(cb - at(*s, 2, " CA "))), dot(cg1 - cb, unit(cb - at(*s, 2, " CA "))),
              1e-4f);
  auto turn = [&](int r, const char* a, const char* b, const char* c, const char* x, const char* y) {
    const float d = deg(torsion_angle(*s, atom_of(*s, r, a), atom_of(*s, r, b), atom_of(*s, r, c),
                                      atom_of(*s, r, y)) -
                        torsion_angle(*s, atom_of(*s, r, a), atom_of(*s, r, b), atom_of(*s, r, c),
                                      atom_of(*s, r, x)));
    return std::remainder(d, 360.0f);
  };
  EXPECT_NEAR(turn(2, " N  ", " CA ", " CB ", " CG1", " CG2"), 125.0f, 0.05f);
  // THR and ILE: the other way round, which gives their CB its natural configuration (in real
  // structures CG2 lies about -121 degrees from OG1 in THR and -123 from CG1 in ILE).
  EXPECT_NEAR(turn(3, " N  ", " CA ", " CB ", " OG1", " CG2"), -125.0f, 0.05f);
  EXPECT_NEAR(turn(4, " N  ", " CA ", " CB ", " CG1", " CG2"), -125.0f, 0.05f);
  // LEU: CD2 is CD1 turned about CB -> CG.
  EXPECT_NEAR(turn(5, " CA ", " CB ", " CG ", " CD1", " CD2"), 125.0f, 0.05f);
}

TEST(HeavyAdd, AromaticRingGrowsFromANewCg) {
  auto s = make_chain("GFYG");
  strip(*s, 2, false);
  strip(*s, 3, false);
  const int cd2 = atom_of(*s, 2, " CD2"), cz = atom_of(*s, 2, " CZ ");
  set_pos(*s, cd2, {5.0f, 5.0f, 5.0f});  // present atoms of the ring are rewritten too
  s->assrd(cd2) = 0;
  s->assrd(cz) = 2;
  heavy_add(*s);
  const Vec3 cb = at(*s, 2, " CB "), cg = at(*s, 2, " CG ");
  const Vec3 e = cg - cb;
  EXPECT_NEAR(norm(e), 1.50f, 1e-4f);
  expect_along(pos(*s, cz) - cg, e, 1.788f * 1.50f, "CZ");
  for (const char* n : {" CD1", " CD2", " CE1", " CE2"}) {
    const Vec3 x = at(*s, 2, n);
    EXPECT_NEAR(dist(x, cg) < 2.0f ? dist(x, cg) : dist(x, pos(*s, cz)), 1.37f, 0.05f) << n;
    EXPECT_EQ(s->assrd(atom_of(*s, 2, n)), 1) << n;
  }
  EXPECT_EQ(s->assrd(cz), 2);  // CZ keeps its flag
  // The ring is planar and contains the CB-CG axis.
  const Vec3 nrm = unit(cross(at(*s, 2, " CD1") - cg, e));
  for (const char* n : {" CD2", " CE1", " CE2", " CZ "})
    EXPECT_NEAR(dot(at(*s, 2, n) - cg, nrm), 0.0f, 1e-4f) << n;
  // TYR: OH continues the CB-CG axis beyond CZ.
  const Vec3 e3 = at(*s, 3, " CG ") - at(*s, 3, " CB ");
  EXPECT_LT(dist(at(*s, 3, " OH "), at(*s, 3, " CZ ") + 0.937f * e3), 1e-5f);
}

TEST(HeavyAdd, RingTemplatesCompleteAPlacedCg) {
  auto s = make_chain("GPWHG");
  // PRO: only CD missing.
  const int cd = atom_of(*s, 2, " CD ");
  set_missing(*s, cd);
  auto before = make_chain("GPWHG");
  // TRP: CG present, the rest of the ring missing.
  for (int i = atom_of(*s, 3, " CD1"); i <= atom_of(*s, 3, " CH2"); ++i) set_missing(*s, i);
  heavy_add(*s);
  const Vec3 n = at(*s, 2, " N  "), ca = at(*s, 2, " CA "), cb = at(*s, 2, " CB "),
             cg = at(*s, 2, " CG ");
  const Vec3 w = (cg + n - ca - cb) / 2.0f;
  EXPECT_LT(dist(pos(*s, cd), (cb + ca) / 2.0f + 1.618f * w), 1e-5f);
  EXPECT_NEAR(dist(pos(*s, cd), n), 1.47f, 0.1f);
  for (int i = 1; i <= s->natom; ++i) {
    if (s->ress(i) == 3 || i == cd) continue;
    EXPECT_EQ(s->xx(i), before->xx(i)) << i;
  }
  // TRP ring: bonded neighbours 1.0-1.5 A apart, the ring planar with CB.
  const Vec3 cb3 = at(*s, 3, " CB "), cg3 = at(*s, 3, " CG ");
  const Vec3 nrm = unit(cross(at(*s, 3, " CD1") - cg3, cg3 - cb3));
  for (const char* a : {" CD2", " NE1", " CE2", " CE3", " CZ2", " CZ3", " CH2"}) {
    EXPECT_NEAR(dot(at(*s, 3, a) - cg3, nrm), 0.0f, 1e-4f) << a;
    EXPECT_EQ(s->assrd(atom_of(*s, 3, a)), 1) << a;
  }
}

// Frame of the ring templates of residue r: e = CG - CB and the unit normal of (C - N) x e.
struct RingFrame {
  Vec3 cg, e, n;
};
RingFrame ring_frame(const ModelState& s, int r) {
  const Vec3 cg = at(s, r, " CG ");
  const Vec3 e = cg - at(s, r, " CB ");
  return {cg, e, unit(cross(at(s, r, " C  ") - at(s, r, " N  "), e))};
}

void expect_at(const ModelState& s, int r, const char* name, Vec3 want, int flag) {
  EXPECT_LT(dist(at(s, r, name), want), 1e-4f) << s.resd(atom_of(s, r, name)).str() << name;
  EXPECT_EQ(s.assrd(atom_of(s, r, name)), flag) << s.resd(atom_of(s, r, name)).str() << name;
}

TEST(HeavyAdd, ProlineRingFromANewCgClosesOnN) {
  auto s = make_chain("GPG");
  strip(*s, 2, false);
  heavy_add(*s);
  const Vec3 n = at(*s, 2, " N  "), ca = at(*s, 2, " CA "), cb = at(*s, 2, " CB "),
             c = at(*s, 2, " C  ");
  // CG goes where the chain rule points it (along C -> CA from CB), then is drawn along the
  // line from N to 2.22 A from N; CD follows from the moved CG.
  const Vec3 chain = cb + 1.50f * unit(ca - c);
  const Vec3 cg = n + 2.22f * unit(chain - n);
  expect_at(*s, 2, " CG ", cg, 1);
  expect_at(*s, 2, " CD ", (cb + ca) / 2.0f + 1.618f * ((cg + n - ca - cb) / 2.0f), 1);
  EXPECT_NEAR(dist(at(*s, 2, " CG "), n), 2.22f, 1e-4f);
  EXPECT_NEAR(dist(at(*s, 2, " CD "), n), 1.47f, 0.3f);  // the ring closes on N
}

TEST(HeavyAdd, RingTemplatesPlaceEachAtomByItsCoefficients) {
  // HIS from a freshly placed CG; a present ring atom is rewritten.
  auto h = make_chain("GHG");
  strip(*h, 2, false);
  set_pos(*h, atom_of(*h, 2, " CE1"), {5.0f, 5.0f, 5.0f});
  heavy_add(*h);
  const RingFrame f = ring_frame(*h, 2);
  EXPECT_LT(dist(f.cg, at(*h, 2, " CB ") + 1.50f * unit(at(*h, 2, " CA ") - at(*h, 2, " C  "))),
            1e-4f);
  expect_at(*h, 2, " ND1", f.cg + 1.19f * f.n + 0.6f * f.e, 1);
  expect_at(*h, 2, " CD2", f.cg - 1.19f * f.n + 0.63f * f.e, 1);
  expect_at(*h, 2, " CE1", f.cg + 0.688f * f.n + 1.35f * f.e, 1);
  expect_at(*h, 2, " NE2", f.cg - 0.688f * f.n + 1.41f * f.e, 1);

  // PHE and TYR with CG present and CD1 missing: the whole ring is rebuilt about the present
  // CG, CZ and OH keeping their flags.
  auto s = make_chain("GFYG");
  for (int r : {2, 3}) {
    set_missing(*s, atom_of(*s, r, " CD1"));
    set_pos(*s, atom_of(*s, r, " CE2"), {5.0f, 5.0f, 5.0f});
    s->assrd(atom_of(*s, r, " CZ ")) = 2;
  }
  s->assrd(atom_of(*s, 3, " OH ")) = 0;
  const Vec3 cg2 = at(*s, 2, " CG ");
  heavy_add(*s);
  EXPECT_EQ(at(*s, 2, " CG ").x, cg2.x);
  for (int r : {2, 3}) {
    const RingFrame g = ring_frame(*s, r);
    const Vec3 cz = g.cg + 1.788f * g.e, fz = cz - g.cg;
    expect_at(*s, r, " CZ ", cz, 2);
    expect_at(*s, r, " CD1", g.cg + 1.191f * g.n + 0.25f * fz, 1);
    expect_at(*s, r, " CD2", g.cg - 1.191f * g.n + 0.25f * fz, 1);
    expect_at(*s, r, " CE1", g.cg + 1.191f * g.n + 0.75f * fz, 1);
    expect_at(*s, r, " CE2", g.cg - 1.191f * g.n + 0.75f * fz, 1);
  }
  const RingFrame y = ring_frame(*s, 3);
  expect_at(*s, 3, " OH ", y.cg + 1.788f * y.e + 0.937f * y.e, 0);
}

TEST(HeavyAdd, DegenerateReferencesGiveTheInnerTerminalAndTrigonalFallbacks) {
  // CB 0.0005 A from CA. CD (inner: P = CG, K = CB, L = CA) falls back to P + (K - L); CE is
  // regular; NZ (terminal: P = CE, K = CD, L = CG, CD - CG as short) falls back to P + (P - K).
  auto s = make_chain("GKG");
  strip(*s, 2, false);
  const Vec3 ca = at(*s, 2, " CA ");
  set_pos(*s, atom_of(*s, 2, " CB "), ca + Vec3{0.0003f, 0.0004f, 0.0f});
  heavy_add(*s);
  const Vec3 cb = at(*s, 2, " CB "), cg = at(*s, 2, " CG ");
  expect_at(*s, 2, " CD ", cg + (cb - ca), 2);
  const Vec3 cd = at(*s, 2, " CD ");
  expect_at(*s, 2, " CE ", cd + 1.52f * unit(cg - cb), 1);
  const Vec3 ce = at(*s, 2, " CE ");
  expect_at(*s, 2, " NZ ", ce + (ce - cd), 2);

  // OD2 of an aspartate whose CG lies midway between CB and OD1: no direction away from their
  // midpoint, so OD2 = CG + (CB - CA).
  auto d = make_chain("GDG");
  const Vec3 cbd = at(*d, 2, " CB "), cgd = at(*d, 2, " CG ");
  set_pos(*d, atom_of(*d, 2, " OD1"), 2.0f * cgd - cbd);
  set_missing(*d, atom_of(*d, 2, " OD2"));
  heavy_add(*d);
  expect_at(*d, 2, " OD2", cgd + (cbd - at(*d, 2, " CA ")), 2);
}

TEST(HeavyAdd, EveryResidueTypeIsCompletedWithSaneBonds) {
  const std::string all = "ARNDCQEGHILKMFPSTWYV";
  for (char c : all) {
    auto s = make_chain(std::string("G") + c + "G");
    strip(*s, 2, true);
    cb_add(*s);
    heavy_add(*s);
    for (int i = 1; i <= s->natom; ++i) {
      if (s->ress(i) != 2) continue;
      ASSERT_TRUE(s->placed(i)) << c << " " << s->atomty(i).str();
      for (int k = 1; k <= s->bonda(i, 5); ++k) {
        const int j = s->bonda(i, k);
        EXPECT_NEAR(dist(pos(*s, i), pos(*s, j)), s->bond(i, 2 * k), 0.35f)
            << c << " " << s->atomty(i).str() << "-" << s->atomty(j).str();
      }
      for (int j = i + 1; j <= s->natom; ++j)
        EXPECT_GT(dist(pos(*s, i), pos(*s, j)), 1.0f)
            << c << " " << s->atomty(i).str() << " " << s->atomty(j).str();
    }
  }
}

TEST(HeavyAdd, AtomsWithoutUsableReferencesStayMissing) {
  // Only NZ is placed: CE has a placed partner but NZ has no other one to build along, and
  // nothing else has a placed partner at all.
  auto s = make_chain("K");
  const int nz = atom_of(*s, 1, " NZ ");
  for (int i = 1; i <= s->natom; ++i)
    if (i != nz) set_missing(*s, i);
  heavy_add(*s);
  for (int i = 1; i <= s->natom; ++i) {
    if (i == nz) continue;
    EXPECT_EQ(s->xx(i), 999.0f) << s->atomty(i).str();
    EXPECT_EQ(s->yy(i), 999.0f) << s->atomty(i).str();
    EXPECT_EQ(s->assrd(i), 0) << s->atomty(i).str();
  }
  // A missing backbone atom next to placed ones is rebuilt like any inner atom.
  auto t = make_chain("GKG");
  set_missing(*t, t->ica(2));
  heavy_add(*t);
  EXPECT_NEAR(dist(pos(*t, t->ica(2)), pos(*t, t->ica(2) - 1)), 1.458f, 1e-4f);
}

TEST(HeavyAdd, FirstResidueCbPointsAwayFromNAndC) {
  // CA of residue 1 lists N first, and N(1) has no other heavy partner to build along.
  auto s = make_chain("KG");
  strip(*s, 1, true);
  heavy_add(*s);
  const int cb = atom_of(*s, 1, " CB ");
  const Vec3 ca = at(*s, 1, " CA ");
  const Vec3 away = Vec3{} - (unit(at(*s, 1, " N  ") - ca) + unit(at(*s, 1, " C  ") - ca));
  expect_along(pos(*s, cb) - ca, away, 1.53f, "CB");
  EXPECT_EQ(s->assrd(cb), 2);
  EXPECT_TRUE(s->placed(atom_of(*s, 1, " NZ ")));
}

TEST(HeavyAdd, CoincidentReferencesGiveTheFallbackPositions) {
  auto s = make_chain("GSG");
  const int og = atom_of(*s, 2, " OG ");
  set_missing(*s, og);
  set_pos(*s, s->ica(2) + 1, pos(*s, s->ica(2)));  // C on top of CA
  heavy_add(*s);
  const Vec3 cb = at(*s, 2, " CB ");
  EXPECT_LT(dist(pos(*s, og), cb + (cb - at(*s, 2, " CA "))), 1e-6f);
  EXPECT_EQ(s->assrd(og), 2);
}

}  // namespace
}  // namespace vorb
