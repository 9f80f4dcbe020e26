#include "refine/moves.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/lattice.hpp"
#include "builders/backbone.hpp"
#include "geometry/random.hpp"
#include "refine/chain_fixture.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::same;
using test::snapshot;

// Puts the generator into the first state, over freshly seeded streams, whose next draws
// satisfy want (called with a function that yields those draws).
void seek_stream(ModelState& s, const std::function<bool(const std::function<float()>&)>& want) {
  for (int seed = 1; seed < 200000; ++seed) {
    RandState st;
    int sd = -seed;
    rand(st, sd);
    RandState probe = st;
    int psd = sd;
    if (want([&] { return rand(probe, psd); })) {
      s.rng = st;
      s.iseed = sd;
      return;
    }
  }
  FAIL() << "no stream state found";
}

int trunc_mod(float u, int k, int m) { return int(u * float(k)) % m; }

// The run's stream at one moment, to count the draws a procedure takes from there.
struct StreamMark {
  RandState st;
  int seed;
  explicit StreamMark(const ModelState& s) : st(s.rng), seed(s.iseed) {}
  // Draws between the mark and the state's stream now; -1 when it is not reached within limit.
  int draws_to(const ModelState& s, int limit = 100000) const {
    RandState x = st;
    int sd = seed;
    for (int n = 0; n <= limit; ++n) {
      if (sd == s.iseed && x.iy == s.rng.iy && x.iseed2 == s.rng.iseed2 && x.iv == s.rng.iv)
        return n;
      rand(x, sd);
    }
    return -1;
  }
  void restore(ModelState& s) const {
    s.rng = st;
    s.iseed = seed;
  }
};

// First and last residue of the stretch of a global move, from its first two draws.
std::pair<int, int> stretch(float u1, float u2, int nres) {
  const float fn = float(nres);
  const int r1 = std::max(1, int(u1 * fn - 10.0f));
  const int r2 = std::min(nres, int(u2 * fn / 2.0f) + r1 + 10);
  return {r1, r2};
}

struct Chain : ::testing::Test {
  std::unique_ptr<ModelState> sp = test::make_state();
  ModelState& s = *sp;
  // scale > 1 stretches the chain about its first atom: the fixture's neighbouring C-alpha
  // atoms are 3.746 A apart, within the 3.75 A that calclash counts as a clash.
  void build(const std::string& seq, float scale = 1.0f) {
    test::build_chain(s, {seq});
    const Vec3 o = pos(s, 1);
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, o + scale * (pos(s, i) - o));
    s.gstep = 0.7f;
    s.cacut = 3.65f;
    s.cabond = 4.05f;
    s.pushf = 1.0f;
    for (int i = 1; i <= s.natom; ++i) {
      s.bkxx(i) = s.xx0(i) = s.xx(i);
      s.bkyy(i) = s.yy0(i) = s.yy(i);
      s.bkzz(i) = s.zz0(i) = s.zz(i);
    }
  }
  bool is_backbone(int i) const {
    return s.atomty(i) == " N  " || s.atomty(i) == " CA " || s.atomty(i) == " C  ";
  }
};

TEST(DrawInt, TruncatesTheScaledDrawThenTakesTheRemainder) {
  auto s = test::make_state();
  s->iseed = 7;
  RandState st = s->rng;
  int sd = s->iseed;
  const float u = rand(st, sd);
  EXPECT_EQ(draw_int(*s, 7621, 10), int(u * 7621.0f) % 10);
  EXPECT_EQ(s->iseed, sd);
}

