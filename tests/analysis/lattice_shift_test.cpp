#include "analysis/lattice_shift.hpp"

#include <gtest/gtest.h>

#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

std::unique_ptr<ModelState> line_of_atoms(float x0, float step, int n) {
  auto s = test::make_state();
  s->natom = n;
  for (int i = 0; i <= kMaxAtoms; ++i) s->xx(i) = s->yy(i) = s->zz(i) = kMissing;
  for (int i = 1; i <= n; ++i) {
    s->xx(i) = x0 + step * float(i - 1);
    s->yy(i) = 20.0f;
    s->zz(i) = 50.0f + float(i);
  }
  return s;
}

TEST(LatticeShift, LowestAtomMovesToFifteen) {
  auto s = line_of_atoms(-3.0f, 1.0f, 12);
  s->xx(5) = kMissing;  // missing atoms stay missing and do not count
  lattice_frame_shift(*s);
  EXPECT_FLOAT_EQ(s->xx(1), 15.0f);   // every x increased by 18
  EXPECT_FLOAT_EQ(s->xx(12), 26.0f);
  EXPECT_FLOAT_EQ(s->xx(5), kMissing);
  EXPECT_FLOAT_EQ(s->yy(1), 20.0f);   // y and z already inside: unchanged
  EXPECT_FLOAT_EQ(s->zz(1), 51.0f);
}

TEST(LatticeShift, AModelThatWouldRunPastTheLatticeMoves) {
  auto s = line_of_atoms(100.0f, 10.0f, 20);  // x 100..290: span 95 cells, 165 < 95 + 100 + 1
  lattice_frame_shift(*s);
  EXPECT_FLOAT_EQ(s->xx(1), 15.0f);
  auto t = line_of_atoms(20.0f, 5.0f, 20);  // x 20..115: inside, unchanged
  lattice_frame_shift(*t);
  EXPECT_FLOAT_EQ(t->xx(1), 20.0f);
}

TEST(LatticeShift, TooLargeStopsWithTheRecord) {
  auto s = line_of_atoms(0.0f, 40.0f, 20);  // 760 A: span 380 cells
  testing::internal::CaptureStdout();
  try {
    lattice_frame_shift(*s);
    FAIL();
  } catch (const StopRun& stop) {
    EXPECT_EQ(stop.message, "one of the protein length exceed simulation lattice");
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "protein too lar  380    0    9 760.000   0.000  20.000  20.000  70.000  51.000\n");
}

TEST(LatticeShift, NothingPlacedNothingShifted) {
  auto s = line_of_atoms(-3.0f, 1.0f, 12);
  for (int i = 1; i <= 12; ++i) s->xx(i) = kMissing;
  lattice_frame_shift(*s);
  EXPECT_FLOAT_EQ(s->yy(1), 20.0f);
}

}  // namespace
}  // namespace vorb
