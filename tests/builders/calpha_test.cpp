#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "builders/calpha.hpp"
#include "model/coords.hpp"
#include "model/errors.hpp"

namespace vorb {
namespace {

// A chain of n residues (N, CA, C, O each) whose C-alpha atoms zig-zag along x: neighbours
// 3.84 A apart, i and i + 2 exactly 6.0 A apart. Other atoms stay missing.
std::unique_ptr<ModelState> zigzag(int n) {
  auto s = std::make_unique<ModelState>();
  s->pdbfile = "model.pdb";
  s->nres = n;
  s->natom = 4 * n;
  for (int i = 1; i <= s->natom; ++i) set_missing(*s, i);
  for (int r = 1; r <= n; ++r) {
    s->ica(r) = 4 * r - 2;
    s->ityp(r) = 2;
    s->sscode(r) = 1;
    set_pos(*s, s->ica(r), {3.0f * float(r), (r % 2) * 2.4f, 0.0f});
  }
  s->iseed = s->natom;
  return s;
}

Vec3 ca(const ModelState& s, int r) { return pos(s, s.ica(r)); }
void drop(ModelState& s, int r) { set_missing(s, s.ica(r)); }

std::string build(ModelState& s) {
  testing::internal::CaptureStdout();
  try {
    ca_build(s);
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  return testing::internal::GetCapturedStdout();
}

// Every C-alpha placed, neighbours at most break distance apart, no pair closer than 3.6 A
// unless adjacent.
void expect_sound_trace(const ModelState& s) {
  for (int r = 1; r <= s.nres; ++r) {
    ASSERT_LT(s.xx(s.ica(r)), 990.0f) << r;
    if (r > 1) {
      EXPECT_LE(dist(ca(s, r), ca(s, r - 1)), 4.2f) << r;
    }
  }
}

TEST(CaBuild, CompleteChainIsLeftAlone) {
  auto s = zigzag(8);
  EXPECT_EQ(build(*s), "");
  for (int r = 1; r <= 8; ++r) {
    EXPECT_EQ(s->xx(s->ica(r)), 3.0f * float(r));
    EXPECT_EQ(s->xx(s->ica(r) - 1), 999.0f);
  }
}

TEST(CaBuild, OneMissingResidueIsWalkedToItsNeighbour) {
  auto s = zigzag(6);
  drop(*s, 3);
  const Vec3 before4 = ca(*s, 4);
  EXPECT_EQ(build(*s), " CA build from 3 to 3 1\n");
  const Vec3 p = ca(*s, 3);
  EXPECT_NEAR(dist(p, ca(*s, 2)), 3.8f, 1e-5f);
  EXPECT_LE(dist(p, ca(*s, 4)), 3.67f);
  const float d1 = dist(p, ca(*s, 1));
  EXPECT_GE(d1, 4.2f);
  EXPECT_LE(d1, 7.8f);
  EXPECT_GE(dist(p, ca(*s, 5)), 3.6f);
  EXPECT_EQ(ca(*s, 4).x, before4.x);
  // Only the C-alpha is written.
  EXPECT_EQ(s->xx(s->ica(3) - 1), 999.0f);
  EXPECT_EQ(s->xx(s->ica(3) + 1), 999.0f);
}

TEST(CaBuild, SameSeedSameTraceAndTheSeedAdvances) {
  auto a = zigzag(9), b = zigzag(9);
  drop(*a, 5);
  drop(*b, 5);
  build(*a);
  build(*b);
  EXPECT_EQ(ca(*a, 5).x, ca(*b, 5).x);
  EXPECT_EQ(ca(*a, 5).y, ca(*b, 5).y);
  EXPECT_EQ(ca(*a, 5).z, ca(*b, 5).z);
  EXPECT_NE(a->iseed, 36);
}

TEST(CaBuild, GapsOneResidueApartBecomeOneRun) {
  auto s = zigzag(9);
  drop(*s, 4);
  drop(*s, 6);
  const Vec3 old5 = ca(*s, 5);
  EXPECT_EQ(build(*s), " CA build from 4 to 6 1\n");
  EXPECT_NE(ca(*s, 5).x, old5.x);  // the present residue inside is rebuilt
  expect_sound_trace(*s);
  EXPECT_LE(dist(ca(*s, 6), ca(*s, 7)), 3.67f + 0.4f * 2.0f / 3.0f);

  // Two present residues between gaps keep the runs apart.
  auto t = zigzag(10);
  drop(*t, 3);
  drop(*t, 6);
  EXPECT_EQ(build(*t), " CA build from 3 to 3 1\n CA build from 6 to 6 2\n");
}

TEST(CaBuild, CalphaAtABreakGoesWithTheResidueBeforeIt) {
  auto s = zigzag(9);
  set_pos(*s, s->ica(5), {15.0f, 2.4f, 4.4f});  // about 4.4 A from residues 4 and 6
  const Vec3 old6 = ca(*s, 6);
  EXPECT_EQ(build(*s), " CA build from 4 to 5 1\n");
  EXPECT_EQ(ca(*s, 6).z, old6.z);
  EXPECT_EQ(ca(*s, 6).x, old6.x);
  expect_sound_trace(*s);

  // At the chain start only the first C-alpha goes.
  auto t = zigzag(6);
  set_pos(*t, t->ica(1), {3.0f, 2.4f, -5.0f});
  EXPECT_EQ(build(*t), " CA build from 1 to 1 1\n");
  expect_sound_trace(*t);
}

TEST(CaBuild, RunsAtTheChainEndsGrowFromTheirAnchor) {
  auto s = zigzag(8);
  drop(*s, 1);
  drop(*s, 2);
  drop(*s, 7);
  drop(*s, 8);
  EXPECT_EQ(build(*s), " CA build from 1 to 2 1\n CA build from 7 to 8 2\n");
  expect_sound_trace(*s);
  EXPECT_NEAR(dist(ca(*s, 2), ca(*s, 3)), 3.8f, 1e-5f);
  EXPECT_NEAR(dist(ca(*s, 7), ca(*s, 6)), 3.8f, 1e-5f);
  for (int r : {1, 2, 7, 8})
    for (int t = 1; t <= 8; ++t)
      if (std::abs(t - r) >= 2) {
        EXPECT_GE(dist(ca(*s, r), ca(*s, t)), 3.6f) << r << " " << t;
      }
}

TEST(CaBuild, ShortRunsWiden) {
  // Residues 5.. moved 6 A further: 12 A across one missing residue, one residue short.
  auto shift = [](ModelState& s, float dx) {
    for (int r = 5; r <= s.nres; ++r) s.xx(s.ica(r)) += dx;
    drop(s, 4);
  };
  auto coil = zigzag(9);
  shift(*coil, 6.0f);
  EXPECT_EQ(build(*coil), " CA build from 3 to 4 1\n");  // coil grows at its start

  auto helix = zigzag(9);
  shift(*helix, 6.0f);
  helix->sscode(4) = 2;
  EXPECT_EQ(build(*helix), " CA build from 4 to 5 1\n");

  auto both = zigzag(9);  // 16 A: two residues short, one more on each side
  shift(*both, 10.0f);
  EXPECT_EQ(build(*both), " CA build from 3 to 5 1\n");

  // Too far apart for 3.5 A steps: the run lies on the straight line between its flanks.
  for (int r = 3; r <= 5; ++r) {
    const Vec3 p = ca(*both, r);
    EXPECT_NEAR(p.x, 6.0f + 5.5f * float(r - 2), 1e-4f) << r;
  }

  auto start = zigzag(9);  // near the chain start the run opens to residue 1
  for (int r = 3; r <= 9; ++r) start->xx(start->ica(r)) += 20.0f;
  drop(*start, 2);
  EXPECT_EQ(build(*start), " CA build from 1 to 2 1\n");
  expect_sound_trace(*start);
}

TEST(CaBuild, WidenedRunTakesInALaterGapItReaches) {
  // Residue 5 missing with its flanks 25 A apart widens to 3..7, whose far flank (8) is
  // missing too: the run must not aim at a missing atom.
  auto s = zigzag(12);
  for (int r = 6; r <= 12; ++r) s->xx(s->ica(r)) += 19.0f;
  drop(*s, 5);
  drop(*s, 8);
  EXPECT_EQ(build(*s), " CA build from 3 to 8 1\n");
  for (int r = 1; r <= 12; ++r) EXPECT_LT(s->xx(s->ica(r)), 100.0f) << r;
}

TEST(CaBuild, RunOpenedToTheChainStartTakesInTheGapItReaches) {
  // Residue 3 missing with its flanks 22 A apart widens two residues each way, to 1..5, so it
  // is grown from residue 6, which is missing too: the run takes in that gap and grows from 7.
  auto s = zigzag(12);
  for (int r = 4; r <= 12; ++r) s->xx(s->ica(r)) += 16.0f;
  drop(*s, 3);
  drop(*s, 6);
  const Vec3 old7 = ca(*s, 7);
  EXPECT_EQ(build(*s), " CA build from 1 to 6 1\n");
  expect_sound_trace(*s);
  EXPECT_NEAR(dist(ca(*s, 6), old7), 3.8f, 1e-5f);
  EXPECT_EQ(ca(*s, 7).x, old7.x);
}

TEST(CaBuild, RunWidenedOverTheWholeChainIsRejected) {
  auto expect_rejected = [](ModelState& s, const std::string& what) {
    const float x1 = s.xx(s.ica(1));
    testing::internal::CaptureStdout();
    try {
      ca_build(s);
      testing::internal::GetCapturedStdout();
      FAIL() << "expected an input error";
    } catch (const InputError& e) {
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no run was built first
      EXPECT_EQ(std::string(e.what()), "model.pdb: " + what);
    }
    EXPECT_EQ(s.xx(s.ica(1)), x1);
  };
  // The widened run reaches both ends at once: 1..5 of 5 residues.
  auto both = zigzag(5);
  for (int r = 4; r <= 5; ++r) both->xx(both->ica(r)) += 16.0f;
  drop(*both, 3);
  expect_rejected(*both,
                  "residues 3 to 3 lack a C-alpha atom and their neighbours are too far apart: "
                  "widened, the gap spans residues 1 to 5, the whole chain, and no C-alpha atom "
                  "is left to build from");

  // Widened to the chain start, it takes in the gap at the chain end.
  auto later = zigzag(8);
  for (int r = 4; r <= 8; ++r) later->xx(later->ica(r)) += 16.0f;
  for (int r : {3, 6, 7, 8}) drop(*later, r);
  expect_rejected(*later,
                  "residues 3 to 3 lack a C-alpha atom and their neighbours are too far apart: "
                  "widened, the gap spans residues 1 to 8, the whole chain, and no C-alpha atom "
                  "is left to build from");
}

TEST(CaBuild, ManyGapsAlongALongChain) {
  // Two missing residues in every five: 1200 missing residues, 600 runs.
  // Laid along y: presence is decided on x alone.
  auto s = zigzag(3000);
  for (int r = 1; r <= 3000; ++r) set_pos(*s, s->ica(r), {(r % 2) * 2.4f, 3.0f * float(r), 0.0f});
  for (int r = 3; r <= 3000; r += 5) {
    drop(*s, r);
    drop(*s, r + 1);
  }
  const std::string out = build(*s);
  int lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(lines, 600);
  EXPECT_NE(out.find(" CA build from 2998 to 2999 600\n"), std::string::npos);
  expect_sound_trace(*s);
}

TEST(CaBuild, NothingToAnchorIsRejected) {
  auto none = zigzag(5);
  for (int r = 1; r <= 5; ++r) drop(*none, r);
  try {
    build(*none);
    FAIL() << "expected an input error";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("model.pdb"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("every C-alpha atom is missing"), std::string::npos);
  }

  // One present residue between two missing ones at the ends: one run over the whole chain.
  auto span = zigzag(3);
  drop(*span, 1);
  drop(*span, 3);
  try {
    build(*span);
    FAIL() << "expected an input error";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()),
              "model.pdb: residues 1 to 3 all need a new C-alpha atom; no C-alpha atom is left "
              "to build from");
  }

