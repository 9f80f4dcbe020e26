#include "builders/hydrogens.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "analysis/model_builder.hpp"
#include "geometry/torsion.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::kAbsent;
using test::ModelBuilder;

constexpr float kToDeg = 57.29578f;

float dih_deg(const ModelState& s, int a, int b, int c, int d) {
  return dihedral(pos(s, a), pos(s, b), pos(s, c), pos(s, d)) * kToDeg;
}
float angle_deg(const ModelState& s, int a, int c, int b) {
  const Vec3 u = pos(s, a) - pos(s, c), v = pos(s, b) - pos(s, c);
  return std::acos(dot(u, v) / norm(u) / norm(v)) * kToDeg;
}
float bond_len(const ModelState& s, int a, int b) { return dist(pos(s, a), pos(s, b)); }
// Difference of two dihedrals in degrees, folded into -180..180.
float ddiff(float a, float b) {
  float d = std::fmod(a - b + 540.0f, 360.0f) - 180.0f;
  return d;
}

// q turned about the axis through p along `axis` by theta radians (right-hand rule), worked
// out in double precision independently of the program's rotation.
Vec3 turn(Vec3 q, Vec3 p, Vec3 axis, double theta) {
  const double l = norm(axis);
  const double kx = axis.x / l, ky = axis.y / l, kz = axis.z / l;
  const double vx = q.x - p.x, vy = q.y - p.y, vz = q.z - p.z;
  const double c = std::cos(theta), s = std::sin(theta), kv = kx * vx + ky * vy + kz * vz;
  return {float(p.x + vx * c + (ky * vz - kz * vy) * s + kx * kv * (1 - c)),
          float(p.y + vy * c + (kz * vx - kx * vz) * s + ky * kv * (1 - c)),
          float(p.z + vz * c + (kx * vy - ky * vx) * s + kz * kv * (1 - c))};
}
Vec3 unit(Vec3 v) { return v / norm(v); }

// Runs hadd and returns what it printed.
std::string hadd_output(ModelState& s) {
  testing::internal::CaptureStdout();
  hadd(s);
  return testing::internal::GetCapturedStdout();
}

void expect_h(const ModelState& s, int h, Vec3 want, int flag, const char* what) {
  EXPECT_LT(dist(pos(s, h), want), 1e-4f) << what << " " << s.atom(h, 1).str();
  EXPECT_EQ(s.assrd(h), flag) << what << " " << s.atom(h, 1).str();
}

// GLY-ALA with every heavy atom placed and every hydrogen missing; the topology lists the
// hydrogens after the heavy atoms of each residue, groups as "1H", "2H", "3H".
struct Dipeptide {
  std::unique_ptr<ModelState> s = test::make_state();
  ModelBuilder b{*s};
  int n1, ca1, c1, o1, h1, h2, h3, ha1, ha2;
  int n2, ca2, c2, o2, cb2, h, ha, hb1, hb2, hb3;

  explicit Dipeptide(bool with_angles = true) {
    b.residue("GLY");
    n1 = b.atom(" N  ", {10.0f, 10.0f, 10.0f});
    ca1 = b.atom(" CA ", {11.45f, 10.0f, 10.0f});
    c1 = b.atom(" C  ", {12.0f, 11.42f, 10.0f});
    o1 = b.atom(" O  ", {11.3f, 12.4f, 10.1f});
    h1 = b.atom("1H  ", kAbsent);
    h2 = b.atom("2H  ", kAbsent);
    h3 = b.atom("3H  ", kAbsent);
    ha1 = b.atom("1HA ", kAbsent);
    ha2 = b.atom("2HA ", kAbsent);
    b.residue("ALA");
    n2 = b.atom(" N  ", {13.33f, 11.55f, 10.0f});
    ca2 = b.atom(" CA ", {13.95f, 12.87f, 10.0f});
    c2 = b.atom(" C  ", {15.47f, 12.75f, 10.0f});
    o2 = b.atom(" O  ", {16.1f, 11.7f, 10.1f});
    cb2 = b.atom(" CB ", {13.45f, 13.65f, 11.2f});
    h = b.atom(" H  ", kAbsent);
    ha = b.atom(" HA ", kAbsent);
    hb1 = b.atom("1HB ", kAbsent);
    hb2 = b.atom("2HB ", kAbsent);
    hb3 = b.atom("3HB ", kAbsent);
    // Hydrogens name their parent first.
    for (int x : {h1, h2, h3}) b.bond(x, n1, 1.0f);
    b.bond(n1, ca1, 1.458f);
    b.bond(ca1, c1, 1.525f);
    for (int x : {ha1, ha2}) b.bond(x, ca1, 1.09f);
    b.bond(c1, o1, 1.231f);
    b.bond(c1, n2, 1.329f);
    b.bond(n2, ca2, 1.458f);
    b.bond(h, n2, 1.01f);
    b.bond(ca2, c2, 1.525f);
    b.bond(ca2, cb2, 1.525f);
    b.bond(ha, ca2, 1.09f);
    b.bond(c2, o2, 1.231f);
    for (int x : {hb1, hb2, hb3}) b.bond(x, cb2, 1.09f);
    if (with_angles) {
      for (int x : {h1, h2, h3}) b.angle(ca1, n1, x, 109.5f);
      for (int x : {ha1, ha2}) b.angle(n1, ca1, x, 109.5f);
      for (int x : {hb1, hb2, hb3}) b.angle(ca2, cb2, x, 109.5f);
    }
    b.finish();
  }
};

