#include "analysis/hbonds.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/lattice.hpp"
#include "analysis/model_builder.hpp"
#include "geometry/rotate.hpp"
#include "geometry/torsion.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::ModelBuilder;

// A donor N-H along +x and acceptors placed by the tests, each acceptor O bonded to a carbonyl
// carbon with three partners, so the planarity test does not apply.
struct Scene {
  std::unique_ptr<ModelState> s = test::make_state();
  ModelBuilder b{*s};
  int n = 0, h = 0;

  // Residue with a backbone donor at d, its hydrogen 1 A along +x (or along `along`).
  void donor(Vec3 d, const char* hname = " H  ", bool new_residue = true,
             Vec3 along = {1.0f, 0.0f, 0.0f}) {
    if (new_residue) b.residue("ALA");
    n = b.atom(" N  ", d);
    h = b.atom(hname, d + along, -1);
    b.bond(h, n, 1.0f);
  }
  // Residue holding acceptor `name` at o, with its carbon 1.23 A further along dir.
  int acceptor(Vec3 o, Vec3 dir, const char* name = " O  ", bool new_residue = true) {
    if (new_residue) b.residue("ALA");
    const Vec3 u = dir / norm(dir);
    const int c = b.atom(" C  ", o + 1.23f * u);
    const int a = b.atom(name, o, 1);
    b.bond(a, c, 1.23f);
    b.bond(c, b.atom(" CA ", o + 1.23f * u + Vec3{0.0f, 1.4f, 0.0f}), 1.52f);
    b.bond(c, b.atom(" N  ", o + 1.23f * u + Vec3{0.0f, -1.4f, 0.0f}), 1.33f);
    return a;
  }
  void spacer() { b.residue("GLY"); }
  void run(int flag) {
    b.finish();
    imerge(*s, 2);
    hbonds(*s, flag);
  }
};

const Vec3 kD{20.0f, 20.0f, 20.0f};
const Vec3 kX{1.0f, 0.0f, 0.0f};

TEST(Hbonds, BackboneSeparationOfOneIsNeverBondedTwoIs) {
  for (int sep : {0, 1, 2, 3}) {
    Scene sc;
    sc.donor(kD);
    for (int k = 1; k < sep; ++k) sc.spacer();
    int o = 0;
    if (sep == 0) {
      // Acceptor in the donor's own residue.
      const int c = sc.b.atom(" C  ", kD + Vec3{4.23f, 0.0f, 0.0f});
      o = sc.b.atom(" O  ", kD + Vec3{3.0f, 0.0f, 0.0f}, 1);
      sc.b.bond(o, c, 1.23f);
      sc.b.bond(c, sc.b.atom(" CA ", kD + Vec3{4.5f, 1.4f, 0.0f}), 1.5f);
      sc.b.bond(c, sc.b.atom(" OXT", kD + Vec3{4.5f, -1.4f, 0.0f}), 1.5f);
    } else {
      o = sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);
    }
    sc.run(1);
    EXPECT_EQ(sc.s->nhb, sep >= 2 ? 1 : 0) << "separation " << sep;
    if (sep >= 2) {
      EXPECT_EQ(sc.s->hbpair(1, 1), sc.n);
      EXPECT_EQ(sc.s->hbpair(1, 2), o);
      EXPECT_FLOAT_EQ(sc.s->htbon(1, 1), 2.0f);
    }
  }
}

TEST(Hbonds, SideChainAcceptorsOfNeighboursHaveNoSeparationRule) {
  Scene sc;
  sc.donor(kD);
  sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX, " OD1");
  sc.run(1);
  EXPECT_EQ(sc.s->nhb, 1);
}

TEST(Hbonds, DistanceBoundsAreInclusive) {
  // The hydrogen sits at x = 0.25 so that 0.25 + d is exact and |A - H| is d to the bit.
  const Vec3 d0{-0.75f, 20.0f, 20.0f};
  for (float dha : {1.65f, 2.6f}) {
    for (int step : {0, 1}) {
      float x = 0.25f + dha;
      if (step == 1) x = dha < 2.0f ? std::nextafter(x, 0.0f) : std::nextafter(x, 10.0f);
      Scene sc;
      sc.donor(d0);
      sc.spacer();
      sc.acceptor({x, 20.0f, 20.0f}, kX);
      sc.run(1);
      EXPECT_EQ(sc.s->nhb, step == 0 ? 1 : 0) << dha << " step " << step;
      if (step == 0) {
        EXPECT_EQ(sc.s->htbon(1, 1), dha);
      }
    }
  }
}

