#include <gtest/gtest.h>

#include "geometry/gaussj.hpp"

namespace vorb {
namespace {

TEST(Gaussj, IdentityIsItsOwnInverse) {
  float a[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float b[3] = {3.5f, -2.0f, 7.0f};
  gaussj(a, b);
  const float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(a[k], id[k]) << k;
  EXPECT_EQ(b[0], 3.5f);
  EXPECT_EQ(b[1], -2.0f);
  EXPECT_EQ(b[2], 7.0f);
}

TEST(Gaussj, SolvesAndInvertsAColumnMajorSystem) {
  // A = [[2, 1, 0], [0, 3, 1], [4, 0, 5]] (rows), stored column by column.
  const float A[9] = {2, 0, 4, 1, 3, 0, 0, 1, 5};
  const float x[3] = {1.0f, -2.0f, 0.5f};
  float a[9], b[3];
  for (int k = 0; k < 9; ++k) a[k] = A[k];
  for (int r = 0; r < 3; ++r) b[r] = A[r] * x[0] + A[r + 3] * x[1] + A[r + 6] * x[2];
  gaussj(a, b);
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(b[r], x[r], 1e-5f);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      float sum = 0.0f;
      for (int k = 0; k < 3; ++k) sum += A[r + 3 * k] * a[k + 3 * c];
      EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 1e-5f) << r << c;
    }
}

TEST(Gaussj, PermutationNeedsRowSwapsAndUnscrambling) {
  // A permutation matrix is its own transpose-inverse; every pivot sits off the diagonal.
  float a[9] = {0, 0, 1, 1, 0, 0, 0, 1, 0};  // rows [[0,1,0],[0,0,1],[1,0,0]]
  float b[3] = {1, 2, 3};
  gaussj(a, b);
  const float inv[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(a[k], inv[k]) << k;
  EXPECT_EQ(b[0], 3.0f);
  EXPECT_EQ(b[1], 1.0f);
  EXPECT_EQ(b[2], 2.0f);
}

TEST(Gaussj, SingularMatrixGivesZeroSolution) {
  float a[9] = {1, 0, 4, 2, 0, 5, 3, 0, 6};  // second row is zero
  float b[3] = {1, 2, 3};
  gaussj(a, b);
  EXPECT_EQ(b[0], 0.0f);
  EXPECT_EQ(b[1], 0.0f);
  EXPECT_EQ(b[2], 0.0f);

  float z[9] = {};
  float c[3] = {4, 5, 6};
  gaussj(z, c);
  EXPECT_EQ(c[0], 0.0f);
  EXPECT_EQ(c[2], 0.0f);
}

}  // namespace
}  // namespace vorb
