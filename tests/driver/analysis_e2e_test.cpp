// The analysis modes end to end on a real chain with its generated topology.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/test_support.hpp"

namespace vorb {
namespace {

std::vector<std::string> lines_of(const std::string& t) {
  std::vector<std::string> v;
  std::istringstream in(t);
  std::string l;
  while (std::getline(in, l)) v.push_back(l);
  return v;
}

// Ubiquitin renumbered 1..76 with its topology in a scratch directory.
struct Ubiquitin : ::testing::Test {
  test::TempDir dir;
  void SetUp() override {
    test::write_file(dir.file("in.pdb"),
                     test::read_file(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb"));
    const test::RunResult r =
        test::run_tools(dir.path(), "hdd in.pdb -o Hdd --renumbered u.pdb");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string file(const char* f) const { return test::read_file(dir.file(f)); }
  bool exists(const char* f) const { return std::filesystem::exists(dir.path() / f); }
  // Hydrogens the topology lists (second column of the name is "H").
  int topology_hydrogens() const {
    const std::vector<std::string> l = lines_of(file("Hdd"));
    int natom = std::stoi(l[0]), n = 0;
    for (int i = 1; i <= natom; ++i) n += l[std::size_t(i)][6] == 'H' ? 1 : 0;
    return n;
  }
};

TEST_F(Ubiquitin, HydrogenOnlyRunPlacesEveryHydrogen) {
  const test::RunResult r = test::run_vorb(dir.path(), "1 u.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> out = lines_of(file("u.pdb.h"));
  const std::vector<std::string> in = lines_of(file("u.pdb"));
  int hydrogens = 0, heavy = 0;
  for (const std::string& l : out) {
    if (l.size() == 57 && l[13] == 'H') ++hydrogens;
    if (l.size() != 54) continue;
    // Heavy atoms keep their input columns 1-30, in input order.
    while (std::size_t(heavy) < in.size() && in[std::size_t(heavy)].compare(0, 4, "ATOM") != 0)
      ++heavy;
    ASSERT_LT(std::size_t(heavy), in.size());
    EXPECT_EQ(l.substr(0, 30), in[std::size_t(heavy)].substr(0, 30));
    ++heavy;
  }
  EXPECT_EQ(hydrogens, topology_hydrogens());  // the input has none; every one is placed
  EXPECT_EQ(heavy, 602);
  EXPECT_EQ(out.back(), "TER");

  // A standard reader takes the file as it is, when one is installed.
  if (test::run_in(dir.path(), "command -v gemmi").status != 0) GTEST_SKIP() << "no gemmi";
  std::filesystem::copy_file(dir.path() / "u.pdb.h", dir.path() / "uh.pdb");
  const test::RunResult g = test::run_in(dir.path(), "gemmi contents uh.pdb");
  EXPECT_EQ(g.status, 0) << g.err;
  EXPECT_NE(g.out.find("Hydrogens in the file:                      " +
                       std::to_string(hydrogens)),
            std::string::npos)
      << g.out;
}

TEST_F(Ubiquitin, ListingModeReportsBondsOfBothKinds) {
  const test::RunResult r = test::run_vorb(dir.path(), "5 u.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> out = lines_of(r.out);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[0].substr(0, 22), " CACLASH(<3.6A):     0");
  EXPECT_EQ(out[1], " #No.      donor     acceptor  || Ca-CAdis  R_HA   <DHA   <HAAb  Ehbnd");
  int bb = 0, side = 0;
  for (std::size_t k = 2; k + 1 < out.size(); ++k) {
    ASSERT_EQ(out[k].size(), 73u) << out[k];
    EXPECT_EQ(std::stoi(out[k].substr(0, 4)), int(k) - 1);
    const std::string kind = out[k].substr(31, 2);
    bb += kind == "BB" ? 1 : 0;
    side += kind != "BB" ? 1 : 0;
  }
  EXPECT_GT(bb, 40);  // ubiquitin has about fifty backbone hydrogen bonds
  EXPECT_GT(side, 0);
  EXPECT_EQ(out.back().substr(0, 28),
            " number of Hbonds(EHB)" + std::string(6 - std::to_string(bb + side).size(), ' ') +
                std::to_string(bb + side));
  EXPECT_EQ(lines_of(file("chi1")).size(), 76u);
}

TEST_F(Ubiquitin, SecondaryStructureAndTheSilentBranch) {
  test::RunResult r = test::run_vorb(dir.path(), "8 u.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string ss;
  for (const std::string& l : lines_of(file("seq0.dat"))) ss += l[15];
  ASSERT_EQ(ss.size(), 76u);
  // The first helix (residues 23-32 here) and the first strand.
  EXPECT_EQ(ss.substr(22, 10), "2222222222");
  EXPECT_EQ(ss.substr(1, 5), "44444");
  std::filesystem::remove(dir.path() / "chi1");
  r = test::run_vorb(dir.path(), "5x u.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(exists("chi1"));
}

}  // namespace
}  // namespace vorb