TEST(Hadd, MethylHydrogensStaggeredFromTheFirstHeavyPartner) {
  Dipeptide d;
  hadd(*d.s);
  const ModelState& s = *d.s;
  // Alanine beta hydrogens: shortened on a carbon, at 180, +60, -60 from N about CA-CB.
  EXPECT_NEAR(std::fabs(dih_deg(s, d.n2, d.ca2, d.cb2, d.hb3)), 180.0f, 0.02f);
  EXPECT_NEAR(dih_deg(s, d.n2, d.ca2, d.cb2, d.hb2), 60.0f, 0.02f);
  EXPECT_NEAR(dih_deg(s, d.n2, d.ca2, d.cb2, d.hb1), -60.0f, 0.02f);
  for (int x : {d.hb1, d.hb2, d.hb3}) {
    EXPECT_NEAR(bond_len(s, d.cb2, x), 0.95f * 1.09f, 1e-4f);
    EXPECT_NEAR(angle_deg(s, d.ca2, d.cb2, x), 109.5f, 0.02f);
    EXPECT_EQ(s.assrd(x), 1);
  }
  // Terminal ammonium on a nitrogen: the full bond length, staggered from C about N-CA.
  EXPECT_NEAR(std::fabs(dih_deg(s, d.c1, d.ca1, d.n1, d.h3)), 180.0f, 0.02f);
  EXPECT_NEAR(dih_deg(s, d.c1, d.ca1, d.n1, d.h2), 60.0f, 0.02f);
  EXPECT_NEAR(dih_deg(s, d.c1, d.ca1, d.n1, d.h1), -60.0f, 0.02f);
  for (int x : {d.h1, d.h2, d.h3}) EXPECT_NEAR(bond_len(s, d.n1, x), 1.0f, 1e-4f);
}

TEST(Hadd, SingleHydrogensByCentroidAndBisector) {
  Dipeptide d;
  hadd(*d.s);
  const ModelState& s = *d.s;
  // Alpha hydrogen of alanine: opposite the centroid of N, C, CB at the full bond length.
  const Vec3 c = (pos(s, d.n2) + pos(s, d.c2) + pos(s, d.cb2)) / 3.0f;
  const Vec3 u = pos(s, d.ha) - pos(s, d.ca2), w = pos(s, d.ca2) - c;
  EXPECT_NEAR(norm(u), 1.09f, 1e-4f);
  EXPECT_NEAR(dot(u, w) / norm(u) / norm(w), 1.0f, 1e-5f);
  // Amide hydrogen: away from the midpoint of C and CA (the C-N-CA bisector for equal
  // bonds), shortened.
  const Vec3 mid = (pos(s, d.c1) + pos(s, d.ca2)) / 2.0f;
  const Vec3 hn = pos(s, d.h) - pos(s, d.n2), away = pos(s, d.n2) - mid;
  EXPECT_NEAR(norm(hn), 0.95f * 1.01f, 1e-4f);
  EXPECT_NEAR(dot(hn, away) / norm(hn) / norm(away), 1.0f, 1e-5f);
  EXPECT_GT(angle_deg(s, d.c1, d.n2, d.h), 110.0f);
  EXPECT_GT(angle_deg(s, d.ca2, d.n2, d.h), 110.0f);
  EXPECT_NEAR(std::fabs(dih_deg(s, d.c1, d.ca2, d.n2, d.h)), 180.0f, 0.05f);  // in plane
}