TEST_F(Chain, LocalRelaxationMovesOnlyInteriorWindowsAndKeepsBondsNearIdeal) {
  build("GAAGAAAGAAGA");
  s.iseed = 11;
  int succeeded = 0;
  for (int call = 0; call < 40; ++call) {
    const auto before = snapshot(s);
    relax_lmprot(s);
    for (int i = 1; i <= s.natom; ++i) {
      if (same(before[i], pos(s, i))) continue;
      // A failed relaxation rebuilds O and H (and the N of residue 1) on what it moved.
      if (!is_backbone(i) || i == 1) {
        EXPECT_EQ(s.lmfail, 1) << "atom " << i << " " << s.atomty(i).str();
        continue;
      }
      EXPECT_GT(s.ress(i), 1) << "a window never starts at residue 1";
      EXPECT_LT(s.ress(i), s.nres);
    }
    if (s.lmfail == 0) {
      ++succeeded;
      // Each re-placed CA ends within 3 % (squared) of the ideal N-CA bond, which it meets last,
      // and within 3 % of the ideal CA-CA distance or no further from it than before.
      for (int r = 2; r < s.nres; ++r) {
        const int ca = s.ica(r);
        if (same(before[size_t(ca)], pos(s, ca))) continue;
        const float nca = norm2(pos(s, ca) - pos(s, ca - 1));
        EXPECT_GE(nca, 0.97f * 2.0449f);
        EXPECT_LE(nca, 1.03f * 2.0449f);
        const float prev = norm2(pos(s, ca) - pos(s, s.ica(r - 1)));
        const float ref = norm2(before[size_t(ca)] - before[size_t(s.ica(r - 1))]);
        EXPECT_GE(prev, std::min(0.97f * 14.5161f, ref));
        EXPECT_LE(prev, std::max(1.03f * 14.5161f, ref));
      }
    }
    // Accept or undo, as the Monte Carlo step would.
    for (int i = 1; i <= s.natom; ++i) {
      if (s.lmfail == 0) {
        s.bkxx(i) = s.xx0(i) = s.xx(i);
        s.bkyy(i) = s.yy0(i) = s.yy(i);
        s.bkzz(i) = s.zz0(i) = s.zz(i);
      } else {
        set_pos(s, i, {s.bkxx(i), s.bkyy(i), s.bkzz(i)});
      }
    }
  }
  EXPECT_GT(succeeded, 10);
  EXPECT_EQ(s.nmove(1, 1), 40);
}

TEST_F(Chain, RelaxationOfAnIdealChainSucceeds) {
  build("GAAGAAAG");
  s.iseed = 5;
  relax_lmprot(s);
  EXPECT_EQ(s.lmfail, 0);
  EXPECT_EQ(s.nmove(1, 1), 1);
}

TEST_F(Chain, CrankshaftWithEmptySegmentRebuildsOnlyOxygenAndHydrogen) {
  build("GAAGAAAG");
  add_ho(s);
  auto ref = test::make_state();
  test::build_chain(*ref, {"GAAGAAAG"});
  add_ho(*ref);
  // Spoil every O and H so that the rebuild is visible.
  for (int i = 1; i <= s.natom; ++i)
    if ((s.atomty(i) == " O  " || s.atomty(i) == " H  ") && s.ress(i) > 1) s.xx(i) += 0.5f;
  seek_stream(s, [&](const std::function<float()>& u) {
    const int r0 = trunc_mod(u(), 7621, s.nres) + 1;
    u();
    const int dir = trunc_mod(u(), 62483, 2);
    const float ang = (2.0f * u() - 1.0f) * 3.1415925f;
    return r0 == 1 && dir == 0 && std::fabs(ang) > 0.1f;
  });
  const auto before = snapshot(s);
  cacarot(s);
  EXPECT_EQ(s.nmove(2, 1), 1);
  for (int i = 1; i <= s.natom; ++i) {
    if (is_backbone(i)) {
      EXPECT_TRUE(same(before[i], pos(s, i))) << "atom " << i;
    } else if (s.atomty(i) == " O  " || s.atomty(i) == " H  ") {
      EXPECT_TRUE(same(pos(*ref, i), pos(s, i))) << "atom " << i << " not rebuilt";
    }
  }
}