  // Every C-alpha removed at breaks.
  auto apart = zigzag(3);
  apart->zz(apart->ica(2)) = 10.0f;
  EXPECT_THROW(build(*apart), InputError);
}

}  // namespace
}  // namespace vorb

namespace vorb {
namespace {

// Two C-alpha atoms 0.1 A apart: no point 3.8 A from one is 4.2..7.8 A from the other, so
// the residue beyond them can never be placed.
TEST(CaBuildHopeless, ChainEndRunsStopTheProgram) {
  auto end = zigzag(3);
  set_pos(*end, end->ica(1), {6.1f, 0.0f, 0.0f});
  drop(*end, 3);
  testing::internal::CaptureStdout();
  try {
    ca_build(*end);
    testing::internal::GetCapturedStdout();
    FAIL() << "expected a stop";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.message, "failed build region EXIST2!!!!");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " not build region 1 3 3\n");
  }

  auto start = zigzag(3);
  set_pos(*start, start->ica(3), {6.1f, 0.0f, 0.0f});
  drop(*start, 1);
  testing::internal::CaptureStdout();
  try {
    ca_build(*start);
    testing::internal::GetCapturedStdout();
    FAIL() << "expected a stop";
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.message, "failed build region EXIST!!!!");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " not build region 1 1 1\n");
  }
}

TEST(CaBuildHopeless, MiddleRunFallsBackToTheStraightLine) {
  auto s = zigzag(4);
  set_pos(*s, s->ica(1), {6.1f, 0.0f, 0.0f});
  drop(*s, 3);
  testing::internal::CaptureStdout();
  ca_build(*s);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " bad build region 1 3 3 0 3.5\n CA build from 3 to 3 1\n");
  const Vec3 p = ca(*s, 3), a = ca(*s, 2), b = ca(*s, 4);
  EXPECT_FLOAT_EQ(p.x, a.x + (b.x - a.x) / 2.0f);
  EXPECT_FLOAT_EQ(p.y, a.y + (b.y - a.y) / 2.0f);
}

}  // namespace
}  // namespace vorb