TEST(Hadd, GlycineAlphaPairFromTwoAveragedPasses) {
  Dipeptide d;
  hadd(*d.s);
  const ModelState& s = *d.s;
  // Mirror images through the N-CA-C plane, tetrahedral-like, averaged so at most 0.95 b.
  EXPECT_NEAR(dih_deg(s, d.n1, d.c1, d.ca1, d.ha1), -dih_deg(s, d.n1, d.c1, d.ca1, d.ha2), 0.02f);
  for (int x : {d.ha1, d.ha2}) {
    EXPECT_LE(bond_len(s, d.ca1, x), 0.95f * 1.09f + 1e-5f);
    EXPECT_GT(bond_len(s, d.ca1, x), 0.8f * 1.09f);
    EXPECT_GT(angle_deg(s, d.n1, d.ca1, x), 100.0f);
    EXPECT_GT(angle_deg(s, d.c1, d.ca1, x), 100.0f);
    EXPECT_EQ(s.assrd(x), 1);
  }
  EXPECT_GT(angle_deg(s, d.ha1, d.ca1, d.ha2), 95.0f);
  // Each is the mean of K = N turned about CA -> C and C turned about CA -> N, both by 1.1
  // times the bond angle in opposite senses, each at 0.95 b from CA.
  const Vec3 p = pos(s, d.ca1), k = pos(s, d.n1), m = pos(s, d.c1);
  const double th = 1.1 * 109.5 * 0.0174533;
  const float b = 0.95f * 1.09f;
  auto mean = [&](double sense) {
    const Vec3 r1 = turn(k, p, m - p, sense * th), r2 = turn(m, p, k - p, -sense * th);
    return (p + b * unit(r1 - p) + p + b * unit(r2 - p)) / 2.0f;
  };
  EXPECT_LT(dist(pos(s, d.ha2), mean(1.0)), 1e-4f);
  EXPECT_LT(dist(pos(s, d.ha1), mean(-1.0)), 1e-4f);
}

TEST(Hadd, ACompleteModelIsLeftAsItIs) {
  Dipeptide d;
  hadd(*d.s);
  ModelState& s = *d.s;
  std::vector<float> before;
  for (int i = 1; i <= s.natom; ++i) before.insert(before.end(), {s.xx(i), s.yy(i), s.zz(i)});
  for (int i = 1; i <= s.natom; ++i) s.assrd(i) = 0;
  hadd(s);
  for (int i = 1; i <= s.natom; ++i) {
    EXPECT_EQ(s.xx(i), before[std::size_t(3 * i - 3)]) << i;
    EXPECT_EQ(s.zz(i), before[std::size_t(3 * i - 1)]) << i;
    EXPECT_EQ(s.assrd(i), 0) << i;
  }
}

TEST(Hadd, PresentHydrogensOfAGroupStayWhereTheInputPutThem) {
  Dipeptide d;
  ModelState& s = *d.s;
  const Vec3 given{13.0f, 14.4f, 11.9f};
  set_pos(s, d.hb2, given);
  hadd(s);
  EXPECT_EQ(s.xx(d.hb2), given.x);
  EXPECT_EQ(s.yy(d.hb2), given.y);
  EXPECT_EQ(s.assrd(d.hb2), 0);
  EXPECT_TRUE(s.placed(d.hb3));
  EXPECT_TRUE(s.placed(d.hb1));
  EXPECT_NEAR(dih_deg(s, d.n2, d.ca2, d.cb2, d.hb1), -60.0f, 0.02f);
}