TEST_F(Chain, OneStepCrankshaftTurnsExactlyTheCarbonylCarbonAndTheNextNitrogen) {
  build("GAAGAAAGAA");
  add_ho(s);
  int a = 0;
  seek_stream(s, [&](const std::function<float()>& u) {
    const int r0 = trunc_mod(u(), 7621, s.nres) + 1;
    const int len = trunc_mod(u(), 9533, 5) + 1;
    const int dir = trunc_mod(u(), 62483, 2);
    const float ang = (2.0f * u() - 1.0f) * 3.1415925f;
    a = r0;
    return dir == 1 && len == 1 && r0 >= 2 && r0 + 1 < s.nres && std::fabs(ang) > 0.3f;
  });
  const int b = a + 1;
  const auto before = snapshot(s);
  cacarot(s);
  const int ca = s.ica(a), cb = s.ica(b);
  for (int i = 1; i <= s.natom; ++i) {
    if (!is_backbone(i)) continue;
    const bool turned = i == ca + 1 || i == cb - 1;
    EXPECT_EQ(!same(before[i], pos(s, i)), turned) << "atom " << i;
  }
  // A rotation about the CA(a)-CA(b) axis keeps the distances to both ends.
  for (int i : {ca + 1, cb - 1})
    for (int end : {ca, cb})
      EXPECT_NEAR(dist(pos(s, i), pos(s, end)), dist(before[i], before[end]), 1e-3f);
}

TEST_F(Chain, ClashRepairLeavesAdjacentProlinesAtTwoPointNineAlone) {
  build("PPA");
  // CA(1)-CA(2) 2.9 apart, CA(3) 3.8 from CA(2) and far from CA(1).
  set_pos(s, s.ica(1), {100.0f, 100.0f, 100.0f});
  set_pos(s, s.ica(2), {102.9f, 100.0f, 100.0f});
  set_pos(s, s.ica(3), {106.7f, 100.0f, 100.0f});
  const auto before = snapshot(s);
  float step = 0.5f;
  int nviol = -1;
  move_clash(s, step, nviol);
  EXPECT_EQ(nviol, 0);
  for (int i = 1; i <= s.natom; ++i) EXPECT_TRUE(same(before[i], pos(s, i)));

  // The same distance between a proline and an alanine is a clash: both are pushed apart.
  s.ityp(2) = kAla;
  move_clash(s, step, nviol);
  EXPECT_EQ(nviol, 1);
  EXPECT_EQ(s.nviolres(1), 1);
  EXPECT_EQ(s.nviolres(3), 0);
  EXPECT_GT(dist(pos(s, s.ica(1)), pos(s, s.ica(2))), 2.9f);
  EXPECT_TRUE(same(before[size_t(s.ica(3))], pos(s, s.ica(3))));
}

TEST_F(Chain, ClashRepairDrawsStretchedNeighboursTogether) {
  build("AAA");
  set_pos(s, s.ica(1), {100.0f, 100.0f, 100.0f});
  set_pos(s, s.ica(2), {104.5f, 100.0f, 100.0f});
  set_pos(s, s.ica(3), {108.3f, 100.0f, 100.0f});
  float step = 0.5f;
  int nviol = 0;
  move_clash(s, step, nviol);
  EXPECT_EQ(nviol, 1);
  EXPECT_LT(dist(pos(s, s.ica(1)), pos(s, s.ica(2))), 4.5f);
}

TEST_F(Chain, ClashRepairFindsNonAdjacentPairsJustInsideTheCutoff) {
  build("AAAA");
  set_pos(s, s.ica(1), {100.0f, 100.0f, 100.0f});
  set_pos(s, s.ica(2), {101.8f, 103.4f, 100.0f});
  set_pos(s, s.ica(3), {103.64f, 100.0f, 100.0f});  // 3.64 from CA(1) along x alone
  set_pos(s, s.ica(4), {105.6f, 103.3f, 100.0f});
  float step = 0.5f;
  int nviol = 0;
  move_clash(s, step, nviol);
  EXPECT_EQ(nviol, 1);
  EXPECT_EQ(s.nviolres(1), 1);
  EXPECT_EQ(s.nviolres(3), 1);
  EXPECT_EQ(s.nviolres(2), 0);
}

