#include "analysis/lattice.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "analysis/model_builder.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::ModelBuilder;

int head_at(const ModelState& s, Vec3 p) {
  return s.site(int(std::lroundf(0.5f * p.x)), int(std::lroundf(0.5f * p.y)),
                int(std::lroundf(0.5f * p.z)));
}

// Atoms visible in the cell of p: the head and its listed partners.
std::vector<int> cell_atoms(const ModelState& s, Vec3 p) {
  std::vector<int> v;
  const int j = head_at(s, p);
  if (j < 1 || j > s.natom) return v;
  v.push_back(j);
  for (int c = 1; c <= kSittCols && s.sitt(j, c) > 0; ++c) v.push_back(s.sitt(j, c));
  return v;
}

// The inline cell index must be lroundf of the halved coordinate to the bit: at and around every
// half-cell boundary over the lattice and beyond, and on arbitrary bit patterns (NaN, infinities,
// values far outside the lattice).
TEST(LatticeCell, IsTheRoundedHalfOfTheCoordinateAsLroundfGivesIt) {
  auto same = [](float v) {
    ASSERT_EQ(lattice_cell(v), int(std::lroundf(0.5f * v))) << std::hexfloat << v;
  };
  for (int k = -1500; k <= 1500; ++k) {
    for (float base : {float(k), float(k) + 0.5f}) {
      float lo = base, hi = base;
      for (int step = 0; step < 4; ++step) {
        same(lo);
        same(hi);
        lo = std::nextafter(lo, -1.0e30f);
        hi = std::nextafter(hi, 1.0e30f);
      }
    }
  }
  std::uint32_t bits = 12345u;
  for (int k = 0; k < 200000; ++k) {
    bits = bits * 1664525u + 1013904223u;
    same(std::bit_cast<float>(bits));
  }
  for (float v : {0.0f, -0.0f, 1.0e9f, 2.0e9f, -2.0e9f, 4.2e9f, 1.0e30f})
    same(v);
}

TEST(Imerge, SharedCellsListUpToElevenAtoms) {
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("ALA");
  const Vec3 p{40.2f, 40.3f, 40.1f};
  for (int k = 0; k < 12; ++k) b.atom(" CA ", p + Vec3{0.05f * float(k), 0.0f, 0.0f});
  b.atom(" CB ", {50.0f, 40.0f, 40.0f});
  imerge(*s, 2);
  const std::vector<int> seen = cell_atoms(*s, p);
  ASSERT_EQ(seen.size(), 11u);
  for (int k = 0; k < 11; ++k) EXPECT_EQ(seen[std::size_t(k)], k + 1);  // lowest index heads
  EXPECT_EQ(s->sitt(2, 1), 1);  // a non-head row lists its head
  EXPECT_EQ(s->sitt(2, 2), 0);
  EXPECT_EQ(s->sitt(12, 1), 1);  // the twelfth points at the head but nobody sees it
  EXPECT_EQ(head_at(*s, {50.0f, 40.0f, 40.0f}), 13);
  EXPECT_EQ(s->nocc, 2);
}

TEST(Imerge, OnlyAtomsInsideTheLatticeAreEntered) {
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("ALA");
  b.atom(" N  ", {0.9f, 30.0f, 30.0f});
  b.atom(" CA ", test::kAbsent);
  b.atom(" C  ", {30.0f, 30.0f, 661.0f});
  b.atom(" O  ", {1.0f, 660.0f, 30.0f});
  imerge(*s, 2);
  EXPECT_EQ(s->nocc, 1);
  EXPECT_EQ(head_at(*s, {1.0f, 660.0f, 30.0f}), 4);
  EXPECT_EQ(head_at(*s, {2.0f, 30.0f, 30.0f}), 0);
}

TEST(Imerge, RefillingLeavesNoStaleCells) {
  // Refilled after every move: the recorded rows are kept while nocc stays at 10 or below
  // and reset above it; in both cases the cells of the old positions end up empty.
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("ALA");
  for (int k = 0; k < 4; ++k) b.atom(" CA ", {20.0f + 5.0f * float(k), 20.0f, 20.0f});
  int expect_nocc[] = {4, 8, 12, 4};
  for (int round = 0; round < 4; ++round) {
    const Vec3 old = {s->xx(1), s->yy(1), s->zz(1)};
    if (round > 0)
      for (int i = 1; i <= s->natom; ++i) s->yy(i) += 7.0f;
    imerge(*s, 2);
    EXPECT_EQ(s->nocc, expect_nocc[round]) << round;
    if (round > 0) {
      EXPECT_EQ(head_at(*s, old), 0) << round;
    }
    EXPECT_EQ(head_at(*s, {s->xx(1), s->yy(1), s->zz(1)}), 1);
  }
  // Atoms that shared a cell and then part keep no links.
  s->xx(2) = s->xx(1) + 0.1f;
  s->yy(2) = s->yy(1);
  imerge(*s, 2);
  EXPECT_EQ(s->sitt(1, 1), 2);
  s->xx(2) += 20.0f;
  imerge(*s, 2);
  EXPECT_EQ(s->sitt(1, 1), 0);
  EXPECT_EQ(s->sitt(2, 1), 0);
}

