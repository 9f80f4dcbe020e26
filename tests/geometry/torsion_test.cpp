#include <gtest/gtest.h>

#include <cmath>

#include "geometry/torsion.hpp"
#include "model/coords.hpp"

namespace vorb {
namespace {

constexpr float kPi = 3.14159265f;

TEST(Dihedral, SignConventionAndSpecialArrangements) {
  EXPECT_NEAR(dihedral({1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}), kPi / 2, 1e-6f);
  EXPECT_NEAR(dihedral({1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, -1, 1}), -kPi / 2, 1e-6f);
  EXPECT_NEAR(std::fabs(dihedral({1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {-1, 0, 1})), kPi, 1e-6f);
  EXPECT_NEAR(dihedral({1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}), 0.0f, 1e-6f);
}

TEST(Dihedral, ReversalKeepsAndMirrorFlipsTheSign) {
  const Vec3 p[4] = {{1.2f, 0.3f, -0.4f}, {0.1f, 0.2f, 0.0f}, {0.3f, -0.1f, 1.5f},
                     {-0.8f, 0.9f, 2.1f}};
  const float fwd = dihedral(p[0], p[1], p[2], p[3]);
  EXPECT_NEAR(dihedral(p[3], p[2], p[1], p[0]), fwd, 1e-6f);
  auto mirror = [](Vec3 v) { return Vec3{v.x, v.y, -v.z}; };
  EXPECT_NEAR(dihedral(mirror(p[0]), mirror(p[1]), mirror(p[2]), mirror(p[3])), -fwd, 1e-6f);
  EXPECT_GT(std::fabs(fwd), 0.1f);
}

TEST(Dihedral, DegenerateAndCollinearGiveZero) {
  EXPECT_EQ(dihedral({1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 1}), 0.0f);
  EXPECT_EQ(dihedral({0, 0, -1}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}), 0.0f);  // 0/0
  EXPECT_EQ(dihedral({1, 0, 0}, {0, 0, 0}, {0, 0, 2}, {0, 0, 4}), 0.0f);
}

TEST(TorsionAngle, ReadsTheModelAndMarksMissingAtoms) {
  auto s = std::make_unique<ModelState>();
  s->natom = 4;
  set_pos(*s, 1, {1, 0, 0});
  set_pos(*s, 2, {0, 0, 0});
  set_pos(*s, 3, {0, 0, 1});
  set_pos(*s, 4, {0, 1, 1});
  EXPECT_NEAR(torsion_angle(*s, 1, 2, 3, 4), kPi / 2, 1e-6f);
  EXPECT_NEAR(torsion_angle(*s, 4, 3, 2, 1), kPi / 2, 1e-6f);

  set_missing(*s, 3);
  EXPECT_EQ(torsion_angle(*s, 1, 2, 3, 4), 10.0f);
  // 990.0 itself counts as present; only x decides.
  set_pos(*s, 3, {990.0f, 0, 1});
  EXPECT_NE(torsion_angle(*s, 1, 2, 3, 4), 10.0f);
  set_pos(*s, 3, {0, 999.0f, 999.0f});
  EXPECT_NE(torsion_angle(*s, 1, 2, 3, 4), 10.0f);
}

}  // namespace
}  // namespace vorb
