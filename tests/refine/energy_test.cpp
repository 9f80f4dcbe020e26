#include "refine/energy.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace vorb {
namespace {

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

}  // namespace
}  // namespace vorb