TEST_F(Chain, FrozenResiduesMoveAtHalfStepInClashRepair) {
  build("AAAA");
  set_pos(s, s.ica(1), {100.0f, 100.0f, 100.0f});
  set_pos(s, s.ica(2), {103.0f, 100.4f, 100.2f});
  set_pos(s, s.ica(3), {106.8f, 100.0f, 100.0f});
  set_pos(s, s.ica(4), {110.6f, 100.0f, 100.0f});
  const auto start = snapshot(s);
  auto run = [&](int mark) {
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    s.resfix(2) = mark;
    s.iseed = 99;
    s.rng = RandState{};
    float step = 0.4f;
    int nviol = 0;
    move_clash(s, step, nviol);
    return pos(s, s.ica(2)) - start[size_t(s.ica(2))];
  };
  const Vec3 full = run(0), half = run(2);
  ASSERT_GT(norm(full), 0.01f);
  // Up to the rounding of coordinates near 100.
  EXPECT_NEAR(half.x, full.x * 0.5f, 2e-5f);
  EXPECT_NEAR(half.y, full.y * 0.5f, 2e-5f);
  EXPECT_NEAR(half.z, full.z * 0.5f, 2e-5f);
}

TEST_F(Chain, GlobalMoveFollowsTheFieldOrRandomDisplacementsByCycle) {
  build("GAAGAAAGAAGAAAGAAGAA");
  for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;  // coil everywhere: no window terms
  const auto start = snapshot(s);
  // With an empty field a field-driven cycle moves no C-alpha; a random cycle does.
  auto ca_moved = [&](int icycle) {
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    s.icycle = icycle;
    s.iseed = 3;
    s.rng = RandState{};
    glo_move(s, 0);
    int moved = 0;
    for (int r = 1; r <= s.nres; ++r) moved += !same(start[size_t(s.ica(r))], pos(s, s.ica(r)));
    return moved;
  };
  EXPECT_EQ(ca_moved(50), 0);
  EXPECT_GT(ca_moved(30), 0);
  EXPECT_EQ(s.nmove(3, 1), 2);
}

TEST_F(Chain, GlobalFieldPullsUnformedListedBondsAndSkipsResiduesTheTemplateLacks) {
  build("GAAGAAAGAAGAAAGAAGAA");
  for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;
  // A listed bond between residues 3 and 15, far beyond its class-0 target of 5.5.
  s.npredhb = 1;
  s.reshbn(1, 1) = s.ica(15) - 1;
  s.reshbn(1, 2) = s.ica(3) + 2;
  s.reshbn(1, 3) = 0;
  s.nhb = 0;
  // Template: every residue 1 A off along x, residue 7 missing from the template file.
  s.itempl = 1;
  s.rmsd = 1.0f;
  for (int r = 1; r <= s.nres; ++r) {
    s.tmplres(r) = r == 7 ? 0 : 1;
    s.bbkxx(r) = r == 7 ? 0.0f : s.xx(s.ica(r)) + 1.0f;
    s.bbkyy(r) = r == 7 ? 0.0f : s.yy(s.ica(r));
    s.bbkzz(r) = r == 7 ? 0.0f : s.zz(s.ica(r));
  }
  const auto start = snapshot(s);
  s.icycle = 0;
  s.iseed = 3;
  glo_move(s, 0);
  EXPECT_EQ(s.bvv(7, 1), 0.0f);
  EXPECT_EQ(s.bvv(7, 2), 0.0f);
  EXPECT_EQ(s.bvv(7, 3), 0.0f);
  EXPECT_NEAR(s.bvv(1, 1), 1.0f, 1e-4f);
  // The pull on residue 15 points toward residue 3 (on top of the template's +x).
  const Vec3 v = start[size_t(s.ica(3))] - start[size_t(s.ica(15))];
  const Vec3 f15{s.bvv(15, 1) - 1.0f, s.bvv(15, 2), s.bvv(15, 3)};
  EXPECT_GT(dot(f15, v), 0.1f * norm(v));
  // A bond already formed adds nothing.
  for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
  s.nhb = 1;
  s.hbpair(1, 1) = s.reshbn(1, 1);
  s.hbpair(1, 2) = s.reshbn(1, 2);
  glo_move(s, 0);
  EXPECT_NEAR(s.bvv(15, 1), 1.0f, 1e-4f);
  EXPECT_NEAR(s.bvv(15, 2), 0.0f, 1e-4f);
}


