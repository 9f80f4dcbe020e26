#include "refine/energy.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.hpp"

namespace vorb {
namespace {

// Twelve residues of N, CA, C, O, H (atoms 5r-4 .. 5r). The C-alpha atoms form a straight
// chain 3.8 A apart (no clash, no break); the N-H of residues 3..12 each meet the C=O of the
// residue two before in a linear bond at a site of their own, 10 A from the next site.
std::unique_ptr<ModelState> ten_bond_model() {
  auto s = test::make_state();
  s->mode = Name4::from("3");
  const int nres = 12;
  s->nres = nres;
  s->natom = 5 * nres;
  s->nrange = 2;
  for (int i = 0; i <= kMaxAtoms; ++i) s->xx(i) = s->yy(i) = s->zz(i) = kMissing;
  const char* names[] = {" N  ", " CA ", " C  ", " O  ", " H  "};
  auto put = [&](int i, float x, float y, float z) {
    s->xx(i) = x, s->yy(i) = y, s->zz(i) = z;
  };
  auto site_z = [](int site) { return 20.0f + 10.0f * float(site); };
  for (int r = 1; r <= nres; ++r) {
    int n = 5 * r - 4, ca = n + 1, c = n + 2, o = n + 3, h = n + 4;
    s->ica(r) = ca;
    for (int k = 0; k < 5; ++k) {
      s->atomty(n + k) = Name4::from(names[k]);
      s->ress(n + k) = r;
    }
    put(ca, 10.0f + 3.8f * float(r), 20.0f, 20.0f);
    put(n, 100.0f, 100.0f, site_z(r));     // donor at site r
    put(o, 103.0f, 100.0f, site_z(r + 2)); // acceptor at site r + 2
    put(c, 104.23f, 100.0f, site_z(r + 2));
    s->atmhb(o) = 1;
    s->bonda(o, 1) = c;
    s->bonda(o, 5) = 1;
    s->bonda(c, 1) = ca, s->bonda(c, 2) = o, s->bonda(c, 3) = n + 5, s->bonda(c, 5) = 3;
    if (r >= 3) {
      put(h, 101.0f, 100.0f, site_z(r));
      s->atmhb(h) = -1;
      s->bonda(h, 1) = n;
      s->bonda(h, 5) = 1;
      s->bond(h, 2) = 1.0f;
    }
  }
  s->wclash = std::sqrt(1.0f / float(nres));
  s->wrest = 100.0f;
  return s;
}

TEST(EnergySum, WithoutRestraintsCountsBondsAndPenalties) {
  auto s = test::make_state();
  s->nhb = 10;
  energy_sum(*s);
  EXPECT_EQ(s->etot, -10.0f);

  s->eclash = 2.5f, s->wclash = 0.5f;
  s->nhbmatch = 3, s->whbm = 0.67f;
  s->rmsd = 0.25f, s->wrmsd = 70.0f;
  s->erest = 123.0f;
  s->edist = -5.0f;  // ignored without irest
  energy_sum(*s);
  float expect = (0.25f * 70.0f + 2.5f * 0.5f) - (3.0f * 0.67f + 10.0f);
  EXPECT_EQ(s->etot, expect);
  EXPECT_EQ(s->erest, 123.0f);  // left as it stood
}

TEST(EnergySum, RestraintsAreWeightedAndScaledByClashWeight) {
  auto s = test::make_state();
  s->irest = 1;
  s->nhb = 4, s->nhbmatch = 2, s->whbm = 1.0f;
  s->eclash = 1.5f, s->wclash = 0.1f;
  s->wrest = 100.0f, s->wdist = 3.6f, s->wdistl = 0.45f, s->wcomb = 2.7f;
  s->edist = -2.0f, s->edistl = -0.75f, s->ecomb = -1.3f;
  energy_sum(*s);
  float erest = 100.0f * (-0.75f * 0.45f + 2.7f * -1.3f + -2.0f * 3.6f);
  EXPECT_EQ(s->erest, erest);
  EXPECT_EQ(s->etot, (0.0f * 0.0f + erest * 0.1f + 1.5f * 0.1f) - (2.0f * 1.0f + 4.0f));
  EXPECT_LT(s->etot, 0.0f);
}

TEST(EnergyCal, TenBackboneBondsAndNothingElseScoreMinusTen) {
  auto s = ten_bond_model();
  s->rmsd = 5.0f;  // stale: no template, so it is reset
  energy_cal(*s);
  EXPECT_EQ(s->nhb, 10);
  EXPECT_EQ(s->nclash, 0);
  EXPECT_EQ(s->nbreak, 0);
  EXPECT_EQ(s->rmsd, 0.0f);
  EXPECT_EQ(s->etot, -10.0f);
}

TEST(EnergyCal, RefreshesEveryTermFromTheCoordinates) {
  auto s = ten_bond_model();
  // Three listed bonds formed, one not.
  s->npredhb = 4;
  for (int p = 1; p <= 3; ++p) {
    s->reshbn(p, 1) = 5 * (p + 2) - 4;
    s->reshbn(p, 2) = 5 * p - 1;
  }
  s->reshbn(4, 1) = 5 * 12 - 4;
  s->reshbn(4, 2) = 5 * 1 - 1;
  s->whbm = 0.67f;
  energy_cal(*s);
  EXPECT_EQ(s->nhbmatch, 3);
  EXPECT_EQ(s->etot, 0.0f - (3.0f * 0.67f + 10.0f));

  // Moving one acceptor away loses its bond (the lattice is refilled); a C-alpha pushed onto
  // its neighbour is a clash and leaves a break behind it.
  s->xx(5 * 5 - 1) = 300.0f;
  s->xx(s->ica(8)) = s->xx(s->ica(7)) + 1.0f;
  energy_cal(*s);
  EXPECT_EQ(s->nhb, 9);
  EXPECT_EQ(s->nclash, 1);
  EXPECT_EQ(s->nbreak, 1);
  EXPECT_GT(s->eclash, 0.0f);
  EXPECT_EQ(s->etot, s->eclash * s->wclash - (3.0f * 0.67f + 9.0f));

  // Template deviation and restraints.
  s->itempl = 1;
  s->wrmsd = 70.0f;
  for (int r = 1; r <= s->nres; ++r) {
    s->tmplres(r) = 1;
    s->bbkxx(r) = s->xx(s->ica(r));
    s->bbkyy(r) = s->yy(s->ica(r)) + 1.0f;
    s->bbkzz(r) = s->zz(s->ica(r));
  }
  s->irest = 1;
  s->ncomb = 1;
  s->combsca(1, 1) = 1, s->combsca(1, 2) = 2, s->pcombca(1) = 0.5f;
  s->wcomb = 2.7f, s->wdist = 3.6f, s->wdistl = 0.45f;
  energy_cal(*s);
  EXPECT_EQ(s->rmsd, 1.0f);
  EXPECT_EQ(s->ecomb, -0.5f);
  EXPECT_EQ(s->erest, 100.0f * (0.0f * 0.45f + 2.7f * -0.5f + 0.0f * 3.6f));
  EXPECT_EQ(s->etot, (1.0f * 70.0f + s->erest * s->wclash + s->eclash * s->wclash) -
                         (float(s->nhbmatch) * 0.67f + 9.0f));
}

}  // namespace
}  // namespace vorb