TEST(Hadd, BondAngleRecordsAndTheirAbsence) {
  Dipeptide with;
  hadd(*with.s);
  {
    // The glycine pair has no record: it reuses the last angle matched (the beta methyl's).
    Dipeptide d(false);
    ModelBuilder b(*d.s);
    for (int x : {d.h1, d.h2, d.h3}) b.angle(d.ca1, d.n1, x, 109.5f);
    for (int x : {d.hb1, d.hb2, d.hb3}) b.angle(d.ca2, d.cb2, x, 109.5f);
    hadd(*d.s);
    for (int x : {d.ha1, d.ha2}) {
      EXPECT_EQ(d.s->xx(x), with.s->xx(x)) << x;
      EXPECT_EQ(d.s->yy(x), with.s->yy(x)) << x;
    }
  }
  {
    // Nothing matched yet when a rule needs the angle: that group stays missing. The centroid
    // and bisector rules need no angle.
    Dipeptide d(false);
    ModelBuilder b(*d.s);
    for (int x : {d.h1, d.h2, d.h3}) b.angle(d.ca1, d.n1, x, 109.5f);
    hadd(*d.s);
    const ModelState& s = *d.s;
    for (int x : {d.hb1, d.hb2, d.hb3, d.ha1, d.ha2}) EXPECT_TRUE(s.missing(x)) << x;
    EXPECT_TRUE(s.placed(d.ha));
    EXPECT_TRUE(s.placed(d.h));
    for (int x : {d.h1, d.h2, d.h3}) EXPECT_EQ(s.xx(x), with.s->xx(x)) << x;
  }
}

TEST(Hadd, HydrogenWithoutPlacedReferencesStaysMissing) {
  Dipeptide d;
  ModelState& s = *d.s;
  set_missing(s, d.c1);
  set_missing(s, d.ca2);  // N2 has no placed partner left
  set_missing(s, d.cb2);  // parent of the beta hydrogens missing
  hadd(s);
  EXPECT_TRUE(s.missing(d.h));
  for (int x : {d.hb1, d.hb2, d.hb3}) EXPECT_TRUE(s.missing(x));
  EXPECT_EQ(s.xx(d.hb1), kMissing);
}

// Fallback positions. In each fixture the parent P sits at (10, 10, 10) and its first
// placed partner K lies 6 A away, beyond every rule's window, so the fallback applies; where
// it is taken depends on D, the distance from K to K's other heavy partner L.
constexpr Vec3 kP{10.0f, 10.0f, 10.0f};
const Vec3 kW = Vec3{1.0f, 2.0f, 2.0f} / 3.0f;  // a unit direction from K to L

// Methyl carbon P with "1HB", "2HB", "3HB"; L is K's first partner at 1.25 A.
struct Methyl {
  std::unique_ptr<ModelState> s = test::make_state();
  int k, l, h1, h2, h3;
  explicit Methyl(float d) {
    ModelBuilder b(*s);
    b.residue("ALA");
    const Vec3 kp = kP + Vec3{6.0f, 0.0f, 0.0f};
    l = b.atom(" C  ", kp + d * kW);
    k = b.atom(" CA ", kp);
    const int p = b.atom(" CB ", kP);
    h1 = b.atom("1HB ", kAbsent);
    h2 = b.atom("2HB ", kAbsent);
    h3 = b.atom("3HB ", kAbsent);
    b.bond(k, l, 1.25f);
    b.bond(p, k, 1.53f);
    for (int h : {h1, h2, h3}) {
      b.bond(h, p, 1.09f);
      b.angle(k, p, h, 109.5f);
    }
    b.finish();
  }
};

TEST(HaddFallback, MethylGroup) {
  const float b = 0.95f * 1.09f;
  {
    // D inside 0.001..10: "3H" along L -> K at the bond length, flag 1; the others turned
    // from it as usual.
    Methyl m(1.5f);
    EXPECT_EQ(hadd_output(*m.s), "");
    expect_h(*m.s, m.h3, kP - b * kW, 1, "D 1.5");
    for (int h : {m.h1, m.h2}) {
      EXPECT_NEAR(dist(pos(*m.s, h), kP), b, 1e-4f);
      EXPECT_EQ(m.s->assrd(h), 1);
    }
  }
  // D = 200: "3H" at (K - L) / bond(K, 2) = 160 A from P; "2H" and "1H" miss their windows
  // (100 and 10 A) and take the scaled offsets of "3H" in x and y, none in z, all flag 2.
  Methyl far(200.0f);
  hadd(*far.s);
  const Vec3 off = -160.0f * kW;
  expect_h(*far.s, far.h3, kP + off, 2, "D 200");
  expect_h(*far.s, far.h2, kP + Vec3{-0.33380678f * off.x, 0.9426415f * off.y, 0.0f}, 2, "D 200");
  expect_h(*far.s, far.h1, kP + Vec3{-0.33380678f * off.x, -0.9426415f * off.y, 0.0f}, 2,
           "D 200");
  // D = 30: "3H" 24 A from P; "2H" is within its 100 A window, "1H" is not.
  Methyl mid(30.0f);
  hadd(*mid.s);
  const Vec3 off2 = -24.0f * kW;
  expect_h(*mid.s, mid.h3, kP + off2, 2, "D 30");
  EXPECT_NEAR(dist(pos(*mid.s, mid.h2), kP), b, 1e-4f);
  EXPECT_EQ(mid.s->assrd(mid.h2), 1);
  expect_h(*mid.s, mid.h1, kP + Vec3{-0.33380678f * off2.x, -0.9426415f * off2.y, 0.0f}, 2,
           "D 30");
}