// ---- the order of the random draws -----------------------------------------------------------

TEST_F(Chain, CrankshaftDrawsFourNumbersWhateverItTurns) {
  build("GAAGAAAGAA");
  add_ho(s);
  const auto start = snapshot(s);
  for (int seed = 1; seed <= 40; ++seed) {
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    s.iseed = seed;
    s.rng = RandState{};
    const StreamMark mark(s);
    cacarot(s);
    EXPECT_EQ(mark.draws_to(s), 4) << "seed " << seed;
  }
}

TEST_F(Chain, CrankshaftBetweenCoincidentEndsWarnsAndTurnsNothing) {
  build("GAAGAAAGAA");
  add_ho(s);
  int r0 = 0;
  seek_stream(s, [&](const std::function<float()>& u) {
    r0 = trunc_mod(u(), 7621, s.nres) + 1;
    const int len = trunc_mod(u(), 9533, 5) + 1;
    const int dir = trunc_mod(u(), 62483, 2);
    const float ang = (2.0f * u() - 1.0f) * 3.1415925f;
    return dir == 1 && len == 2 && r0 >= 2 && r0 + 2 <= s.nres && std::fabs(ang) > 0.1f;
  });
  const int a = r0, b = r0 + 2;
  // CA(b) 0.006 A from CA(a) summed over the axes: no axis to turn about.
  set_pos(s, s.ica(b), pos(s, s.ica(a)) + Vec3{0.002f, -0.002f, 0.002f});
  const auto before = snapshot(s);
  const StreamMark mark(s);
  ::testing::internal::CaptureStdout();
  cacarot(s);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string name = "GAAGAAAGAA"[size_t(a - 1)] == 'G' ? "GLY" : "ALA";
  EXPECT_EQ(out, " warning,cacarot no direction defined " + std::to_string(r0) + " " + name +
                     " 1 2 " + std::to_string(a) + " " + std::to_string(b) + " " + name + "\n");
  EXPECT_EQ(mark.draws_to(s), 4);
  for (int i = 1; i <= s.natom; ++i) {
    if (is_backbone(i)) {
      EXPECT_TRUE(same(before[i], pos(s, i))) << "atom " << i;
    }
  }
}

// A failed attempt ends at the 251st trial, whose three offsets are drawn before the count is
// tested: three attempts of 251 trials of 3 draws, after the window's length and start.
TEST_F(Chain, FailedRelaxationDrawsThreeNumbersPerTrialIncludingTheOneOverTheLimit) {
  build("GAAGAAAGAA");
  // The reference (xx0) is ideal; the current and accepted models are the chain stretched
  // threefold, so no trial of the window's first N lies near both its neighbours.
  const Vec3 o = pos(s, 1);
  for (int i = 1; i <= s.natom; ++i) {
    const Vec3 p = o + 3.0f * (pos(s, i) - o);
    set_pos(s, i, p);
    s.bkxx(i) = p.x;
    s.bkyy(i) = p.y;
    s.bkzz(i) = p.z;
  }
  for (int seed : {3, 8, 21}) {
    s.iseed = seed;
    s.rng = RandState{};
    const StreamMark mark(s);
    relax_lmprot(s);
    EXPECT_EQ(s.lmfail, 1);
    EXPECT_EQ(mark.draws_to(s), 2 + 3 * 251 * 3) << "seed " << seed;
  }
}

