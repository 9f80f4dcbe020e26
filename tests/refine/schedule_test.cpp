#include "refine/schedule.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "model/errors.hpp"
#include "refine/chain_fixture.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

TEST(Schedule, RebuildRoundsGrowWithTheCycle) {
  for (int c = 0; c <= 59; ++c) EXPECT_EQ(nsub_for_cycle(c, false), 5) << c;
  EXPECT_EQ(nsub_for_cycle(60, false), 6);
  EXPECT_EQ(nsub_for_cycle(69, false), 6);
  EXPECT_EQ(nsub_for_cycle(135, false), 13);
  EXPECT_EQ(nsub_for_cycle(179, false), 17);
  EXPECT_EQ(nsub_for_cycle(250, false), 20);
  EXPECT_EQ(nsub_for_cycle(0, true), 180);
}

TEST(Schedule, ChainsShorterThanThreeResiduesAreRejected) {
  auto s = test::make_state();
  test::build_chain(*s, {"GA"});
  s->pdbfile = "two.pdb";
  s->mode = Name4::from("3");
  try {
    refinement_schedule(*s);
    FAIL() << "no error";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("two.pdb"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("at least 3 residues"), std::string::npos);
  }
}

// The template is the model's trace turned by 90 degrees about z and shifted; residue 5 is not
// in the template file and keeps the zero coordinates the reader leaves.
struct Superpose : ::testing::Test {
  std::unique_ptr<ModelState> sp = test::make_state();
  ModelState& s = *sp;
  void SetUp() override {
    test::build_chain(s, {"GAAGAAAGAA"});
    s.itempl = 1;
    for (int r = 1; r <= s.nres; ++r) {
      const Vec3 c = pos(s, s.ica(r));
      s.tmplres(r) = r == 5 ? 0 : 1;
      s.bbkxx(r) = r == 5 ? 0.0f : -c.y + 4.0f;
      s.bbkyy(r) = r == 5 ? 0.0f : c.x - 7.0f;
      s.bbkzz(r) = r == 5 ? 0.0f : c.z + 2.5f;
    }
  }
};

TEST_F(Superpose, LaysTheTemplateOnTheModelIgnoringResiduesItLacks) {
  const float bound = superpose_template(s);
  EXPECT_LT(bound, 1e-3f);
  for (int r = 1; r <= s.nres; ++r) {
    if (r == 5) continue;
    const Vec3 c = pos(s, s.ica(r));
    EXPECT_NEAR(s.bbkxx(r), c.x, 1e-3f) << r;
    EXPECT_NEAR(s.bbkyy(r), c.y, 1e-3f) << r;
    EXPECT_NEAR(s.bbkzz(r), c.z, 1e-3f) << r;
  }
}

TEST_F(Superpose, BoundIsTheDeviationOverTheTemplateResidues) {
  // Move one template residue 2 A off: residual 4 (after refitting, a little less) over 9.
  s.bbkzz(3) += 2.0f;
  const float bound = superpose_template(s);
  EXPECT_GT(bound, 0.5f);
  EXPECT_LT(bound, 1.1f * std::sqrt(4.0f / 9.0f) + 1e-4f);
}

}  // namespace
}  // namespace vorb
