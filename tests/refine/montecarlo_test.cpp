#include "refine/montecarlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "geometry/torsion.hpp"
#include "refine/chain_fixture.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::same;
using test::snapshot;

TEST(MoveKind, RotatesTwoRelaxationsFourCrankshaftsSixGlobalMovesShiftedByCycle) {
  EXPECT_EQ(move_kind(0, 0), 1);
  EXPECT_EQ(move_kind(2, 0), 2);
  EXPECT_EQ(move_kind(6, 0), 3);
  const int expect[12] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
  for (int n = 0; n < 24; ++n) EXPECT_EQ(move_kind(0, n), expect[n % 12]) << n;
  for (int n = 0; n < 12; ++n) EXPECT_EQ(move_kind(13, n), expect[(n + 1) % 12]) << n;
}

TEST(Metropolis, DecidesOutsideTheBandWithoutDrawing) {
  auto s = test::make_state();
  s->iseed = 17;
  EXPECT_TRUE(metropolis_accept(*s, 0.0f));
  EXPECT_TRUE(metropolis_accept(*s, -3.0f));
  EXPECT_FALSE(metropolis_accept(*s, 10.0f));
  EXPECT_FALSE(metropolis_accept(*s, 250.0f));
  EXPECT_EQ(s->iseed, 17) << "no draw outside 0 < dE < 10";
  // In the band the test draws once; a rise of 9.9 almost never passes, a tiny one almost always.
  int passed_small = 0, passed_large = 0;
  for (int k = 0; k < 200; ++k) {
    passed_small += metropolis_accept(*s, 1e-4f);
    passed_large += metropolis_accept(*s, 9.9f);
  }
  EXPECT_NE(s->iseed, 17);
  EXPECT_GT(passed_small, 190);
  EXPECT_LT(passed_large, 3);
}

// Energies handed to the step by the tests.
int g_calls = 0;
void constant_energy(ModelState& s) {
  ++g_calls;
  s.etot = -4.0f;
  s.nhb = 4;
  s.nhbmatch = 1;
  s.rmsd = 0.25f;
  for (int r = 1; r <= s.nres; ++r) s.dca2(r) = r % 2 == 0 ? 0.001f : 0.5f;
}
void rising_energy(ModelState& s) { s.etot = g_calls++ == 0 ? 0.0f : 10.0f; }

struct Step : ::testing::Test {
  std::unique_ptr<ModelState> sp = test::make_state();
  ModelState& s = *sp;
  void SetUp() override {
    g_calls = 0;
    test::build_chain(s, {"GAAGAAAGAAGAAAGAAGAA"});
    for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;
    for (int i = 1; i <= s.natom; ++i) {
      s.bkxx(i) = s.xx(i);
      s.bkyy(i) = s.yy(i);
      s.bkzz(i) = s.zz(i);
    }
    s.gstep = 0.7f;
    s.cacut = 3.65f;
    s.cabond = 4.05f;
    s.pushf = 1.0f;
    s.iseed = 21;
  }
};

TEST_F(Step, AnUnchangedEnergyIsAcceptedAtTheFirstProposal) {
  s.icycle = 0;  // a local relaxation comes first
  monte_carlo_step(s, constant_energy);
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(s.nmove(1, 2), 1);
  EXPECT_EQ(s.nmove(1, 3), 1);
  EXPECT_EQ(s.ecur, -4.0f);
  EXPECT_EQ(s.ebest, -4.0f);
  EXPECT_EQ(s.nhbbest, 4);
  EXPECT_EQ(s.nmatchbest, 1);
  EXPECT_EQ(s.rmsdbest, 0.25f);
  for (int i = 1; i <= s.natom; ++i) {
    EXPECT_EQ(s.bkxx(i), s.xx(i));
    EXPECT_EQ(s.bkzz(i), s.zz(i));
  }
  // Outside mode "4" the marks are left alone.
  for (int r = 1; r <= s.nres; ++r) EXPECT_EQ(s.resfix(r), 0);
}

TEST_F(Step, InModeFourAcceptanceMarksResiduesOnTheTemplate) {
  s.mode = Name4::from("4");
  s.itempl = 1;
  for (int r = 1; r <= s.nres; ++r) s.tmplres(r) = r == 4 ? 0 : 1;
  s.icycle = 0;
  monte_carlo_step(s, constant_energy);
  for (int r = 1; r <= s.nres; ++r) {
    EXPECT_EQ(s.dca2start(r), s.dca2(r));
    EXPECT_EQ(s.resfix(r), r % 2 == 0 && r != 4 ? 1 : 0) << r;
  }
}