TEST_F(Chain, GlobalMoveDrawsTwoForItsStretchAndThreePerResidueInIt) {
  build("GAAGAAAGAAGAAAGAAGAAGAAGAAAGAAGAAAGAAGAA", 1.02f);
  for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;  // coil: an empty field
  s.gstep = 0.1f;  // random displacements of at most 0.03 A: no clash to repair
  const auto start = snapshot(s);
  // This fixture has no fragment library: bbadd(1) then draws a random fragment per residue.
  s.iseed = 1;
  StreamMark bb(s);
  bbadd(s, 1);
  const int rebuild = bb.draws_to(s);
  ASSERT_GT(rebuild, 0);
  for (int icycle : {30, 50}) {
    for (int seed = 1; seed <= 12; ++seed) {
      for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
      s.icycle = icycle;
      s.iseed = seed;
      s.rng = RandState{};
      const StreamMark mark(s);
      RandState st = s.rng;
      int sd = s.iseed;
      const float u1 = rand(st, sd), u2 = rand(st, sd);
      const auto [r1, r2] = stretch(u1, u2, s.nres);
      glo_move(s, 0);
      ASSERT_EQ(s.nclash, 0);
      ASSERT_EQ(s.nbreak, 0);
      EXPECT_EQ(mark.draws_to(s), 2 + 3 * (r2 - r1 + 1) + rebuild)
          << "cycle " << icycle << " seed " << seed << " stretch " << r1 << ".." << r2;
    }
  }
}

// ---- the clash repair of the global move ----------------------------------------------------

// Push scale of repair round k, starting from gstep g.
float repair_step(int k, float g) {
  const float fk = float(k);
  if (k <= 6) return (g - 0.006f * fk) * 0.9f;
  if (k <= 12) return (g - 0.006f * fk + 0.165f) * (g - 0.006f * fk + 0.165f);
  const float b = g - 0.002f * fk;
  return b * b * b;
}

TEST(ClashRepairStep, FallsWithTheRoundInThreeStages) {
  EXPECT_NEAR(repair_step(1, 0.7f), 0.6246f, 1e-6f);
  EXPECT_NEAR(repair_step(6, 0.7f), 0.5976f, 1e-6f);
  EXPECT_NEAR(repair_step(7, 0.7f), 0.823f * 0.823f, 1e-6f);
  EXPECT_NEAR(repair_step(12, 0.7f), 0.793f * 0.793f, 1e-6f);
  EXPECT_NEAR(repair_step(13, 0.7f), 0.674f * 0.674f * 0.674f, 1e-6f);
  EXPECT_NEAR(repair_step(16, 0.5f), 0.468f * 0.468f * 0.468f, 1e-6f);
}

// C-alpha atoms of residues lo..hi squeezed toward that of residue 20 clash. In a field-driven
// cycle with an empty field the stretch moves nothing, so the C-alpha trace after the global
// move is that of the repair alone: replayed here round by round with move_clash, it must agree
// bit for bit, with min(16, icycle / 4 + 1) rounds at most, stopping at 9 violations or fewer.
struct Repair : Chain {
  std::vector<Vec3> start;
  void squeeze(float f, int lo, int hi) {
    build("GAAGAAAGAAGAAAGAAGAAGAAGAAAGAAGAAAGAAGAA", 1.02f);
    for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;
    const Vec3 mid = pos(s, s.ica(20));
    for (int r = lo; r <= hi; ++r) set_pos(s, s.ica(r), mid + f * (pos(s, s.ica(r)) - mid));
    start = snapshot(s);
  }
  // Rounds of the replay and the violations of its last round.
  std::pair<int, int> compare(int icycle, float gstep) {
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    s.icycle = icycle;
    s.gstep = gstep;
    s.iseed = 5;
    s.rng = RandState{};
    const StreamMark mark(s);
    glo_move(s, 0);
    std::vector<Vec3> moved(size_t(s.nres) + 1);
    for (int r = 1; r <= s.nres; ++r) moved[size_t(r)] = pos(s, s.ica(r));

    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    mark.restore(s);
    const float u1 = rand(s), u2 = rand(s);
    const auto [r1, r2] = stretch(u1, u2, s.nres);
    for (int k = 0; k < 3 * (r2 - r1 + 1); ++k) rand(s);
    calclash(s);
    EXPECT_TRUE(s.nclash > 5 || s.nbreak > 1);
    const int n = std::min(16, icycle / 4 + 1);
    int rounds = 0, nviol = 0;
    for (int k = 1; k <= n; ++k) {
      float step = repair_step(k, gstep);
      move_clash(s, step, nviol);
      rounds = k;
      if (nviol <= 9) break;
    }
    for (int r = 1; r <= s.nres; ++r)
      EXPECT_TRUE(same(moved[size_t(r)], pos(s, s.ica(r)))) << "cycle " << icycle << " CA " << r;
    return {rounds, nviol};
  }
};

