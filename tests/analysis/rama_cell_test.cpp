#include <gtest/gtest.h>

#include "analysis/torsions.hpp"

namespace vorb {
namespace {

TEST(RamaCell, PhiMajorTenDegreeCells) {
  EXPECT_EQ(rama_cell(-180.0f, -180.0f), 1);
  EXPECT_EQ(rama_cell(-63.0f, -41.0f), 421);   // phi -70..-60, psi -50..-40
  EXPECT_EQ(rama_cell(-60.0f, -40.0f), 37 * 12 + 14 + 1);  // a cell edge opens the next cell
  EXPECT_EQ(rama_cell(-60.001f, -40.001f), 37 * 11 + 13 + 1);
  EXPECT_EQ(rama_cell(179.9f, 179.9f), 37 * 35 + 35 + 1);
  EXPECT_EQ(rama_cell(180.0f, 180.0f), 1369);  // the +180 edge stays in the last cell
}

}  // namespace
}  // namespace vorb