// The search visits only the cells that can hold an acceptor within 2.6 A of the hydrogen; an
// acceptor 2.59 A away along any axis is found wherever the hydrogen sits in its own cell,
// including on the half-cell boundaries where its cell index rounds away from zero.
TEST(Hbonds, AcceptorsNearTheLimitAreFoundFromAnyPlaceInTheHydrogensCell) {
  const Vec3 axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  for (const Vec3 axis : axes) {
    for (float sign : {1.0f, -1.0f}) {
      const Vec3 u = sign * axis;
      for (float f : {-1.0f, -0.99f, -0.6f, -0.41f, -0.2f, 0.0f, 0.2f, 0.41f, 0.6f, 0.99f, 1.0f}) {
        // The hydrogen at 2c + f along the axis (c = 20), at 30 along the others.
        const Vec3 hpos = Vec3{30.0f, 30.0f, 30.0f} + (10.0f + f) * axis;
        Scene sc;
        sc.donor(hpos - u, " H  ", true, u);
        sc.spacer();
        const int o = sc.acceptor(hpos + 2.59f * u, u);
        sc.run(1);
        ASSERT_EQ(sc.s->nhb, 1) << "axis " << axis.x << axis.y << axis.z << " sign " << sign
                                << " f " << f;
        EXPECT_EQ(sc.s->hbpair(1, 2), o);
      }
    }
  }
}

TEST(Hbonds, AnglesBelowNinetyAreRejected) {
  // D-H..A: the acceptor turned about H away from the D-H line by 90 +- 0.5 degrees.
  for (float deg : {89.5f, 90.5f}) {
    Scene sc;
    sc.donor(kD);
    sc.spacer();
    const float t = (180.0f - deg) * 0.0174532925f;
    const Vec3 dir{std::cos(t), std::sin(t), 0.0f};
    sc.acceptor(kD + kX + 1.8f * dir, dir);
    sc.run(1);
    EXPECT_EQ(sc.s->nhb, deg > 90.0f ? 1 : 0) << deg;
    if (deg > 90.0f) {
      EXPECT_NEAR(sc.s->htbon(1, 2), deg, 1e-3f);
    }
  }
  // H..A-AB: the carbon folded back toward the hydrogen.
  for (float deg : {89.5f, 90.5f}) {
    Scene sc;
    sc.donor(kD);
    sc.spacer();
    const float t = (180.0f - deg) * 0.0174532925f;
    sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, {std::cos(t), std::sin(t), 0.0f});
    sc.run(1);
    EXPECT_EQ(sc.s->nhb, deg > 90.0f ? 1 : 0) << deg;
  }
}

TEST(Hbonds, PlanarityAtALowValenceAcceptorPartner) {
  // A hydroxyl-like acceptor whose carbon has two partners: the hydrogen must lie within 20
  // degrees of the X-AB-A plane, on the X side. A third partner switches the test off.
  for (int partners : {2, 3}) {
    for (float deg : {15.0f, -15.0f, 25.0f}) {
      Scene sc;
      sc.donor(kD);
      sc.spacer();
      sc.b.residue("SER");
      const Vec3 a{23.0f, 20.0f, 20.0f}, ab{23.7f, 21.2f, 20.0f};
      const int cb = sc.b.atom(" CB ", ab);
      const int og = sc.b.atom(" OG ", a, 1);
      sc.b.bond(og, cb, 1.4f);
      // X cis to H (dihedral 0), then turned about AB-A by deg.
      Vec3 x = ab + 1.5f * ((kD + kX - a) / norm(kD + kX - a));
      Vec3 axis = a - ab;
      rotate_matrix2(x.x, x.y, x.z, ab.x, ab.y, ab.z, axis.x, axis.y, axis.z,
                     deg * 0.0174532925f);
      const int xa = sc.b.atom(" CA ", x);
      sc.b.bond(cb, xa, 1.5f);
      if (partners == 3) sc.b.bond(cb, sc.b.atom(" HB ", ab + Vec3{0.0f, 0.0f, 1.0f}), 1.0f);
      sc.run(1);
      const bool expect = partners == 3 || std::fabs(deg) <= 20.0f;
      EXPECT_EQ(sc.s->nhb, expect ? 1 : 0) << partners << " partners, " << deg;
      EXPECT_NEAR(std::fabs(torsion_angle(*sc.s, xa, cb, og, sc.h)) / 0.0174533f,
                  std::fabs(deg), 1e-2f);
    }
  }
}