TEST_F(Repair, RunsUpToItsRoundLimitWhileTheViolationsStayAboveNine) {
  squeeze(0.5f, 1, 40);
  for (auto [icycle, gstep, limit] :
       {std::tuple{0, 0.7f, 1}, std::tuple{9, 0.68f, 3}, std::tuple{50, 0.6f, 13},
        std::tuple{77, 0.54f, 16}}) {
    const auto [rounds, nviol] = compare(icycle, gstep);
    EXPECT_EQ(rounds, limit) << "cycle " << icycle;
    EXPECT_GT(nviol, 9) << "cycle " << icycle;
  }
}

TEST_F(Repair, StopsAtTheFirstRoundWithNineViolationsOrFewer) {
  squeeze(0.8f, 15, 25);
  const auto [rounds, nviol] = compare(77, 0.54f);
  EXPECT_EQ(nviol, 9);
  EXPECT_GT(rounds, 6);
  EXPECT_LT(rounds, 16);
}

TEST_F(Chain, FrozenAndMarkedResiduesMoveAtHalfAndPushfStepInTheGlobalMove) {
  build("GAAGAAAGAAGAAAGAAGAA", 1.02f);
  for (int r = 1; r <= s.nres; ++r) s.sscode(r) = 1;
  // Only residue 10 feels a field: a template 0.06 A away from it and on every other C-alpha.
  // Residue 10 lies in every stretch of a 20-residue chain.
  s.itempl = 1;
  s.rmsd = 1.0f;
  for (int r = 1; r <= s.nres; ++r) {
    const Vec3 c = pos(s, s.ica(r));
    s.tmplres(r) = 1;
    s.bbkxx(r) = c.x + (r == 10 ? 0.05f : 0.0f);
    s.bbkyy(r) = c.y + (r == 10 ? -0.03f : 0.0f);
    s.bbkzz(r) = c.z + (r == 10 ? 0.02f : 0.0f);
  }
  s.pushf = 0.25f;
  const auto start = snapshot(s);
  auto run = [&](int mark) {
    for (int i = 1; i <= s.natom; ++i) set_pos(s, i, start[size_t(i)]);
    s.resfix.fill(0);
    s.resfix(10) = mark;
    s.icycle = 0;
    s.iseed = 9;
    s.rng = RandState{};
    glo_move(s, 0);
    EXPECT_EQ(s.nclash, 0);
    return pos(s, s.ica(10)) - start[size_t(s.ica(10))];
  };
  const Vec3 full = run(0), half = run(2), pushed = run(1);
  ASSERT_GT(norm(full), 0.005f);
  // Up to the rounding of coordinates near 100.
  for (auto [got, f] : {std::pair{half, 0.5f}, std::pair{pushed, 0.25f}}) {
    EXPECT_NEAR(got.x, full.x * f, 2e-5f);
    EXPECT_NEAR(got.y, full.y * f, 2e-5f);
    EXPECT_NEAR(got.z, full.z * f, 2e-5f);
  }
}

}  // namespace
}  // namespace vorb
