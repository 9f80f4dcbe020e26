#include "restraints/rest_energy.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace vorb {
namespace {

// Residue r has its C-alpha at atom r, on the x axis at the given positions.
std::unique_ptr<ModelState> trace(std::initializer_list<float> xs) {
  auto s = test::make_state();
  int r = 0;
  for (float x : xs) {
    ++r;
    s->ica(r) = r;
    s->xx(r) = x;
    s->yy(r) = 0.0f;
    s->zz(r) = 0.0f;
  }
  s->nres = r;
  s->natom = r;
  return s;
}

TEST(RestZephal, EmptyTablesScoreZero) {
  auto s = trace({0.0f, 5.0f});
  s->ecomb = s->edist = s->edistl = 7.0f;
  rest_zephal(*s);
  EXPECT_EQ(s->ecomb, 0.0f);
  EXPECT_EQ(s->edist, 0.0f);
  EXPECT_EQ(s->edistl, 0.0f);
}

TEST(RestZephal, ContactCountsUpToSixAngstrom) {
  auto s = trace({0.0f, 6.0f, 6.0001f});
  s->ncomb = 3;
  s->combsca(1, 1) = 1, s->combsca(1, 2) = 2, s->pcombca(1) = 0.5f;  // 6.0: counts
  s->combsca(2, 1) = 1, s->combsca(2, 2) = 3, s->pcombca(2) = 0.25f; // 6.0001: does not
  s->combsca(3, 1) = 2, s->combsca(3, 2) = 1, s->pcombca(3) = 0.5f;  // same pair again
  rest_zephal(*s);
  EXPECT_EQ(s->ecomb, -1.0f);
  EXPECT_EQ(s->edist, 0.0f);
  EXPECT_EQ(s->edistl, 0.0f);
}

TEST(RestZephal, DistanceCountsStrictlyInsideTolerance) {
  auto s = trace({0.0f, 7.5f, 9.0f, 8.0f});
  s->ndist = 4;
  s->rsd(1, 1) = 1, s->rsd(1, 2) = 2, s->drsd(1, 1) = 8.0f, s->drsd(1, 2) = 1.0f;  // 0.5 off
  s->rsd(2, 1) = 1, s->rsd(2, 2) = 3, s->drsd(2, 1) = 8.0f, s->drsd(2, 2) = 1.0f;  // 1.0 off
  s->rsd(3, 1) = 1, s->rsd(3, 2) = 4, s->drsd(3, 1) = 8.0f, s->drsd(3, 2) = 0.0f;  // exact, tol 0
  s->rsd(4, 1) = 2, s->rsd(4, 2) = 1, s->drsd(4, 1) = 8.0f, s->drsd(4, 2) = 1.0f;  // repeat of 1
  rest_zephal(*s);
  EXPECT_EQ(s->edist, -2.0f);
}

TEST(RestZephal, LongRangeFallsOffAsInverseDeviation) {
  auto s = trace({0.0f, 10.0f});
  s->ndistl = 1;
  s->rsdl(1, 1) = 1, s->rsdl(1, 2) = 2;
  struct Case {
    float target, expected;
  };
  for (Case c : {Case{10.0f, -1.0f}, Case{10.9f, -1.0f}, Case{9.1f, -1.0f}, Case{12.0f, -0.5f},
                 Case{8.0f, -0.5f}, Case{14.0f, -0.25f}, Case{6.0f, -0.25f}}) {
    s->drsdl(1) = c.target;
    rest_zephal(*s);
    EXPECT_EQ(s->edistl, c.expected) << "target " << c.target;
  }
  s->ndistl = 2;
  s->rsdl(2, 1) = 2, s->rsdl(2, 2) = 1, s->drsdl(2) = 12.0f;
  s->drsdl(1) = 14.0f;
  rest_zephal(*s);
  EXPECT_EQ(s->edistl, -0.75f);
}

TEST(RestZephal, DistanceUsesAllThreeAxes) {
  auto s = trace({1.0f, 4.0f});
  s->yy(2) = 4.0f;  // (3, 4, 0) apart: 5 A
  s->zz(2) = 0.0f;
  s->ncomb = 1;
  s->combsca(1, 1) = 1, s->combsca(1, 2) = 2, s->pcombca(1) = 0.75f;
  s->ndist = 1;
  s->rsd(1, 1) = 1, s->rsd(1, 2) = 2, s->drsd(1, 1) = 5.0f, s->drsd(1, 2) = 0.5f;
  rest_zephal(*s);
  EXPECT_EQ(s->ecomb, -0.75f);
  EXPECT_EQ(s->edist, -1.0f);
  s->zz(2) = 3.0f;  // now sqrt(34) = 5.83: still a contact, outside the tolerance
  rest_zephal(*s);
  EXPECT_EQ(s->ecomb, -0.75f);
  EXPECT_EQ(s->edist, 0.0f);
}

}  // namespace
}  // namespace vorb
