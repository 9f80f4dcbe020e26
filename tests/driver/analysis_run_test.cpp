#include "driver/analysis_run.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "analysis/model_builder.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::ModelBuilder;

std::vector<std::string> lines_of(const std::string& t) {
  std::vector<std::string> v;
  std::istringstream in(t);
  std::string l;
  while (std::getline(in, l)) v.push_back(l);
  return v;
}

// A serine hydroxyl donating to a backbone O of residue 3, and a backbone N-H of residue 3
// donating to the side-chain oxygen of residue 1.
std::unique_ptr<ModelState> two_bonds() {
  auto s = test::make_state();
  ModelBuilder b(*s);
  b.residue("SER");
  b.atom(" N  ", {10.0f, 10.0f, 10.0f});
  b.atom(" CA ", {11.0f, 10.0f, 10.0f});
  const int og = b.atom(" OG ", {12.0f, 11.0f, 10.0f});
  b.residue("GLY");
  b.atom(" CA ", {14.0f, 10.0f, 10.0f});
  b.residue("ASP");
  const int n = b.atom(" N  ", {15.0f, 13.0f, 10.0f});
  b.atom(" CA ", {16.5f, 12.0f, 11.0f});
  const int o = b.atom(" O  ", {16.0f, 11.0f, 10.0f});
  s->nhb = 2;
  s->hbpair(1, 1) = og;
  s->hbpair(1, 2) = o;
  s->hbpair(2, 1) = n;
  s->hbpair(2, 2) = og;
  const float row1[] = {1.9f, 165.25f, 120.5f, -1.25f};
  const float row2[] = {2.25f, 99.0f, 90.0f, -1234567.0f};
  for (int c = 1; c <= 4; ++c) {
    s->htbon(1, c) = row1[c - 1];
    s->htbon(2, c) = row2[c - 1];
  }
  s->ehb = -1234568.25f;
  return s;
}

TEST(HbondListing, ColumnsFlagsAndOverflow) {
  auto s = two_bonds();
  EXPECT_EQ(hbond_listing_line(*s, 1),
            "   1   1 SER  OG    3 ASP  O   SB  5.937  1.900 165.250 120.500    -1.250");
  // A value too wide for its field is written as asterisks.
  EXPECT_EQ(hbond_listing_line(*s, 2),
            "   2   3 ASP  N     1 SER  OG  BS  5.937  2.250  99.000  90.000**********");
  testing::internal::CaptureStdout();
  print_hbond_listing(*s);
  const std::vector<std::string> out = lines_of(testing::internal::GetCapturedStdout());
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], " #No.      donor     acceptor  || Ca-CAdis  R_HA   <DHA   <HAAb  Ehbnd");
  EXPECT_EQ(out[3], " number of Hbonds(EHB)     2***********");
  s->nhb = 0;
  s->ehb = -3.5f;
  testing::internal::CaptureStdout();
  print_hbond_listing(*s);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " #No.      donor     acceptor  || Ca-CAdis  R_HA   <DHA   <HAAb  Ehbnd\n"
            " number of Hbonds(EHB)     0    -3.5000\n");
}

// Runs the program on the small peptide of the reader tests.
struct PeptideRun : ::testing::Test {
  test::TempDir dir;
  void SetUp() override {
    test::write_file(dir.file("p.pdb"), test::read_file(test::data_path("io/peptide.pdb")));
    test::write_file(dir.file("Hdd"), test::read_file(test::data_path("io/peptide.Hdd")));
  }
  std::string file(const char* f) const { return test::read_file(dir.file(f)); }
  bool exists(const char* f) const { return std::filesystem::exists(dir.path() / f); }
};

TEST_F(PeptideRun, TorsionModesWriteTheirFiles) {
  test::RunResult r = test::run_vorb(dir.path(), "7 p.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const std::vector<std::string> chi = lines_of(file("chi1"));
  ASSERT_EQ(chi.size(), 2u);
  EXPECT_EQ(chi[0].substr(0, 10), "    1  GLY");
  EXPECT_EQ(chi[1].substr(0, 10), "    2  ALA");
  EXPECT_FALSE(exists("seq0.dat"));
  r = test::run_vorb(dir.path(), "8 p.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(file("seq0.dat"), "    1   GLY    1    9\n    2   ALA    1    9\n");
}

TEST_F(PeptideRun, HydrogenOnlyRunKeepsInputColumnsAndAddsEveryMissingHydrogen) {
  test::RunResult r = test::run_vorb(dir.path(), "1 p.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> in = lines_of(file("p.pdb"));
  const std::vector<std::string> out = lines_of(file("p.pdb.h"));
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), "TER");
  int heavy = 0, hydrogens = 0, built = 0;
  for (std::size_t k = 0; k + 1 < out.size(); ++k) {
    const std::string& l = out[k];
    if (l.size() == 57) {  // a hydrogen record with its placement flag
      ++hydrogens;
      EXPECT_EQ(l.substr(0, 11), "ATOM      0");
      if (l.substr(54) != "  0") ++built;
      continue;
    }
    ASSERT_EQ(l.size(), 54u) << l;
    // A heavy atom: its input line's first 30 columns, the coordinates moved into the lattice
    // frame (lowest x, y, z of the peptide 1, 2, 2.9 A brought to 15 A).
    ++heavy;
    const std::string& src = in[std::size_t(heavy)];
    EXPECT_EQ(l.substr(0, 30), src.substr(0, 30));
    EXPECT_NEAR(std::stof(l.substr(30, 8)), std::stof(src.substr(30, 8)) + 14.0f, 1e-3f);
    EXPECT_NEAR(std::stof(l.substr(38, 8)), std::stof(src.substr(38, 8)) + 13.0f, 1e-3f);
    EXPECT_NEAR(std::stof(l.substr(46, 8)), std::stof(src.substr(46, 8)) + 12.1f, 1e-3f);
  }
  EXPECT_EQ(heavy, 9);
  EXPECT_EQ(hydrogens, 10);  // every hydrogen of the topology
  EXPECT_EQ(built, 9);       // all but the amide hydrogen given in the input
}

}  // namespace
}  // namespace vorb