TEST(Hbonds, EnergyFromTheThreeBinnedColumns) {
  Scene sc;
  for (int r = 1; r <= kMaxPot; ++r) {
    sc.s->hbpot(r, 1) = 0.01f * float(r % 50);
    sc.s->hbpot(r, 2) = 0.005f * float(r);
    sc.s->hbpot(r, 3) = 0.004f * float(r);
  }
  sc.donor(kD);
  sc.spacer();
  sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);
  sc.run(1);
  ASSERT_EQ(sc.s->nhb, 1);
  // dHA 2.0 falls in row 30; a straight angle computes as 179.9999 degrees, row 79.
  const float deg = sc.s->htbon(1, 2);
  EXPECT_NEAR(deg, 180.0f, 1e-3f);
  const int bin = int((deg - 20.0f) / 2.0f);
  const float e = 0.82f * std::log(1.0f - sc.s->hbpot(30, 1)) +
                  0.35f * std::log(1.0f - sc.s->hbpot(bin, 2)) +
                  0.82f * std::log(1.0f - sc.s->hbpot(bin, 3));
  EXPECT_FLOAT_EQ(sc.s->htbon(1, 4), e);
  EXPECT_FLOAT_EQ(sc.s->ehb, e);
  // Rows the table leaves at 0 add nothing.
  sc.s->hbpot(30, 1) = 0.0f;
  for (int r = 1; r <= kMaxPot; ++r) sc.s->hbpot(r, 2) = sc.s->hbpot(r, 3) = 0.0f;
  hbonds(*sc.s, 1);
  EXPECT_EQ(sc.s->htbon(1, 4), 0.0f);
}

// Two acceptors for one hydrogen: straight at 2.0 A (scanned first) and bent at 2.4 A.
struct TwoAcceptors : Scene {
  int near = 0, far = 0;
  TwoAcceptors(const char* far_name = " O  ") {
    donor(kD);
    spacer();
    near = acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);
    spacer();
    const float t = 25.0f * 0.0174532925f;
    const Vec3 dir{std::cos(t), std::sin(t), 0.0f};
    far = acceptor(kD + kX + 2.4f * dir, dir, far_name);
  }
};

TEST(Hbonds, LowestEnergyAcceptorWinsAndTiesKeepTheFirst) {
  {
    TwoAcceptors sc;
    sc.run(1);  // all-zero table: equal energies, the first in scan order stays
    ASSERT_EQ(sc.s->nhb, 1);
    EXPECT_EQ(sc.s->hbpair(1, 2), sc.near);
  }
  {
    TwoAcceptors sc;
    for (int r = 45; r <= 55; ++r) sc.s->hbpot(r, 1) = 0.9f;  // 2.4 A is far more probable
    sc.run(1);
    ASSERT_EQ(sc.s->nhb, 1);
    EXPECT_EQ(sc.s->hbpair(1, 2), sc.far);
    EXPECT_NEAR(sc.s->htbon(1, 1), 2.4f, 1e-5f);
  }
}

TEST(Hbonds, BackboneFlagLetsABetterSideChainAcceptorSuppressTheBond) {
  for (int flag : {1, 2}) {
    TwoAcceptors sc(" OD1");
    for (int r = 45; r <= 55; ++r) sc.s->hbpot(r, 1) = 0.9f;
    sc.run(flag);
    if (flag == 1) {
      ASSERT_EQ(sc.s->nhb, 1);
      EXPECT_EQ(sc.s->hbpair(1, 2), sc.far);
    } else {
      EXPECT_EQ(sc.s->nhb, 0);  // the next-best backbone O does not take its place
      EXPECT_EQ(sc.s->ehb, 0.0f);
    }
  }
}

