#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "geometry/random.hpp"
#include "geometry/sort.hpp"

namespace vorb {
namespace {

TEST(Sort, AscendingInPlace) {
  std::vector<float> v{3.0f, -1.0f, 2.5f, 2.5f, 0.0f, 10.0f, -7.25f};
  sort(v);
  EXPECT_EQ(v, (std::vector<float>{-7.25f, -1.0f, 0.0f, 2.5f, 2.5f, 3.0f, 10.0f}));

  std::vector<float> same(9, 4.0f), up{1, 2, 3, 4, 5};
  sort(same);
  sort(up);
  EXPECT_EQ(same, std::vector<float>(9, 4.0f));
  EXPECT_EQ(up, (std::vector<float>{1, 2, 3, 4, 5}));

  std::vector<float> one{5.0f}, none;
  sort(one);
  sort(none);
  EXPECT_EQ(one, std::vector<float>{5.0f});
}

TEST(Sort, MatchesStandardSortOnRandomLists) {
  RandState st;
  int seed = -9;
  for (int n = 2; n < 60; ++n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(float(int(rand(st, seed) * 8.0f)));
    std::vector<float> ref = v;
    std::sort(ref.begin(), ref.end());
    sort(v);
    ASSERT_EQ(v, ref) << n;
  }
}

TEST(SortIndex, EqualKeysFollowTheHeap) {
  const std::vector<float> two{5.0f, 5.0f};
  EXPECT_EQ(sortindex(two), (std::vector<int>{2, 1}));
  // Traced by hand through the heap passes; a stable sort would give 1 2 3 and 2 1 3 4.
  const std::vector<float> three{1.0f, 1.0f, 1.0f};
  EXPECT_EQ(sortindex(three), (std::vector<int>{2, 3, 1}));
  const std::vector<float> mixed{2.0f, 1.0f, 2.0f, 3.0f};
  EXPECT_EQ(sortindex(mixed), (std::vector<int>{2, 3, 1, 4}));
  EXPECT_EQ(sortindex(std::vector<float>{7.0f}), (std::vector<int>{1}));
  EXPECT_TRUE(sortindex(std::vector<float>{}).empty());
}

TEST(SortIndex, IsAPermutationThatSortsAndLeavesKeys) {
  RandState st;
  int seed = -3;
  for (int n = 2; n < 60; ++n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(float(int(rand(st, seed) * 5.0f)));
    const std::vector<float> before = v;
    const std::vector<int> p = sortindex(v);
    ASSERT_EQ(v, before);
    std::vector<int> seen = p;
    std::sort(seen.begin(), seen.end());
    for (int i = 0; i < n; ++i) ASSERT_EQ(seen[i], i + 1);
    for (int i = 1; i < n; ++i) ASSERT_LE(v[p[i - 1] - 1], v[p[i] - 1]);
    // The same heap moves keys and indices alike.
    std::vector<float> sorted = v;
    sort(sorted);
    for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[i], v[p[i] - 1]);
  }
}

}  // namespace
}  // namespace vorb