// Amide nitrogen P (ND2) on K = CG, whose heavy partners are CB and L = OD1.
struct Amide {
  std::unique_ptr<ModelState> s = test::make_state();
  int h1, h2;
  explicit Amide(float d) {
    ModelBuilder b(*s);
    b.residue("ASN");
    const Vec3 kp = kP + Vec3{0.0f, 6.0f, 0.0f};
    const int cb = b.atom(" CB ", kp + Vec3{1.5f, 0.0f, 0.0f});
    const int k = b.atom(" CG ", kp);
    const int l = b.atom(" OD1", kp + d * kW);
    const int p = b.atom(" ND2", kP);
    h1 = b.atom("1HD2", kAbsent);
    h2 = b.atom("2HD2", kAbsent);
    b.bond(k, cb, 1.52f);
    b.bond(k, l, 1.23f);
    b.bond(p, k, 1.33f);
    for (int h : {h1, h2}) b.bond(h, p, 1.01f);
    b.angle(k, p, h2, 120.0f);
    b.finish();
  }
};

// The message of the amide rule names hydrogen i - 1 with its new x and y.
void expect_nh2_message(const std::string& out, const ModelState& s, int h) {
  std::istringstream in(out);
  std::string w1, w2, w3;
  int i = 0;
  float x = 0, y = 0;
  in >> w1 >> w2 >> w3 >> i >> x >> y;
  EXPECT_EQ(w1 + " " + w2 + " " + w3, "severa wrong NH2-2") << out;
  EXPECT_EQ(i, h);
  EXPECT_EQ(x, s.xx(h));
  EXPECT_EQ(y, s.yy(h));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

TEST(HaddFallback, AmidePair) {
  const float b = 1.01f;  // not shortened on a nitrogen
  Amide near(1.23f);      // D inside 0.001..5: both along the K-L bond, i flagged
  EXPECT_EQ(hadd_output(*near.s), "");
  expect_h(*near.s, near.h2, kP - b * kW, 2, "D 1.23");
  expect_h(*near.s, near.h1, kP + b * kW, 1, "D 1.23");

  Amide mid(7.0f);  // D inside 10 but not 5: i as before, i - 1 at 0.6 (K - L) and a message
  std::string out = hadd_output(*mid.s);
  expect_h(*mid.s, mid.h2, kP - b * kW, 2, "D 7");
  expect_h(*mid.s, mid.h1, kP - 4.2f * kW, 2, "D 7");
  expect_nh2_message(out, *mid.s, mid.h1);

  Amide far(12.0f);  // D beyond 10: both at 0.6 (K - L)
  out = hadd_output(*far.s);
  expect_h(*far.s, far.h2, kP - 7.2f * kW, 2, "D 12");
  expect_h(*far.s, far.h1, kP - 7.2f * kW, 2, "D 12");
  expect_nh2_message(out, *far.s, far.h1);
}

// Methylene carbon P (a glycine CA) with K = N and M = C both 6 A away, and L the previous
// residue's C on K (K's first partner, 1.33 A). Both passes miss their windows.
struct Methylene {
  std::unique_ptr<ModelState> s = test::make_state();
  int h1, h2;
  static inline const Vec3 k{10.0f, 16.0f, 10.0f}, m{16.0f, 10.0f, 10.0f};
  explicit Methylene(Vec3 lp) {
    ModelBuilder b(*s);
    b.residue("GLY");
    const int l = b.atom(" C  ", lp);
    const int kk = b.atom(" N  ", k);
    const int p = b.atom(" CA ", kP);
    const int mm = b.atom(" C  ", m);
    h1 = b.atom("1HA ", kAbsent);
    h2 = b.atom("2HA ", kAbsent);
    b.bond(kk, l, 1.33f);
    b.bond(p, kk, 1.458f);
    b.bond(p, mm, 1.525f);
    for (int h : {h1, h2}) {
      b.bond(h, p, 1.09f);
      b.angle(kk, p, h, 109.5f);
    }
    b.finish();
  }
};

TEST(HaddFallback, MethylenePairTakesTheSecondPassAsItIs) {
  const float b = 0.95f * 1.09f;
  {
    // D inside 0.001..10 in both passes: the second pass (K and M exchanged, D = |L - M|)
    // writes i along M -> L and i - 1 along L -> M; the flags stay 1.
    const Vec3 lp{10.0f, 17.33f, 10.0f};
    Methylene c(lp);
    EXPECT_EQ(hadd_output(*c.s), "");
    expect_h(*c.s, c.h2, kP + b * unit(lp - c.m), 1, "both inside");
    expect_h(*c.s, c.h1, kP + b * unit(c.m - lp), 1, "both inside");
  }
  // L 15 A from K on the line through M (6.5 A beyond it). The first pass falls back to
  // (K - L) / bond(K, 2) for both, flag 2, with the message naming i and its x between the
  // two; the second pass overwrites the positions and leaves the flags.
  const Vec3 lp = Methylene::k + 15.0f * unit(Methylene::m - Methylene::k);
  Methylene c(lp);
  ModelState& s = *c.s;
  testing::internal::CaptureStdout();
  hadd(s);
  const std::string out = testing::internal::GetCapturedStdout();
  std::istringstream in(out);
  std::string words[6];
  int i = 0;
  float x = 0;
  for (std::string& w : words) in >> w;
  in >> i >> x;
  EXPECT_EQ(words[0] + words[1] + words[2] + words[3] + words[4] + words[5],
            "neighbourbondpositionseverawrongCH2-2");
  EXPECT_EQ(i, c.h2);
  EXPECT_NEAR(x, (kP + (c.k - lp) / 1.33f).x, 1e-4f);
  const float d2 = dist(lp, c.m);
  expect_h(s, c.h2, kP + b * (lp - c.m) / d2, 2, "first pass outside");
  expect_h(s, c.h1, kP + b * (c.m - lp) / d2, 2, "first pass outside");
}

TEST(HaddFallback, MethyleneWithTheSamePartnerListedTwice) {
  // A topology that lists CA's N twice: the second reference is the first, 22 atoms from the
  // parent, so "ip4 wrong!!!" is printed and the rule goes on (both hydrogens along CA -> N).
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("GLY");
  const int k = b.atom(" N  ", kP + Vec3{1.458f, 0.0f, 0.0f});
  for (int j = 0; j < 21; ++j) b.atom(" CX ", kAbsent);
  const int p = b.atom(" CA ", kP);
  const int h1 = b.atom("1HA ", kAbsent), h2 = b.atom("2HA ", kAbsent);
  b.bond(p, k, 1.458f);
  b.bond(p, k, 1.458f);
  for (int h : {h1, h2}) b.bond(h, p, 1.09f);
  b.angle(k, p, h2, 109.5f);
  b.finish();
  EXPECT_EQ(hadd_output(*s), " ip4 wrong!!!\n");
  for (int h : {h1, h2}) expect_h(*s, h, kP + Vec3{0.95f * 1.09f, 0.0f, 0.0f}, 1, "ip4");
}

TEST(HaddFallback, SingleHydrogens) {
  // Centroid rule with P at the centroid of its three partners; bisector rule with P midway
  // between its two; anti rule with K 6 A away. Each goes to P + (0.3, 0.6, 0.7), flag 2.
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("SER");
  const Vec3 p1 = kP, p2 = kP + Vec3{10.0f, 0.0f, 0.0f}, p3 = kP + Vec3{20.0f, 0.0f, 0.0f};
  const int ca = b.atom(" CA ", p1);
  const int n = b.atom(" N  ", p2);
  const int og = b.atom(" OG ", p3);
  const int cb = b.atom(" CB ", p3 + Vec3{6.0f, 0.0f, 0.0f});
  const int l = b.atom(" C  ", p3 + Vec3{7.0f, 1.0f, 0.0f});
  for (Vec3 d : {Vec3{1.5f, 0, 0}, Vec3{-0.75f, 1.299038f, 0}, Vec3{-0.75f, -1.299038f, 0}})
    b.bond(ca, b.atom(" CX ", p1 + d), 1.5f);
  for (float d : {1.4f, -1.4f}) b.bond(n, b.atom(" CX ", p2 + Vec3{d, 0, 0}), 1.4f);
  b.bond(og, cb, 1.42f);
  b.bond(cb, l, 1.5f);
  const int ha = b.atom(" HA ", kAbsent), h = b.atom(" H  ", kAbsent), hg = b.atom(" HG ", kAbsent);
  b.bond(ha, ca, 1.09f);
  b.bond(h, n, 1.01f);
  b.bond(hg, og, 0.96f);
  b.angle(cb, og, hg, 109.5f);
  b.finish();
  EXPECT_EQ(hadd_output(*s), "");
  const Vec3 off{0.3f, 0.6f, 0.7f};
  expect_h(*s, ha, p1 + off, 2, "centroid");
  expect_h(*s, h, p2 + off, 2, "bisector");
  expect_h(*s, hg, p3 + off, 2, "anti");
}

// Residue 1 with a ring nitrogen carrying "1H", "2H" (an amino-terminal proline when named PRO).
struct RingNitrogen {
  std::unique_ptr<ModelState> s = test::make_state();
  ModelBuilder b{*s};
  int n, ca, c, cb, cd, h1, h2;
  explicit RingNitrogen(const char* name) {
    b.residue(name);
    n = b.atom(" N  ", {10.0f, 10.0f, 10.0f});
    ca = b.atom(" CA ", {11.45f, 10.0f, 10.0f});
    c = b.atom(" C  ", {12.0f, 11.42f, 10.0f});
    b.atom(" O  ", {11.3f, 12.4f, 10.1f});
    cb = b.atom(" CB ", {11.9f, 9.2f, 8.8f});
    const int cg = b.atom(" CG ", {10.8f, 8.4f, 8.2f});
    cd = b.atom(" CD ", {9.6f, 9.0f, 8.7f});
    h1 = b.atom("1H  ", kAbsent);
    h2 = b.atom("2H  ", kAbsent);
    for (int x : {h1, h2}) b.bond(x, n, 1.0f);
    b.bond(n, ca, 1.458f);
    b.bond(n, cd, 1.47f);
    b.bond(ca, c, 1.525f);
    b.bond(ca, cb, 1.53f);
    b.bond(cb, cg, 1.5f);
    b.bond(cg, cd, 1.5f);
    b.angle(ca, n, h2, 109.5f);
    b.finish();
  }
};

TEST(Hadd, AminoTerminalProlinePairTurnedOutOfPlane) {
  // Pair on N from K = CA and L = CB (the first heavy partner of CA is a carbon, so the
  // second is taken): trans and cis to L, and +-90 degrees on an amino-terminal proline.
  for (const char* name : {"ALA", "PRO"}) {
    RingNitrogen r(name);
    hadd(*r.s);
    const float t2 = dih_deg(*r.s, r.cb, r.ca, r.n, r.h2), t1 = dih_deg(*r.s, r.cb, r.ca, r.n, r.h1);
    if (std::string(name) == "PRO") {
      EXPECT_NEAR(std::fabs(t2), 90.0f, 0.05f);
      EXPECT_NEAR(t1, -t2, 0.05f);
    } else {
      EXPECT_NEAR(std::fabs(t2), 180.0f, 0.05f);
      EXPECT_NEAR(t1, 0.0f, 0.05f);
    }
    EXPECT_NEAR(bond_len(*r.s, r.n, r.h1), 1.0f, 1e-4f);  // not shortened on a nitrogen
    EXPECT_NEAR(angle_deg(*r.s, r.ca, r.n, r.h2), 109.5f, 0.05f);
  }
}

// Serine side chain with its hydroxyl hydrogen missing, and a second residue of oxygens.
struct Hydroxyl {
  std::unique_ptr<ModelState> s = test::make_state();
  ModelBuilder b{*s};
  int ca, cb, og, hg;
  explicit Hydroxyl(std::vector<Vec3> others) {
    b.residue("SER");
    const int n = b.atom(" N  ", {10.0f, 10.0f, 10.0f});
    ca = b.atom(" CA ", {11.45f, 10.0f, 10.0f});
    cb = b.atom(" CB ", {12.0f, 11.42f, 10.0f});
    og = b.atom(" OG ", {13.4f, 11.5f, 10.2f});
    hg = b.atom(" HG ", kAbsent, -1, 0.5f);
    b.bond(n, ca, 1.458f);
    b.bond(ca, cb, 1.53f);
    b.bond(cb, og, 1.42f);
    b.bond(hg, og, 0.96f);
    b.angle(cb, og, hg, 109.5f);
    b.residue("HOH");
    for (Vec3 p : others) b.atom(" O  ", p);
    b.finish();
  }
};

TEST(Ad1h, HydroxylTurnsTowardOxygensOfOtherResiduesInModeOne) {
  const Vec3 acc{15.5f, 12.8f, 11.9f};
  Hydroxyl plain({acc});
  plain.s->mode = Name4::from("5");
  hadd(*plain.s);  // the anti position, not turned outside mode "1"
  const Vec3 rule = pos(*plain.s, plain.hg);
  EXPECT_NEAR(std::fabs(dih_deg(*plain.s, plain.ca, plain.cb, plain.og, plain.hg)), 180.0f, 0.05f);

  Hydroxyl turned({acc});
  turned.s->mode = Name4::from("1");
  hadd(*turned.s);
  const ModelState& s = *turned.s;
  // One oxygen candidate: the cosine is its direction against O-H over 0.956 times the bond
  // parameter, and the hydrogen turns about O-CB by its arc cosine, keeping bond and angle.
  const Vec3 p = pos(s, turned.og);
  const Vec3 dir = (acc - rule) / norm(acc - rule);
  const float c = dot(dir, rule - p) / 1.0f / 0.956f;
  ASSERT_LT(std::fabs(c), 1.0f);
  const float before = dih_deg(*plain.s, plain.ca, plain.cb, plain.og, plain.hg);
  const float after = dih_deg(s, turned.ca, turned.cb, turned.og, turned.hg);
  EXPECT_NEAR(std::fabs(ddiff(after, before)), std::acos(c) * kToDeg, 0.05f);
  // The turn is in the positive sense about the axis from the oxygen to its first partner.
  const Vec3 axis = pos(s, turned.cb) - p;
  const Vec3 want = turn(rule, p, axis, std::acos(double(c)));
  EXPECT_LT(dist(pos(s, turned.hg), want), 1e-4f);
  ASSERT_GT(dist(turn(rule, p, axis, -std::acos(double(c))), want), 0.2f);
  EXPECT_NEAR(bond_len(s, turned.og, turned.hg), 0.95f * 0.96f, 1e-4f);
  EXPECT_NEAR(angle_deg(s, turned.cb, turned.og, turned.hg), 109.5f, 0.05f);
  EXPECT_EQ(s.assrd(turned.hg), 1);

  // Nothing of another residue within 5 A: not moved.
  Hydroxyl alone({{40.0f, 40.0f, 40.0f}});
  alone.s->mode = Name4::from("1");
  hadd(*alone.s);
  EXPECT_EQ(alone.s->xx(alone.hg), rule.x);
  EXPECT_EQ(alone.s->zz(alone.hg), rule.z);
}

TEST(Ad1h, ManyCandidatesAreAllWeighed) {
  // Sixty oxygens within 5 A of the hydrogen; the candidate list is not capped.
  Hydroxyl plain({{40.0f, 40.0f, 40.0f}});
  hadd(*plain.s);
  const Vec3 rule = pos(*plain.s, plain.hg);
  std::vector<Vec3> shell;
  for (int k = 0; k < 60; ++k) {
    const float t = 0.1047f * float(k);
    shell.push_back(rule + Vec3{3.0f * std::cos(t), 3.0f * std::sin(t), 0.5f + 0.02f * float(k)});
  }
  Hydroxyl h(shell);
  h.s->mode = Name4::from("1");
  hadd(*h.s);
  EXPECT_TRUE(h.s->placed(h.hg));
  EXPECT_NEAR(bond_len(*h.s, h.og, h.hg), 0.95f * 0.96f, 1e-4f);
}

}  // namespace
}  // namespace vorb
