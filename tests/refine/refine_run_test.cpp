// Whole refinement runs of the program on a C-alpha trace of the first residues of ubiquitin.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/lattice_shift.hpp"
#include "build/backbone.hpp"
#include "build/hydrogens.hpp"
#include "build/sd_opt.hpp"
#include "io/aux_read.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "refine/schedule.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

bool starts(const std::string& l, const std::string& p) { return l.compare(0, p.size(), p) == 0; }

// C-alpha records of residues 1..n of a PDB file, renumbered from 1 in file order.
std::string ca_trace(const std::string& pdb, int n) {
  std::string out;
  int res = 0;
  for (const std::string& l : lines_of(test::read_file(pdb))) {
    if (!starts(l, "ATOM") || l.size() < 54 || l.substr(12, 4) != " CA ") continue;
    if (++res > n) break;
    std::string rec = l.substr(0, 54);
    std::string num = std::to_string(res);
    rec.replace(22, 4, std::string(4 - num.size(), ' ') + num);
    out += rec + "\n";
  }
  return out;
}

struct RefineRun : ::testing::Test {
  test::TempDir dir;
  std::string bbdat = std::string(VORB_SOURCE_DIR) + "/data/BBdat";

  void SetUp() override {
    if (!fs::exists(bbdat)) GTEST_SKIP() << "no fragment library at " << bbdat;
    test::write_file(dir.file("t.pdb"),
                     ca_trace(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb", 40));
    const test::RunResult h = test::run_tools(dir.path(), "hdd t.pdb -o Hdd");
    ASSERT_EQ(h.status, 0) << h.err;
  }
  test::RunResult vorb(const std::string& mode) {
    return test::run_vorb(dir.path(), mode + " t.pdb '" + bbdat + "'");
  }
};

TEST_F(RefineRun, ModeTwoWithoutAPredictedListWritesOneModelWithoutTerminator) {
  const test::RunResult r = vorb("2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(dir.file("t.pdb.fix")));
  const std::string model = test::read_file(dir.file("t.pdb.h"));
  EXPECT_EQ(model.find("TER"), std::string::npos);
  for (const std::string& l : lines_of(model)) {
    ASSERT_TRUE(starts(l, "ATOM")) << l;
    EXPECT_NE(l[13], 'H') << "hydrogen written: " << l;
  }

  const auto out = lines_of(r.out);
  std::size_t first = 0;
  while (first < out.size() && !starts(out[first], " HBlist")) ++first;
  ASSERT_GE(out.size(), first + 3) << r.out;
  EXPECT_EQ(out[first], " HBlist 0 F");
  EXPECT_EQ(out[first + 1], " Warning,no predicted Hbond list availuable 0");
  const std::string& start = out[first + 2];
  ASSERT_TRUE(starts(start, " initd")) << start;
  EXPECT_EQ(start.size(), 6u + 8u + 6u * 4u + 2u * 12u + 5u);
  EXPECT_EQ(start.substr(start.size() - 5), "     ") << "no class in mode 2";
  for (std::size_t k = first + 3; k < out.size(); ++k) {
    EXPECT_TRUE(starts(out[k], " betterHB0")) << out[k];
    EXPECT_EQ(out[k].substr(42, 6), "     0") << "all rebuilding happens in cycle 0";
  }
}

TEST_F(RefineRun, ModeThreeIsReproducibleAndReportsItsMoves) {
  const test::RunResult a = vorb("3");
  ASSERT_EQ(a.status, 0) << a.err;
  const std::string fix = test::read_file(dir.file("t.pdb.fix"));
  const std::string h = test::read_file(dir.file("t.pdb.h"));
  EXPECT_EQ(fix.find("TER"), std::string::npos);
  EXPECT_EQ(h.substr(h.size() - 4), "TER\n");

  const auto out = lines_of(a.out);
  ASSERT_FALSE(out.empty());
  const std::string& stats = out.back();
  ASSERT_TRUE(starts(stats, " Lmpr")) << stats;
  EXPECT_EQ(stats.size(), 3u * (5u + 3u * 8u));
  EXPECT_EQ(stats.substr(29, 5), " CaCa");
  EXPECT_EQ(stats.substr(58, 5), " Glob");

  const test::RunResult b = vorb("3");
  EXPECT_EQ(b.out, a.out);
  EXPECT_EQ(test::read_file(dir.file("t.pdb.fix")), fix);
  EXPECT_EQ(test::read_file(dir.file("t.pdb.h")), h);
}

}  // namespace
}  // namespace vorb

namespace vorb {
namespace {

// After the first cycle the model goes on into the Monte Carlo steps: it must carry its
// hydrogens again, or the energy would count no backbone hydrogen bond at all.
TEST_F(RefineRun, FirstCycleOutputPutsTheHydrogensBack) {
  auto s = test::make_state();
  s->mode = Name4::from("3");
  s->pdbfile = dir.file("t.pdb");
  read_structure(*s);
  read_topology(*s, dir.file("Hdd"));
  build_atom_table(*s);
  lattice_frame_shift(*s);
  read_library_file(*s, bbdat);
  bbadd(*s, 0);
  sd_opt(*s);
  hadd(*s);
  first_cycle_output(*s, false);
  int amide = 0, placed = 0;
  for (int i = 1; i <= s->natom; ++i) {
    if (!(s->atomty(i) == " H  ")) continue;
    ++amide;
    if (s->xx(i) <= 990.0f) ++placed;
  }
  EXPECT_GT(amide, 30);
  EXPECT_EQ(placed, amide);
  const std::string fix = test::read_file(dir.file("t.pdb.fix"));
  EXPECT_EQ(fix.find(" H  "), std::string::npos);
}

}  // namespace
}  // namespace vorb
