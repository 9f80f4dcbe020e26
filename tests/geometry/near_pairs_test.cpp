#include "geometry/near_pairs.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

namespace vorb {
namespace {

using Pair = std::tuple<int, int, float, float, float>;

// Every pair the scan without runs takes: neighbours, and others within reach on each axis.
std::vector<Pair> all_near(const std::vector<Vec3>& p, int n, float reach) {
  std::vector<Pair> out;
  for (int i = 1; i < n; ++i)
    for (int j = i + 1; j <= n; ++j) {
      const Vec3 v = p[std::size_t(i)] - p[std::size_t(j)];
      if (j != i + 1 &&
          (std::fabs(v.x) > reach || std::fabs(v.y) > reach || std::fabs(v.z) > reach))
        continue;
      out.emplace_back(i, j, v.x, v.y, v.z);
    }
  return out;
}

std::vector<Pair> by_runs(const std::vector<Vec3>& p, int n, float reach) {
  std::vector<Pair> out;
  near_pairs(p, n, reach, [&](int i, int j, Vec3 v) { out.emplace_back(i, j, v.x, v.y, v.z); });
  return out;
}

// A random walk of 3.8 A steps, folded back on itself now and then so that distant parts of the
// chain come close; n points, 1-based.
std::vector<Vec3> walk(int n, unsigned seed) {
  std::vector<Vec3> p(std::size_t(n) + 1);
  Vec3 at{50.0f, 50.0f, 50.0f}, dir{1.0f, 0.0f, 0.0f};
  auto u = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1u << 24) * 2.0f - 1.0f;
  };
  for (int i = 1; i <= n; ++i) {
    const Vec3 turn{u(), u(), u()};
    dir = dir + 0.9f * turn;
    if (i % 23 == 0) dir = -1.0f * dir;
    dir = dir / norm(dir);
    at = at + 3.8f * dir;
    p[std::size_t(i)] = at;
  }
  return p;
}

TEST(NearPairs, GivesTheSamePairsInTheSameOrderAsTheFullScan) {
  for (int n : {0, 1, 2, 3, 7, 8, 9, 16, 17, 40, 141, 333}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      const std::vector<Vec3> p = walk(n, seed);
      for (float reach : {3.651f, 3.751f, 6.0f}) {
        EXPECT_EQ(by_runs(p, n, reach), all_near(p, n, reach))
            << n << " points, seed " << seed << ", reach " << reach;
      }
    }
  }
}

TEST(NearPairs, PointsThatAreNotNumbersKeepTheirPairs) {
  std::vector<Vec3> p = walk(60, 7);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  p[20] = {nan, nan, nan};
  p[45].z = std::numeric_limits<float>::infinity();
  const auto got = by_runs(p, 60, 3.751f), want = all_near(p, 60, 3.751f);
  ASSERT_EQ(got.size(), want.size());
  // NaN differs from itself, so the pairs are compared by their indices.
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_EQ(std::get<0>(got[k]), std::get<0>(want[k]));
    EXPECT_EQ(std::get<1>(got[k]), std::get<1>(want[k]));
  }
  int with_nan = 0;
  for (const Pair& q : got) with_nan += std::get<0>(q) == 20 || std::get<1>(q) == 20;
  EXPECT_EQ(with_nan, 59) << "no axis sets the NaN point apart from any other";
}

}  // namespace
}  // namespace vorb
