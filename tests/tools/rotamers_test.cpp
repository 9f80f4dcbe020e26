#include "rotamers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "packer/rotamers.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

using packer::RotamerLibrary;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

RotamerLibrary library_of(const std::vector<ChiSample>& samples, const RotamerOptions& opt) {
  std::string text;
  for (const std::string& l : rotamer_library_lines(samples, opt)) text += l + "\n";
  std::istringstream in(text);
  return RotamerLibrary::read_stream(in, "built");
}

// Samples of every type: helix residues (phi -55, psi -45) with chi1 near -65 and every other
// chi near 180, strand residues (phi -115, psi 135) with chi1 near 180 (across the +-180 wrap)
// and the others near -65; one residue in four at a chain end with chi1 near 60.
std::vector<ChiSample> two_basins() {
  std::vector<ChiSample> v;
  for (int t = 0; t < 18; ++t)
    for (int k = 0; k < 40; ++k) {
      float jitter = float(k % 5) * 2.0f - 4.0f;  // -4 .. 4
      ChiSample s;
      s.type = t;
      bool helix = k % 2 == 0;
      s.phi = (helix ? -55.0f : -115.0f) + jitter;  // cell centres of 10 degree cells
      s.psi = (helix ? -45.0f : 135.0f) - jitter;
      s.chi = {helix ? -65.0f + jitter : packer::chi_convention(180.0f + jitter, false),
               helix ? 178.0f : -65.0f + jitter, helix ? 178.0f : -65.0f, helix ? 178.0f : -65.0f};
      if (k % 4 == 3) {
        s.phi = kNaN;
        s.chi[0] = 60.0f + jitter;
      }
      v.push_back(s);
    }
  return v;
}

TEST(RotamerBuild, CellsFollowTheirResiduesAndEndsUseTheIndependentDistribution) {
  RotamerOptions opt;
  opt.cell = 10;
  opt.sigma = 10.0f;
  opt.min_weight = 3.0f;
  opt.prior = 0.5f;
  RotamerLibrary lib = library_of(two_basins(), opt);
  for (const char* res : {"SER", "LYS", "TRP"}) {
    auto h = lib.lookup(res, -55.0f, -45.0f);
    ASSERT_FALSE(h.empty()) << res;
    EXPECT_NEAR(h[0].chi[0], -65.0f, 0.2f) << res;
    EXPECT_GT(h[0].prob, 0.8f) << res;
    EXPECT_NEAR(h[0].sd[0], 2.8f, 1.0f) << res;  // circular sd of the jitter
    auto e = lib.lookup(res, -115.0f, 135.0f);
    ASSERT_FALSE(e.empty()) << res;
    // The circular mean of values on both sides of +-180.
    EXPECT_GT(std::fabs(e[0].chi[0]), 178.0f) << res;
    EXPECT_LT(e[0].sd[0], 5.0f) << res;
  }
  // The helix residues' chi2 of 178 is written folded for PHE: -2.
  EXPECT_NEAR(lib.lookup("PHE", -55.0f, -45.0f)[0].chi[1], -2.0f, 1.0f);
  // The independent distribution counts every residue: 10 of 40 have chi1 60.
  auto ind = lib.lookup("SER", kNaN, kNaN);
  float p60 = 0, total = 0;
  for (const auto& r : ind) {
    total += r.prob;
    if (std::fabs(r.chi[0] - 60.0f) < 10.0f) p60 += r.prob;
  }
  EXPECT_NEAR(total, 1.0f, 1e-5f);
  EXPECT_NEAR(p60, 0.25f, 0.001f);
  // A cell far from every residue answers with the independent distribution.
  auto far = lib.lookup("SER", 90.0f, -90.0f);
  ASSERT_EQ(far.size(), ind.size());
  EXPECT_EQ(far[0].chi[0], ind[0].chi[0]);
  // The lines are a pure function of the samples.
  EXPECT_EQ(rotamer_library_lines(two_basins(), opt), rotamer_library_lines(two_basins(), opt));
}

TEST(RotamerBuild, ChainSamplesFoldSymmetricGroupsAndSkipIncompleteSideChains) {
  test::TempDir d;
  // PHE with chi1 -56.1 and chi2 106.8 (folds to -73.2); a LYS without its side chain.
  test::write_file(
      d.file("c.pdb"),
      "ATOM      1  N   PHE A   1      -0.525   1.363   0.000  1.00  0.00           N\n"
      "ATOM      2  CA  PHE A   1       0.000   0.000   0.000  1.00  0.00           C\n"
      "ATOM      3  C   PHE A   1       1.520   0.000   0.000  1.00  0.00           C\n"
      "ATOM      4  CB  PHE A   1      -0.507  -0.774  -1.209  1.00  0.00           C\n"
      "ATOM      5  CG  PHE A   1      -2.000  -0.800  -1.300  1.00  0.00           C\n"
      "ATOM      6  CD1 PHE A   1      -2.600   0.000  -2.300  1.00  0.00           C\n"
      "ATOM      7  N   LYS A   2       2.200   1.100   0.000  1.00  0.00           N\n"
      "ATOM      8  CA  LYS A   2       3.600   1.100   0.000  1.00  0.00           C\n");
  Chain c = read_chain(d.file("c.pdb"));
  int skipped = 0;
  std::vector<ChiSample> s = chain_chi_samples(c, skipped);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(skipped, 1);
  EXPECT_EQ(s[0].type, 15);
  EXPECT_TRUE(std::isnan(s[0].phi));  // first residue
  EXPECT_FALSE(std::isnan(s[0].psi));
  EXPECT_NEAR(s[0].chi[0], -56.07f, 0.02f);
  EXPECT_NEAR(s[0].chi[1], -73.16f, 0.02f);
}

TEST(RotamerCommand, CommittedLibraryComesFromTheTrainingSet) {
  std::string shared = test::shared_dir();
  if (shared.empty()) GTEST_SKIP() << "no shared structures";
  test::TempDir dir;
  test::RunResult r =
      test::run_tools(dir.path(), "rotamers '" + shared + "/structures/train' -o rotamers");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("chains: 322\n"), std::string::npos) << r.out;
  EXPECT_TRUE(test::read_file(dir.file("rotamers")) ==
              test::read_file(std::string(VORB_SOURCE_DIR) + "/data/rotamers"))
      << "data/rotamers differs from a fresh build";
  // A missing library: exit 2, the file named.
  r = test::run_tools(dir.path(), "rotamers --check none '" + shared + "/structures/train'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("none"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vorb::tools