TEST_F(Step, WhenEveryProposalIsRejectedTheModelIsThatOfTheStart) {
  s.icycle = 5;
  const auto start = snapshot(s);
  monte_carlo_step(s, rising_energy);
  const int scored = s.nmove(1, 2) + s.nmove(2, 2) + s.nmove(3, 2);
  EXPECT_GE(scored, 400);
  EXPECT_LE(scored, 500);
  EXPECT_EQ(g_calls, scored + 1);
  EXPECT_GT(s.nmove(1, 2), 0);
  EXPECT_GT(s.nmove(2, 2), 0);
  EXPECT_GT(s.nmove(3, 2), 0);
  EXPECT_EQ(s.nmove(1, 3) + s.nmove(2, 3) + s.nmove(3, 3), 0);
  EXPECT_EQ(s.ecur, 0.0f);
  for (int i = 1; i <= s.natom; ++i) {
    EXPECT_TRUE(same(pos(s, i), start[size_t(i)])) << "atom " << i;
    EXPECT_TRUE(same({s.bkxx(i), s.bkyy(i), s.bkzz(i)}, start[size_t(i)])) << "atom " << i;
  }
}

// ---- peptide-plane rotation ----------------------------------------------------------------

struct Planes : ::testing::Test {
  std::unique_ptr<ModelState> sp = test::make_state();
  ModelState& s = *sp;
  void build(const std::string& seq) { test::build_chain(s, {seq, -120.0f, 130.0f}); }
  void list(int donor_res, int acceptor_res) {
    s.npredhb += 1;
    s.reshbn(s.npredhb, 1) = s.ica(donor_res) - 1;
    s.reshbn(s.npredhb, 2) = s.ica(acceptor_res) + 2;
  }
  // Atoms that moved, as indices.
  std::vector<int> moved(const std::vector<Vec3>& before) const {
    std::vector<int> m;
    for (int i = 1; i <= s.natom; ++i)
      if (!same(before[size_t(i)], pos(s, i))) m.push_back(i);
    return m;
  }
};

TEST_F(Planes, TurnsBothPeptideUnitsTowardThePartner) {
  build("GAAAAAAAAA");
  const int ra = 8, rb = 3;
  list(ra, rb);
  const auto before = snapshot(s);
  hbrotate(s, 2);
  const std::vector<int> expect = {s.ica(rb) + 1, s.ica(rb) + 2, s.ica(rb + 1) - 1,
                                   amide_h(s, rb + 1), s.ica(ra - 1) + 1, s.ica(ra - 1) + 2,
                                   s.ica(ra) - 1, amide_h(s, ra)};
  std::vector<int> sorted = expect;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(moved(before), sorted);
  // Each plane now lies in the plane of its axis and the partner C-alpha.
  EXPECT_NEAR(torsion_angle(s, s.ica(ra) - 1, s.ica(ra), s.ica(ra - 1), s.ica(rb)), 0.0f, 2e-3f);
  EXPECT_NEAR(torsion_angle(s, s.ica(rb) + 1, s.ica(rb), s.ica(rb + 1), s.ica(ra)), 0.0f, 2e-3f);
  // Rigid turns: bond lengths to the C-alpha atoms stay.
  EXPECT_NEAR(dist(pos(s, s.ica(ra) - 1), pos(s, s.ica(ra))),
              dist(before[size_t(s.ica(ra) - 1)], before[size_t(s.ica(ra))]), 1e-4f);
}

TEST_F(Planes, SkipsFrozenUnitsAndDonorsInResidueOne) {
  build("GAAAAAAAAA");
  list(6, 2);
  s.resfix(5) = 2;  // the donor's unit (C=O of 5, N-H of 6) is frozen
  list(1, 9);       // donor in residue 1: only the acceptor side can turn
  s.resfix(2) = 2;  // ... and the acceptor unit of the first bond is frozen too
  const auto before = snapshot(s);
  hbrotate(s, 2);
  std::vector<int> expect = {s.ica(9) + 1, s.ica(9) + 2, s.ica(10) - 1, amide_h(s, 10)};
  std::sort(expect.begin(), expect.end());
  EXPECT_EQ(moved(before), expect);
}

TEST_F(Planes, ProlineDonorTurnsCarbonylAndNitrogenButNoHydrogen) {
  build("GAAAAPAAAA");
  list(6, 2);
  s.resfix(2) = 2;
  const auto before = snapshot(s);
  hbrotate(s, 2);
  std::vector<int> expect = {s.ica(5) + 1, s.ica(5) + 2, s.ica(6) - 1};
  EXPECT_EQ(moved(before), expect);
}

TEST_F(Planes, LastResidueAmideHydrogenFollowsTheTerminalOxygen) {
  build("GAAAA");
  EXPECT_EQ(s.atomty(amide_h(s, 5)), " H  ");
  EXPECT_EQ(s.atomty(amide_h(s, 5) - 1), " OXT");
  EXPECT_EQ(s.atomty(amide_h(s, 3)), " H  ");
}

}  // namespace
}  // namespace vorb