TEST(Imerge, FlagsShiftAndFill) {
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("ALA");
  b.atom(" N  ", {-3.0f, 20.0f, 40.0f});
  b.atom(" CA ", {-1.5f, 21.0f, 41.0f});
  imerge(*s, 0);  // shift only
  EXPECT_FLOAT_EQ(s->xx(1), 15.0f);
  EXPECT_FLOAT_EQ(s->yy(1), 20.0f);  // already inside: not moved
  EXPECT_EQ(s->nocc, 0);
  EXPECT_EQ(head_at(*s, {15.0f, 20.0f, 40.0f}), 0);
  s->xx(1) = -3.0f;
  s->xx(2) = -1.5f;
  imerge(*s, 1);
  EXPECT_FLOAT_EQ(s->xx(2), 16.5f);
  EXPECT_EQ(head_at(*s, {15.0f, 20.0f, 40.0f}), 1);
  s->xx(1) = -3.0f;
  imerge(*s, 2);  // no shift: the atom below 1 A is left out
  EXPECT_FLOAT_EQ(s->xx(1), -3.0f);
  EXPECT_EQ(head_at(*s, {15.0f, 20.0f, 40.0f}), 0);
}

// A chain of C-alpha atoms along x with the given gaps.
std::unique_ptr<ModelState> ca_chain(std::initializer_list<float> gaps) {
  auto s = test::make_state();
  ModelBuilder b(*s);
  float x = 10.0f;
  b.residue("ALA");
  b.atom(" CA ", {x, 10.0f, 10.0f});
  for (float g : gaps) {
    x += g;
    b.residue("ALA");
    b.atom(" CA ", {x, 10.0f, 10.0f});
  }
  return s;
}

TEST(Calclash, ThresholdsAreExclusive) {
  // Offsets chosen so that the computed distances are exactly 3.6, 4.1, 3.75 and 3.9.
  for (const char* mode : {"5", "3"}) {
    const bool m5 = std::string(mode) == "5";
    const float cut = m5 ? 3.6f : 3.75f, brk = m5 ? 4.1f : 3.9f;
    auto s = test::make_state();
    ModelBuilder b(*s);
    b.residue("ALA");
    b.atom(" CA ", {0.0f, 10.0f, 10.0f});
    b.residue("ALA");
    b.atom(" CA ", {cut, 10.0f, 10.0f});  // exactly the clash distance
    b.residue("ALA");
    b.atom(" CA ", {cut + brk, 10.0f, 10.0f});
    s->mode = Name4::from(mode);
    ASSERT_EQ(s->xx(s->ica(3)) - s->xx(s->ica(2)), brk);
    calclash(*s);
    EXPECT_EQ(s->nclash, 0) << mode;
    EXPECT_EQ(s->nbreak, 0) << mode;
    EXPECT_EQ(s->eclash, 0.0f);
  }
}

TEST(Calclash, ModeFiveUsesItsOwnThresholds) {
  // Gaps 3.7 (clash only below 3.75) and 4.0 (break only above 3.9); the non-adjacent pair
  // 1-3 at 7.7 is neither.
  for (const char* mode : {"5", "2"}) {
    auto s = ca_chain({3.7f, 4.0f});
    s->mode = Name4::from(mode);
    calclash(*s);
    if (std::string(mode) == "5") {
      EXPECT_EQ(s->nclash, 0);
      EXPECT_EQ(s->nbreak, 0);
    } else {
      EXPECT_EQ(s->nclash, 1);
      EXPECT_EQ(s->nbreak, 1);
      const float d1 = s->xx(2) - s->xx(1), d2 = s->xx(3) - s->xx(2);
      EXPECT_FLOAT_EQ(s->eclash, (d1 - 3.75f) * (d1 - 3.75f) + 0.5f +
                                     (d2 - 3.9f) * (d2 - 3.9f) + 0.5f);
    }
  }
  // Non-adjacent pairs clash but never break.
  auto s = ca_chain({3.8f});
  ModelBuilder b(*s);
  b.residue("ALA");
  b.atom(" CA ", {11.5f, 13.0f, 10.0f});  // 3.78 from residue 2, 3.35 from residue 1
  s->mode = Name4::from("2");
  calclash(*s);
  EXPECT_EQ(s->nclash, 1);
  EXPECT_EQ(s->nbreak, 0);
}

}  // namespace
}  // namespace vorb
