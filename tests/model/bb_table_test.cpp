#include "model/bb_table.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <tuple>

namespace vorb {
namespace {

// The bin bitmap must agree with the cells: a bin reads as used exactly when a cell of it was
// set, whatever its type and slot, at the corners of every index range too.
TEST(BBTable, ABinIsUsedOnceAnyOfItsCellsIsSetUntilCleared) {
  BBTable t;
  EXPECT_FALSE(t.any(0, 0, 0, 0, 0));
  t.set(25, 10, 10, 4, 10, 20, 10, 7);
  t.set(0, 0, 0, 0, 0, 1, 3, 9);
  t.set(3, 4, 5, 2, 6, 8, 1, 11);
  EXPECT_TRUE(t.any(25, 10, 10, 4, 10));
  EXPECT_TRUE(t.any(0, 0, 0, 0, 0));
  EXPECT_TRUE(t.any(3, 4, 5, 2, 6));
  int used = 0;
  for (int b1 = 0; b1 <= BBTable::kB1; ++b1)
    for (int b2 = 0; b2 <= BBTable::kB2; ++b2)
      for (int b3 = 0; b3 <= BBTable::kB3; ++b3)
        for (int b4 = 0; b4 <= BBTable::kB4; ++b4)
          for (int b5 = 0; b5 <= BBTable::kB5; ++b5) used += t.any(b1, b2, b3, b4, b5);
  EXPECT_EQ(used, 3);
  // Outside the ranges nothing is used; an out-of-range set stores nothing.
  t.set(26, 0, 0, 0, 0, 1, 1, 5);
  EXPECT_FALSE(t.any(26, 0, 0, 0, 0));
  EXPECT_FALSE(t.any(-1, 0, 0, 0, 0));
  EXPECT_FALSE(t.any(0, 0, 0, 5, 0));
  t.clear();
  EXPECT_FALSE(t.any(3, 4, 5, 2, 6));
  EXPECT_EQ(t(3, 4, 5, 2, 6, 8, 1), 0);
}

// The open-addressed map must read back every cell as a plain map holds it, through growth from
// empty and without reserve, with later sets replacing earlier ones and absent cells reading 0.
TEST(BBTable, ManyCellsReadBackAsSetWithReplacement) {
  using Cell = std::tuple<int, int, int, int, int, int, int>;
  std::map<Cell, int> want;
  BBTable t;
  std::uint32_t x = 7;
  auto next = [&](int n) {
    x = x * 1664525u + 1013904223u;
    return int((x >> 8) % std::uint32_t(n));
  };
  for (int k = 1; k <= 30000; ++k) {
    const Cell c{next(26), next(11), next(11), next(5), next(11), 1 + next(20), 1 + next(10)};
    t.set(std::get<0>(c), std::get<1>(c), std::get<2>(c), std::get<3>(c), std::get<4>(c),
          std::get<5>(c), std::get<6>(c), k);
    want[c] = k;
  }
  EXPECT_EQ(t.size(), want.size());
  for (const auto& [c, k] : want)
    ASSERT_EQ(t(std::get<0>(c), std::get<1>(c), std::get<2>(c), std::get<3>(c), std::get<4>(c),
                std::get<5>(c), std::get<6>(c)),
              k);
  int absent = 0;
  for (int k = 0; k < 30000; ++k) {
    const Cell c{next(26), next(11), next(11), next(5), next(11), 1 + next(20), 1 + next(10)};
    if (want.count(c) == 0)
      absent += t(std::get<0>(c), std::get<1>(c), std::get<2>(c), std::get<3>(c), std::get<4>(c),
                  std::get<5>(c), std::get<6>(c)) != 0;
  }
  EXPECT_EQ(absent, 0);
}

}  // namespace
}  // namespace vorb
