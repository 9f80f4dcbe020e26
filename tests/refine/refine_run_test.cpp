// Whole refinement runs of the program on a C-alpha trace of the first residues of ubiquitin.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/lattice_shift.hpp"
#include "builders/backbone.hpp"
#include "builders/hydrogens.hpp"
#include "builders/sd_opt.hpp"
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

  // Without a template the C-alpha deviation is 0, so the loop ends after cycle 100: one Monte
  // Carlo step, which accepts one move, in each of the cycles 1..100.
  int accepted = 0;
  for (int t = 0; t < 3; ++t) accepted += std::stoi(stats.substr(std::size_t(29 * t + 21), 8));
  EXPECT_EQ(accepted, 100) << stats;

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

// Helix bonds of residues 23..34 (N of r + 4 to O of r) and three of the first hairpin.
const char* const kListedBonds =
    "  1 N  27 O  23\n  2 N  28 O  24\n  3 N  29 O  25\n  4 N  30 O  26\n"
    "  5 N  31 O  27\n  6 N  32 O  28\n  7 N  33 O  29\n  8 N  34 O  30\n"
    "  9 N  15 O   3\n 10 N   3 O  15\n 11 N  17 O   1\n";

TEST_F(RefineRun, ModeThreeWithAPredictedListReportsItsBetterModelsAsBetterHB) {
  test::write_file(dir.file("PRHB"), kListedBonds);
  const test::RunResult r = vorb("3");
  ASSERT_EQ(r.status, 0) << r.err;
  int better = 0;
  for (const std::string& l : lines_of(r.out)) {
    if (starts(l, " HBlist")) {
      EXPECT_EQ(l.back(), 'T') << l;
    }
    EXPECT_FALSE(starts(l, " betterHB0")) << "a list run reports betterHB: " << l;
    if (!starts(l, "  betterHB ")) continue;
    ++better;
    ASSERT_GE(l.size(), 48u) << l;
    EXPECT_GT(std::stoi(l.substr(30, 4)), 0) << "no listed bond matched: " << l;
  }
  EXPECT_GT(better, 0) << r.out;
}

// A model ready for the refinement loop, built from the fixture's trace: backbone and side
// chains completed, hydrogens added, lattice filled, backbone hydrogen bonds counted.
std::unique_ptr<ModelState> refinement_start(const RefineRun& run, const char* mode) {
  auto s = test::make_state();
  s->mode = Name4::from(mode);
  s->pdbfile = run.dir.file("t.pdb");
  read_structure(*s);
  read_topology(*s, run.dir.file("Hdd"));
  build_atom_table(*s);
  lattice_frame_shift(*s);
  read_library_file(*s, run.bbdat);
  bbadd(*s, 0);
  sd_opt(*s);
  hadd(*s);
  imerge(*s, 1);
  hbonds(*s, 2);
  return s;
}

bool formed(const ModelState& s, int d, int a) {
  for (int h = 1; h <= s.nhb; ++h)
    if (s.hbpair(h, 1) == d && s.hbpair(h, 2) == a) return true;
  return false;
}

// Outside mode 4 each rebuild round marks the residues of a listed bond that is not formed as
// free (0); mode 4 keeps the marks its Monte Carlo acceptance set from the template deviation.
TEST_F(RefineRun, ModeFourKeepsTheMarksOfUnformedListedBondsThroughTheRebuildRounds) {
  for (const char* mode : {"3", "4"}) {
    auto sp = refinement_start(*this, mode);
    ModelState& s = *sp;
    s.itempl = 1;
    // N of residue 20 to O of residue 5: far apart in the trace, not formed.
    const int d = s.ica(20) - 1, a = s.ica(5) + 2;
    ASSERT_FALSE(formed(s, d, a));
    s.npredhb = 1;
    s.reshbn(1, 1) = d;
    s.reshbn(1, 2) = a;
    s.reshbn(1, 3) = 0;
    s.resfix.fill(1);
    s.icycle = 0;
    s.nhbbest = s.nhb;
    float scorebest = 1.0e6f;
    rebuild_rounds(s, 3, scorebest);
    ASSERT_FALSE(formed(s, d, a));
    const int expect = std::string(mode) == "4" ? 1 : 0;
    EXPECT_EQ(s.resfix(19), expect) << "mode " << mode;
    EXPECT_EQ(s.resfix(5), expect) << "mode " << mode;
    EXPECT_EQ(s.resfix(10), 1) << "a residue of no listed bond keeps its mark";
  }
}

}  // namespace
}  // namespace vorb
