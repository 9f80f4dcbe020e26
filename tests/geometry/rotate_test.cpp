#include <gtest/gtest.h>

#include <cmath>

#include "geometry/place.hpp"
#include "geometry/rotate.hpp"

namespace vorb {
namespace {

constexpr float kPi = 3.14159265f;

TEST(RotateMatrix2, QuarterTurnAboutZFollowsTheRightHandRule) {
  float x = 1, y = 0, z = 0, u = 0, v = 0, w = 1;
  rotate_matrix2(x, y, z, 0, 0, 0, u, v, w, kPi / 2);
  EXPECT_NEAR(x, 0.0f, 1e-6f);
  EXPECT_NEAR(y, 1.0f, 1e-6f);
  EXPECT_NEAR(z, 0.0f, 1e-6f);

  // About an axis line off the origin: (3, 2, 5) about the line x = 2, y = 2 along z.
  x = 3, y = 2, z = 5, u = 0, v = 0, w = 4;
  rotate_matrix2(x, y, z, 2, 2, -1, u, v, w, kPi / 2);
  EXPECT_NEAR(x, 2.0f, 1e-5f);
  EXPECT_NEAR(y, 3.0f, 1e-5f);
  EXPECT_NEAR(z, 5.0f, 1e-5f);
}

TEST(RotateMatrix2, AxisIsNormalisedAndFullTurnReturns) {
  float x = 1.5f, y = -2.0f, z = 0.75f, u = 0, v = 0, w = 2;
  rotate_matrix2(x, y, z, 0.5f, 0.5f, 0.5f, u, v, w, 2 * kPi);
  EXPECT_EQ(u, 0.0f);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(w, 1.0f);
  EXPECT_NEAR(x, 1.5f, 1e-5f);
  EXPECT_NEAR(y, -2.0f, 1e-5f);
  EXPECT_NEAR(z, 0.75f, 1e-5f);

  // A general axis keeps the distance to the axis point and the projection on the axis.
  float px = 4, py = 1, pz = -2, a = 1, b = 2, c = 3, au = 1, av = 2, aw = -2;
  const float proj0 = ((px - a) * 1 + (py - b) * 2 + (pz - c) * -2) / 3.0f;
  rotate_matrix2(px, py, pz, a, b, c, au, av, aw, 1.1f);
  EXPECT_NEAR(au * au + av * av + aw * aw, 1.0f, 1e-6f);
  EXPECT_NEAR((px - a) * au + (py - b) * av + (pz - c) * aw, proj0, 1e-5f);
  EXPECT_NEAR(std::hypot(px - a, py - b, pz - c), std::hypot(3.0f, -1.0f, -5.0f), 1e-5f);
}

TEST(RotateMatrix2, ShortAxisAndPointOnAxisStayPut) {
  float x = 1, y = 2, z = 3, u = 0, v = 0, w = 0.05f;
  rotate_matrix2(x, y, z, 0, 0, 0, u, v, w, 1.0f);
  EXPECT_EQ(x, 1.0f);
  EXPECT_EQ(y, 2.0f);
  EXPECT_EQ(z, 3.0f);
  EXPECT_EQ(w, 0.05f);

  x = 1, y = 1, z = 7, u = 0, v = 0, w = 1;
  rotate_matrix2(x, y, z, 1, 1, 0, u, v, w, 0.7f);
  EXPECT_NEAR(x, 1.0f, 1e-6f);
  EXPECT_NEAR(y, 1.0f, 1e-6f);
  EXPECT_NEAR(z, 7.0f, 1e-6f);
}

TEST(Placement, RotationAndExtensionWithTheirWindows) {
  // Reference 1.5 A from the parent, turned a quarter about z, put down at 1.0 A.
  Vec3 axis{0, 0, 3}, x{-5, -5, -5};
  EXPECT_TRUE(place_by_rotation({2.5f, 0, 0}, {1, 0, 0}, axis, kPi / 2, 1.0f, 0.01f, 5.0f, x));
  EXPECT_EQ(axis.z, 1.0f);
  EXPECT_NEAR(x.x, 1.0f, 1e-6f);
  EXPECT_NEAR(x.y, 1.0f, 1e-6f);
  EXPECT_NEAR(x.z, 0.0f, 1e-6f);

  // Outside the window the target is left alone.
  Vec3 keep{9, 9, 9};
  Vec3 ax2{0, 0, 1};
  EXPECT_FALSE(place_by_rotation({7.0f, 0, 0}, {1, 0, 0}, ax2, 0.3f, 1.0f, 0.01f, 5.0f, keep));
  EXPECT_FALSE(place_by_rotation({1.0f, 0, 0}, {1, 0, 0}, ax2, 0.3f, 1.0f, 0.01f, 5.0f, keep));
  EXPECT_EQ(keep.x, 9.0f);

  Vec3 e{};
  EXPECT_TRUE(place_by_extension({1, 1, 1}, {0, 0, -4}, 1.5f, 0.001f, e));
  EXPECT_EQ(e.z, -0.5f);
  EXPECT_EQ(e.x, 1.0f);
  Vec3 f{3, 3, 3};
  EXPECT_FALSE(place_by_extension({1, 1, 1}, {0.0005f, 0, 0}, 1.5f, 0.001f, f));
  EXPECT_EQ(f.x, 3.0f);
}

}  // namespace
}  // namespace vorb