TEST(Hbonds, BackboneFlagTakesOnlyAmideHydrogens) {
  Scene sc;
  sc.donor(kD, " HG ");
  sc.spacer();
  sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);
  sc.run(2);
  EXPECT_EQ(sc.s->nhb, 0);
  hbonds(*sc.s, 1);
  EXPECT_EQ(sc.s->nhb, 1);
}

TEST(Hbonds, DonorsWithoutAcceptorUseNoSlotAndMayShareAnAcceptor) {
  Scene sc;
  sc.donor({60.0f, 60.0f, 60.0f});  // nothing near
  const int lonely = sc.n;
  sc.donor(kD);
  const int n1 = sc.n;
  sc.spacer();
  const int o = sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);
  sc.spacer();
  // A second donor pointing at the same O from the other side of the carbonyl plane.
  sc.b.residue("ALA");
  const Vec3 d2 = kD + Vec3{3.0f, 0.0f, 0.0f} + Vec3{-1.5f, 2.598076f, 0.0f};
  const int n2 = sc.b.atom(" N  ", d2);
  const Vec3 toward = (kD + Vec3{3.0f, 0.0f, 0.0f} - d2) / norm(kD + Vec3{3.0f, 0.0f, 0.0f} - d2);
  const int h2 = sc.b.atom(" H  ", d2 + toward, -1);
  sc.b.bond(h2, n2, 1.0f);
  sc.run(1);
  ASSERT_EQ(sc.s->nhb, 2);
  EXPECT_EQ(sc.s->hbpair(1, 1), n1);
  EXPECT_EQ(sc.s->hbpair(2, 1), n2);
  EXPECT_EQ(sc.s->hbpair(1, 2), o);
  EXPECT_EQ(sc.s->hbpair(2, 2), o);
  EXPECT_NE(sc.s->hbpair(1, 1), lonely);
}

TEST(Hbonds, ListedBondsAreCountedAndFreezeTheirPeptideUnits) {
  Scene sc;
  sc.spacer();
  sc.spacer();
  sc.donor(kD);  // residue 3
  sc.spacer();
  const int o = sc.acceptor(kD + Vec3{3.0f, 0.0f, 0.0f}, kX);  // residue 5
  sc.b.finish();
  ModelState& s = *sc.s;
  s.npredhb = 2;
  s.reshbn(1, 1) = sc.n;
  s.reshbn(1, 2) = o;
  s.reshbn(2, 1) = sc.n;  // not formed: N of residue 3 to the C of residue 5
  s.reshbn(2, 2) = o - 1;
  for (int itempl : {0, 1}) {
    for (int r = 1; r <= 5; ++r) s.resfix(r) = 7;
    s.itempl = itempl;
    imerge(s, 2);
    hbonds(s, 2);
    EXPECT_EQ(s.nhb, 1);
    EXPECT_EQ(s.nhbmatch, 1);
    // The missing entry runs last: without a template it frees what the first froze.
    EXPECT_EQ(s.resfix(2), itempl == 1 ? 2 : 0);
    EXPECT_EQ(s.resfix(5), itempl == 1 ? 2 : 0);
    EXPECT_EQ(s.resfix(1), 7);
  }
  s.npredhb = 1;
  s.itempl = 0;
  hbonds(s, 2);
  EXPECT_EQ(s.resfix(2), 2);
  EXPECT_EQ(s.resfix(5), 2);
}

TEST(Hbonds, RecordingStopsAtTheTableSizeWithOneWarning) {
  // 3001 separate N-H..O=C pairs on a grid 10 A apart, in one residue.
  Scene sc;
  sc.b.residue("ALA");
  int made = 0;
  for (int gx = 0; gx < 60 && made <= kMaxHb; ++gx)
    for (int gy = 0; gy < 60 && made <= kMaxHb; ++gy, ++made) {
      const Vec3 d{5.0f + 10.0f * float(gx), 5.0f + 10.0f * float(gy), 20.0f};
      sc.donor(d, " H  ", false);
      sc.acceptor(d + Vec3{3.0f, 0.0f, 0.0f}, kX, " OD1", false);
    }
  ASSERT_EQ(made, kMaxHb + 1);
  testing::internal::CaptureStdout();
  sc.run(1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(sc.s->nhb, kMaxHb);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_NE(out.find("3000"), std::string::npos);
}

}  // namespace
}  // namespace vorb
