#include "trace_regularize.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "export.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::run_tools;
using test::TempDir;

std::map<int, ModelAtom> calpha_by_number(const std::string& path) {
  std::map<int, ModelAtom> out;
  for (const ModelAtom& a : read_model(path))
    if (a.name4 == " CA ") out[a.resnum] = a;
  return out;
}

// The noisy gapped trace keeps its numbers and gaps; its steps become 3.8 A, none across a gap.
TEST(RegularizeCommand, NoisyGappedTraceInItsOwnNumbering) {
  TempDir d;
  const std::string in = test::data_path("coarse/1lds_a_noisy_gapped.pdb");
  test::RunResult r = run_tools(d.path(), "regularize '" + in + "' -o reg.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("-> 0; other pairs closer than 4.0 A: "), std::string::npos) << r.out;
  std::map<int, ModelAtom> before = calpha_by_number(in), after = calpha_by_number(d.file("reg.pdb"));
  ASSERT_EQ(after.size(), 92u);
  EXPECT_EQ(after.count(24), 0u);
  EXPECT_EQ(after.count(73), 0u);
  double worst_move = 0;
  for (const auto& [num, a] : after) {
    const ModelAtom& b = before.at(num);
    worst_move = std::max(worst_move, std::hypot(a.x - b.x, a.y - b.y, a.z - b.z));
    if (!after.count(num + 1)) continue;
    const ModelAtom& n = after.at(num + 1);
    EXPECT_NEAR(std::hypot(a.x - n.x, a.y - n.y, a.z - n.z), 3.8, 0.01) << num;
  }
  EXPECT_LT(worst_move, 2.0);
  const ModelAtom &g1 = after.at(23), &g2 = after.at(26);
  EXPECT_GT(std::hypot(g1.x - g2.x, g1.y - g2.y, g1.z - g2.z), 6.0);

  r = run_tools(d.path(), "regularize '" + in + "' -o reg.cif");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(test::read_file(d.file("reg.cif")).find("_atom_site"), std::string::npos);
}

TEST(RegularizeCommand, OnlyTracesAreRegularized) {
  Prepared p = prepare_structure(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb", {});
  ASSERT_FALSE(is_trace(p));
  EXPECT_EQ(regularize_prepared(p, RegularizeWhen::automatic), "");
  EXPECT_THROW(regularize_prepared(p, RegularizeWhen::on), InputError);
  EXPECT_THROW(parse_regularize("yes"), InputError);
  PrepOptions ca;
  ca.ca_only = true;
  Prepared t = prepare_structure(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb", ca);
  ASSERT_TRUE(is_trace(t));
  EXPECT_EQ(regularize_prepared(t, RegularizeWhen::automatic), "");  // a native trace is regular
  EXPECT_EQ(regularize_prepared(t, RegularizeWhen::off), "");
  EXPECT_NE(regularize_prepared(t, RegularizeWhen::on), "");

  TempDir d;
  test::RunResult r = run_tools(d.path(), "rebuild '" + std::string(VORB_SOURCE_DIR) +
                                              "/examples/1ubi_a.pdb' --regularize on -o a.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("needs a C-alpha trace"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("a.pdb")));
}

// Steps the noise stretched beyond 4.2 A are breaks of the input but not of the regularised
// trace: rebuild splits the noisy gapped trace at its two true gaps only.
TEST(RegularizeCommand, RegularisedTraceIsSplitAtItsTrueGapsOnly) {
  PrepOptions ca;
  ca.ca_only = true;
  Prepared p = prepare_structure(test::data_path("coarse/1lds_a_noisy_gapped.pdb"), ca);
  EXPECT_GT(p.breaks.size(), 10u);
  ASSERT_NE(regularize_prepared(p, RegularizeWhen::automatic), "");
  ASSERT_EQ(p.breaks.size(), 2u);
  EXPECT_EQ(p.res[p.breaks[0]].num, 26);
  EXPECT_EQ(p.res[p.breaks[1]].num, 75);
  EXPECT_EQ(p.notes.breaks.count, 2);
}

}  // namespace
}  // namespace vorb::tools
